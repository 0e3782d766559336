#include "network/Network.h"

#include "network/NetworkJobs.h"
#include "session/User.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLineEdit* AddressEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1StringView(name));
    edit->setMaxLength(15);
    return edit;
}

} // namespace

TNetworkDlg::TNetworkDlg(IUser& aUser, QWidget* parent)
    : TXPortDialog(aUser, parent) {
    gbIPSettings = new QGroupBox(QStringLiteral("IP Settings"), this);
    edtIP = AddressEdit("edtIP", gbIPSettings);
    edtMask = AddressEdit("edtMask", gbIPSettings);
    edtGatewayIP = AddressEdit("edtGatewayIP", gbIPSettings);
    edtPort = new QLineEdit(QStringLiteral("10110"), gbIPSettings);
    edtPort->setObjectName(QStringLiteral("edtPort"));
    edtPort->setMaxLength(5);
    auto* ipForm = new QFormLayout(gbIPSettings);
    ipForm->addRow(QStringLiteral("IP Address:"), edtIP);
    ipForm->addRow(QStringLiteral("Netmask:"), edtMask);
    ipForm->addRow(QStringLiteral("Gateway IP:"), edtGatewayIP);
    ipForm->addRow(QStringLiteral("Port Number:"), edtPort);

    gbProtocol = new QGroupBox(QStringLiteral("Protocol"), this);
    rbTCP = new QRadioButton(QStringLiteral("TCP"), gbProtocol);
    rbTCP->setObjectName(QStringLiteral("rbTCP"));
    rbUDP = new QRadioButton(QStringLiteral("UDP"), gbProtocol);
    rbUDP->setObjectName(QStringLiteral("rbUDP"));
    lblUDPMode = new QLabel(QStringLiteral("UDP Mode:"), gbProtocol);
    cbUDPMode = new QComboBox(gbProtocol);
    cbUDPMode->setObjectName(QStringLiteral("cbUDPMode"));
    cbUDPMode->addItems({QStringLiteral("Broadcast"), QStringLiteral("Directed")});
    lblDestIP = new QLabel(QStringLiteral("Destination:"), gbProtocol);
    edtDestIP = AddressEdit("edtDestIP", gbProtocol);
    // A label handed to the form as a widget is no buddy by itself.
    lblUDPMode->setBuddy(cbUDPMode);
    lblDestIP->setBuddy(edtDestIP);
    auto* protocolForm = new QFormLayout(gbProtocol);
    auto* radios = new QHBoxLayout;
    radios->addWidget(rbTCP);
    radios->addWidget(rbUDP);
    radios->addStretch();
    protocolForm->addRow(radios);
    protocolForm->addRow(lblUDPMode, cbUDPMode);
    protocolForm->addRow(lblDestIP, edtDestIP);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbIPSettings);
    layout->addWidget(gbProtocol);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(rbTCP, &QRadioButton::clicked, this, [this] { UpdateEnabled(); });
    connect(rbUDP, &QRadioButton::clicked, this, [this] { UpdateEnabled(); });
    connect(cbUDPMode, &QComboBox::activated, this, [this] { UpdateEnabled(); });
    // Any edit of the address counts as a change, even back to the text it had.
    connect(edtIP, &QLineEdit::textEdited, this, [this] { ipChanged = true; });
}

bool TNetworkDlg::TcpChecked() const {
    return rbTCP->isChecked();
}

QString TNetworkDlg::IPText() const {
    return edtIP->text();
}

QString TNetworkDlg::PortText() const {
    // As written to the device server (the check has passed).
    return QString::number(setup.LocalPort());
}

void TNetworkDlg::FormShow() {
    setWindowTitle(QStringLiteral("Corvanta-PX Network Settings"));
    btnCancel->setFocus();
    for (QLineEdit* edit : {edtIP, edtMask, edtGatewayIP, edtDestIP})
        edit->setText(QStringLiteral("0.0.0.0"));
    EnableControls(false);
    ipChanged = false;
    WhenOnScreen([this] { ReadSetup(); });
}

void TNetworkDlg::ReadSetup() {
    bool read = false;
    RunJob([&] {
        user.SetBusy(true);
        read = XPort().GetSetup(address, setup);
        user.SetBusy(false);
    });
    if (!read) {
        user.ShowMessage(CannotConnectText);
        reject();
        return;
    }
    EnableControls(true);
    Fill(NetworkFieldsOf(setup));
    ipChanged = false;
}

void TNetworkDlg::Fill(const TNetworkFields& fields) {
    edtIP->setText(fields.IP);
    edtMask->setText(fields.Mask);
    edtGatewayIP->setText(fields.Gateway);
    edtPort->setText(fields.Port);
    (fields.Udp ? rbUDP : rbTCP)->setChecked(true);
    cbUDPMode->setCurrentIndex(fields.UdpMode);
    edtDestIP->setText(fields.Destination);
    UpdateEnabled();
}

TNetworkFields TNetworkDlg::Fields() const {
    TNetworkFields fields;
    fields.IP = edtIP->text();
    fields.Mask = edtMask->text();
    fields.Gateway = edtGatewayIP->text();
    fields.Port = edtPort->text();
    fields.Udp = rbUDP->isChecked();
    fields.UdpMode = cbUDPMode->currentIndex() == umDirected ? umDirected : umBroadcast;
    fields.Destination = edtDestIP->text();
    return fields;
}

void TNetworkDlg::UpdateEnabled() {
    const bool udp = rbUDP->isChecked();
    lblUDPMode->setEnabled(udp);
    cbUDPMode->setEnabled(udp);
    const bool directed = udp && cbUDPMode->currentIndex() == umDirected;
    lblDestIP->setEnabled(directed);
    edtDestIP->setEnabled(directed);
}

void TNetworkDlg::EnableControls(bool enable) {
    for (QGroupBox* group : {gbIPSettings, gbProtocol}) {
        for (QWidget* control : group->findChildren<QWidget*>())
            control->setEnabled(enable);
    }
    btnOK->setEnabled(enable);
}

QLineEdit* TNetworkDlg::FieldEdit(int field) const {
    switch (field) {
    case nfMask:
        return edtMask;
    case nfGateway:
        return edtGatewayIP;
    case nfPort:
        return edtPort;
    case nfDestination:
        return edtDestIP;
    default:
        return edtIP;
    }
}

void TNetworkDlg::ShowControls(bool show) {
    for (QWidget* control : {static_cast<QWidget*>(gbIPSettings), static_cast<QWidget*>(gbProtocol),
                             static_cast<QWidget*>(btnOK), static_cast<QWidget*>(btnCancel)})
        control->setVisible(show);
}

void TNetworkDlg::btnOKClick() {
    if (Busy())
        return;
    // What passed the check stays in the record, as it would if the dialog were left open.
    const TNetworkField failing = StoreNetworkFields(Fields(), setup);
    if (failing != nfNone) {
        user.ShowMessage(InvalidSettingsText);
        FieldEdit(failing)->setFocus();
        return;
    }

    bool written = false;
    RunJob([&] {
        user.SetBusy(true);
        written = XPort().SetSetup(address, setup, ipChanged);
        if (!written)
            return;
        ShowControls(false);
        VerifyNetworkSettings(XPort(), user, address, setup, ipChanged);
    });
    ShowControls(true);
    user.SetBusy(false);
    if (!written) {
        // The device server has its old settings still: nothing of the new ones may reach the
        // main window.
        user.ShowMessage(CannotConnectText);
        reject();
        return;
    }
    accept();
}
