#include "config/Nmea2000Page.h"

#include "ui_Nmea2000Page.h"

TNmea2000Page::TNmea2000Page(QWidget* parent)
    : TConfigPage(cpNmea2000, parent)
    , ui(new Ui::TNmea2000Page) {
    ui->setupUi(this);
}

TNmea2000Page::~TNmea2000Page() {
    delete ui;
}

QWidget* TNmea2000Page::DeviceSettings() const {
    return ui->gbDeviceSettings;
}

QList<QWidget*> TNmea2000Page::Containers() {
    return {this, ui->gbMxpgn, ui->gbDeviceSettings};
}

void TNmea2000Page::RefreshNmea2000() {
    FillControls();
}
