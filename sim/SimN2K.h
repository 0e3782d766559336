#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

// The simulated NMEA 2000 network behind the multiplexer: a few devices with their ISO NAMEs,
// source addresses and product information, answering the requests the multiplexer relays.

// What a device contributes to the simulated traffic.
enum TSimN2KRole : quint8 {
    nrNone = 0,
    nrGps = 1,
    nrHeading = 2,
    nrDepth = 3,
    nrWind = 4,
};

struct TSimN2KDevice {
    quint8 address = 255;
    quint64 name = 0;
    quint16 databaseVersion = 2100; // NMEA 2000 database version times 1000
    QString n2kVersion;             // the same as text, at most 5 characters
    quint16 productCode = 0;
    QString modelID;
    QString softwareVersion;
    QString modelVersion;
    QString serialCode;
    quint8 certificationLevel = 1; // 0 level A, 1 level B
    quint8 loadEquivalency = 1;    // units of 50 mA
    TSimN2KRole role = nrNone;

    // How the device answers requests for its product information.
    int answerDelayMs = 0;      // the answer goes out this late
    int dropAnswers = 0;        // this many requests go unanswered before the first answer
    bool noProductInfo = false; // never answers
    bool withoutPartC = false;  // answers parts A and B only

    bool operator==(const TSimN2KDevice&) const = default;
};

// ISO 11783 NAME from its parts (industry group 4, marine; arbitrary address capable).
quint64 N2KName(quint32 identity, quint16 manufacturer, quint8 deviceInstance,
                quint8 deviceFunction, quint8 deviceClass, quint8 systemInstance);
quint16 N2KManufacturer(quint64 name);
quint8 N2KDeviceInstance(quint64 name);
quint8 N2KSystemInstance(quint64 name);
// The NAME with other device and system instances (system instance: low four bits).
quint64 N2KWithInstances(quint64 name, quint8 deviceInstance, quint8 systemInstance);

// GPS, autopilot course computer (manufacturer 1851, part-number model ID), depth transducer
// and weather station.
QList<TSimN2KDevice> DefaultN2KDevices();
// A larger network: count devices (at most 200) of several makers at addresses 40, 41, ...,
// each with product information of its own.
QList<TSimN2KDevice> ManyN2KDevices(int count);

// The product information of one device and when it goes out.
struct TSimN2KAnswer {
    int delayMs = 0;
    QList<QByteArray> lines;
};

class TSimN2KNetwork {
public:
    explicit TSimN2KNetwork(const QList<TSimN2KDevice>& initial = {});

    const QList<TSimN2KDevice>& Devices() const { return devices; }
    const TSimN2KDevice* ByAddress(quint8 address) const;
    const TSimN2KDevice* ByRole(TSimN2KRole role) const;

    // "$PZRQNC,R,<NAME>,<address>" of the device at destination, or of all for 255.
    QList<QByteArray> AddressClaims(quint8 destination) const;
    // "$PZRQNP" parts A, B and C, each behind a TAG block naming the unique ID and the
    // device's address ("s:ID#1C", or "s:ID=28" with decimal). One answer per device that
    // answers this request (see the device's answer settings).
    QList<TSimN2KAnswer> ProductInformation(quint8 destination, const QByteArray& uniqueID,
                                            bool decimal);

    // The device with that NAME takes the address and claims it; a device that held the
    // address gives way to the next free one (not in reserved) and claims that. Returns the
    // claims, none for an unknown NAME or an address above 251.
    QList<QByteArray> CommandAddress(quint64 name, quint8 address, const QSet<quint8>& reserved);
    // New instances for the device at address; it claims again with its new NAME.
    QList<QByteArray> SetInstances(quint8 address, quint8 deviceInstance, quint8 systemInstance);

    // The first address from start on (wrapping within 0..251) that neither a device nor
    // reserved holds; 255 when there is none.
    quint8 FreeAddress(quint8 start, const QSet<quint8>& reserved) const;

private:
    static QByteArray Claim(const TSimN2KDevice& device);
    QList<TSimN2KDevice> devices;
};
