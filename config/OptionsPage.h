#pragma once

#include "config/ConfigPage.h"

namespace Ui {
class TOptionsPage;
}

// "Options": general options, the unique ID and the NMEA 0183 sentences generated from NMEA
// 2000 and SeaTalk data.
class TOptionsPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TOptionsPage(QWidget* parent = nullptr);
    ~TOptionsPage() override;

    QList<QWidget*> Containers() override;
    void RefreshOptions();

private:
    Ui::TOptionsPage* ui;
};
