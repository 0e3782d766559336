#include "comms/Comms.h"
#include "comms/RxThread.h"
#include "nmea/Nmea.h"
#include "nmea/Numbers.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QSerialPortInfo>
#include <QUdpSocket>

#include <algorithm>
#include <array>

qint32 SerialSpeed(int index) {
    static constexpr std::array<qint32, 9> speeds{4800,   9600,   19200,  38400, 57600,
                                                  115200, 230400, 460800, 921600};
    if (index < 0 || index >= int(speeds.size()))
        index = DefaultSpeedIndex;
    return speeds[size_t(index)];
}

std::pair<QString, quint32> SplitNetworkAddress(const QString& address) {
    const qsizetype colon = address.indexOf(u':');
    if (colon < 0)
        return {address, DefaultNetworkPort};
    const QString portText = address.mid(colon + 1);
    const std::optional<quint64> port = ParseUnsigned(portText);
    if (!port || *port < 1 || *port > 65535)
        throw ECommError(
            QStringLiteral("\"%1\" is not a valid port number (1 to 65535).").arg(portText));
    return {address.left(colon), quint32(*port)};
}

QString FriendlyPortName(const QString& description, const QString& portName) {
    if (description.isEmpty())
        return portName;
    if (description.contains(portName))
        return description;
    return description + QStringLiteral(" (") + portName + u')';
}

TSelectorLists MakeSelectorLists(std::vector<std::pair<QString, QString>> ports) {
    for (auto& [name, port] : ports)
        name = FriendlyPortName(name, port);
    std::stable_sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        if (const int byName = a.first.compare(b.first, Qt::CaseInsensitive); byName != 0)
            return byName < 0;
        return a.second.compare(b.second, Qt::CaseInsensitive) < 0;
    });
    TSelectorLists lists;
    lists.DeviceNames = lists.DisplayNames = {QStringLiteral("UDP All"), QStringLiteral("UDP"),
                                              QStringLiteral("TCP")};
    for (const auto& [friendly, port] : ports) {
        lists.DisplayNames.append(friendly);
        lists.DeviceNames.append(port);
    }
    return lists;
}

TComm::TComm(QObject* parent)
    : QObject(parent)
    , udp(new QUdpSocket(this)) {
    udp->setProxy(QNetworkProxy::NoProxy);
    connect(udp, &QUdpSocket::readyRead, this, &TComm::UDPRead);
    RefreshPortList();
}

TComm::~TComm() {
    Close();
}

void TComm::RefreshPortList() {
    std::vector<std::pair<QString, QString>> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.emplace_back(info.description(), info.portName());
    TSelectorLists lists = MakeSelectorLists(std::move(ports));
    deviceNames = std::move(lists.DeviceNames);
    displayNames = std::move(lists.DisplayNames);
}

TCommMode TComm::Open(int kind, const QString& address, int option) {
    // One link at a time: a second Open replaces the first.
    Close();
    switch (kind) {
    case lkSerial:
        return OpenSerial(address, option);
    case lkUdp:
        return OpenUdp(address, option);
    case lkTcp:
        return OpenTcp(address);
    default:
        return mode;
    }
}

TCommMode TComm::OpenSerial(const QString& address, int option) {
    if (address.isEmpty())
        return mode;
    auto port = std::make_unique<TSerialThread>(*this, ++linkNumber, address, SerialSpeed(option));
    const TSerialThread& serial = *port;
    std::unique_ptr<TRXThread> thread = std::move(port);
    serialAccessDenied = false;
    if (!StartThread(thread).isEmpty()) {
        serialAccessDenied = serial.PermissionDenied();
        return mode; // the caller says the port could not be opened
    }
    mode = mdSerial;
    return mode;
}

TCommMode TComm::OpenUdp(const QString& address, int option) {
    networkPort = DefaultNetworkPort;
    const auto [host, port] = SplitNetworkAddress(address);
    networkPort = port;

    QHostAddress hostAddress;
    if (!host.isEmpty() && !hostAddress.setAddress(host)) {
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.addresses().isEmpty())
            throw ECommError(
                QStringLiteral("Unknown host \"%1\": %2").arg(host, info.errorString()));
        hostAddress = info.addresses().constFirst();
    }
    // Shared, so that other programs listening to the same broadcasts keep working.
    if (!udp->bind(QHostAddress::Any, quint16(port),
                   QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        const QString reason = udp->errorString();
        udp->close();
        throw ECommError(QStringLiteral("Cannot receive on UDP port %1: %2").arg(port).arg(reason));
    }
    udpHost = hostAddress;
    udpFramer.Reset();
    udpFilter = option == 1;
    mode = mdUdp;
    return mode;
}

TCommMode TComm::OpenTcp(const QString& address) {
    networkPort = DefaultNetworkPort;
    const auto [host, port] = SplitNetworkAddress(address);
    networkPort = port;
    std::unique_ptr<TRXThread> thread =
        std::make_unique<TTCPThread>(*this, ++linkNumber, host, quint16(port));
    const QString error = StartThread(thread);
    if (!error.isEmpty())
        throw ECommError(
            QStringLiteral("Cannot connect to %1:%2: %3").arg(host).arg(port).arg(error));
    mode = mdTcp;
    return mode;
}

QString TComm::StartThread(std::unique_ptr<TRXThread>& thread) {
    connect(thread.get(), &TRXThread::LinkLost, this, &TComm::RxLinkLost, Qt::QueuedConnection);
    const QString error = thread->Start();
    if (error.isEmpty())
        rxThread = std::move(thread);
    return error;
}

void TComm::Close() {
    // The thread ends first, then closes its device: no read ever meets a closed handle.
    if (rxThread) {
        rxThread->Stop();
        rxThread.reset();
    }
    if (mode == mdUdp) {
        udp->close();
        udpFramer.Reset();
    }
    mode = mdClosed;
    packetMode = false;
}

void TComm::RxLinkLost(quint64 link) {
    if (link == linkNumber && rxThread && mode == mdTcp)
        emit ConnectionLost();
}

void TComm::SendLine(const QString& text) {
    if (text.isEmpty())
        return;
    if (packetMode)
        throw ECommError(QStringLiteral("The link is busy with a firmware update: the sentence "
                                        "was not sent."));
    const QByteArray line = NmeaLine(text.toLatin1());
    // A sentence is never cut: one that does not fit is not sent at all.
    if (line.size() > MaxSendLength)
        throw ECommError(QStringLiteral("The sentence is too long to send: %1 characters with "
                                        "checksum and line end, at most %2 are possible.")
                             .arg(line.size())
                             .arg(MaxSendLength));
    switch (mode) {
    case mdSerial:
        WriteThroughThread(line, false);
        break;
    case mdUdp:
        if (!udpHost.isNull())
            udp->writeDatagram(line, udpHost, quint16(networkPort));
        break;
    case mdTcp:
        WriteThroughThread(line + "\r\n", true);
        break;
    case mdClosed:
        break;
    }
}

void TComm::SendPacket(const TPacket& packet) {
    if (mode != mdSerial && mode != mdTcp)
        return;
    WriteThroughThread(FramePacket(packet.Bytes()), mode == mdTcp);
}

void TComm::WriteThroughThread(const QByteArray& bytes, bool failureIsError) {
    if (!rxThread)
        return;
    const QString error = rxThread->Write(bytes);
    if (!error.isEmpty() && failureIsError)
        throw ESocketError(QStringLiteral("TCP write failed: %1").arg(error));
}

int TComm::ReceivePacket(TPacket& packet, int timeoutMs, bool keepPartial) {
    if ((mode != mdSerial && mode != mdTcp) || !rxThread)
        return PacketNone;
    return rxThread->ReceivePacket(packet, timeoutMs, keepPartial);
}

void TComm::DiscardPacket() {
    TPacket stale;
    ReceivePacket(stale, 0);
}

void TComm::SetPacketMode() {
    if (!rxThread)
        return;
    rxThread->SetPacketMode(true);
    packetMode = true;
}

void TComm::SetLineMode() {
    packetMode = false;
    if (rxThread)
        rxThread->SetPacketMode(false);
}

std::optional<QByteArray> TComm::PopLine() {
    std::lock_guard guard(Lock);
    if (Queue.empty())
        return std::nullopt;
    QByteArray line = std::move(Queue.front());
    Queue.pop_front();
    return line;
}

std::optional<QByteArray> TComm::PopLineOrSleep() {
    std::lock_guard guard(Lock);
    if (Queue.empty()) {
        consumerAsleep = true;
        return std::nullopt;
    }
    QByteArray line = std::move(Queue.front());
    Queue.pop_front();
    return line;
}

qsizetype TComm::QueuedLines() const {
    std::lock_guard guard(Lock);
    return qsizetype(Queue.size());
}

void TComm::PushLines(std::vector<QByteArray>& lines) {
    if (lines.empty())
        return;
    bool wake = false;
    {
        std::lock_guard guard(Lock);
        wake = consumerAsleep;
        consumerAsleep = false;
        for (QByteArray& line : lines)
            Queue.push_back(std::move(line));
    }
    lines.clear();
    // Only a sleeping consumer is woken: one that is awake takes these lines on its next tick.
    if (wake)
        emit LinesQueued();
}

void TComm::UDPRead() {
    std::vector<QByteArray> lines;
    while (udp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp->receiveDatagram(UdpDatagramLimit);
        if (mode != mdUdp)
            continue;
        if (udpFilter &&
            !datagram.senderAddress().isEqual(udpHost, QHostAddress::TolerantConversion))
            continue;
        udpFramer.Feed(datagram.data(),
                       [&lines](QByteArray line) { lines.push_back(std::move(line)); });
    }
    if (!lines.empty())
        PushLines(lines);
}
