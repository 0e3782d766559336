#include "n2k/N2KDeviceInfo.h"

#include "n2k/N2K.h"
#include "session/User.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int CaptionX = 12;
constexpr int ValueX = 140; // room for "Certification Level:" in wide fonts
constexpr int ValueWidth = 241;
constexpr int LineHeight = 20;

} // namespace

TN2KDeviceInfoForm::TN2KDeviceInfoForm(const TN2KDeviceList& aList, IUser& aUser, QWidget* parent)
    : QDialog(parent)
    , list(aList)
    , user(aUser) {
    setObjectName(QStringLiteral("N2KDeviceInfoForm"));
    setWindowTitle(QStringLiteral("Device Information"));

    int y = 12;
    lblDevice = AddLine(QStringLiteral("Device:"), QStringLiteral("lblDevice"), y);
    lblModel = AddLine(QStringLiteral("Model:"), QStringLiteral("lblModel"), y += LineHeight);
    lblManufacturer = AddLine(QStringLiteral("Manufacturer:"), QStringLiteral("lblManufacturer"),
                              y += LineHeight);
    // Long names wrap onto a second line.
    lblManufacturer->setWordWrap(true);
    lblManufacturer->setFixedHeight(2 * LineHeight);
    y += LineHeight;
    lblSoftwareVersion = AddLine(QStringLiteral("Software Version:"),
                                 QStringLiteral("lblSoftwareVersion"), y += LineHeight);
    lblSerialNumber = AddLine(QStringLiteral("Serial Number:"), QStringLiteral("lblSerialNumber"),
                              y += LineHeight);
    lblN2KVersion = AddLine(QStringLiteral("NMEA 2000 Version:"), QStringLiteral("lblN2KVersion"),
                            y += LineHeight);
    lblProductCode =
        AddLine(QStringLiteral("Product Code:"), QStringLiteral("lblProductCode"), y += LineHeight);
    lblCertificationLevel = AddLine(QStringLiteral("Certification Level:"),
                                    QStringLiteral("lblCertificationLevel"), y += LineHeight);
    lblLoadEquivalency = AddLine(QStringLiteral("Load Equivalency:"),
                                 QStringLiteral("lblLoadEquivalency"), y += LineHeight);

    const auto addField = [&](const QString& caption, const QString& name, const QString& mask) {
        y += LineHeight + 6;
        auto* label = new QLabel(caption, this);
        label->setGeometry(CaptionX, y, ValueX - CaptionX, LineHeight);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setInputMask(mask);
        edit->setGeometry(ValueX, y - 2, 48, LineHeight + 2);
        label->setBuddy(edit);
        return edit;
    };
    // Optional digits: three for the address and the device instance, two for the system.
    edtSA =
        addField(QStringLiteral("Source Address:"), QStringLiteral("edtSA"), QStringLiteral("999"));
    edtDI = addField(QStringLiteral("Device Instance:"), QStringLiteral("edtDI"),
                     QStringLiteral("999"));
    edtSI =
        addField(QStringLiteral("System Instance"), QStringLiteral("edtSI"), QStringLiteral("99"));

    y += LineHeight + 16;
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(ValueX + ValueWidth - 2 * 80 - 8, y, 80, 25);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(ValueX + ValueWidth - 80, y, 80, 25);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(ValueX + ValueWidth + CaptionX, y + 25 + 12);
}

QLabel* TN2KDeviceInfoForm::AddLine(const QString& caption, const QString& name, int y) {
    auto* label = new QLabel(caption, this);
    label->setGeometry(CaptionX, y, ValueX - CaptionX, LineHeight);
    auto* value = new QLabel(this);
    value->setObjectName(name);
    value->setGeometry(ValueX, y, ValueWidth, LineHeight);
    value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return value;
}

int TN2KDeviceInfoForm::ShowDevice(int position) {
    const TN2KDevice& device = list.Device(position);
    lblManufacturer->setText(list.ManufacturerOf(device));
    lblDevice->setText(device.ModelID);
    lblModel->setText(device.ModelVersion);
    lblSerialNumber->setText(device.SerialCode);
    lblSoftwareVersion->setText(device.SoftwareVersion);
    lblProductCode->setText(N2KProductCodeText(device.ProductCode));
    lblN2KVersion->setText(device.N2KVersion);
    lblCertificationLevel->setText(N2KCertificationText(device.CertificationLevel));
    lblLoadEquivalency->setText(N2KLoadEquivalencyText(device.LoadEquivalency));
    edtSA->setText(QString::number(device.Address));
    edtDI->setText(QString::number(device.DeviceInstance()));
    edtSI->setText(QString::number(device.SystemInstance()));
    entry = {device.Address, device.DeviceInstance(), device.SystemInstance()};
    btnCancel->setDefault(false);
    btnOK->setDefault(false);
    btnCancel->setFocus();
    return exec();
}

void TN2KDeviceInfoForm::done(int result) {
    // Cancel and closing the window leave without a word: a bad entry must never keep the user
    // from backing out.
    if (result != Accepted) {
        QDialog::done(result);
        return;
    }
    TN2KDeviceEntry entered = entry;
    const QStringList messages =
        CheckDeviceEntry(edtSA->text(), edtDI->text(), edtSI->text(), entered);
    for (const QString& message : messages)
        user.ShowMessage(message);
    if (!messages.isEmpty())
        return;
    entry = entered;
    QDialog::done(result);
}
