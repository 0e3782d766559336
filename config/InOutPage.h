#pragma once

#include "config/ConfigPage.h"

namespace Ui {
class TInOutPage;
}

// "NMEA Inputs/Outputs": speeds, talker IDs, priorities and modes of the inputs; speeds, host
// data and default routes of the outputs; the priority time-out.
class TInOutPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TInOutPage(QWidget* parent = nullptr);
    ~TInOutPage() override;

    QList<QWidget*> Containers() override;
    void RefreshInputsOutputs();

private:
    Ui::TInOutPage* ui;
};
