#include "app/AboutBox.h"

#include "ui_AboutBox.h"

#include "Version.h"

#include <QEvent>
#include <QMessageBox>

QString TAboutBox::ProgramVersion() {
    return QStringLiteral(TW_VERSION_TEXT);
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::TAboutBox) {
    ui->setupUi(this);
    ui->lblProduct->setText(QStringLiteral("Tidewright"));
    ui->lblVersion->setText(QStringLiteral("Version ") + ProgramVersion());
    ui->imgIcon->installEventFilter(this);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() {
    delete ui;
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->imgIcon && event->type() == QEvent::MouseButtonDblClick) {
        imgIconDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::imgIconDblClick() {
    QMessageBox::information(this, QStringLiteral("Tidewright"),
                             QStringLiteral("All Tidewright will settings be cleared\nand "
                                            "Tidewright will terminate"));
    done(ClearSettings);
}
