#pragma once

#include "n2k/N2KView.h"

#include <QDialog>

class IUser;
class QLabel;
class QLineEdit;
class QPushButton;
class TN2KDeviceList;

// "Device Information": the product information of one device, and its source address,
// device instance and system instance for the user to change.
class TN2KDeviceInfoForm : public QDialog {
    Q_OBJECT

public:
    TN2KDeviceInfoForm(const TN2KDeviceList& list, IUser& user, QWidget* parent = nullptr);

    // Fills the window from the device at that position of the complete list and shows it
    // modally; returns the result.
    int ShowDevice(int position);
    // The values accepted when the window closed with OK.
    const TN2KDeviceEntry& Entry() const { return entry; }

    void done(int result) override;

private:
    QLabel* AddLine(const QString& caption, const QString& name, int y);

    const TN2KDeviceList& list;
    IUser& user;
    TN2KDeviceEntry entry;

    QLabel* lblDevice;
    QLabel* lblModel;
    QLabel* lblManufacturer;
    QLabel* lblSoftwareVersion;
    QLabel* lblSerialNumber;
    QLabel* lblN2KVersion;
    QLabel* lblProductCode;
    QLabel* lblCertificationLevel;
    QLabel* lblLoadEquivalency;
    QLineEdit* edtSA;
    QLineEdit* edtDI;
    QLineEdit* edtSI;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
