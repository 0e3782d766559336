// The simulator's other links (UDP, pseudo-terminal) and what it sends unasked: traffic with
// and without TAG blocks, statistics, the navigation database and overflow reports.
#include "SimRig.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QSerialPort>
#include <QSet>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

const QByteArray Version = "$PZRQVER,3.14.0,Corvanta-PX,24070193,A010*23\r\n";

QByteArray Datagram(QUdpSocket& socket, int timeoutMs = 5000) {
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(timeoutMs))
        return {};
    return socket.receiveDatagram().data();
}

// The port's bytes up to the end of a line; what came, when no line ends within about ten
// seconds.
QByteArray ReadLine(QSerialPort& port) {
    QByteArray received;
    for (int i = 0; i < 100 && !received.endsWith("\r\n"); ++i) {
        if (port.waitForReadyRead(100))
            received += port.readAll();
    }
    return received;
}

} // namespace

class TestSimLinks : public QObject, protected TSimRig {
    Q_OBJECT

private slots:
    void cleanup();

    void UdpAnswersTheLastSender();
    void PseudoTerminal();
    void PseudoTerminalDropsOutputWhileClosed();
    void TrafficWithoutTagBlocks();
    void TrafficWithTagBlocks();
    void TrafficFollowsConfiguration();
    void Statistics();
    void NavigationDatabase();
    void Overflow_data();
    void Overflow();

private:
    void StartTcp(int trafficRate = 0);
    QList<QByteArray> Collect(int count); // that many lines
};

void TestSimLinks::cleanup() {
    Stop();
}

void TestSimLinks::StartTcp(int trafficRate) {
    TSimulator::TOptions options;
    options.trafficRate = trafficRate;
    Start(options);
}

QList<QByteArray> TestSimLinks::Collect(int count) {
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        const QByteArray line = client->Line(5000);
        if (line.isEmpty())
            break;
        lines.append(line);
    }
    return lines;
}

void TestSimLinks::UdpAnswersTheLastSender() {
    TSimulator::TOptions options;
    options.tcp = false;
    options.udp = true;
    sim = std::make_unique<TSimulator>(options);
    sim->Start();
    QVERIFY(sim->UdpPort() != 0);
    QCOMPARE(sim->TcpPort(), quint16(0));

    QUdpSocket first;
    QUdpSocket second;
    first.setProxy(QNetworkProxy::NoProxy);
    second.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(first.bind(QHostAddress::LocalHost, 0));
    QVERIFY(second.bind(QHostAddress::LocalHost, 0));
    // A line may come in pieces.
    first.writeDatagram("$PZRQV", QHostAddress::LocalHost, sim->UdpPort());
    first.writeDatagram("ER*48\r\n", QHostAddress::LocalHost, sim->UdpPort());
    QCOMPARE(Datagram(first), Version);

    second.writeDatagram(NmeaLine("$PZRQUI"), QHostAddress::LocalHost, sim->UdpPort());
    QCOMPARE(Datagram(second), NmeaLine("$PZRQUI,R,CPX7A31F"));
    sim->SendUnasked("$PZRQOV,1");
    QCOMPARE(Datagram(second), NmeaLine("$PZRQOV,1"));
    QVERIFY(!first.hasPendingDatagrams());
}

void TestSimLinks::PseudoTerminal() {
    TSimulator::TOptions options;
    options.tcp = false;
    options.pty = true;
    sim = std::make_unique<TSimulator>(options);
    sim->Start();
    QVERIFY(sim->PtyPath().startsWith(QStringLiteral("/dev/")));

    // Opened as the program opens its serial ports.
    QSerialPort port(sim->PtyPath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.setBaudRate(460800);
    port.write("$PZRQVER*48\r\n");
    QVERIFY(port.waitForBytesWritten(5000));
    QCOMPARE(ReadLine(port), Version);
    QTRY_VERIFY_WITH_TIMEOUT(sim->PtyListening(), 5000);
}

void TestSimLinks::PseudoTerminalDropsOutputWhileClosed() {
    TSimulator::TOptions options;
    options.tcp = false;
    options.pty = true;
    sim = std::make_unique<TSimulator>(options);
    sim->Start();
    {
        QSerialPort port(sim->PtyPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        QTRY_VERIFY_WITH_TIMEOUT(sim->PtyListening(), 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sim->PtyListening(), 5000);
    sim->SendUnasked("$PZRQOV,F"); // nobody listens: gone, not kept for the next opener

    QSerialPort port(sim->PtyPath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.write("$PZRQVER\r\n");
    QVERIFY(port.waitForBytesWritten(5000));
    QCOMPARE(ReadLine(port), Version);
}

void TestSimLinks::TrafficWithoutTagBlocks() {
    StartTcp(400);
    const QList<QByteArray> lines = Collect(120);
    QCOMPARE(lines.size(), 120);
    QSet<QByteArray> kinds;
    for (const QByteArray& line : lines) {
        QVERIFY2(TSimClient::ChecksumOk(line), line.constData());
        QVERIFY2(line.startsWith('$') || line.startsWith('!'), line.constData());
        QVERIFY(line.size() <= 82); // NMEA 0183 length limit
        kinds.insert(TSimClient::Text(line).split(',').constFirst().mid(3));
    }
    // GPS, wind, depth, heading and AIS.
    for (const char* kind : {"RMC", "GGA", "VTG", "MWV", "DBT", "DPT", "HDG", "VDM"})
        QVERIFY2(kinds.contains(kind), kind);
}

void TestSimLinks::TrafficWithTagBlocks() {
    StartTcp();
    client->Send("$PZRQOP,C,00000020");
    QCOMPARE(client->Line(), QByteArray("\\s:CPX7A31F-0*2D\\$PZRQOP,R,00000020*46\r\n"));
    sim->SetTrafficRate(400);

    QSet<int> ports;
    QSet<int> addresses;
    const QList<QByteArray> lines = Collect(150);
    QCOMPARE(lines.size(), 150);
    for (const QByteArray& line : lines) {
        QVERIFY2(TSimClient::ChecksumOk(line), line.constData());
        const QByteArray tag = TSimClient::Tag(line);
        QVERIFY(tag.startsWith("\\s:CPX7A31F"));
        QVERIFY2(TSimClient::TagChecksumOk(tag), tag.constData());
        const TSentence parsed(QString::fromLatin1(line.trimmed()), QStringLiteral("CPX7A31F"));
        if (parsed.SourceKind == skPort)
            ports.insert(parsed.SourcePort);
        else if (parsed.SourceKind == skN2K)
            addresses.insert(parsed.SourceAddress);
        else
            QFAIL(line.constData());
    }
    QVERIFY(ports.contains(1) && ports.contains(2) && ports.contains(5));
    QCOMPARE(addresses, (QSet<int>{10, 28, 35, 66}));
}

void TestSimLinks::TrafficFollowsConfiguration() {
    StartTcp();
    // Talker ID "GN" on In1, every conversion, the multiplexer's TAG blocks.
    QVERIFY(sim->SetConfigFields(QStringLiteral("ID"), {"GN", "", "", "", "", "", "", "", ""}));
    QVERIFY(sim->SetConfigFields(QStringLiteral("CNV"), {"00001FFF"}));
    QVERIFY(sim->SetConfigFields(QStringLiteral("OP"), {"00000020"}));
    sim->SetTrafficRate(400);

    QSet<QByteArray> conversions;
    bool gnFromIn1 = false;
    for (const QByteArray& line : Collect(200)) {
        const TSentence parsed(QString::fromLatin1(line.trimmed()), QStringLiteral("CPX7A31F"));
        if (parsed.SourceKind == skPort && parsed.SourcePort == 1) {
            QVERIFY2(parsed.Address.startsWith(u"GN"), line.constData());
            gnFromIn1 = true;
        }
        if (parsed.SourceKind == skPort && parsed.SourcePort == 9)
            conversions.insert(parsed.Address.toLatin1());
    }
    QVERIFY(gnFromIn1);
    QCOMPARE(conversions, (QSet<QByteArray>{"IIHDT", "IIMWD", "IIVHW"}));
}

void TestSimLinks::Statistics() {
    StartTcp();
    client->Send("$PZRQSTAT,C,1");
    QElapsedTimer clock;
    clock.start();
    const QByteArray first = client->Line();
    const QByteArray second = client->Line(5000);
    QVERIFY(clock.elapsed() >= 500);
    for (const QByteArray& report : {first, second}) {
        QVERIFY2(TSimClient::ChecksumOk(report), report.constData());
        const QList<QByteArray> fields = TSimClient::Text(report).split(',');
        QCOMPARE(fields.size(), 11);
        QCOMPARE(fields[0], QByteArray("$PZRQSTAT"));
        QCOMPARE(fields[1], QByteArray("R"));
        for (qsizetype i = 2; i < fields.size(); ++i) {
            bool ok = false;
            const uint value = fields[i].toUInt(&ok);
            QVERIFY(ok && value <= (i == 2 ? 20736u : 100u));
        }
    }
    QVERIFY(sim->StatisticsRunning());
    client->Send("$PZRQSTAT,C,0");
    QTRY_VERIFY_WITH_TIMEOUT(!sim->StatisticsRunning(), 5000);
}

void TestSimLinks::NavigationDatabase() {
    StartTcp();
    client->Send("$PZRQDB");
    const QList<QByteArray> lines = client->Until("$PZRQRDY");
    QVERIFY(lines.size() > 5);
    QCOMPARE(lines.constLast(), QByteArray("$PZRQRDY*46\r\n"));
    for (const QByteArray& line : lines.first(lines.size() - 1)) {
        QVERIFY(TSimClient::ChecksumOk(line));
        const QList<QByteArray> fields = TSimClient::Text(line).split(',');
        QCOMPARE(fields.size(), 5); // parameter, value, source
        QCOMPARE(fields.mid(0, 2), (QList<QByteArray>{"$PZRQDB", "R"}));
        QVERIFY(!fields[2].isEmpty() && !fields[3].isEmpty() && !fields[4].isEmpty());
    }
}

void TestSimLinks::Overflow_data() {
    QTest::addColumn<QString>("options");
    QTest::addColumn<uint>("flags");
    QTest::newRow("all outputs") << QStringLiteral("00000000") << 0xFu;
    QTest::newRow("Out4 serves Modbus") << QStringLiteral("00000080") << 0x7u;
}

void TestSimLinks::Overflow() {
    QFETCH(QString, options);
    QFETCH(uint, flags);
    StartTcp();
    // Every output at 4800 bit/s, everything routed to all of them: far more than fits.
    QVERIFY(sim->SetConfigFields(QStringLiteral("SP"), QStringList(11, QStringLiteral("0"))));
    QVERIFY(sim->SetConfigFields(QStringLiteral("OP"), {options}));
    sim->SetTrafficRate(500);
    const QList<QByteArray> lines = client->Until("$PZRQOV", 10000);
    QVERIFY(!lines.isEmpty());
    QVERIFY(TSimClient::ChecksumOk(lines.constLast()));
    QCOMPARE(TSimClient::Text(lines.constLast()).split(',').value(1).toUInt(nullptr, 16), flags);
}

QTEST_GUILESS_MAIN(TestSimLinks)
#include "tst_simlinks.moc"
