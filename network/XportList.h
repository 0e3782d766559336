#pragma once

#include "network/XPortDialog.h"

class QLabel;
class QListWidget;
class QPushButton;
class TAssignIPDlg;

// The device servers that answer a search; the user picks one to connect to, restores its
// factory network settings or gives it another address.
class TXPortListDlg : public TXPortDialog {
    Q_OBJECT
public:
    TXPortListDlg(IUser& user, TAssignIPDlg& assignIPDlg, QWidget* parent = nullptr);

    // The selected device server's address and MAC text; empty without a selection.
    QString SelectedIP() const;
    QString SelectedMac() const;

    QLabel* lblMessage;
    QListWidget* lbxIPList;
    QLabel* lblNotFound;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnReset;
    QPushButton* btnChangeIP;

protected:
    void FormShow() override;

private:
    void Search();
    void ShowResults(const QStringList& found);
    void EnableSelectionButtons(bool enable);
    void btnResetClick();
    void btnChangeIPClick();

    TAssignIPDlg& assignIP;
};
