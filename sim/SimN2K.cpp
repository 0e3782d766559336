#include "sim/SimN2K.h"

#include "sim/SimFormat.h"

#include <algorithm>
#include <iterator>

quint64 N2KName(quint32 identity, quint16 manufacturer, quint8 deviceInstance,
                quint8 deviceFunction, quint8 deviceClass, quint8 systemInstance) {
    constexpr quint64 industryMarine = 4;
    return quint64(identity & 0x1FFFFF) | quint64(manufacturer & 0x7FF) << 21 |
           quint64(deviceInstance) << 32 | quint64(deviceFunction) << 40 |
           quint64(deviceClass & 0x7F) << 49 | quint64(systemInstance & 0xF) << 56 |
           industryMarine << 60 | quint64(1) << 63;
}

quint16 N2KManufacturer(quint64 name) {
    return quint16((name >> 21) & 0x7FF);
}
quint8 N2KDeviceInstance(quint64 name) {
    return quint8(name >> 32);
}
quint8 N2KSystemInstance(quint64 name) {
    return quint8((name >> 56) & 0xF);
}

quint64 N2KWithInstances(quint64 name, quint8 deviceInstance, quint8 systemInstance) {
    name &= ~(quint64(0xFF) << 32 | quint64(0xF) << 56);
    return name | quint64(deviceInstance) << 32 | quint64(systemInstance & 0xF) << 56;
}

QList<TSimN2KDevice> DefaultN2KDevices() {
    QList<TSimN2KDevice> list;
    TSimN2KDevice gps;
    gps.address = 0x0A;
    gps.name = N2KName(0x0B2A41, 229, 0, 145, 60, 0);
    gps.n2kVersion = QStringLiteral("2.100");
    gps.productCode = 2475;
    gps.modelID = QStringLiteral("GPS 24xd");
    gps.softwareVersion = QStringLiteral("5.30");
    gps.modelVersion = QStringLiteral("1.00");
    gps.serialCode = QStringLiteral("4V1027736");
    gps.loadEquivalency = 2;
    gps.role = nrGps;
    list.append(gps);

    TSimN2KDevice pilot;
    pilot.address = 0x1C;
    pilot.name = N2KName(0x04D2E1, 1851, 0, 150, 40, 0);
    pilot.databaseVersion = 2000;
    pilot.n2kVersion = QStringLiteral("2.000");
    pilot.productCode = 18944;
    pilot.modelID = QStringLiteral("E70210");
    pilot.softwareVersion = QStringLiteral("3.11");
    pilot.modelVersion = QStringLiteral("EV-1 Course Computer");
    pilot.serialCode = QStringLiteral("0160487");
    pilot.role = nrHeading;
    list.append(pilot);

    TSimN2KDevice depth;
    depth.address = 0x23;
    depth.name = N2KName(0x01B7F3, 135, 0, 130, 60, 0);
    depth.databaseVersion = 2001;
    depth.n2kVersion = QStringLiteral("2.001");
    depth.productCode = 1523;
    depth.modelID = QStringLiteral("DST810");
    depth.softwareVersion = QStringLiteral("1.013");
    depth.modelVersion = QStringLiteral("Smart Depth Speed Temp");
    depth.serialCode = QStringLiteral("00231877");
    depth.role = nrDepth;
    list.append(depth);

    TSimN2KDevice wind;
    wind.address = 0x42;
    wind.name = N2KName(0x00D31C, 137, 0, 130, 85, 0);
    wind.databaseVersion = 1301;
    wind.n2kVersion = QStringLiteral("1.301");
    wind.productCode = 10234;
    wind.modelID = QStringLiteral("WSO100");
    wind.softwareVersion = QStringLiteral("1.2.3");
    wind.modelVersion = QStringLiteral("Rev B");
    wind.serialCode = QStringLiteral("1314159");
    wind.certificationLevel = 0;
    wind.role = nrWind;
    list.append(wind);
    return list;
}

QList<TSimN2KDevice> ManyN2KDevices(int count) {
    struct TMaker {
        quint16 code;
        const char* model;
        quint8 deviceClass;
        quint8 function;
    };
    // Makers and kinds of device found on boats; the codes are listed manufacturers.
    const TMaker makers[] = {
        {229, "GPSMAP 1243xsv", 120, 130}, {135, "DST810", 60, 130},   {137, "WSO100", 85, 130},
        {275, "Zeus3S 12", 120, 130},      {1855, "GP330B", 60, 145},  {358, "Cerbo GX", 35, 140},
        {273, "NGW-1", 25, 135},           {381, "Triton2", 120, 130}, {717, "YDEG-04", 50, 160},
        {144, "VesselView", 50, 140},
    };
    QList<TSimN2KDevice> list;
    for (int i = 0; i < std::min(count, 200); ++i) {
        const TMaker& maker = makers[i % std::size(makers)];
        TSimN2KDevice device;
        device.address = quint8(40 + i);
        device.name = N2KName(quint32(0x10000 + 7919 * i), maker.code, quint8(i / 10),
                              maker.function, maker.deviceClass, 0);
        device.databaseVersion = 2100;
        device.n2kVersion = QStringLiteral("2.100");
        device.productCode = quint16(1000 + i);
        device.modelID = QString::fromLatin1(maker.model);
        device.softwareVersion = QStringLiteral("%1.%2").arg(1 + i % 4).arg(10 + i);
        device.modelVersion = QStringLiteral("Rev %1").arg(QChar(u'A' + i % 6));
        device.serialCode = QStringLiteral("%1").arg(100000 + 37 * i);
        device.certificationLevel = quint8(i % 2);
        device.loadEquivalency = quint8(1 + i % 5);
        list.append(device);
    }
    return list;
}

TSimN2KNetwork::TSimN2KNetwork(const QList<TSimN2KDevice>& initial)
    : devices(initial) {}

const TSimN2KDevice* TSimN2KNetwork::ByAddress(quint8 address) const {
    for (const TSimN2KDevice& device : devices) {
        if (device.address == address)
            return &device;
    }
    return nullptr;
}

const TSimN2KDevice* TSimN2KNetwork::ByRole(TSimN2KRole role) const {
    for (const TSimN2KDevice& device : devices) {
        if (device.role == role)
            return &device;
    }
    return nullptr;
}

QByteArray TSimN2KNetwork::Claim(const TSimN2KDevice& device) {
    return "$PZRQNC,R," + HexBytes(device.name, 16) + ',' + QByteArray::number(device.address);
}

QList<QByteArray> TSimN2KNetwork::AddressClaims(quint8 destination) const {
    QList<QByteArray> lines;
    for (const TSimN2KDevice& device : devices) {
        if (destination == 255 || device.address == destination)
            lines.append(Claim(device));
    }
    return lines;
}

QList<TSimN2KAnswer> TSimN2KNetwork::ProductInformation(quint8 destination,
                                                        const QByteArray& uniqueID, bool decimal) {
    QList<TSimN2KAnswer> answers;
    for (TSimN2KDevice& device : devices) {
        if (destination != 255 && device.address != destination)
            continue;
        if (device.noProductInfo)
            continue;
        if (device.dropAnswers > 0) {
            --device.dropAnswers;
            continue;
        }
        const QByteArray source = "s:" + uniqueID +
                                  (decimal ? '=' + QByteArray::number(device.address)
                                           : '#' + HexBytes(device.address, 2));
        const QByteArray tag = TagBlock(source);
        TSimN2KAnswer answer;
        answer.delayMs = device.answerDelayMs;
        answer.lines.append(tag + "$PZRQNP,A," + QByteArray::number(device.databaseVersion) + ',' +
                            device.n2kVersion.toLatin1() + ',' +
                            QByteArray::number(device.productCode) + ',' +
                            QByteArray::number(device.certificationLevel) + ',' +
                            QByteArray::number(device.loadEquivalency));
        answer.lines.append(tag + "$PZRQNP,B," + device.modelID.toLatin1() + ',' +
                            device.serialCode.toLatin1());
        if (!device.withoutPartC)
            answer.lines.append(tag + "$PZRQNP,C," + device.softwareVersion.toLatin1() + ',' +
                                device.modelVersion.toLatin1());
        answers.append(answer);
    }
    return answers;
}

quint8 TSimN2KNetwork::FreeAddress(quint8 start, const QSet<quint8>& reserved) const {
    for (int step = 0; step < 252; ++step) {
        const quint8 candidate = quint8((start + step) % 252);
        if (!ByAddress(candidate) && !reserved.contains(candidate))
            return candidate;
    }
    return 255;
}

QList<QByteArray> TSimN2KNetwork::CommandAddress(quint64 name, quint8 address,
                                                 const QSet<quint8>& reserved) {
    if (address > 251)
        return {};
    qsizetype target = -1;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (devices[i].name == name)
            target = i;
    }
    if (target < 0)
        return {};

    QList<QByteArray> lines;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (i != target && devices[i].address == address) {
            // The loser of the claim moves on; the commanded device is not in the way yet.
            devices[target].address = 255;
            QSet<quint8> taken = reserved;
            taken.insert(address);
            devices[i].address = FreeAddress(quint8((address + 1) % 252), taken);
            lines.append(Claim(devices[i]));
        }
    }
    devices[target].address = address;
    lines.prepend(Claim(devices[target]));
    return lines;
}

QList<QByteArray> TSimN2KNetwork::SetInstances(quint8 address, quint8 deviceInstance,
                                               quint8 systemInstance) {
    for (TSimN2KDevice& device : devices) {
        if (device.address == address) {
            device.name = N2KWithInstances(device.name, deviceInstance, systemInstance);
            return {Claim(device)};
        }
    }
    return {};
}
