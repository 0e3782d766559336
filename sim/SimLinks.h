#pragma once

#include "comms/Framing.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QSocketNotifier;
class QTimer;

// One way to the host: a TCP connection, the UDP peer or the pseudo-terminal. Each keeps its
// own framing state, since bytes of one connection never complete a line of another.
class TSimChannel {
public:
    enum TKind : quint8 { ckTcp = 0, ckUdp = 1, ckPty = 2 };

    virtual ~TSimChannel() = default;
    virtual TKind Kind() const = 0;
    // Queues bytes for the host; false when they can reach nobody (no UDP peer heard yet,
    // nobody has the pseudo-terminal open) and are dropped.
    virtual bool Write(const QByteArray& bytes) = 0;
    // Ends the connection (TCP only; the others have none).
    virtual void Drop() {}
    // False once the connection has ended; what arrived with it is not taken any more.
    virtual bool Alive() const { return true; }

    TLineFramer lines;
    TPacketFramer packets;
    qint64 linesSent = 0;
};

// The simulator's listening ends: a TCP server with its connections, a UDP socket that answers
// the sender it last heard from, and a pseudo-terminal. Lives in the simulator's thread.
class TSimLinks : public QObject {
    Q_OBJECT
public:
    using TReceiver = std::function<void(TSimChannel&, QByteArrayView)>;

    TSimLinks(TReceiver onReceive, QObject* parent = nullptr);
    ~TSimLinks() override;

    // Opens what is asked for; an empty text on success, else the failure (and everything is
    // closed again).
    QString Open(const QHostAddress& address, bool tcp, quint16 tcpPort, bool udp, quint16 udpPort,
                 bool pty);
    void Close();

    quint16 TcpPort() const;
    quint16 UdpPort() const;
    QString PtyPath() const { return ptyPath; }
    // Whether someone has the pseudo-terminal open.
    bool PtyListening() const;
    // Open channels; TCP connections that closed are gone.
    std::vector<TSimChannel*> Channels() const;
    int TcpConnections() const;

private:
    class TTcpChannel;
    class TUdpChannel;
    class TPtyChannel;

    void Accept();
    void Remove(TSimChannel* channel);
    QString OpenPty();

    TReceiver receiver;
    QTcpServer* server = nullptr;
    std::vector<std::unique_ptr<TSimChannel>> channels;
    TUdpChannel* udp = nullptr;
    QString ptyPath;
};
