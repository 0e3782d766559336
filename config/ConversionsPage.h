#pragma once

#include "config/ConfigPage.h"

namespace Ui {
class TConversionsPage;
}

// "Conversions": the NMEA 0183 conversions.
class TConversionsPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TConversionsPage(QWidget* parent = nullptr);
    ~TConversionsPage() override;

    QList<QWidget*> Containers() override;
    void RefreshConversions();

private:
    Ui::TConversionsPage* ui;
};
