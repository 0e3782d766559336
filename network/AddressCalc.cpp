#include "network/AddressCalc.h"

#include "nmea/Numbers.h"

std::optional<TIPv4> TAddressCalc::ParseIP(QStringView text) {
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    TIPv4 ip = 0;
    for (QStringView part : parts) {
        // Three digits at most, so that no long run of zeros passes as an octet.
        const std::optional<quint64> octet = part.size() <= 3 ? ParseUnsigned(part) : std::nullopt;
        if (!octet || *octet > 255)
            return std::nullopt;
        ip = ip << 8 | TIPv4(*octet);
    }
    return ip;
}

QString TAddressCalc::IPText(TIPv4 ip) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xFF)
        .arg((ip >> 8) & 0xFF)
        .arg(ip & 0xFF);
}

TIPv4 TAddressCalc::MaskOfHostBits(int hostBits) {
    if (hostBits >= 32)
        return 0;
    if (hostBits <= 0)
        return 0xFFFFFFFF;
    return TIPv4(0xFFFFFFFF) << hostBits;
}

std::optional<int> TAddressCalc::HostBitsOfMask(TIPv4 mask) {
    int ones = 0;
    while (ones < 32 && (mask & (TIPv4(0x80000000) >> ones)))
        ++ones;
    if (MaskOfHostBits(32 - ones) != mask)
        return std::nullopt;
    return 32 - ones;
}

bool TAddressCalc::HostPartValid(TIPv4 ip, TIPv4 mask) {
    const TIPv4 host = ip & ~mask;
    return host != 0 && host != ~mask;
}

bool TAddressCalc::AssignableIP(TIPv4 ip) {
    if (ip == 0)
        return true;
    const TIPv4 first = ip >> 24;
    const TIPv4 last = ip & 0xFF;
    return first != 0 && first != 255 && last != 0 && last != 255;
}

std::optional<std::pair<quint8, quint8>> TAddressCalc::ParseMacTail(QStringView text) {
    if (text.size() != 17)
        return std::nullopt;
    for (int position : {3, 6, 9, 12, 15}) {
        if (text[position - 1] != u'-')
            return std::nullopt;
    }
    const std::optional<quint64> fifth = ParseHex(text.mid(12, 2));
    const std::optional<quint64> sixth = ParseHex(text.mid(15, 2));
    if (!fifth || !sixth)
        return std::nullopt;
    return std::pair{quint8(*fifth), quint8(*sixth)};
}
