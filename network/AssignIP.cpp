#include "network/AssignIP.h"

#include "network/NetworkJobs.h"
#include "session/User.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TAssignIPDlg::TAssignIPDlg(IUser& aUser, QWidget* parent)
    : TXPortDialog(aUser, parent) {
    setWindowTitle(QStringLiteral("Assign IP Address"));
    lblMAC = new QLabel(QStringLiteral("MAC Address:"), this);
    edtMAC = new QLineEdit(this);
    edtMAC->setObjectName(QStringLiteral("edtMAC"));
    edtMAC->setMaxLength(17);
    lblIP = new QLabel(QStringLiteral("IP Address:"), this);
    edtIP = new QLineEdit(this);
    edtIP->setObjectName(QStringLiteral("edtIP"));
    edtIP->setMaxLength(15);
    lblMAC->setBuddy(edtMAC);
    lblIP->setBuddy(edtIP);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblMAC, 0, 0);
    grid->addWidget(edtMAC, 0, 1);
    grid->addWidget(lblIP, 1, 0);
    grid->addWidget(edtIP, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    setFixedSize(sizeHint());

    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TAssignIPDlg::SetMac(const QString& mac) {
    edtMAC->setText(mac);
}

void TAssignIPDlg::FormShow() {
    edtIP->clear();
    (edtMAC->text().isEmpty() ? edtMAC : edtIP)->setFocus();
}

void TAssignIPDlg::ShowControls(bool show) {
    for (QWidget* control : {static_cast<QWidget*>(lblMAC), static_cast<QWidget*>(edtMAC),
                             static_cast<QWidget*>(lblIP), static_cast<QWidget*>(edtIP),
                             static_cast<QWidget*>(btnOK), static_cast<QWidget*>(btnCancel)})
        control->setVisible(show);
}

void TAssignIPDlg::btnOKClick() {
    if (Busy())
        return;
    TAssignRequest request;
    const TAssignField failing = CheckAssignInput(edtMAC->text(), edtIP->text(), request);
    if (failing != afNone) {
        user.ShowMessage(InvalidMacOrIPText);
        (failing == afMac ? edtMAC : edtIP)->setFocus();
        return;
    }
    ShowControls(false);
    const bool sent = RunJob([&] { RunAssignIP(XPort(), user, request); });
    ShowControls(true);
    if (sent)
        accept();
}
