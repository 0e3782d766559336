#pragma once

#include <QDialog>

class IUser;
class QLabel;
class QPushButton;
class TN2KDeviceInfoForm;
class TN2KDeviceList;
class TN2KGrid;
struct TN2KDevice;

// "NMEA 2000 Device List": the devices of the list in a grid, a rescan, the information window
// of a device (double-click), and the list saved as CSV. Browsing is the main window's use;
// picking a device by its NAME serves the route table.
class TN2KDeviceListForm : public QDialog {
    Q_OBJECT

public:
    TN2KDeviceListForm(TN2KDeviceList& list, IUser& user, QWidget* parent = nullptr);

    // Shows the list to look at and change devices (OK hidden, Cancel captioned "Close").
    void Browse();
    // Shows the list with the device of that NAME chosen; returns the result (QDialog::Accepted
    // for OK).
    int Pick(quint64 name);
    // The device of the grid's current row; nullptr when the list is empty.
    const TN2KDevice* PickedDevice() const;
    quint64 SelectedName() const { return selectedName; }

    // The list changed: rows, message and count follow it.
    void DeviceListChanged();

    TN2KGrid& Grid() { return *grid; }
    TN2KDeviceInfoForm& InfoForm() { return *infoForm; }

    // The handlers, named after the controls they serve.
    void btnScanClick();
    void btnSaveClick();
    void grdDevicesClick(int row);
    void grdDevicesDblClick(int row);

    // Writes the list as CSV; false (after saying why) when the file cannot be written.
    bool SaveCsv(const QString& fileName);

private:
    void MoveToName(quint64 name);

    TN2KDeviceList& list;
    IUser& user;
    quint64 selectedName = 0;
    TN2KGrid* grid;
    TN2KDeviceInfoForm* infoForm;
    QLabel* lblMessage;
    QLabel* lblDevCount;
    QPushButton* btnScan;
    QPushButton* btnSave;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
