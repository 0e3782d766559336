#pragma once

#include <QString>

// A link named on the command line: tcp:HOST[:PORT], udp:HOST[:PORT], udp-all:HOST[:PORT] or
// serial:DEVICE.
struct TLinkTarget {
    int Selector = -1; // port selector index: 0 "UDP All", 1 "UDP", 2 "TCP", 3 serial
    QString Host;      // network links
    QString Port;      // network links, "10110" unless named
    QString Device;    // serial links

    bool IsSerial() const { return Selector >= 3; }
};

inline constexpr int SelectorUdpAll = 0;
inline constexpr int SelectorUdp = 1;
inline constexpr int SelectorTcp = 2;
inline constexpr int SelectorFirstSerial = 3;
inline constexpr const char* DefaultNetPort = "10110";

// Raises EError with a message saying what is wrong.
TLinkTarget ParseLinkUrl(const QString& url);
