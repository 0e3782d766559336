#include "sim/XPortSimNet.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

// Request codes and their lengths: the read requests are bare headers, the writes whole
// records.
int RequestLength(quint8 code) {
    switch (code) {
    case 0xF8:
    case 0xE3:
        return 4;
    case 0xFA:
    case 0xFD:
        return 124;
    case 0xC3:
    case 0xC7:
        return 130;
    default:
        return -1;
    }
}

QByteArray Header(quint8 code) {
    QByteArray bytes(4, '\0');
    bytes[3] = char(code);
    return bytes;
}

// The multiplexer's factory network settings as the device server keeps them.
QByteArray FactorySetup() {
    QByteArray bytes(124, '\0');
    const std::pair<int, quint8> set[] = {
        {3, 0xFD},  {11, 0x2D}, {20, 0x4C}, {21, 0x0B}, {22, 2},    {24, 0x7E}, {25, 0x27},
        {26, 0x7E}, {27, 0x27}, {28, 0xFF}, {29, 0xFF}, {30, 0xFF}, {31, 0xFF}, {32, 0xCC},
        {33, 1},    {36, 0x0D}, {37, 0x0A}, {38, 0xF7}, {39, 0x30}};
    for (const auto& [offset, value] : set)
        bytes[offset] = char(value);
    return bytes;
}

} // namespace

// --- one server --------------------------------------------------------------------------

TSimXPortServer::TSimXPortServer(const TXPortSimServer& setup, int aRestartMs, QObject* parent)
    : QObject(parent)
    , state(setup)
    , restartMs(aRestartMs) {}

TSimXPortServer::~TSimXPortServer() {
    Close();
}

QString TSimXPortServer::Listen(quint16 aPort) {
    port = aPort;
    udp = new QUdpSocket(this);
    udp->setProxy(QNetworkProxy::NoProxy);
    tcp = new QTcpServer(this);
    tcp->setProxy(QNetworkProxy::NoProxy);
    if (!udp->bind(state.Address, port)) {
        const QString error = udp->errorString();
        Close();
        return error;
    }
    if (!tcp->listen(state.Address, port)) {
        const QString error = tcp->errorString();
        Close();
        return error;
    }
    connect(udp, &QUdpSocket::readyRead, this, [this] {
        while (udp && udp->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = udp->receiveDatagram();
            Datagram(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
        }
    });
    connect(tcp, &QTcpServer::newConnection, this, [this] { Accept(); });
    return {};
}

void TSimXPortServer::Close() {
    // Its connections go with the listener; none of them may call back while they go.
    if (tcp) {
        for (QTcpSocket* connection : tcp->findChildren<QTcpSocket*>())
            connection->disconnect(this);
    }
    delete tcp;
    tcp = nullptr;
    delete udp;
    udp = nullptr;
}

bool TSimXPortServer::Applies(TXPortSimFault fault, quint8 code) const {
    const int value = faults[fault];
    return value == 1 || (value > 1 && value == code);
}

std::optional<QByteArray> TSimXPortServer::Faulty(QByteArray reply) const {
    const quint8 code = quint8(reply[3]);
    if (Applies(xfNoAnswer, code))
        return std::nullopt;
    if (Applies(xfWrongCode, code))
        reply[3] = char(code ^ 0x80);
    if (Applies(xfShortReply, code))
        reply.chop(1);
    if (Applies(xfLongReply, code))
        reply.append(10, char(0xEE));
    return reply;
}

void TSimXPortServer::Datagram(const QByteArray& bytes, const QHostAddress& sender,
                               quint16 senderPort) {
    if (!udp)
        return; // restarting
    received.append(bytes);
    if (bytes.size() == 4 && quint8(bytes[3]) == 0xF6) {
        QByteArray reply = Header(0xF7);
        reply.append(20, '\0');
        for (quint8 byte : state.Mac)
            reply.append(char(byte));
        if (const auto sent = Faulty(reply))
            udp->writeDatagram(*sent, sender, senderPort);
    } else if (bytes.size() == 20 && quint8(bytes[3]) == 0xFC && bytes.mid(4, 8) == "IP-SETUP" &&
               quint8(bytes[14]) == state.Mac[4] && quint8(bytes[15]) == state.Mac[5]) {
        state.Setup.replace(4, 4, bytes.mid(16, 4));
        // Answering is not part of the assignment; the server restarts at once.
        QTimer::singleShot(0, this, [this] { Restart(); });
    }
}

void TSimXPortServer::Accept() {
    while (tcp && tcp->hasPendingConnections()) {
        QTcpSocket* connection = tcp->nextPendingConnection();
        auto buffer = std::make_shared<QByteArray>();
        connect(connection, &QTcpSocket::readyRead, this,
                [this, connection, buffer] { Serve(connection, *buffer); });
        connect(connection, &QTcpSocket::disconnected, this, [this, connection] {
            connection->deleteLater();
            if (restartPending)
                QTimer::singleShot(0, this, [this] { Restart(); });
        });
    }
}

void TSimXPortServer::Serve(QTcpSocket* connection, QByteArray& buffer) {
    buffer += connection->readAll();
    while (buffer.size() >= 4) {
        const quint8 code = quint8(buffer[3]);
        const int length = RequestLength(code);
        if (length < 0) {
            // Not a request it knows: it hangs up.
            received.append(buffer);
            buffer.clear();
            connection->disconnectFromHost();
            return;
        }
        if (buffer.size() < length)
            return;
        const QByteArray request = buffer.left(length);
        buffer.remove(0, length);
        received.append(request);

        QByteArray reply;
        switch (code) {
        case 0xF8:
            reply = state.Setup;
            reply.replace(0, 4, Header(0xF9));
            break;
        case 0xFA:
        case 0xFD:
            state.Setup = request;
            restartPending = true;
            reply = Header(0xFB);
            break;
        case 0xE3:
            reply = state.Extended;
            reply.replace(0, 4, Header(0xD3));
            break;
        case 0xC3:
            state.Extended = request;
            reply = Header(0xB3);
            break;
        case 0xC7:
            ++defaultCommands;
            state.Setup = FactorySetup();
            reply = Header(0xB7);
            break;
        }
        if (const auto sent = Faulty(reply))
            connection->write(*sent);
    }
}

void TSimXPortServer::Restart() {
    restartPending = false;
    Close();
    // It comes back at the address it was given when that is one it can take here (loopback);
    // 0.0.0.0 and any other address leave it where it was.
    const quint32 ip = quint8(state.Setup[4]) << 24 | quint8(state.Setup[5]) << 16 |
                       quint8(state.Setup[6]) << 8 | quint8(state.Setup[7]);
    if (ip >> 24 == 127)
        state.Address = QHostAddress(ip);
    QTimer::singleShot(restartMs, this, [this] {
        if (!tcp && Listen(port).isEmpty())
            ++restarts;
    });
}

// --- the hub -----------------------------------------------------------------------------

TXPortSimNet::TXPortSimNet(const TXPortSimOptions& aOptions)
    : options(aOptions) {
    for (const TXPortSimServer& server : options.Servers)
        servers.push_back(std::make_unique<TSimXPortServer>(server, options.RestartMs));
}

TXPortSimNet::~TXPortSimNet() {
    Close();
}

QString TXPortSimNet::Start() {
    if (options.Port != 0)
        return Open(options.Port);
    // The port the system gives the hub may be taken on a server's address: try a few.
    QString error;
    for (int attempt = 0; attempt < 20; ++attempt) {
        error = Open(0);
        if (error.isEmpty())
            return {};
    }
    return error;
}

QString TXPortSimNet::Open(quint16 wanted) {
    Close();
    hub = new QUdpSocket(this);
    hub->setProxy(QNetworkProxy::NoProxy);
    if (!hub->bind(options.Hub, wanted)) {
        const QString error = hub->errorString();
        Close();
        return error;
    }
    port = hub->localPort();
    for (auto& server : servers) {
        const QString error = server->Listen(port);
        if (!error.isEmpty()) {
            Close();
            return QStringLiteral("%1:%2: %3")
                .arg(server->state.Address.toString())
                .arg(port)
                .arg(error);
        }
    }
    connect(hub, &QUdpSocket::readyRead, this, [this] { HubDatagrams(); });
    return {};
}

void TXPortSimNet::Close() {
    delete hub;
    hub = nullptr;
    for (auto& server : servers)
        server->Close();
}

void TXPortSimNet::HubDatagrams() {
    while (hub && hub->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = hub->receiveDatagram();
        for (auto& server : servers)
            server->Datagram(datagram.data(), datagram.senderAddress(),
                             quint16(datagram.senderPort()));
    }
}
