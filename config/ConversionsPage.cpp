#include "config/ConversionsPage.h"

#include "ui_ConversionsPage.h"

TConversionsPage::TConversionsPage(QWidget* parent)
    : TConfigPage(cpConversions, parent)
    , ui(new Ui::TConversionsPage) {
    ui->setupUi(this);
}

TConversionsPage::~TConversionsPage() {
    delete ui;
}

QList<QWidget*> TConversionsPage::Containers() {
    return {ui->gbConversions};
}

void TConversionsPage::RefreshConversions() {
    FillControls();
    // Each choice belongs to the conversion that uses it.
    ui->cbTrueWindSource->setEnabled(widgets->Enabled && ui->chbTrueWind->isChecked());
    ui->chbTllToPgn->setEnabled(widgets->Enabled && ui->chbTllToWpl->isChecked());
}
