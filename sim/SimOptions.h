#pragma once

#include "sim/SimN2K.h"

#include <QHostAddress>
#include <QList>
#include <QString>

// How a simulated multiplexer is set up when it starts.
struct TSimOptions {
    QHostAddress listen = QHostAddress(QHostAddress::LocalHost);
    bool tcp = true;
    quint16 tcpPort = 0; // 0: the system picks
    bool udp = false;
    quint16 udpPort = 0;
    bool pty = false;

    QString firmware = QStringLiteral("3.14.0");
    // What the application reports after a firmware update; empty keeps the version.
    QString updatedFirmware = QStringLiteral("3.14.0");
    QString deviceName = QStringLiteral("Corvanta-PX");
    QString serialNumber = QStringLiteral("24070193");
    QString uniqueID = QStringLiteral("CPX7A31F");
    // Bits 0xE000 == 0xA000: a supported device; 0x10: NMEA 2000; low three bits: model.
    quint16 capabilities = 0xA010;
    quint8 loaderType = 0x94; // the multiplexer type the bootloader announces

    int trafficRate = 0;           // NMEA sentences per second, 0 for none
    bool decimalTagSource = false; // NMEA 2000 sources as "s:ID=28" instead of "s:ID#1C"
    QList<TSimN2KDevice> n2kDevices = DefaultN2KDevices();
    quint32 seed = 1; // of the noise in the traffic and the statistics

    int bootDelayMs = 250;    // from "$PZRQRESET" to the bootloader's announcement
    int restartDelayMs = 500; // from the CRC reply to the application's "$PZRQVER"
};
