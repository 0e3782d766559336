#include "network/XportLib.h"

#include "nmea/Errors.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

// The device server's TCP buffers hold one message at a time.
constexpr int TcpBufferSize = 2048;

} // namespace

// --- setup record ------------------------------------------------------------------------

TXPortSetup TXPortSetup::FactoryDefaults() {
    TXPortSetup setup;
    setup.data[3] = xcWriteSetupNewIP;
    setup.data[11] = 0x2D;
    setup.data[20] = 0x4C;
    setup.data[21] = 0x0B;
    setup.data[22] = 2;
    setup.SetPort(10110);
    setup.SetUdp(0xFFFFFFFF);
    setup.data[36] = 0x0D;
    setup.data[37] = 0x0A;
    setup.data[38] = 0xF7;
    return setup;
}

std::optional<TXPortSetup> TXPortSetup::FromBytes(QByteArrayView bytes) {
    if (bytes.size() != Size)
        return std::nullopt;
    TXPortSetup setup;
    std::copy(bytes.begin(), bytes.end(), setup.data.begin());
    return setup;
}

QByteArray TXPortSetup::Bytes() const {
    return QByteArray(reinterpret_cast<const char*>(data.data()), Size);
}

TIPv4 TXPortSetup::Address(int offset) const {
    return TIPv4(data[offset]) << 24 | TIPv4(data[offset + 1]) << 16 |
           TIPv4(data[offset + 2]) << 8 | data[offset + 3];
}

void TXPortSetup::SetAddress(int offset, TIPv4 address) {
    for (int i = 0; i < 4; ++i)
        data[offset + i] = quint8(address >> (24 - 8 * i));
}

quint16 TXPortSetup::Word(int offset) const {
    return quint16(data[offset] | data[offset + 1] << 8);
}

void TXPortSetup::SetPort(quint16 port) {
    for (int offset : {24, 26}) {
        data[offset] = quint8(port);
        data[offset + 1] = quint8(port >> 8);
    }
}

void TXPortSetup::SetTcp() {
    SetAddress(28, 0);
    data[32] = ConnectTcp;
    data[33] = 0;
    data[39] = 0;
}

void TXPortSetup::SetUdp(TIPv4 destination) {
    SetAddress(28, destination);
    data[32] = ConnectUdp;
    data[33] = 1;
    data[39] = 0x30;
}

// --- messages ----------------------------------------------------------------------------

QString TXPortDevice::Text() const {
    return TXPort::DeviceText(Address, Mac);
}

QString TXPort::DeviceText(const QHostAddress& address, const TMacAddress& mac) {
    QString text = address.toString() + QStringLiteral("  (");
    for (int i = 0; i < XPortMacSize; ++i) {
        if (i > 0)
            text += u'-';
        text += QStringLiteral("%1").arg(mac[size_t(i)], 2, 16, QChar(u'0')).toUpper();
    }
    return text + u')';
}

std::optional<TXPortDevice> TXPort::ParseDiscoveryReply(QByteArrayView datagram,
                                                        const QHostAddress& sender) {
    if (datagram.size() != XPortDiscoverReplySize || quint8(datagram[3]) != xcDiscoverReply)
        return std::nullopt;
    TXPortDevice device;
    bool mapped = false;
    const quint32 ipv4 = sender.toIPv4Address(&mapped);
    device.Address = mapped ? QHostAddress(ipv4) : sender;
    for (int i = 0; i < XPortMacSize; ++i)
        device.Mac[size_t(i)] = quint8(datagram[24 + i]);
    return device;
}

QByteArray TXPort::Request(quint8 code) {
    QByteArray bytes(XPortHeaderSize, '\0');
    bytes[3] = char(code);
    return bytes;
}

QByteArray TXPort::DefaultSettingsCommand() {
    QByteArray bytes(XPortExtendedSize, '\0');
    bytes[1] = 1;
    bytes[3] = char(xcDefaultSettings);
    bytes[5] = 6;
    bytes[6] = 1;
    return bytes;
}

QByteArray TXPort::AssignIPPacket(quint8 mac5, quint8 mac6, TIPv4 ip) {
    QByteArray bytes(XPortAssignIPSize, '\0');
    bytes[3] = char(xcAssignIP);
    bytes.replace(4, 8, "IP-SETUP");
    bytes[14] = char(mac5);
    bytes[15] = char(mac6);
    for (int i = 0; i < 4; ++i)
        bytes[16 + i] = char(ip >> (24 - 8 * i));
    return bytes;
}

// --- the client --------------------------------------------------------------------------

TXPort::TXPort(const TXPortOptions& aOptions)
    : options(aOptions)
    , udp(std::make_unique<QUdpSocket>()) {
    udp->setProxy(QNetworkProxy::NoProxy);
    if (!udp->bind(options.Bind, 0))
        throw ECommError(udp->errorString());
}

TXPort::~TXPort() = default;

int TXPort::Discover() {
    results.clear();
    devices.clear();
    // Answers to an earlier search are not answers to this one.
    while (udp->hasPendingDatagrams())
        udp->receiveDatagram();
    const QByteArray query = Request(xcDiscover);
    if (udp->writeDatagram(query, options.Target, options.Port) != query.size())
        throw ECommError(udp->errorString());

    // Any datagram keeps the search going, so the overall limit stops a stream of strays.
    const QDeadlineTimer overall(options.DiscoveryLimitMs);
    QDeadlineTimer quiet(options.ReceiveTimeoutMs);
    while (!overall.hasExpired()) {
        if (!udp->hasPendingDatagrams()) {
            const qint64 wait = std::min(quiet.remainingTime(), overall.remainingTime());
            if (wait <= 0 || !udp->waitForReadyRead(int(wait)))
                break;
            continue;
        }
        // The whole datagram and nothing of the next, whatever its size.
        const QNetworkDatagram datagram = udp->receiveDatagram();
        quiet.setRemainingTime(options.ReceiveTimeoutMs);
        const std::optional<TXPortDevice> device =
            ParseDiscoveryReply(datagram.data(), datagram.senderAddress());
        if (!device)
            continue;
        devices.append(*device);
        results.append(device->Text());
    }
    return int(results.size());
}

std::unique_ptr<QTcpSocket> TXPort::NewTcpSocket() {
    auto socket = std::make_unique<QTcpSocket>();
    socket->setProxy(QNetworkProxy::NoProxy);
    if (options.Bind != QHostAddress(QHostAddress::AnyIPv4) && !socket->bind(options.Bind, 0))
        throw ECommError(socket->errorString());
    return socket;
}

void TXPort::Connect(QTcpSocket& socket, const QString& host, int timeoutMs) {
    socket.connectToHost(host, options.Port);
    if (!socket.waitForConnected(timeoutMs))
        throw ECommError(socket.errorString());
    socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, TcpBufferSize);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, TcpBufferSize);
}

void TXPort::Send(QTcpSocket& socket, const QByteArray& bytes) {
    if (socket.write(bytes) != bytes.size())
        throw ECommError(socket.errorString());
    const QDeadlineTimer deadline(options.ConnectTimeoutMs);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !socket.waitForBytesWritten(int(deadline.remainingTime())))
            throw ECommError(socket.errorString());
    }
}

QByteArray TXPort::Read(QTcpSocket& socket, int size) {
    // The time-out covers the whole reply, so a trickle of bytes cannot stretch it.
    const QDeadlineTimer deadline(options.ReadTimeoutMs);
    while (socket.bytesAvailable() < size) {
        if (deadline.hasExpired())
            throw ECommError(QStringLiteral("Socket operation timed out"));
        if (!socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))) &&
            socket.bytesAvailable() < size) {
            // A closed connection reports that; the time-out its own text.
            throw ECommError(socket.errorString());
        }
    }
    return socket.read(size);
}

bool TXPort::GetSetup(const QString& host, TXPortSetup& setup) {
    try {
        const auto socket = NewTcpSocket();
        Connect(*socket, host, options.ConnectTimeoutMs);
        Send(*socket, Request(xcReadSetup));
        const QByteArray reply = Read(*socket, TXPortSetup::Size);
        socket->close();
        const std::optional<TXPortSetup> record = TXPortSetup::FromBytes(reply);
        if (!record || record->Code() != xcSetupReply)
            return false;
        setup = *record;
        return true;
    } catch (const ECommError&) {
        return false;
    }
}

bool TXPort::SetSetup(const QString& host, const TXPortSetup& setup, bool ipChanged) {
    TXPortSetup record = setup;
    for (int i = 0; i < 3; ++i)
        record.SetByte(i, 0);
    record.SetCode(ipChanged ? xcWriteSetupNewIP : xcWriteSetup);
    try {
        const auto socket = NewTcpSocket();
        Connect(*socket, host, options.ConnectTimeoutMs);
        Send(*socket, record.Bytes());
        const QByteArray reply = Read(*socket, XPortHeaderSize);
        socket->close();
        return quint8(reply[3]) == xcWriteAck;
    } catch (const ECommError&) {
        return false;
    }
}

bool TXPort::RestoreDefaults(const QString& host) {
    const auto socket = NewTcpSocket();
    Connect(*socket, host, options.ConnectTimeoutMs);
    const auto answered = [&](quint8 code) {
        const QByteArray reply = Read(*socket, XPortHeaderSize);
        if (quint8(reply[3]) == code)
            return true;
        socket->close();
        return false;
    };

    Send(*socket, Request(xcReadExtended));
    QByteArray extended = Read(*socket, XPortExtendedSize);
    if (quint8(extended[3]) != xcExtendedReply) {
        socket->close();
        return false;
    }
    extended[1] = 1;
    extended[3] = char(xcWriteExtended);
    extended[120] = char((quint8(extended[120]) & ~0x20) | 0x80);
    Send(*socket, extended);
    if (!answered(xcExtendedAck))
        return false;
    XPortPause(options.PauseMs);

    Send(*socket, DefaultSettingsCommand());
    if (!answered(xcDefaultsAck))
        return false;
    XPortPause(options.PauseMs);

    Send(*socket, TXPortSetup::FactoryDefaults().Bytes());
    const bool done = answered(xcWriteAck);
    socket->close();
    return done;
}

void TXPort::AssignIP(quint8 mac5, quint8 mac6, TIPv4 ip) {
    const QByteArray packet = AssignIPPacket(mac5, mac6, ip);
    if (udp->writeDatagram(packet, options.Target, options.Port) != packet.size())
        throw ECommError(udp->errorString());
}

bool TXPort::TryConnect(const QString& host, int timeoutMs) {
    try {
        const auto socket = NewTcpSocket();
        socket->connectToHost(host, options.Port);
        const bool connected = socket->waitForConnected(timeoutMs);
        socket->abort();
        return connected;
    } catch (const ECommError&) {
        return false;
    }
}

void XPortPause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(std::max(0, ms), &loop, &QEventLoop::quit);
    loop.exec();
}
