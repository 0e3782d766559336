#pragma once

#include "network/XPortDialog.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Gives the device server with a MAC address an IP address.
class TAssignIPDlg : public TXPortDialog {
    Q_OBJECT
public:
    TAssignIPDlg(IUser& user, QWidget* parent = nullptr);

    // The MAC text the dialog starts with (empty from the menu, the search result's otherwise).
    void SetMac(const QString& mac);

    QLabel* lblMAC;
    QLineEdit* edtMAC;
    QLabel* lblIP;
    QLineEdit* edtIP;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void FormShow() override;

private:
    void btnOKClick();
    void ShowControls(bool show);
};
