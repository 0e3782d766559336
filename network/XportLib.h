#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class QTcpSocket;
class QUdpSocket;

// The configuration protocol of the Ethernet device server in front of the multiplexer's network
// port: UDP for discovery and IP assignment, TCP for its setup record. Every message starts with
// a 4-byte header whose byte 3 is the command or reply code.
enum TXPortCode : quint8 {
    xcDiscover = 0xF6,
    xcDiscoverReply = 0xF7,
    xcReadSetup = 0xF8,
    xcSetupReply = 0xF9,
    xcWriteSetup = 0xFA,
    xcWriteAck = 0xFB,
    xcAssignIP = 0xFC,
    xcWriteSetupNewIP = 0xFD, // also the factory defaults
    xcReadExtended = 0xE3,
    xcExtendedReply = 0xD3,
    xcWriteExtended = 0xC3,
    xcExtendedAck = 0xB3,
    xcDefaultSettings = 0xC7,
    xcDefaultsAck = 0xB7,
};

inline constexpr int XPortHeaderSize = 4;
inline constexpr int XPortDiscoverReplySize = 30;
inline constexpr int XPortExtendedSize = 130;
inline constexpr int XPortAssignIPSize = 20;
inline constexpr int XPortMacSize = 6;

// IPv4 addresses are held as numbers with the first octet in the top byte, as QHostAddress
// does; on the wire they go first octet first.
using TIPv4 = quint32;
using TMacAddress = std::array<quint8, XPortMacSize>;

// The device server's setup record: the network settings of the multiplexer's Ethernet port.
// Bytes that the program does not use keep what the device server sent.
class TXPortSetup {
public:
    static constexpr int Size = 124;
    static constexpr quint8 ConnectTcp = 0xC0;
    static constexpr quint8 ConnectUdp = 0xCC;

    TXPortSetup() { data.fill(0); }
    // The multiplexer's factory network settings: UDP broadcast on port 10110, no IP address.
    static TXPortSetup FactoryDefaults();
    // Nothing unless the bytes are exactly one record.
    static std::optional<TXPortSetup> FromBytes(QByteArrayView bytes);
    QByteArray Bytes() const;

    quint8 Byte(int offset) const { return data.at(size_t(offset)); }
    void SetByte(int offset, quint8 value) { data.at(size_t(offset)) = value; }

    quint8 Code() const { return data[3]; }
    void SetCode(quint8 code) { data[3] = code; }
    TIPv4 IP() const { return Address(4); }
    void SetIP(TIPv4 ip) { SetAddress(4, ip); }
    // 32 minus the network prefix length.
    quint8 HostBits() const { return data[10]; }
    void SetHostBits(quint8 bits) { data[10] = bits; }
    TIPv4 Gateway() const { return Address(16); }
    void SetGateway(TIPv4 gateway) { SetAddress(16, gateway); }
    quint16 LocalPort() const { return Word(24); }
    quint16 RemotePort() const { return Word(26); }
    // The remote port always follows the local port.
    void SetPort(quint16 port);
    TIPv4 Destination() const { return Address(28); }
    quint8 ConnectMode() const { return data[32]; }
    // UDP when both bits 0x0C of the connect mode are set, else TCP.
    bool IsUdp() const { return (data[32] & 0x0C) == 0x0C; }
    quint8 UdpFlag() const { return data[33]; }    // 1 for UDP, 0 for TCP
    quint8 UdpOptions() const { return data[39]; } // 0x30 for UDP, 0 for TCP
    // The connect mode, the protocol bytes and the destination in one go, so that they agree.
    void SetTcp();
    void SetUdp(TIPv4 destination);

    bool operator==(const TXPortSetup&) const = default;

private:
    TIPv4 Address(int offset) const;
    void SetAddress(int offset, TIPv4 address);
    quint16 Word(int offset) const;

    std::array<quint8, Size> data;
};

// One device server found by discovery.
struct TXPortDevice {
    QHostAddress Address;
    TMacAddress Mac{};
    // "192.168.1.20  (00-20-4A-C9-19-08)": the line of the search results.
    QString Text() const;
};

// How a TXPort reaches the device servers. The defaults are those of a real network; tests and
// loopback trials name a loopback target and short time-outs.
struct TXPortOptions {
    QHostAddress Target = QHostAddress(QHostAddress::Broadcast); // discovery and IP assignment
    quint16 Port = 30718;                                        // UDP and TCP
    QHostAddress Bind = QHostAddress(QHostAddress::AnyIPv4);     // the local end of both sockets
    int ReceiveTimeoutMs = 1000;  // discovery ends after this long without a datagram
    int DiscoveryLimitMs = 10000; // and after this long in all
    int ConnectTimeoutMs = 5000;
    int ReadTimeoutMs = 500;   // for one whole reply
    int VerifyTimeoutMs = 500; // a connection attempt while new settings are verified
    int PauseMs = 500;         // the pauses of the factory reset and of the progress steps
};

// The client side of the device server's configuration protocol, with sockets of its own (no
// session with the multiplexer is needed). Blocking: every call returns within its time-outs.
class TXPort {
public:
    // Opens the UDP socket; raises ECommError when it cannot be bound.
    explicit TXPort(const TXPortOptions& options = TXPortOptions());
    ~TXPort();
    TXPort(const TXPort&) = delete;
    TXPort& operator=(const TXPort&) = delete;

    const TXPortOptions& Options() const { return options; }

    // Asks every device server to announce itself; returns how many did. Only datagrams of
    // exactly the reply's size and code count: anything else on the port is passed over.
    // Raises ECommError when the query cannot be sent.
    int Discover();
    const QStringList& Results() const { return results; }
    const QList<TXPortDevice>& Devices() const { return devices; }

    // Reads the setup record; false on any failure or a reply that is no setup record.
    bool GetSetup(const QString& host, TXPortSetup& setup);
    // Writes the record (code 0xFD after an IP change, else 0xFA); true when acknowledged.
    bool SetSetup(const QString& host, const TXPortSetup& setup, bool ipChanged);
    // Writes the factory network defaults; false when a step is answered with the wrong code.
    // Raises ECommError when the connection fails or a reply does not come.
    bool RestoreDefaults(const QString& host);
    // Sends the IP assignment for the device server with these last two MAC bytes. No reply.
    void AssignIP(quint8 mac5, quint8 mac6, TIPv4 ip);
    // Whether a TCP connection to the device server's port can be made within the time-out.
    bool TryConnect(const QString& host, int timeoutMs);

    // The device server a discovery datagram announces; nothing unless it is exactly a reply.
    static std::optional<TXPortDevice> ParseDiscoveryReply(QByteArrayView datagram,
                                                           const QHostAddress& sender);

    // The messages themselves.
    static QByteArray Request(quint8 code);
    static QByteArray DefaultSettingsCommand();
    static QByteArray AssignIPPacket(quint8 mac5, quint8 mac6, TIPv4 ip);
    static QString DeviceText(const QHostAddress& address, const TMacAddress& mac);

private:
    void Connect(QTcpSocket& socket, const QString& host, int timeoutMs);
    void Send(QTcpSocket& socket, const QByteArray& bytes);
    QByteArray Read(QTcpSocket& socket, int size);
    std::unique_ptr<QTcpSocket> NewTcpSocket();

    TXPortOptions options;
    std::unique_ptr<QUdpSocket> udp;
    QStringList results;
    QList<TXPortDevice> devices;
};

// Waits while the program goes on handling its events (the window repaints, clicks arrive).
void XPortPause(int ms);
