// The port object over real links: loopback TCP and UDP sockets and a pseudo-terminal pair
// standing in for a serial port. The far end of each link is a small peer in this file.
#include "comms/Comms.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QNetworkProxyFactory>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <charconv>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using TLines = QList<QByteArray>;

namespace {

constexpr int PeerTimeoutMs = 10000;
const QHostAddress PeerHost(QStringLiteral("127.0.0.2")); // the multiplexer's address
const QHostAddress OtherHost(QStringLiteral("127.0.0.3"));

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The far end of a link under test, driven from the test's thread.
class TPeer {
public:
    virtual ~TPeer() = default;
    virtual void Send(const QByteArray& bytes) = 0;
    // What the port object wrote, once at least size bytes have come (or the time is up).
    QByteArray Take(qsizetype size) {
        QElapsedTimer timer;
        timer.start();
        while (received.size() < size && timer.elapsed() < PeerTimeoutMs)
            ReadSome();
        const QByteArray taken = received.left(size);
        received.remove(0, taken.size());
        return taken;
    }

protected:
    virtual void ReadSome() = 0; // waits a little for bytes and appends them to received
    QByteArray received;
};

class TTcpPeer : public TPeer {
public:
    explicit TTcpPeer(TComm& comm) {
        server.listen(QHostAddress::LocalHost);
        comm.Open(lkTcp, QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), 0);
        if (server.waitForNewConnection(PeerTimeoutMs))
            socket = server.nextPendingConnection();
    }
    void Send(const QByteArray& bytes) override {
        socket->write(bytes);
        socket->flush();
    }
    void ReadSome() override {
        socket->waitForReadyRead(50);
        received += socket->readAll();
    }
    QTcpServer server;
    QTcpSocket* socket = nullptr;
};

// A port no one listens on, as far as the system can tell right now.
quint16 FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::Any, 0);
    return probe.localPort();
}

// The multiplexer on UDP: its own loopback address, the same port number as ours.
class TUdpPeer : public TPeer {
public:
    TUdpPeer(TComm& comm, int option)
        : port(FreeUdpPort()) {
        comm.Open(lkUdp, QStringLiteral("%1:%2").arg(PeerHost.toString()).arg(port), option);
        socket.bind(PeerHost, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    }
    void Send(const QByteArray& bytes) override {
        socket.writeDatagram(bytes, QHostAddress::LocalHost, port);
    }
    void ReadSome() override {
        socket.waitForReadyRead(50);
        while (socket.hasPendingDatagrams())
            received += socket.receiveDatagram().data();
    }
    const quint16 port;
    QUdpSocket socket;
};

// The device end of a pseudo-terminal pair; the port object opens the other end.
class TSerialPeer : public TPeer {
public:
    explicit TSerialPeer(TComm& comm, int speedIndex = 7) {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        portName = QString::fromLocal8Bit(name);
        comm.Open(lkSerial, portName, speedIndex);
    }
    ~TSerialPeer() override {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    void Send(const QByteArray& bytes) override {
        // The terminal's buffer is small: write as it drains.
        QElapsedTimer timer;
        timer.start();
        qsizetype sent = 0;
        while (sent < bytes.size() && timer.elapsed() < PeerTimeoutMs) {
            const ssize_t n =
                ::write(master, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (n > 0) {
                sent += n;
            } else {
                pollfd fd{master, POLLOUT, 0};
                poll(&fd, 1, 50);
            }
        }
        QCOMPARE(sent, bytes.size());
    }
    void ReadSome() override {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 50) <= 0)
            return;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    }
    speed_t Speed() const {
        termios settings{};
        tcgetattr(slave, &settings);
        return cfgetospeed(&settings);
    }
    int master = -1;
    int slave = -1;
    QString portName;
};

std::unique_ptr<TPeer> Connect(TComm& comm, const QString& kind) {
    if (kind == "tcp")
        return std::make_unique<TTcpPeer>(comm);
    if (kind == "udp")
        return std::make_unique<TUdpPeer>(comm, 1);
    return std::make_unique<TSerialPeer>(comm);
}

TCommMode ModeOf(const QString& kind) {
    return kind == "tcp" ? mdTcp : kind == "udp" ? mdUdp : mdSerial;
}

// Pops lines until count have come; UDP needs the event loop turning meanwhile.
TLines WaitForLines(TComm& comm, qsizetype count) {
    TLines lines;
    (void)QTest::qWaitFor(
        [&] {
            while (auto line = comm.PopLine())
                lines.append(*line);
            return lines.size() >= count;
        },
        PeerTimeoutMs);
    return lines;
}

// Linger zero: closing then resets the connection instead of ending it in order.
void Reset(QTcpSocket* socket) {
    const linger hard{1, 0};
    setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket->abort();
}

} // namespace

class TestComms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void Addresses_data();
    void Addresses();
    void SelectorLists();
    void OpenFailures();
    void SerialSpeed_data();
    void SerialSpeed();
    void ReceiveLines_data();
    void ReceiveLines();
    void SendLine_data();
    void SendLine();
    void LongLineIsNotSent_data();
    void LongLineIsNotSent();
    void UdpFilter_data();
    void UdpFilter();
    void Packets_data();
    void Packets();
    void PacketArrivingDuringWait();
    void PacketsNeedAThread();
    void ReceptionGoesOnWhileUiWaits_data();
    void ReceptionGoesOnWhileUiWaits();
    void PeerCloses_data();
    void PeerCloses();
    void CloseAndDestroy();
    void MillionLines();
    void TrickleIsReadInBatches_data();
    void TrickleIsReadInBatches();
    void WritesAreNotHeldBack();
};

void TestComms::initTestCase() {
    // The peers talk over loopback directly; asking the desktop for proxies only costs time.
    QNetworkProxyFactory::setUseSystemConfiguration(false);
}

void TestComms::Addresses_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<quint32>("port");

    QTest::newRow("host and port") << "192.168.1.5:2000" << true << "192.168.1.5" << 2000u;
    QTest::newRow("host alone") << "192.168.1.5" << true << "192.168.1.5" << 10110u;
    QTest::newRow("port alone") << ":10111" << true << "" << 10111u;
    QTest::newRow("highest port") << "h:65535" << true << "h" << 65535u;
    QTest::newRow("letters") << "h:abc" << false << "" << 0u;
    QTest::newRow("empty port") << "h:" << false << "" << 0u;
    QTest::newRow("blank") << "h: 2000" << false << "" << 0u;
    QTest::newRow("second colon") << "h:1:2" << false << "" << 0u;
    QTest::newRow("zero") << "h:0" << false << "" << 0u;
    QTest::newRow("too big") << "h:65536" << false << "" << 0u;
    QTest::newRow("negative") << "h:-1" << false << "" << 0u;
}

void TestComms::Addresses() {
    QFETCH(QString, address);
    QFETCH(bool, valid);
    QFETCH(QString, host);
    QFETCH(quint32, port);

    if (!valid) {
        QVERIFY_THROWS_EXCEPTION(ECommError, SplitNetworkAddress(address));
        // Open passes the error on for both network kinds and stays closed.
        TComm comm;
        for (int kind : {lkUdp, lkTcp}) {
            try {
                comm.Open(kind, address, 0);
                QFAIL("Open accepted a bad port");
            } catch (const ECommError& error) {
                QVERIFY(error.Message().contains("port number"));
            }
            QCOMPARE(comm.Mode(), mdClosed);
        }
        return;
    }
    const auto [gotHost, gotPort] = SplitNetworkAddress(address);
    QCOMPARE(gotHost, host);
    QCOMPARE(gotPort, port);
}

void TestComms::SelectorLists() {
    // (description, port name) as the system reports them.
    const TSelectorLists lists = MakeSelectorLists({{"USB Serial Port", "COM3"},
                                                    {"bluetooth link", "rfcomm0"},
                                                    {"Communications Port (COM1)", "COM1"},
                                                    {"USB Serial Port", "COM4"},
                                                    {"", "ttyS0"}});
    // Two alike adapters differ by their port names; a description that names its port
    // already is not repeated; a port without description shows its name.
    QCOMPARE(lists.DisplayNames, QStringList({"UDP All", "UDP", "TCP", "bluetooth link (rfcomm0)",
                                              "Communications Port (COM1)", "ttyS0",
                                              "USB Serial Port (COM3)", "USB Serial Port (COM4)"}));
    QCOMPARE(lists.DeviceNames,
             QStringList({"UDP All", "UDP", "TCP", "rfcomm0", "COM1", "ttyS0", "COM3", "COM4"}));

    // Whatever this machine has, the port object's lists start the same way and pair up.
    TComm comm;
    QCOMPARE(comm.DeviceNames().mid(0, 3), QStringList({"UDP All", "UDP", "TCP"}));
    QCOMPARE(comm.DisplayNames().mid(0, 3), QStringList({"UDP All", "UDP", "TCP"}));
    QCOMPARE(comm.DeviceNames().size(), comm.DisplayNames().size());
}

void TestComms::OpenFailures() {
    TComm comm;
    // Serial: no exception, the link stays closed.
    QCOMPARE(comm.Open(lkSerial, QString(), 7), mdClosed);
    QCOMPARE(comm.Open(lkSerial, "/dev/tidewright-no-such-port", 7), mdClosed);
    QCOMPARE(comm.Open(99, "127.0.0.1", 0), mdClosed);

    // TCP: nobody listens on a port that was just given up.
    quint16 port = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    }
    QVERIFY_THROWS_EXCEPTION(ECommError,
                             comm.Open(lkTcp, QStringLiteral("127.0.0.1:%1").arg(port), 0));
    QCOMPARE(comm.Mode(), mdClosed);
    QCOMPARE(comm.NetworkPort(), quint32(port));

    // UDP: the port is held exclusively by someone else.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
    QVERIFY_THROWS_EXCEPTION(
        ECommError, comm.Open(lkUdp, QStringLiteral("127.0.0.1:%1").arg(holder.localPort()), 0));
    QCOMPARE(comm.Mode(), mdClosed);

    // Nothing of this left the port object in a state that refuses the next open.
    TUdpPeer peer(comm, 0);
    QCOMPARE(comm.Mode(), mdUdp);
    QCOMPARE(comm.NetworkPort(), quint32(peer.port));
}

void TestComms::SerialSpeed_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("bitsPerSecond");
    QTest::addColumn<uint>("speed"); // as the terminal settings name it

    QTest::newRow("0") << 0 << 4800 << uint(B4800);
    QTest::newRow("3") << 3 << 38400 << uint(B38400);
    QTest::newRow("7, the connection default") << 7 << 460800 << uint(B460800);
    QTest::newRow("8") << 8 << 921600 << uint(B921600);
    QTest::newRow("9 is outside") << 9 << 115200 << uint(B115200);
    QTest::newRow("-1 is outside") << -1 << 115200 << uint(B115200);
}

void TestComms::SerialSpeed() {
    QFETCH(int, index);
    QFETCH(int, bitsPerSecond);
    QFETCH(uint, speed);

    QCOMPARE(::SerialSpeed(index), bitsPerSecond);
    TComm comm;
    TSerialPeer peer(comm, index);
    QVERIFY(peer.master >= 0);
    QCOMPARE(comm.Mode(), mdSerial);
    QCOMPARE(uint(peer.Speed()), speed);
    // Raw: no echo, and CR reaches the framer as CR.
    termios settings{};
    tcgetattr(peer.slave, &settings);
    QCOMPARE(settings.c_lflag & (ECHO | ICANON), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (ICRNL | IXON), tcflag_t(0));
    QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
}

void TestComms::ReceiveLines_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("serial") << "serial";
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("udp") << "udp";
}

void TestComms::ReceiveLines() {
    QFETCH(QString, kind);
    TComm comm;
    auto peer = Connect(comm, kind);
    QCOMPARE(comm.Mode(), ModeOf(kind));

    // Cut in odd places: framing carries on from one read (or datagram) to the next.
    peer->Send("xx$GPRMC,A*3C\r\n\\s:ABC-3*64\\$GP");
    peer->Send("GGA,1\r\n$BAD\rx!AIVDM,1\r");
    peer->Send("\n");
    const TLines lines = WaitForLines(comm, 3);
    QCOMPARE(lines, TLines({"$GPRMC,A*3C", "\\s:ABC-3*64\\$GPGGA,1", "!AIVDM,1"}));
    QCOMPARE(comm.QueuedLines(), 0);
}

void TestComms::SendLine_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("tcp, checksum added, line end doubled")
        << "tcp"
        << "$GPGGA,1" << QByteArray("$GPGGA,1*4B\r\n\r\n");
    QTest::newRow("tcp, text with a star") << "tcp"
                                           << "$GPGGA,1*00" << QByteArray("$GPGGA,1*00\r\n\r\n");
    QTest::newRow("serial, checksum added") << "serial"
                                            << "$GPGGA,1" << QByteArray("$GPGGA,1*4B\r\n");
    QTest::newRow("serial, text with a star") << "serial"
                                              << "$PZRQVER*00" << QByteArray("$PZRQVER*00\r\n");
    QTest::newRow("udp, one datagram") << "udp"
                                       << "$PZRQVER" << QByteArray("$PZRQVER*48\r\n");
    QTest::newRow("Latin-1 on the wire") << "tcp"
                                         << "$P\u00e9" << QByteArray("$P\xe9*B9\r\n\r\n");
}

void TestComms::SendLine() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);

    TComm comm;
    auto peer = Connect(comm, kind);
    QCOMPARE(comm.Mode(), ModeOf(kind));
    comm.SendLine(QString()); // sends nothing
    comm.SendLine(text);
    QCOMPARE(peer->Take(wire.size()), wire);
}

void TestComms::LongLineIsNotSent_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");

    QTest::newRow("250 characters and checksum fit") << "$" + QString(249, 'A') << true;
    QTest::newRow("251 characters and checksum do not") << "$" + QString(250, 'A') << false;
    QTest::newRow("253 characters with star fit") << "$" + QString(249, 'A') + "*00" << true;
    QTest::newRow("254 characters with star do not") << "$" + QString(250, 'A') + "*00" << false;
}

void TestComms::LongLineIsNotSent() {
    QFETCH(QString, text);
    QFETCH(bool, fits);

    TComm comm;
    TTcpPeer peer(comm);
    QCOMPARE(comm.Mode(), mdTcp);
    if (fits) {
        comm.SendLine(text);
        const QByteArray sent = peer.Take(257);
        QCOMPARE(sent.size(), 257);
        QVERIFY(sent.startsWith(text.toLatin1()));
        QVERIFY(sent.endsWith("\r\n\r\n"));
        return;
    }
    try {
        comm.SendLine(text);
        QFAIL("an over-long line was accepted");
    } catch (const ECommError& error) {
        QVERIFY(error.Message().contains("too long"));
    }
    // Nothing went out, not even a part: the next line is the first thing the peer sees.
    comm.SendLine("$GPGGA,1");
    QCOMPARE(peer.Take(15), QByteArray("$GPGGA,1*4B\r\n\r\n"));
    QCOMPARE(comm.Mode(), mdTcp);
}

void TestComms::UdpFilter_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<TLines>("lines");

    QTest::newRow("UDP takes the host only") << 1 << TLines{"$FROM,HOST", "$AGAIN,HOST"};
    QTest::newRow("UDP All takes everyone")
        << 0 << TLines{"$FROM,HOST", "$FROM,OTHER", "$AGAIN,HOST"};
}

void TestComms::UdpFilter() {
    QFETCH(int, option);
    QFETCH(TLines, lines);

    TComm comm;
    TUdpPeer peer(comm, option);
    QCOMPARE(comm.Mode(), mdUdp);
    QCOMPARE(comm.UdpFilter(), option == 1);
    QUdpSocket other;
    QVERIFY(other.bind(OtherHost, 0));

    // One at a time, each waited for, so the order of arrival is known.
    peer.Send("$FROM,HOST\r\n");
    QCOMPARE(WaitForLines(comm, 1), TLines{lines[0]});
    other.writeDatagram("$FROM,OTHER\r\n", QHostAddress::LocalHost, peer.port);
    peer.Send("$AGAIN,HOST\r\n");
    QCOMPARE(WaitForLines(comm, lines.size() - 1), lines.mid(1));
}

void TestComms::Packets_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("serial") << "serial";
    QTest::newRow("tcp") << "tcp";
}

void TestComms::Packets() {
    QFETCH(QString, kind);
    TComm comm;
    auto peer = Connect(comm, kind);
    QCOMPARE(comm.Mode(), ModeOf(kind));

    // Line mode until switched.
    peer->Send("$LINE,1\r\n");
    QCOMPARE(WaitForLines(comm, 1), TLines{"$LINE,1"});

    comm.SetPacketMode();
    comm.SendPacket(TPacket::FromBytes(Hex("FD01")));
    QCOMPARE(peer->Take(5), Hex("FEFFFD01FD"));

    // An empty frame completes nothing; a line is no packet; the next frame is taken.
    peer->Send(Hex("FEFD") + "$LINE,2\r\n" + Hex("FE01FFFD02FD"));
    TPacket packet;
    QCOMPARE(comm.ReceivePacket(packet, PeerTimeoutMs), int(PacketReceived));
    QCOMPARE(packet.Bytes().toByteArray(), Hex("01FD02"));
    QCOMPARE(comm.QueuedLines(), 0);

    // Taking the packet resets the framer for the next one.
    peer->Send(Hex("FE03FD"));
    QCOMPARE(comm.ReceivePacket(packet, PeerTimeoutMs), int(PacketReceived));
    QCOMPARE(packet.Bytes().toByteArray(), Hex("03"));
    QCOMPARE(comm.ReceivePacket(packet, 50), int(PacketTimeout));

    // Back to lines: a packet frame is no line.
    comm.SetLineMode();
    peer->Send(Hex("FE04FD") + "$LINE,3\r\n");
    QCOMPARE(WaitForLines(comm, 1), TLines{"$LINE,3"});
}

void TestComms::PacketArrivingDuringWait() {
    TComm comm;
    TSerialPeer peer(comm);
    QCOMPARE(comm.Mode(), mdSerial);
    comm.SetPacketMode();

    // The device answers while the port object already waits.
    std::thread device([&peer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const QByteArray frame = FramePacket(Hex("C0"));
        ::write(peer.master, frame.constData(), size_t(frame.size()));
    });
    TPacket packet;
    const int result = comm.ReceivePacket(packet, PeerTimeoutMs);
    device.join();
    QCOMPARE(result, int(PacketReceived));
    QCOMPARE(packet.Bytes().toByteArray(), Hex("C0"));
}

void TestComms::PacketsNeedAThread() {
    TComm comm;
    TPacket packet;
    QCOMPARE(comm.ReceivePacket(packet, 10), int(PacketNone));
    TUdpPeer peer(comm, 0);
    QCOMPARE(comm.Mode(), mdUdp);
    comm.SetPacketMode(); // no effect: UDP stays a line link
    comm.SendPacket(TPacket::FromBytes(Hex("01")));
    QCOMPARE(comm.ReceivePacket(packet, 10), int(PacketNone));
    peer.Send("$STILL,LINES\r\n");
    QCOMPARE(WaitForLines(comm, 1), TLines{"$STILL,LINES"});
}

void TestComms::ReceptionGoesOnWhileUiWaits_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("serial") << "serial";
    QTest::newRow("tcp") << "tcp";
}

void TestComms::ReceptionGoesOnWhileUiWaits() {
    QFETCH(QString, kind);
    TComm comm;
    auto peer = Connect(comm, kind);
    QCOMPARE(comm.Mode(), ModeOf(kind));

    // This thread neither turns its event loop nor pops, as in a modal box: the lines still
    // arrive, and each pop hands out one line while the rest stay queued.
    peer->Send(QByteArray("$WAIT,1\r\n$WAIT,2\r\n$WAIT,3\r\n"));
    QElapsedTimer timer;
    timer.start();
    while (comm.QueuedLines() < 3 && timer.elapsed() < PeerTimeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QCOMPARE(comm.QueuedLines(), 3);
    QCOMPARE(comm.PopLine(), std::optional<QByteArray>("$WAIT,1"));
    QCOMPARE(comm.QueuedLines(), 2);
}

void TestComms::PeerCloses_data() {
    QTest::addColumn<bool>("reset");
    QTest::newRow("closed in order") << false;
    QTest::newRow("reset") << true;
}

void TestComms::PeerCloses() {
    QFETCH(bool, reset);
    TComm comm;
    QSignalSpy lost(&comm, &TComm::ConnectionLost);
    TTcpPeer peer(comm);
    QCOMPARE(comm.Mode(), mdTcp);

    peer.Send("$LAST,1\r\n$LAST,2\r\n");
    QCOMPARE(WaitForLines(comm, 2), TLines({"$LAST,1", "$LAST,2"}));
    if (reset)
        Reset(peer.socket);
    else
        peer.socket->disconnectFromHost();
    QVERIFY(lost.wait(PeerTimeoutMs));
    QCOMPARE(lost.count(), 1);

    // The owner learns of it again when it writes, then closes as after a failed send.
    QVERIFY_THROWS_EXCEPTION(ESocketError, comm.SendLine("$PZRQVER"));
    QVERIFY_THROWS_EXCEPTION(ESocketError, comm.SendPacket(TPacket::FromBytes(Hex("01"))));
    comm.Close();
    QCOMPARE(comm.Mode(), mdClosed);
    QCOMPARE(lost.count(), 1);
}

void TestComms::CloseAndDestroy() {
    // Closing a healthy link is no lost connection, and lines received stay queued.
    {
        TComm comm;
        QSignalSpy lost(&comm, &TComm::ConnectionLost);
        TTcpPeer peer(comm);
        peer.Send("$KEPT,1\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(comm.QueuedLines(), 1, PeerTimeoutMs);
        comm.Close();
        QCOMPARE(comm.Mode(), mdClosed);
        QVERIFY(peer.socket->state() == QAbstractSocket::UnconnectedState ||
                peer.socket->waitForDisconnected(PeerTimeoutMs));
        QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 0);
        QCOMPARE(comm.PopLine(), std::optional<QByteArray>("$KEPT,1"));
        // A line sent after closing goes nowhere, quietly.
        comm.SendLine("$PZRQVER");
    }
    // Destroying the port object with open links, bytes still streaming in, closes them.
    for (const QString kind : {"tcp", "serial", "udp"}) {
        auto comm = std::make_unique<TComm>();
        auto peer = Connect(*comm, kind);
        QCOMPARE(comm->Mode(), ModeOf(kind));
        peer->Send(QByteArray("$STREAM,1\r\n").repeated(2000));
        comm.reset();
        if (kind == "tcp") {
            QTcpSocket* socket = static_cast<TTcpPeer&>(*peer).socket;
            QVERIFY(socket->state() == QAbstractSocket::UnconnectedState ||
                    socket->waitForDisconnected(PeerTimeoutMs));
        }
    }
}

void TestComms::MillionLines() {
    constexpr int count = 1'000'000;
    TComm comm;
    TTcpPeer peer(comm);
    QCOMPARE(comm.Mode(), mdTcp);

    // The consumer drains on its own thread while lines arrive, checking order as it goes.
    std::atomic<int> taken{0};
    std::atomic<bool> inOrder{true};
    std::thread consumer([&] {
        QElapsedTimer timer;
        timer.start();
        int next = 0;
        while (next < count && timer.elapsed() < 60000) {
            const std::optional<QByteArray> line = comm.PopLine();
            if (!line) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            int number = -1;
            const char* digits = line->constData() + 7;
            const bool ok = line->startsWith("$TWSEQ,") &&
                            std::from_chars(digits, line->constData() + line->size(), number).ec ==
                                std::errc() &&
                            number == next;
            if (!ok)
                inOrder = false;
            taken = ++next;
        }
    });

    QByteArray stream;
    stream.reserve(count * 16);
    char digits[16];
    for (int i = 0; i < count; ++i) {
        stream += "$TWSEQ,";
        const auto end = std::to_chars(digits, digits + sizeof digits, i).ptr;
        stream.append(digits, end - digits);
        stream += "\r\n";
    }
    peer.socket->write(stream);
    QTRY_VERIFY_WITH_TIMEOUT(taken.load() == count, 60000);
    consumer.join();
    QVERIFY(inOrder.load());
    QCOMPARE(comm.QueuedLines(), 0);
}

QTEST_GUILESS_MAIN(TestComms)
void TestComms::TrickleIsReadInBatches_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("serial") << "serial";
}

void TestComms::TrickleIsReadInBatches() {
    // A link that hands over its lines one by one, a few milliseconds apart, as a serial
    // adapter or a device sending each line on its own does. The consumer sleeps whenever it
    // finds the queue empty; each wake-up must bring a batch of lines, not one line.
    QFETCH(QString, kind);
    constexpr int count = 100;
    TComm comm;
    auto peer = Connect(comm, kind);
    QCOMPARE(comm.Mode(), ModeOf(kind));

    TLines lines;
    int wakeUps = 0;
    // A plain event loop: QTRY would sleep between its looks and slow the trickle down.
    QEventLoop loop;
    connect(&comm, &TComm::LinesQueued, this, [&] {
        ++wakeUps;
        while (auto line = comm.PopLineOrSleep())
            lines.append(*line);
        if (lines.size() >= count)
            loop.quit();
    });
    int sent = 0;
    QTimer trickle;
    trickle.setTimerType(Qt::PreciseTimer);
    connect(&trickle, &QTimer::timeout, this, [&] {
        peer->Send("$TRKL," + QByteArray::number(sent) + "\r\n");
        if (++sent == count)
            trickle.stop();
    });
    trickle.start(2);
    QTimer::singleShot(PeerTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QCOMPARE(lines.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(lines[i], "$TRKL," + QByteArray::number(i));
    QVERIFY2(wakeUps <= count / 4, qPrintable(QStringLiteral("%1 wake-ups").arg(wakeUps)));
}

void TestComms::WritesAreNotHeldBack() {
    // A light read lets the next bytes collect for a while; a line sent meanwhile still goes
    // out at once, and its answer comes in at once. Each round lets the link fall quiet first,
    // then makes it read a single line and sends straight away.
    TComm comm;
    TTcpPeer peer(comm);
    QCOMPARE(comm.Mode(), mdTcp);
    constexpr int rounds = 5;
    qint64 slowest = 0;
    for (int round = 0; round < rounds; ++round) {
        QTest::qWait(400); // longer than the link counts as talking after a write
        peer.Send("$LIGHT," + QByteArray::number(round) + "\r\n");
        QCOMPARE(WaitForLines(comm, 1), TLines({"$LIGHT," + QByteArray::number(round)}));
        QElapsedTimer clock;
        clock.start();
        comm.SendLine(QStringLiteral("$PZRQVER"));
        slowest = std::max(slowest, clock.elapsed());
        const QByteArray wire("$PZRQVER*48\r\n\r\n"); // a line end more over TCP
        QCOMPARE(peer.Take(wire.size()), wire);
        peer.Send("$PZRQRDY\r\n");
        QCOMPARE(WaitForLines(comm, 1), TLines({"$PZRQRDY"}));
    }
    // Held back, the send would wait out most of the 100 ms pause.
    QVERIFY2(slowest < 50, qPrintable(QStringLiteral("slowest send %1 ms").arg(slowest)));
}

#include "tst_comms.moc"
