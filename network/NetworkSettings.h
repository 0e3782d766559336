#pragma once

#include "network/XportLib.h"

#include <QString>

// The texts of the network setup, shared by the dialogs and the command-line tool.
inline const QString CannotConnectText = QStringLiteral("Cannot connect to Corvanta");
inline const QString InvalidSettingsText =
    QStringLiteral("Invalid IP address, network mask or port number entered");
inline const QString UnableToVerifyText = QStringLiteral("Unable to verify network settings!");
inline const QString InvalidMacOrIPText = QStringLiteral("Invalid MAC or IP address entered");
inline const QString NoDeviceFoundText = QStringLiteral("No Corvanta-NX found");
inline const QString FactoryResetQuestion =
    QStringLiteral("This restores the factory default network settings.\nDo you really want to "
                   "proceed?");
inline const QString AssigningCaption = QStringLiteral("Assigning IP Address...");
inline const QString UpdatingCaption = QStringLiteral("Updating Network Settings...");
inline const QString RestoringCaption = QStringLiteral("Restoring Default Network Settings...");

enum TUdpMode { umBroadcast = 0, umDirected = 1 };

// The network settings as the settings dialog shows and edits them: texts as typed.
struct TNetworkFields {
    QString IP = QStringLiteral("0.0.0.0");
    QString Mask = QStringLiteral("0.0.0.0");
    QString Gateway = QStringLiteral("0.0.0.0");
    QString Port = QStringLiteral("10110");
    bool Udp = false;
    int UdpMode = umBroadcast;
    QString Destination = QStringLiteral("0.0.0.0");

    bool operator==(const TNetworkFields&) const = default;
};

// The fields in the order they are checked; nfNone when all are valid.
enum TNetworkField { nfNone, nfIP, nfMask, nfGateway, nfPort, nfDestination };

// What the dialog shows for a setup record.
TNetworkFields NetworkFieldsOf(const TXPortSetup& setup);

// Checks the fields in order and stores each into the record; the first invalid one ends the
// check and is returned (what was stored before it stays). Ports outside 1 to 65535 are
// refused rather than cut to 16 bits.
TNetworkField StoreNetworkFields(const TNetworkFields& fields, TXPortSetup& setup);

// The input of an IP assignment: the MAC's last two bytes and the address.
struct TAssignRequest {
    quint8 Mac5 = 0;
    quint8 Mac6 = 0;
    TIPv4 IP = 0;
};
enum TAssignField { afNone, afMac, afIP };

// Checks the MAC text, then the IP text; afNone and the request filled when both are valid.
TAssignField CheckAssignInput(const QString& mac, const QString& ip, TAssignRequest& request);
