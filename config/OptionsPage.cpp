#include "config/OptionsPage.h"

#include "ui_OptionsPage.h"

TOptionsPage::TOptionsPage(QWidget* parent)
    : TConfigPage(cpOptions, parent)
    , ui(new Ui::TOptionsPage) {
    ui->setupUi(this);
}

TOptionsPage::~TOptionsPage() {
    delete ui;
}

QList<QWidget*> TOptionsPage::Containers() {
    return {ui->gbGeneralOptions, ui->gbGeneration};
}

void TOptionsPage::RefreshOptions() {
    FillControls();
}
