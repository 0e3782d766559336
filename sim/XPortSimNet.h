#pragma once

#include "sim/XPortSim.h"

#include <QObject>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// One simulated device server, in the simulator's thread.
class TSimXPortServer : public QObject {
    Q_OBJECT
public:
    TSimXPortServer(const TXPortSimServer& setup, int restartMs, QObject* parent = nullptr);
    ~TSimXPortServer() override;

    // Listens on its address; the failure's text, or empty.
    QString Listen(quint16 port);
    void Close();
    bool Listening() const { return tcp != nullptr; }

    // A datagram that reached it, directly or through the hub.
    void Datagram(const QByteArray& bytes, const QHostAddress& sender, quint16 senderPort);

    TXPortSimServer state;
    std::array<int, xfCount> faults{};
    QList<QByteArray> received;
    int defaultCommands = 0;
    int restarts = 0;

private:
    void Accept();
    void Serve(QTcpSocket* connection, QByteArray& buffer);
    // The reply with the faults that apply to its code; empty when it is to go unsent.
    std::optional<QByteArray> Faulty(QByteArray reply) const;
    bool Applies(TXPortSimFault fault, quint8 code) const;
    void Restart();

    int restartMs;
    quint16 port = 0;
    QTcpServer* tcp = nullptr;
    QUdpSocket* udp = nullptr;
    bool restartPending = false;
};

// The hub and the servers behind it.
class TXPortSimNet : public QObject {
    Q_OBJECT
public:
    explicit TXPortSimNet(const TXPortSimOptions& options);
    ~TXPortSimNet() override;

    QString Start();
    quint16 Port() const { return port; }
    QHostAddress Hub() const { return options.Hub; }
    TSimXPortServer& Server(int index) { return *servers.at(size_t(index)); }
    int Count() const { return int(servers.size()); }

private:
    QString Open(quint16 wanted);
    void Close();
    void HubDatagrams();

    TXPortSimOptions options;
    quint16 port = 0;
    QUdpSocket* hub = nullptr;
    std::vector<std::unique_ptr<TSimXPortServer>> servers;
};
