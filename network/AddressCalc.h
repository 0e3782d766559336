#pragma once

#include "network/XportLib.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

// The address arithmetic of the network dialogs, the command-line tool and their checks.
class TAddressCalc {
public:
    // Four decimal numbers 0 to 255 separated by dots, nothing else.
    static std::optional<TIPv4> ParseIP(QStringView text);
    static QString IPText(TIPv4 ip);

    // The mask with 32 - hostBits leading ones (host bits beyond 32 count as 32).
    static TIPv4 MaskOfHostBits(int hostBits);
    // 32 minus the leading ones; nothing unless the mask is ones followed by zeros only.
    static std::optional<int> HostBitsOfMask(TIPv4 mask);
    // The host part (the address with the mask's bits cleared) is neither all zeros nor all
    // ones.
    static bool HostPartValid(TIPv4 ip, TIPv4 mask);

    // An address a device server may be given: 0.0.0.0, or one whose first and last octets are
    // neither 0 nor 255.
    static bool AssignableIP(TIPv4 ip);
    // The fifth and sixth byte of a MAC text "xx-xx-xx-xx-xx-xx" (17 characters, hyphens in
    // their places, the last two bytes hexadecimal; the others are not looked at).
    static std::optional<std::pair<quint8, quint8>> ParseMacTail(QStringView text);
};
