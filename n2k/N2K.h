#pragma once

#include "n2k/N2KManufacturers.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class TSentence;
class TSession;

// One device on the NMEA 2000 network, by its source address. All zero when cleared, except
// the address.
struct TN2KDevice {
    quint8 Address = 255;    // 255 while no address claim has been seen for it
    quint64 Name = 0;        // ISO NAME; 0 = none known
    QString N2KVersion;      // NMEA 2000 database version as the device sends it
    quint16 ProductCode = 0; // 0xFFFF when the device sent no valid number
    QString ModelID;         // at most 32 characters, as the text fields below
    QString SoftwareVersion;
    QString ModelVersion;
    QString SerialCode;
    quint8 CertificationLevel = 0; // 0 level A, 1 level B, 255 unknown
    quint8 LoadEquivalency = 0;    // units of 50 mA; 255 unknown

    // Parts of the NAME.
    quint32 IdentityNumber() const { return quint32(Name & 0x1FFFFF); }
    quint16 ManufacturerCode() const { return quint16((Name >> 21) & 0x7FF); }
    quint8 DeviceInstance() const { return quint8(Name >> 32); }
    quint8 SystemInstance() const { return quint8((Name >> 56) & 0xF); }
};

// A NAME with other device and system instances.
quint64 N2KNameWithInstances(quint64 name, quint8 deviceInstance, quint8 systemInstance);

enum TN2KScanState : quint8 {
    nsIdle = 0,         // no scan running
    nsAddressClaim = 1, // waiting for address claims after the request to all devices
    nsProductInfo = 2,  // asking the current address for its product information
    nsNextDevice = 3,   // product information complete; the next device is asked shortly
    nsChanged = 4,      // idle, and a device with a new identity has claimed an address
};

// The devices on the multiplexer's NMEA 2000 network. A scan asks all devices for their
// address claim, then each claimed address in turn for its product information, with
// retries; devices whose product information arrived completely form the complete list, in
// the order they completed. The session hands it every proprietary sentence and starts it
// afresh on every identification.
class TN2KDeviceList : public QObject {
    Q_OBJECT

public:
    static constexpr int AddressCount = 255; // source addresses 0..254
    static constexpr int Retries = 3;        // requests after the first one
    static constexpr int StepMs = 500;       // address claims, and each product request
    static constexpr int NextDeviceMs = 50;  // from a complete answer to the next request
    static constexpr int ConverterManufacturer = 1851;
    static constexpr int ConverterProductCode = 16763;

    explicit TN2KDeviceList(TSession& session, QObject* parent = nullptr);
    ~TN2KDeviceList() override;

    // Every record cleared, the complete list emptied; the scan state stays.
    void Clear();
    void Scan();
    void ProcessSentence(const TSentence& sentence);

    // The complete list.
    int Count() const { return int(complete.size()); }
    const TN2KDevice& Device(int position) const { return *complete.at(position); }
    // The first device of the complete list with that NAME, or nullptr.
    const TN2KDevice* FindByName(quint64 name) const;
    // The record of a source address (0..254).
    const TN2KDevice& Record(quint8 address) const { return devices.at(address); }

    const QString& Manufacturer(int code) const { return manufacturers.Name(code); }
    const QString& ManufacturerOf(const TN2KDevice& device) const {
        return manufacturers.Name(device.ManufacturerCode());
    }

    TN2KScanState ScanState() const { return state; }
    quint8 CurrentAddress() const { return current; }

    // Sends the commands that give a device a new source address and new instances, as far
    // as they differ from what the device has now; returns the sentences sent. The device's
    // record stays as it is until the device claims again.
    QStringList SendDeviceChange(const TN2KDevice& device, quint8 sourceAddress,
                                 quint8 deviceInstance, quint8 systemInstance);

signals:
    // After every change that a view may show.
    void Changed();

private:
    // The fuzz target steps the scan without waiting for its timer.
    friend struct TN2KScanStepper;

    void TimerTick();
    void HandleAddressClaim(const TSentence& sentence);
    void HandleProductInfo(const TSentence& sentence);
    void RequestProductInfo();
    // Chooses the next claimed address after the scan index, or ends the scan.
    bool ChooseNextDevice();
    void Send(const QString& text);

    TSession& session;
    std::array<TN2KDevice, AddressCount> devices;
    QList<const TN2KDevice*> complete;
    const TN2KManufacturers& manufacturers;
    TN2KScanState state = nsIdle;
    quint8 current = 255;
    int scanIndex = 0;
    int retries = 0;
    QTimer timer; // the sequencing timer
};
