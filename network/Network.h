#pragma once

#include "network/NetworkSettings.h"
#include "network/XPortDialog.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Reads the network settings of the multiplexer's device server, lets the user change them and
// writes them back. Ends with Accepted only when the device server took them; the caller then
// connects the way the dialog set.
class TNetworkDlg : public TXPortDialog {
    Q_OBJECT
public:
    TNetworkDlg(IUser& user, QWidget* parent = nullptr);

    // The device server's current address, given before showing.
    void SetAddress(const QString& host) { address = host; }
    // After Accepted: what the main window connects with next.
    bool TcpChecked() const;
    QString IPText() const;
    QString PortText() const;

    QGroupBox* gbIPSettings;
    QLineEdit* edtIP;
    QLineEdit* edtMask;
    QLineEdit* edtGatewayIP;
    QLineEdit* edtPort;
    QGroupBox* gbProtocol;
    QRadioButton* rbTCP;
    QRadioButton* rbUDP;
    QLabel* lblUDPMode;
    QComboBox* cbUDPMode;
    QLabel* lblDestIP;
    QLineEdit* edtDestIP;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void FormShow() override;

private:
    void ReadSetup();
    void Fill(const TNetworkFields& fields);
    TNetworkFields Fields() const;
    void UpdateEnabled();
    void EnableControls(bool enable);
    void ShowControls(bool show);
    QLineEdit* FieldEdit(int field) const;
    void btnOKClick();

    QString address;
    TXPortSetup setup;
    bool ipChanged = false;
};
