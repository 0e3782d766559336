#include "config/CompareForm.h"

#include "ui_CompareForm.h"

#include <QFileInfo>

TCompareForm::TCompareForm(const QList<TSettingDifference>& differences, const QString& fileName,
                           QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::TCompareForm) {
    ui->setupUi(this);
    const QString name = QFileInfo(fileName).fileName();
    ui->lblSummary->setText(
        differences.isEmpty()
            ? QStringLiteral("The multiplexer and %1 hold the same settings.").arg(name)
            : QStringLiteral("Loading %1 changes %2 setting(s) of the multiplexer:")
                  .arg(name)
                  .arg(differences.size()));
    ui->tblDifferences->setRowCount(int(differences.size()));
    for (int row = 0; row < differences.size(); ++row) {
        const TSettingDifference& difference = differences[row];
        const QStringList cells{difference.Key, difference.Device, difference.File};
        for (int column = 0; column < cells.size(); ++column)
            ui->tblDifferences->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    ui->tblDifferences->resizeColumnToContents(0);
    connect(ui->btnLoad, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

TCompareForm::~TCompareForm() {
    delete ui;
}
