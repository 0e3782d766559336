#include "n2k/N2KForm.h"

#include "n2k/N2K.h"
#include "n2k/N2KDeviceInfo.h"
#include "n2k/N2KGrid.h"
#include "n2k/N2KView.h"
#include "session/Texts.h"
#include "session/User.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>

namespace {

const QString MsgScanning = QStringLiteral("Scanning NMEA 2000 network...");

} // namespace

TN2KDeviceListForm::TN2KDeviceListForm(TN2KDeviceList& aList, IUser& aUser, QWidget* parent)
    : QDialog(parent)
    , list(aList)
    , user(aUser)
    , grid(new TN2KGrid(aList, this))
    , infoForm(new TN2KDeviceInfoForm(aList, aUser, this)) {
    setObjectName(QStringLiteral("N2KDeviceListForm"));
    setWindowTitle(QStringLiteral("NMEA 2000 Device List"));

    const int bottom = grid->geometry().bottom() + 10;
    const int right = grid->geometry().right();
    lblMessage = new QLabel(MsgScanning, this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setGeometry(8, bottom, 360, 20);
    lblDevCount = new QLabel(QStringLiteral("Device count:"), this);
    lblDevCount->setObjectName(QStringLiteral("lblDevCount"));
    lblDevCount->setGeometry(8, bottom + 22, 200, 20);

    const auto addButton = [&](const QString& caption, const QString& name, int index) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        button->setGeometry(right - 80 - index * 88, bottom, 80, 25);
        return button;
    };
    btnCancel = addButton(QStringLiteral("Cancel"), QStringLiteral("btnCancel"), 0);
    btnOK = addButton(QStringLiteral("OK"), QStringLiteral("btnOK"), 1);
    btnSave = addButton(QStringLiteral("Save..."), QStringLiteral("btnSave"), 2);
    btnScan = addButton(QStringLiteral("Refresh"), QStringLiteral("btnScan"), 3);
    btnSave->setToolTip(QStringLiteral("Save the device list as a CSV file"));
    setFixedSize(right + 9, bottom + 50);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnScan, &QPushButton::clicked, this, [this] { btnScanClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(grid, &QTableWidget::cellClicked, this, [this](int row) { grdDevicesClick(row); });
    connect(grid, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { grdDevicesDblClick(row); });
    connect(&list, &TN2KDeviceList::Changed, this, &TN2KDeviceListForm::DeviceListChanged);
    DeviceListChanged();
}

void TN2KDeviceListForm::Browse() {
    if (list.Count() == 0)
        list.Scan();
    selectedName = 0;
    grid->SetShowSelection(false);
    btnOK->hide();
    btnCancel->setText(QStringLiteral("Close"));
    if (grid->rowCount() > 0)
        grid->setCurrentCell(0, 0);
    else
        grid->setCurrentCell(-1, -1);
    exec();
}

int TN2KDeviceListForm::Pick(quint64 name) {
    if (list.Count() == 0)
        list.Scan();
    selectedName = name;
    grid->SetShowSelection(selectedName != 0);
    btnOK->show();
    btnCancel->setText(QStringLiteral("Cancel"));
    MoveToName(name);
    return exec();
}

const TN2KDevice* TN2KDeviceListForm::PickedDevice() const {
    if (list.Count() == 0)
        return nullptr;
    return grid->RowDevice(std::max(0, grid->currentRow()));
}

void TN2KDeviceListForm::MoveToName(quint64 name) {
    const int row = grid->RowOfName(name);
    if (row >= 0)
        grid->setCurrentCell(row, 0);
}

void TN2KDeviceListForm::DeviceListChanged() {
    grid->UpdateRows();
    const bool empty = grid->rowCount() == 0;
    switch (list.ScanState()) {
    case nsIdle:
        if (empty) {
            lblMessage->setText(QStringLiteral("No NMEA 2000 devices found"));
            lblMessage->show();
        } else {
            lblMessage->hide();
            MoveToName(selectedName);
        }
        btnScan->setEnabled(true);
        break;
    case nsAddressClaim:
        if (empty) {
            lblMessage->setText(MsgScanning);
            lblMessage->show();
        }
        break;
    case nsProductInfo:
        lblMessage->setText(QStringLiteral("Retrieving Product info..."));
        break;
    case nsNextDevice:
        break;
    case nsChanged:
        lblMessage->setText(QStringLiteral("New NMEA 2000 device(s) detected, please refresh"));
        lblMessage->show();
        break;
    }
    lblDevCount->setText(QStringLiteral("Device count: %1").arg(list.Count()));
}

void TN2KDeviceListForm::btnScanClick() {
    btnScan->setEnabled(false);
    lblMessage->setText(MsgScanning);
    lblMessage->show();
    list.Scan();
}

void TN2KDeviceListForm::grdDevicesClick(int row) {
    if (const TN2KDevice* device = grid->RowDevice(row)) {
        selectedName = device->Name;
        grid->SetShowSelection(selectedName != 0);
    }
}

void TN2KDeviceListForm::grdDevicesDblClick(int row) {
    if (!grid->RowDevice(row))
        return;
    if (btnOK->isVisible()) {
        grid->setCurrentCell(row, 0);
        accept();
        return;
    }
    // The device as it was shown: a scan while the window is open may clear its record.
    const TN2KDevice device = *grid->RowDevice(row);
    if (infoForm->ShowDevice(row) != QDialog::Accepted)
        return;
    const TN2KDeviceEntry& entry = infoForm->Entry();
    list.SendDeviceChange(device, entry.SourceAddress, entry.DeviceInstance, entry.SystemInstance);
}

void TN2KDeviceListForm::btnSaveClick() {
    QFileDialog dialog(this, QStringLiteral("Save Device List"));
    dialog.setObjectName(QStringLiteral("dlgSaveCsv"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("CSV file (*.csv)"), QStringLiteral("Any file (*)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SaveCsv(dialog.selectedFiles().constFirst());
}

bool TN2KDeviceListForm::SaveCsv(const QString& fileName) {
    // Written whole or not at all; the byte-order mark lets spreadsheet programs read the
    // manufacturers' accented names as UTF-8.
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("\xEF\xBB\xBF");
        file.write(N2KDeviceListCsv(list).toUtf8());
        if (file.commit())
            return true;
    }
    user.ShowMessage(MsgErrorCreating(fileName));
    return false;
}
