#include "config/ModbusPage.h"

#include "ui_ModbusPage.h"

#include "session/Session.h"

#include <QTabWidget>

TModbusPage::TModbusPage(QWidget* parent)
    : TConfigPage(cpModbus, parent)
    , ui(new Ui::TModbusPage) {
    ui->setupUi(this);
}

TModbusPage::~TModbusPage() {
    delete ui;
}

QList<QWidget*> TModbusPage::Containers() {
    return {this};
}

void TModbusPage::RefreshModbus() {
    if (tabs)
        tabs->setTabVisible(tabs->indexOf(this), ModbusOn(session->Config));
    FillControls();
}
