#include "app/AboutBox.h"

#include "ui_AboutBox.h"

#include "Version.h"

#include <QEvent>
#include <QFile>
#include <QMessageBox>

QString TAboutBox::ProgramVersion() {
    return QStringLiteral(TW_VERSION_TEXT);
}

QIcon TAboutBox::ProgramIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/icons/%1x%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    // Built without an SVG renderer: the one picture there is.
    if (icon.isNull())
        icon.addFile(QStringLiteral(":/tidewright.png"));
    return icon;
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::TAboutBox) {
    ui->setupUi(this);
    ui->lblProduct->setText(QStringLiteral("Tidewright"));
    ui->lblVersion->setText(QStringLiteral("Version ") + ProgramVersion());
    ui->imgIcon->setPixmap(ProgramIcon().pixmap(QSize(64, 64)));
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
