#pragma once

#include "sim/SimThread.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class TXPortSimNet;

// Misbehaviours of a simulated device server. A fault is off while its value is 0; 1 applies it
// to every reply, a reply code (0xF7, 0xF9, 0xFB, 0xD3, 0xB3, 0xB7) to that reply only.
enum TXPortSimFault : quint8 {
    xfNoAnswer,   // the request goes unanswered
    xfShortReply, // the reply lacks its last byte
    xfWrongCode,  // byte 3 of the reply has its top bit flipped
    xfLongReply,  // ten bytes too many follow the reply
    xfCount
};

struct TXPortSimFaultInfo {
    TXPortSimFault Fault;
    const char* Name; // as on the command line
    const char* Help;
};

inline constexpr std::array<TXPortSimFaultInfo, xfCount> XPortSimFaults{{
    {xfNoAnswer, "no-answer", "leave requests unanswered"},
    {xfShortReply, "short-reply", "replies lack their last byte"},
    {xfWrongCode, "wrong-code", "replies carry a wrong code"},
    {xfLongReply, "long-reply", "replies carry ten bytes too many"},
}};

// "NAME" (every reply) or "NAME=CODE" (CODE decimal or 0x hexadecimal).
std::optional<std::pair<TXPortSimFault, int>> ParseXPortSimFault(const QString& text);

// One simulated device server.
struct TXPortSimServer {
    QHostAddress Address;        // a loopback address of its own
    std::array<quint8, 6> Mac{}; // first byte first
    QByteArray Setup;            // the 124-byte setup record it serves
    QByteArray Extended;         // the 130-byte extended record it serves
};

struct TXPortSimOptions {
    // Where discovery and IP assignment arrive: stands in for the broadcast address and hands
    // every datagram to every server. Each server also answers datagrams sent to itself.
    QHostAddress Hub = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 0; // UDP and TCP on every address; 0: one free on all of them is picked
    QList<TXPortSimServer> Servers;
    // How long a server is away after new settings or an address (it restarts), in ms.
    int RestartMs = 1000;
};

// count servers at first, first + 1, ..., with MACs 00-20-4A-C9-19-08 onwards, each set up for
// its own address.
QList<TXPortSimServer>
XPortSimServers(int count, const QHostAddress& first = QHostAddress(QStringLiteral("127.0.0.2")));
// The record a simulated server starts with: its address with netmask 255.0.0.0, gateway
// 127.0.0.1, TCP on port 10110.
QByteArray XPortSimSetup(const QHostAddress& address);

// Simulated Ethernet device servers on loopback addresses: discovery, the setup and extended
// records over TCP, the factory defaults, IP assignment. Runs on a thread of its own, so that
// blocking callers get their answers; every method may be called from any thread.
class TXPortSimulator {
public:
    explicit TXPortSimulator(const TXPortSimOptions& options);
    ~TXPortSimulator();
    TXPortSimulator(const TXPortSimulator&) = delete;
    TXPortSimulator& operator=(const TXPortSimulator&) = delete;

    // Opens the sockets; raises ECommError when they cannot be opened.
    void Start();
    quint16 Port() const;
    QHostAddress Hub() const;
    int Count() const;

    QHostAddress Address(int server) const; // where it listens (or will, once restarted)
    bool Listening(int server) const;
    int Restarts(int server) const; // restarts it has come back from
    QByteArray Setup(int server) const;
    void SetSetup(int server, const QByteArray& setup);
    QByteArray Extended(int server) const;
    int DefaultCommands(int server) const; // default-settings commands accepted
    // Every message it received (datagrams whole, TCP requests as framed).
    QList<QByteArray> Received(int server) const;
    void ClearReceived();

    // server -1: every server.
    void SetFault(int server, TXPortSimFault fault, int value = 1);
    void ClearFaults();

private:
    mutable TSimThread thread;
    TXPortSimNet* net = nullptr; // lives and dies in the thread
};
