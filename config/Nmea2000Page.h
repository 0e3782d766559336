#pragma once

#include "config/ConfigPage.h"

namespace Ui {
class TNmea2000Page;
}

// "NMEA 2000": the $MXPGN sentences and the multiplexer's virtual devices.
class TNmea2000Page : public TConfigPage {
    Q_OBJECT

public:
    explicit TNmea2000Page(QWidget* parent = nullptr);
    ~TNmea2000Page() override;

    QList<QWidget*> Containers() override;
    void RefreshNmea2000();
    // The virtual devices' group, where the window adds its device list button.
    QWidget* DeviceSettings() const;

private:
    Ui::TNmea2000Page* ui;
};
