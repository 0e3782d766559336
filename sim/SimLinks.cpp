#include "sim/SimLinks.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class TSimLinks::TTcpChannel : public TSimChannel {
public:
    explicit TTcpChannel(QTcpSocket* connection)
        : socket(connection) {}
    ~TTcpChannel() override {
        socket->disconnect(); // no signal may reach the channel that is going
        socket->deleteLater();
    }
    TKind Kind() const override { return ckTcp; }
    bool Write(const QByteArray& bytes) override {
        return open && socket->write(bytes) == bytes.size();
    }
    void Drop() override {
        if (!open)
            return;
        open = false;
        socket->disconnectFromHost(); // what was written still goes out first
    }
    bool Alive() const override { return open; }

    QTcpSocket* socket;
    bool open = true;
};

class TSimLinks::TUdpChannel : public TSimChannel {
public:
    explicit TUdpChannel(QUdpSocket* datagrams)
        : socket(datagrams) {}
    TKind Kind() const override { return ckUdp; }
    bool Write(const QByteArray& bytes) override {
        if (peerPort == 0)
            return false;
        return socket->writeDatagram(bytes, peer, peerPort) == bytes.size();
    }

    QUdpSocket* socket;
    QHostAddress peer;
    quint16 peerPort = 0;
};

// The master side of a pseudo-terminal. While nobody has the slave open the master reports a
// hang-up; output is then dropped instead of piling up for whoever opens the port next, and a
// timer looks for the next opener.
class TSimLinks::TPtyChannel : public TSimChannel {
public:
    static constexpr qsizetype PendingLimit = 8192;

    TPtyChannel(int masterFd, TSimLinks* owner)
        : master(masterFd)
        , links(owner) {
        readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, links);
        writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, links);
        writeNotifier->setEnabled(false);
        hangupTimer = new QTimer(links);
        hangupTimer->setInterval(50);
        QObject::connect(readNotifier, &QSocketNotifier::activated, links, [this] { Read(); });
        QObject::connect(writeNotifier, &QSocketNotifier::activated, links, [this] { Flush(); });
        QObject::connect(hangupTimer, &QTimer::timeout, links, [this] { Watch(); });
        HangUp();
    }
    ~TPtyChannel() override {
        delete readNotifier;
        delete writeNotifier;
        delete hangupTimer;
        ::close(master);
    }
    TKind Kind() const override { return ckPty; }
    bool Listening() const { return listening; }
    bool Write(const QByteArray& bytes) override {
        if (!listening || pending.size() + bytes.size() > PendingLimit)
            return false;
        pending += bytes;
        Flush();
        return true;
    }

private:
    void Read() {
        char buffer[4096];
        for (int rounds = 0; rounds < 64; ++rounds) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                links->receiver(*this, QByteArrayView(buffer, n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            HangUp(); // EIO: the last opener closed the slave
            return;
        }
    }
    void Flush() {
        while (!pending.isEmpty()) {
            const ssize_t n = ::write(master, pending.constData(), size_t(pending.size()));
            if (n > 0) {
                pending.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN) {
                HangUp();
                return;
            }
            break;
        }
        writeNotifier->setEnabled(!pending.isEmpty());
    }
    void HangUp() {
        listening = false;
        pending.clear();
        lines.Reset();
        packets.Reset();
        readNotifier->setEnabled(false);
        writeNotifier->setEnabled(false);
        hangupTimer->start();
    }
    void Watch() {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 0) < 0 || (fd.revents & POLLHUP))
            return;
        listening = true;
        hangupTimer->stop();
        readNotifier->setEnabled(true);
    }

    int master;
    TSimLinks* links;
    QSocketNotifier* readNotifier;
    QSocketNotifier* writeNotifier;
    QTimer* hangupTimer;
    QByteArray pending;
    bool listening = false;
};

TSimLinks::TSimLinks(TReceiver onReceive, QObject* parent)
    : QObject(parent)
    , receiver(std::move(onReceive)) {}

TSimLinks::~TSimLinks() {
    Close();
}

QString TSimLinks::Open(const QHostAddress& address, bool tcp, quint16 tcpPort, bool withUdp,
                        quint16 udpPort, bool pty) {
    Close();
    if (tcp) {
        server = new QTcpServer(this);
        // A device on the local link is never reached through a proxy; asking the system for
        // one would start a resolver thread for nothing.
        server->setProxy(QNetworkProxy::NoProxy);
        if (!server->listen(address, tcpPort)) {
            const QString error =
                QStringLiteral("TCP port %1: %2").arg(tcpPort).arg(server->errorString());
            Close();
            return error;
        }
        connect(server, &QTcpServer::newConnection, this, &TSimLinks::Accept);
    }
    if (withUdp) {
        auto* socket = new QUdpSocket(this);
        socket->setProxy(QNetworkProxy::NoProxy);
        // A program on this host binds the same port number on every address (its UDP mode
        // listens where it sends); sharing lets both be bound at once.
        if (!socket->bind(address, udpPort,
                          QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            const QString error =
                QStringLiteral("UDP port %1: %2").arg(udpPort).arg(socket->errorString());
            delete socket;
            Close();
            return error;
        }
        auto channel = std::make_unique<TUdpChannel>(socket);
        udp = channel.get();
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] {
            for (int i = 0; i < 1000 && socket->hasPendingDatagrams(); ++i) {
                const QNetworkDatagram datagram = socket->receiveDatagram();
                if (!datagram.isValid())
                    break;
                udp->peer = datagram.senderAddress();
                udp->peerPort = quint16(datagram.senderPort());
                const QByteArray data = datagram.data();
                receiver(*udp, data);
            }
        });
        channels.push_back(std::move(channel));
    }
    if (pty) {
        const QString error = OpenPty();
        if (!error.isEmpty()) {
            Close();
            return error;
        }
    }
    return {};
}

QString TSimLinks::OpenPty() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return QStringLiteral("pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
    char name[128];
    termios settings{};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0 || ::tcgetattr(master, &settings) != 0) {
        const QString error =
            QStringLiteral("pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(master);
        return error;
    }
    // Raw mode on the slave side (set through the master): no echo of what the simulator
    // writes, no line editing, no CR/LF translation, whoever opens the port.
    ::cfmakeraw(&settings);
    ::tcsetattr(master, TCSANOW, &settings);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Opening and closing the slave once puts the master into its hang-up state, so that the
    // channel knows that nobody listens yet.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0)
        ::close(slave);
    ptyPath = QString::fromLocal8Bit(name);
    channels.push_back(std::make_unique<TPtyChannel>(master, this));
    return {};
}

void TSimLinks::Close() {
    channels.clear();
    udp = nullptr;
    ptyPath.clear();
    delete server;
    server = nullptr;
    const auto children = findChildren<QUdpSocket*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

void TSimLinks::Accept() {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        auto channel = std::make_unique<TTcpChannel>(socket);
        TTcpChannel* raw = channel.get();
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this,
                [this, raw] { receiver(*raw, raw->socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, raw] {
            raw->open = false;
            // Removed later: the channel may be in use further up the stack.
            QMetaObject::invokeMethod(
                this, [this, raw] { Remove(raw); }, Qt::QueuedConnection);
        });
        channels.push_back(std::move(channel));
    }
}

void TSimLinks::Remove(TSimChannel* channel) {
    for (auto it = channels.begin(); it != channels.end(); ++it) {
        if (it->get() == channel) {
            channels.erase(it);
            return;
        }
    }
}

bool TSimLinks::PtyListening() const {
    for (const auto& channel : channels) {
        if (channel->Kind() == TSimChannel::ckPty)
            return static_cast<TPtyChannel*>(channel.get())->Listening();
    }
    return false;
}

quint16 TSimLinks::TcpPort() const {
    return server ? server->serverPort() : 0;
}

quint16 TSimLinks::UdpPort() const {
    return udp ? udp->socket->localPort() : 0;
}

std::vector<TSimChannel*> TSimLinks::Channels() const {
    std::vector<TSimChannel*> list;
    for (const auto& channel : channels) {
        if (channel->Kind() != TSimChannel::ckTcp || static_cast<TTcpChannel*>(channel.get())->open)
            list.push_back(channel.get());
    }
    return list;
}

int TSimLinks::TcpConnections() const {
    int count = 0;
    for (const auto& channel : channels) {
        if (channel->Kind() == TSimChannel::ckTcp && static_cast<TTcpChannel*>(channel.get())->open)
            ++count;
    }
    return count;
}
