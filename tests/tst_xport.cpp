// The device-server protocol against simulated device servers on loopback addresses.
#include "ProgressUser.h"

#include "network/AddressCalc.h"
#include "network/NetworkJobs.h"
#include "network/NetworkSettings.h"
#include "network/XportLib.h"
#include "nmea/Errors.h"
#include "sim/XPortSim.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

const QHostAddress Hub(QStringLiteral("127.0.17.1"));
const QHostAddress FirstServer(QStringLiteral("127.0.17.2"));

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

// A record of zeros with the given bytes set.
QByteArray Record(int size, std::initializer_list<std::pair<int, int>> set) {
    QByteArray bytes(size, '\0');
    for (const auto& [offset, value] : set)
        bytes[offset] = char(value);
    return bytes;
}

// The factory network settings byte by byte.
const QByteArray FactoryRecord = Record(124, {{3, 0xFD},
                                              {11, 0x2D},
                                              {20, 0x4C},
                                              {21, 0x0B},
                                              {22, 2},
                                              {24, 0x7E},
                                              {25, 0x27},
                                              {26, 0x7E},
                                              {27, 0x27},
                                              {28, 0xFF},
                                              {29, 0xFF},
                                              {30, 0xFF},
                                              {31, 0xFF},
                                              {32, 0xCC},
                                              {33, 1},
                                              {36, 0x0D},
                                              {37, 0x0A},
                                              {38, 0xF7},
                                              {39, 0x30}});

// Short time-outs on loopback.
TXPortOptions Options(quint16 port) {
    TXPortOptions options;
    options.Target = Hub;
    options.Port = port;
    options.Bind = QHostAddress(QHostAddress::LocalHost);
    options.ReceiveTimeoutMs = 300;
    options.DiscoveryLimitMs = 3000;
    options.ConnectTimeoutMs = 1000;
    options.ReadTimeoutMs = 300;
    options.VerifyTimeoutMs = 200;
    options.PauseMs = 20;
    return options;
}

struct TRig {
    explicit TRig(int count = 3, int restartMs = 50) {
        TXPortSimOptions options;
        options.Hub = Hub;
        options.Servers = XPortSimServers(count, FirstServer);
        options.RestartMs = restartMs;
        sim = std::make_unique<TXPortSimulator>(options);
        sim->Start();
        xport = std::make_unique<TXPort>(Options(sim->Port()));
    }
    QString Host(int server) const { return sim->Address(server).toString(); }

    std::unique_ptr<TXPortSimulator> sim;
    std::unique_ptr<TXPort> xport;
};

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

} // namespace

class TestXPort : public QObject {
    Q_OBJECT

private slots:
    void MessagesAsOnTheWire();
    void SetupRecordFields();
    void DeviceText();

    void DiscoversEveryServer();
    void DiscoveryWithNobodyEndsAfterOneSecond();
    void DiscoverySkipsStrays_data();
    void DiscoverySkipsStrays();
    void DiscoveryIsBoundedUnderAStreamOfStrays();

    void GetSetup();
    void GetSetupFailures_data();
    void GetSetupFailures();
    void TimeOutsOfTheProgram();
    void SetSetupSendsTheRecordUnchanged_data();
    void SetSetupSendsTheRecordUnchanged();
    void SetSetupFailures_data();
    void SetSetupFailures();
    void EditedRecordKeepsUnusedBytes();

    void RestoreDefaults();
    void RestoreDefaultsRefused_data();
    void RestoreDefaultsRefused();
    void RestoreDefaultsWithoutReplyRaises();

    void AssignIP();

    void ParseIP_data();
    void ParseIP();
    void Netmasks_data();
    void Netmasks();
    void AssignInput_data();
    void AssignInput();
    void FieldsOfRecord_data();
    void FieldsOfRecord();
    void StoreFields_data();
    void StoreFields();

    void WriteSettingsVerifies_data();
    void WriteSettingsVerifies();
    void WriteSettingsFailedWrite();
    void AssignIPJob();
    void FactoryResetJob();
};

// --- bytes ---------------------------------------------------------------------------------

void TestXPort::MessagesAsOnTheWire() {
    QCOMPARE(TXPort::Request(xcDiscover), Bytes({0, 0, 0, 0xF6}));
    QCOMPARE(TXPort::Request(xcReadSetup), Bytes({0, 0, 0, 0xF8}));
    QCOMPARE(TXPort::DefaultSettingsCommand(), Record(130, {{1, 1}, {3, 0xC7}, {5, 6}, {6, 1}}));
    // MAC 00-20-4A-C9-19-08 gets 192.168.1.20.
    QCOMPARE(TXPort::AssignIPPacket(0x19, 0x08, 0xC0A80114),
             Bytes({0,   0,   0, 0xFC, 'I',  'P',  '-', 'S', 'E', 'T',
                    'U', 'P', 0, 0,    0x19, 0x08, 192, 168, 1,   20}));
    QCOMPARE(TXPortSetup::FactoryDefaults().Bytes(), FactoryRecord);
}

void TestXPort::SetupRecordFields() {
    const QByteArray bytes = Record(124, {{3, 0xF9},
                                          {4, 192},
                                          {5, 168},
                                          {6, 1},
                                          {7, 20},
                                          {10, 8},
                                          {16, 192},
                                          {17, 168},
                                          {18, 1},
                                          {19, 1},
                                          {24, 0xD0},
                                          {25, 0x07},
                                          {26, 0xD1},
                                          {27, 0x07},
                                          {28, 10},
                                          {31, 9},
                                          {32, 0xCC},
                                          {33, 1},
                                          {39, 0x30}});
    const auto setup = TXPortSetup::FromBytes(bytes);
    QVERIFY(setup);
    QCOMPARE(setup->Code(), quint8(0xF9));
    QCOMPARE(setup->IP(), 0xC0A80114u);
    QCOMPARE(setup->HostBits(), quint8(8));
    QCOMPARE(setup->Gateway(), 0xC0A80101u);
    QCOMPARE(setup->LocalPort(), quint16(2000));
    QCOMPARE(setup->RemotePort(), quint16(2001));
    QCOMPARE(setup->Destination(), 0x0A000009u);
    QVERIFY(setup->IsUdp());
    QCOMPARE(setup->UdpFlag(), quint8(1));
    QCOMPARE(setup->UdpOptions(), quint8(0x30));
    QCOMPARE(setup->Bytes(), bytes);

    // Connect mode: UDP only with both bits 0x0C.
    TXPortSetup mode;
    for (const auto& [value, udp] :
         {std::pair{0xCC, true}, {0x0C, true}, {0xC0, false}, {0xC8, false}, {0xC4, false}}) {
        mode.SetByte(32, quint8(value));
        QCOMPARE(mode.IsUdp(), udp);
    }

    QVERIFY(!TXPortSetup::FromBytes(bytes.left(123)));
    QVERIFY(!TXPortSetup::FromBytes(bytes + '\0'));
}

void TestXPort::DeviceText() {
    QCOMPARE(TXPort::DeviceText(QHostAddress("192.168.1.20"), {0x00, 0x20, 0x4A, 0xC9, 0x19, 0x08}),
             QString("192.168.1.20  (00-20-4A-C9-19-08)"));
}

// --- discovery -----------------------------------------------------------------------------

void TestXPort::DiscoversEveryServer() {
    TRig rig;
    QCOMPARE(rig.xport->Discover(), 3);
    QCOMPARE(Sorted(rig.xport->Results()),
             (QStringList{"127.0.17.2  (00-20-4A-C9-19-08)", "127.0.17.3  (00-20-4A-C9-19-09)",
                          "127.0.17.4  (00-20-4A-C9-19-0A)"}));
    QCOMPARE(rig.sim->Received(1), QList<QByteArray>{Bytes({0, 0, 0, 0xF6})});
    // A second search starts afresh.
    QCOMPARE(rig.xport->Discover(), 3);
    QCOMPARE(rig.xport->Results().size(), 3);
}

void TestXPort::DiscoveryWithNobodyEndsAfterOneSecond() {
    // Nobody on the target port: the program's own time-outs.
    QUdpSocket silent;
    QVERIFY(silent.bind(Hub, 0));
    TXPortOptions options;
    options.Target = Hub;
    options.Port = silent.localPort();
    options.Bind = QHostAddress(QHostAddress::LocalHost);
    TXPort xport(options);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(xport.Discover(), 0);
    QVERIFY2(clock.elapsed() >= 950 && clock.elapsed() < 2500,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(xport.Results().isEmpty());
}

void TestXPort::DiscoverySkipsStrays_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("29 bytes") << int(xfShortReply);
    QTest::newRow("40 bytes") << int(xfLongReply);
    QTest::newRow("30 bytes, wrong code") << int(xfWrongCode);
}

void TestXPort::DiscoverySkipsStrays() {
    QFETCH(int, fault);
    TRig rig;
    // The first server answers first; its reply is no reply and the search goes on.
    rig.sim->SetFault(0, TXPortSimFault(fault));
    QCOMPARE(rig.xport->Discover(), 2);
    QCOMPARE(Sorted(rig.xport->Results()),
             (QStringList{"127.0.17.3  (00-20-4A-C9-19-09)", "127.0.17.4  (00-20-4A-C9-19-0A)"}));
}

void TestXPort::DiscoveryIsBoundedUnderAStreamOfStrays() {
    // A chatty neighbour: after the query, a stray datagram every 50 ms until told to stop.
    std::promise<quint16> bound;
    std::atomic<bool> queried{false};
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        QUdpSocket neighbour;
        if (!neighbour.bind(Hub, 0)) {
            bound.set_value(0);
            return;
        }
        bound.set_value(neighbour.localPort());
        if (!neighbour.waitForReadyRead(3000))
            return;
        const QNetworkDatagram query = neighbour.receiveDatagram();
        queried = true;
        for (int i = 0; i < 100 && !stop; ++i) {
            neighbour.writeDatagram(QByteArray(i % 2 ? 31 : 12, 'x'), query.senderAddress(),
                                    quint16(query.senderPort()));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const quint16 port = bound.get_future().get();
    TXPortOptions options = Options(port);
    options.DiscoveryLimitMs = 1000;
    int found = -1;
    qint64 elapsed = 0;
    if (port != 0) {
        TXPort xport(options);
        QElapsedTimer clock;
        clock.start();
        found = xport.Discover();
        elapsed = clock.elapsed();
    }
    stop = true;
    chatter.join();
    QVERIFY(port != 0);
    QVERIFY(queried);
    QCOMPARE(found, 0);
    QVERIFY2(elapsed >= 950 && elapsed < 2000, qPrintable(QString::number(elapsed)));
}

// --- setup record --------------------------------------------------------------------------

void TestXPort::GetSetup() {
    TRig rig;
    TXPortSetup setup;
    QVERIFY(rig.xport->GetSetup(rig.Host(1), setup));
    QByteArray expected = rig.sim->Setup(1);
    expected[3] = char(0xF9);
    QCOMPARE(setup.Bytes(), expected);
    QCOMPARE(setup.IP(), 0x7F001103u);
    QCOMPARE(setup.LocalPort(), quint16(10110));
    QCOMPARE(rig.sim->Received(1), QList<QByteArray>{Bytes({0, 0, 0, 0xF8})});
}

void TestXPort::GetSetupFailures_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("read");
    QTest::newRow("no answer") << int(xfNoAnswer) << false;
    QTest::newRow("short") << int(xfShortReply) << false;
    QTest::newRow("wrong code") << int(xfWrongCode) << false;
    // Only the record is read; what follows it is not.
    QTest::newRow("long") << int(xfLongReply) << true;
    QTest::newRow("nobody listening") << -1 << false;
}

void TestXPort::GetSetupFailures() {
    QFETCH(int, fault);
    QFETCH(bool, read);
    TRig rig;
    QString host = rig.Host(0);
    if (fault < 0)
        host = QStringLiteral("127.0.17.99");
    else
        rig.sim->SetFault(0, TXPortSimFault(fault), 0xF9);
    TXPortSetup setup;
    setup.SetByte(100, 0x33);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.xport->GetSetup(host, setup), read);
    QVERIFY(clock.elapsed() < 2000);
    // A failed read leaves the record as it was.
    QCOMPARE(setup.Byte(100), quint8(read ? 0x5A : 0x33));
}

void TestXPort::TimeOutsOfTheProgram() {
    TRig rig(1);
    TXPortOptions options;
    options.Target = Hub;
    options.Port = rig.sim->Port();
    options.Bind = QHostAddress(QHostAddress::LocalHost);
    TXPort xport(options);
    QElapsedTimer clock;

    // A device server that takes the request and never answers: the read gives up after half
    // a second.
    rig.sim->SetFault(0, xfNoAnswer);
    TXPortSetup setup;
    clock.start();
    QVERIFY(!xport.GetSetup(rig.Host(0), setup));
    QVERIFY2(clock.elapsed() >= 450 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));

    // A listener whose queue is full leaves new connections unanswered: five seconds for a
    // connection, half a second for one attempt while new settings are verified.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(0x7F001163); // 127.0.17.99
    address.sin_port = htons(options.Port);
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(listener, 0) == 0);
    std::vector<std::unique_ptr<QTcpSocket>> queued;
    for (int i = 0; i < 8; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost("127.0.17.99", options.Port);
        if (!socket->waitForConnected(200))
            break; // the queue is full
        queued.push_back(std::move(socket));
    }
    clock.start();
    QVERIFY(!xport.TryConnect("127.0.17.99", options.VerifyTimeoutMs));
    QVERIFY2(clock.elapsed() >= 450 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));
    clock.start();
    QVERIFY(!xport.GetSetup("127.0.17.99", setup));
    QVERIFY2(clock.elapsed() >= 4900 && clock.elapsed() < 6500,
             qPrintable(QString::number(clock.elapsed())));
    ::close(listener);
}

void TestXPort::SetSetupSendsTheRecordUnchanged_data() {
    QTest::addColumn<bool>("ipChanged");
    QTest::addColumn<int>("code");
    QTest::newRow("same address") << false << 0xFA;
    QTest::newRow("new address") << true << 0xFD;
}

void TestXPort::SetSetupSendsTheRecordUnchanged() {
    QFETCH(bool, ipChanged);
    QFETCH(int, code);
    TRig rig;
    QByteArray bytes(124, '\0');
    for (int i = 0; i < 124; ++i)
        bytes[i] = char(i * 3 + 1);
    const auto setup = TXPortSetup::FromBytes(bytes);
    QVERIFY(rig.xport->SetSetup(rig.Host(0), *setup, ipChanged));
    QByteArray expected = bytes;
    expected.replace(0, 4, Bytes({0, 0, 0, code}));
    QCOMPARE(rig.sim->Received(0), QList<QByteArray>{expected});
    QCOMPARE(rig.sim->Setup(0), expected);
}

void TestXPort::SetSetupFailures_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("written");
    QTest::newRow("no answer") << int(xfNoAnswer) << false;
    QTest::newRow("short") << int(xfShortReply) << false;
    QTest::newRow("wrong code") << int(xfWrongCode) << false;
    QTest::newRow("long") << int(xfLongReply) << true;
    QTest::newRow("nobody listening") << -1 << false;
}

void TestXPort::SetSetupFailures() {
    QFETCH(int, fault);
    QFETCH(bool, written);
    TRig rig;
    QString host = rig.Host(0);
    if (fault < 0)
        host = QStringLiteral("127.0.17.99");
    else
        rig.sim->SetFault(0, TXPortSimFault(fault), 0xFB);
    QCOMPARE(rig.xport->SetSetup(host, TXPortSetup::FactoryDefaults(), false), written);
}

void TestXPort::EditedRecordKeepsUnusedBytes() {
    TRig rig;
    TXPortSetup setup;
    QVERIFY(rig.xport->GetSetup(rig.Host(0), setup));
    TNetworkFields fields = NetworkFieldsOf(setup);
    fields.Port = "2000";
    fields.Udp = true;
    fields.UdpMode = umDirected;
    fields.Destination = "127.0.0.9";
    fields.Gateway = "127.0.0.254";
    QCOMPARE(StoreNetworkFields(fields, setup), nfNone);
    QVERIFY(rig.xport->SetSetup(rig.Host(0), setup, false));
    // The device server restarts with what it was given.
    QTRY_COMPARE(rig.sim->Restarts(0), 1);

    QByteArray expected = XPortSimSetup(FirstServer);
    expected.replace(0, 4, Bytes({0, 0, 0, 0xFA}));
    expected.replace(16, 4, Bytes({127, 0, 0, 254}));
    expected.replace(24, 4, Bytes({0xD0, 0x07, 0xD0, 0x07}));
    expected.replace(28, 6, Bytes({127, 0, 0, 9, 0xCC, 1}));
    expected[39] = 0x30;
    QCOMPARE(rig.sim->Setup(0), expected);

    // Back to TCP: destination, connect mode and both protocol bytes follow.
    fields.Udp = false;
    QCOMPARE(StoreNetworkFields(fields, setup), nfNone);
    QVERIFY(rig.xport->SetSetup(rig.Host(0), setup, false));
    expected.replace(28, 6, Bytes({0, 0, 0, 0, 0xC0, 0}));
    expected[39] = 0;
    QCOMPARE(rig.sim->Setup(0), expected);
}

// --- factory reset -------------------------------------------------------------------------

void TestXPort::RestoreDefaults() {
    TRig rig;
    const QByteArray extended = rig.sim->Extended(0);
    // The program's own pauses between the steps.
    TXPortOptions options = Options(rig.sim->Port());
    options.PauseMs = TXPortOptions().PauseMs;
    TXPort xport(options);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(xport.RestoreDefaults(rig.Host(0)));
    QVERIFY2(clock.elapsed() >= 950 && clock.elapsed() < 3000,
             qPrintable(QString::number(clock.elapsed())));

    QByteArray written = extended;
    written[1] = 1;
    written[3] = char(0xC3);
    written[120] = char(0x85); // 0x25: bit 0x80 set, bit 0x20 cleared, the rest as it was
    const QList<QByteArray> received = rig.sim->Received(0);
    QCOMPARE(received.size(), 4);
    QCOMPARE(received[0], Bytes({0, 0, 0, 0xE3}));
    QCOMPARE(received[1], written);
    QCOMPARE(received[2], Record(130, {{1, 1}, {3, 0xC7}, {5, 6}, {6, 1}}));
    QCOMPARE(received[3], FactoryRecord);
    QCOMPARE(rig.sim->Setup(0), FactoryRecord);
    QCOMPARE(rig.sim->DefaultCommands(0), 1);
}

void TestXPort::RestoreDefaultsRefused_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("steps"); // requests that reached the device server
    QTest::newRow("extended record") << 0xD3 << 1;
    QTest::newRow("extended record written") << 0xB3 << 2;
    QTest::newRow("default settings") << 0xB7 << 3;
    QTest::newRow("setup record") << 0xFB << 4;
}

void TestXPort::RestoreDefaultsRefused() {
    QFETCH(int, code);
    QFETCH(int, steps);
    TRig rig;
    rig.sim->SetFault(0, xfWrongCode, code);
    QVERIFY(!rig.xport->RestoreDefaults(rig.Host(0)));
    QCOMPARE(rig.sim->Received(0).size(), steps);
}

void TestXPort::RestoreDefaultsWithoutReplyRaises() {
    TRig rig;
    rig.sim->SetFault(0, xfNoAnswer, 0xB3);
    QVERIFY_THROWS_EXCEPTION(ECommError, rig.xport->RestoreDefaults(rig.Host(0)));
    QVERIFY_THROWS_EXCEPTION(ECommError, rig.xport->RestoreDefaults("127.0.17.99"));
}

// --- IP assignment -------------------------------------------------------------------------

void TestXPort::AssignIP() {
    TRig rig;
    // The second server, 00-20-4A-C9-19-09, moves to 127.0.17.50.
    rig.xport->AssignIP(0x19, 0x09, 0x7F001132);
    const QByteArray packet = Bytes(
        {0, 0, 0, 0xFC, 'I', 'P', '-', 'S', 'E', 'T', 'U', 'P', 0, 0, 0x19, 0x09, 127, 0, 17, 50});
    QTRY_COMPARE(rig.sim->Received(1), QList<QByteArray>{packet});
    QTRY_COMPARE(rig.sim->Address(1), QHostAddress("127.0.17.50"));
    QTRY_VERIFY(rig.sim->Listening(1));
    // The others saw it and stayed.
    QCOMPARE(rig.sim->Received(0), QList<QByteArray>{packet});
    QCOMPARE(rig.sim->Address(0), FirstServer);

    QCOMPARE(rig.xport->Discover(), 3);
    QVERIFY(rig.xport->Results().contains("127.0.17.50  (00-20-4A-C9-19-09)"));
}

// --- checks --------------------------------------------------------------------------------

void TestXPort::ParseIP_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ip"); // -1: refused
    QTest::newRow("plain") << "192.168.1.20" << qint64(0xC0A80114);
    QTest::newRow("zeros") << "0.0.0.0" << qint64(0);
    QTest::newRow("ones") << "255.255.255.255" << qint64(0xFFFFFFFF);
    QTest::newRow("leading zero") << "010.0.0.1" << qint64(0x0A000001);
    QTest::newRow("256") << "192.168.1.256" << qint64(-1);
    QTest::newRow("three parts") << "192.168.1" << qint64(-1);
    QTest::newRow("five parts") << "1.2.3.4.5" << qint64(-1);
    QTest::newRow("empty part") << "1..3.4" << qint64(-1);
    QTest::newRow("blank") << "1.2.3. 4" << qint64(-1);
    QTest::newRow("sign") << "1.2.3.+4" << qint64(-1);
    QTest::newRow("letters") << "a.b.c.d" << qint64(-1);
    QTest::newRow("long zeros") << "0000.0.0.1" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
}

void TestXPort::ParseIP() {
    QFETCH(QString, text);
    QFETCH(qint64, ip);
    const auto parsed = TAddressCalc::ParseIP(text);
    QCOMPARE(parsed ? qint64(*parsed) : -1, ip);
    if (parsed && text != "010.0.0.1")
        QCOMPARE(TAddressCalc::IPText(*parsed), text);
}

void TestXPort::Netmasks_data() {
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("hostBits"); // -1: refused
    QTest::newRow("/24") << "255.255.255.0" << 8;
    QTest::newRow("/0") << "0.0.0.0" << 32;
    QTest::newRow("/32") << "255.255.255.255" << 0;
    QTest::newRow("/20") << "255.255.240.0" << 12;
    QTest::newRow("/1") << "128.0.0.0" << 31;
    QTest::newRow("gap") << "255.0.255.0" << -1;
    QTest::newRow("low bit") << "255.255.255.1" << -1;
    QTest::newRow("inverted") << "0.0.0.255" << -1;
}

void TestXPort::Netmasks() {
    QFETCH(QString, mask);
    QFETCH(int, hostBits);
    const auto bits = TAddressCalc::HostBitsOfMask(*TAddressCalc::ParseIP(mask));
    QCOMPARE(bits ? *bits : -1, hostBits);
    if (bits)
        QCOMPARE(TAddressCalc::IPText(TAddressCalc::MaskOfHostBits(*bits)), mask);
}

void TestXPort::AssignInput_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("failing");
    QTest::newRow("lower case") << "00-20-4a-c9-19-08"
                                << "192.168.1.20" << int(afNone);
    QTest::newRow("unchecked front") << "zz-zz-zz-zz-19-08"
                                     << "192.168.1.20" << int(afNone);
    QTest::newRow("no address") << "00-20-4A-C9-19-08"
                                << "0.0.0.0" << int(afNone);
    QTest::newRow("colons") << "00:20:4a:c9:19:08"
                            << "192.168.1.20" << int(afMac);
    QTest::newRow("short") << "00-20-4a-c9-19-8"
                           << "192.168.1.20" << int(afMac);
    QTest::newRow("long") << "00-20-4a-c9-19-081"
                          << "192.168.1.20" << int(afMac);
    QTest::newRow("no hex") << "00-20-4a-c9-1g-08"
                            << "192.168.1.20" << int(afMac);
    QTest::newRow("empty mac") << ""
                               << "192.168.1.20" << int(afMac);
    QTest::newRow("both bad") << ""
                              << "" << int(afMac);
    QTest::newRow("last 255") << "00-20-4a-c9-19-08"
                              << "10.0.0.255" << int(afIP);
    QTest::newRow("first 0") << "00-20-4a-c9-19-08"
                             << "0.1.2.3" << int(afIP);
    QTest::newRow("first 255") << "00-20-4a-c9-19-08"
                               << "255.1.1.1" << int(afIP);
    QTest::newRow("last 0") << "00-20-4a-c9-19-08"
                            << "10.1.1.0" << int(afIP);
    QTest::newRow("no address text") << "00-20-4a-c9-19-08"
                                     << "10.1.1" << int(afIP);
}

void TestXPort::AssignInput() {
    QFETCH(QString, mac);
    QFETCH(QString, ip);
    QFETCH(int, failing);
    TAssignRequest request;
    QCOMPARE(int(CheckAssignInput(mac, ip, request)), failing);
    if (failing == afNone && mac.startsWith("00")) {
        QCOMPARE(request.Mac5, quint8(0x19));
        QCOMPARE(request.Mac6, quint8(0x08));
        QCOMPARE(request.IP, *TAddressCalc::ParseIP(ip));
    }
}

void TestXPort::FieldsOfRecord_data() {
    QTest::addColumn<int>("connectMode");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("udp");
    QTest::addColumn<int>("udpMode");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UDP broadcast")
        << 0xCC << "255.255.255.255" << true << int(umBroadcast) << "0.0.0.0";
    QTest::newRow("UDP directed") << 0xCC << "192.168.1.10" << true << int(umDirected)
                                  << "192.168.1.10";
    QTest::newRow("TCP") << 0xC0 << "0.0.0.0" << false << int(umBroadcast) << "0.0.0.0";
}

void TestXPort::FieldsOfRecord() {
    QFETCH(int, connectMode);
    QFETCH(QString, destination);
    QFETCH(bool, udp);
    QFETCH(int, udpMode);
    QFETCH(QString, shown);
    const TIPv4 dest = *TAddressCalc::ParseIP(destination);
    QByteArray bytes = Record(124, {{4, 192},
                                    {5, 168},
                                    {6, 1},
                                    {7, 20},
                                    {10, 8},
                                    {16, 192},
                                    {17, 168},
                                    {18, 1},
                                    {19, 1},
                                    {24, 0x7E},
                                    {25, 0x27},
                                    {32, connectMode}});
    bytes.replace(
        28, 4,
        Bytes({int(dest >> 24), int(dest >> 16 & 0xFF), int(dest >> 8 & 0xFF), int(dest & 0xFF)}));
    const TNetworkFields fields = NetworkFieldsOf(*TXPortSetup::FromBytes(bytes));
    QCOMPARE(fields.IP, "192.168.1.20");
    QCOMPARE(fields.Mask, "255.255.255.0");
    QCOMPARE(fields.Gateway, "192.168.1.1");
    QCOMPARE(fields.Port, "10110");
    QCOMPARE(fields.Udp, udp);
    QCOMPARE(fields.UdpMode, udpMode);
    QCOMPARE(fields.Destination, shown);

    // Host bits that no mask has show as no mask at all, and no address as 0.0.0.0.
    bytes[10] = char(200);
    bytes.replace(4, 4, QByteArray(4, '\0'));
    QCOMPARE(NetworkFieldsOf(*TXPortSetup::FromBytes(bytes)).Mask, "0.0.0.0");
    QCOMPARE(NetworkFieldsOf(*TXPortSetup::FromBytes(bytes)).IP, "0.0.0.0");
}

void TestXPort::StoreFields_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("destination"); // directed UDP when not empty
    QTest::addColumn<int>("failing");
    const QString m24 = "255.255.255.0";
    QTest::newRow("valid") << "192.168.1.1" << m24 << "10110"
                           << "" << int(nfNone);
    QTest::newRow("host part zeros") << "192.168.1.0" << m24 << "10110"
                                     << "" << int(nfIP);
    QTest::newRow("host part ones") << "192.168.1.255" << m24 << "10110"
                                    << "" << int(nfIP);
    QTest::newRow("no mask") << "192.168.1.0"
                             << "0.0.0.0"
                             << "10110"
                             << "" << int(nfNone);
    QTest::newRow("no mask, all ones") << "255.255.255.255"
                                       << "0.0.0.0"
                                       << "10110"
                                       << "" << int(nfIP);
    QTest::newRow("no address") << "0.0.0.0" << m24 << "10110"
                                << "" << int(nfNone);
    QTest::newRow("bad address") << "192.168.1" << m24 << "10110"
                                 << "" << int(nfIP);
    QTest::newRow("gap in mask") << "192.168.1.1"
                                 << "255.0.255.0"
                                 << "10110"
                                 << "" << int(nfMask);
    QTest::newRow("port 1") << "192.168.1.1" << m24 << "1"
                            << "" << int(nfNone);
    QTest::newRow("port 65535") << "192.168.1.1" << m24 << "65535"
                                << "" << int(nfNone);
    QTest::newRow("port 0") << "192.168.1.1" << m24 << "0"
                            << "" << int(nfPort);
    QTest::newRow("port 65536") << "192.168.1.1" << m24 << "65536"
                                << "" << int(nfPort);
    QTest::newRow("port 75646") << "192.168.1.1" << m24 << "75646"
                                << "" << int(nfPort);
    QTest::newRow("port text") << "192.168.1.1" << m24 << "port"
                               << "" << int(nfPort);
    QTest::newRow("port negative") << "192.168.1.1" << m24 << "-1"
                                   << "" << int(nfPort);
    QTest::newRow("directed") << "192.168.1.1" << m24 << "10110"
                              << "192.168.1.10" << int(nfNone);
    QTest::newRow("bad destination") << "192.168.1.1" << m24 << "10110"
                                     << "192.168.1.x" << int(nfDestination);
}

void TestXPort::StoreFields() {
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, port);
    QFETCH(QString, destination);
    QFETCH(int, failing);
    TNetworkFields fields;
    fields.IP = ip;
    fields.Mask = mask;
    fields.Gateway = "192.168.1.254";
    fields.Port = port;
    if (!destination.isEmpty()) {
        fields.Udp = true;
        fields.UdpMode = umDirected;
        fields.Destination = destination;
    }
    TXPortSetup setup = TXPortSetup::FactoryDefaults();
    setup.SetPort(4321);
    QCOMPARE(int(StoreNetworkFields(fields, setup)), failing);
    if (failing == nfNone) {
        QCOMPARE(NetworkFieldsOf(setup), fields);
    } else if (failing == nfPort) {
        // Nothing of a refused port reaches the record; the fields before it do.
        QCOMPARE(setup.LocalPort(), quint16(4321));
        QCOMPARE(setup.RemotePort(), quint16(4321));
        QCOMPARE(TAddressCalc::IPText(setup.IP()), ip);
    }
}

// --- jobs ----------------------------------------------------------------------------------

void TestXPort::WriteSettingsVerifies_data() {
    QTest::addColumn<QString>("newIP");
    QTest::addColumn<bool>("ipChanged");
    QTest::addColumn<int>("restartMs");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("listening");
    QTest::newRow("same address") << "127.0.17.2" << false << 50 << int(woVerified) << "127.0.17.2";
    QTest::newRow("new address") << "127.0.17.60" << true << 50 << int(woVerified) << "127.0.17.60";
    QTest::newRow("no address") << "0.0.0.0" << true << 50 << int(woVerified) << "127.0.17.2";
    QTest::newRow("does not come back")
        << "127.0.17.2" << false << 30000 << int(woUnverified) << "";
}

void TestXPort::WriteSettingsVerifies() {
    QFETCH(QString, newIP);
    QFETCH(bool, ipChanged);
    QFETCH(int, restartMs);
    QFETCH(int, outcome);
    QFETCH(QString, listening);
    TRig rig(1, restartMs);
    TXPortSetup setup;
    QVERIFY(rig.xport->GetSetup(rig.Host(0), setup));
    setup.SetIP(*TAddressCalc::ParseIP(newIP));
    TProgressUser user;
    QCOMPARE(int(WriteNetworkSettings(*rig.xport, user, rig.Host(0), setup, ipChanged)), outcome);
    QCOMPARE(user.Progress.mid(0, 4),
             (QStringList{"show Updating Network Settings...", "task ", "range 0-20", "at 0"}));
    QCOMPARE(user.Progress.last(), "hide");
    QVERIFY(!user.Busy);
    const QList<int> positions = user.Positions();
    if (outcome == woVerified) {
        QVERIFY(user.Messages.isEmpty());
        // Ten pauses first; the device server is found in one of the ten attempts after.
        QVERIFY(positions.size() >= 12 && positions.size() <= 21);
        QCOMPARE(rig.sim->Address(0), QHostAddress(listening));
    } else {
        QCOMPARE(user.Messages, QStringList{UnableToVerifyText});
        QCOMPARE(positions.size(), 21);
    }
    for (int i = 0; i < positions.size(); ++i)
        QCOMPARE(positions[i], i);
}

void TestXPort::WriteSettingsFailedWrite() {
    TRig rig(1);
    rig.sim->SetFault(0, xfWrongCode, 0xFB);
    TProgressUser user;
    QCOMPARE(
        WriteNetworkSettings(*rig.xport, user, rig.Host(0), TXPortSetup::FactoryDefaults(), true),
        woFailed);
    QCOMPARE(user.Messages, QStringList{CannotConnectText});
    QVERIFY(user.Progress.isEmpty());
    QVERIFY(!user.Busy);
}

void TestXPort::AssignIPJob() {
    TRig rig(2);
    TProgressUser user;
    RunAssignIP(*rig.xport, user, {0x19, 0x08, 0x7F001133});
    QCOMPARE(user.Progress.mid(0, 3),
             (QStringList{"show Assigning IP Address...", "task ", "range 0-19"}));
    QList<int> expected;
    for (int i = 0; i <= 19; ++i)
        expected.append(i);
    QCOMPARE(user.Positions().mid(1), expected);
    QCOMPARE(user.Progress.last(), "hide");
    QCOMPARE(rig.sim->Address(0), QHostAddress("127.0.17.51"));
    QCOMPARE(rig.sim->Address(1), QHostAddress("127.0.17.3"));
}

void TestXPort::FactoryResetJob() {
    TRig rig(1);
    TProgressUser user;
    // No: nothing is sent.
    QVERIFY(!RunFactoryReset(*rig.xport, user, rig.Host(0)));
    QCOMPARE(user.Questions, QStringList{FactoryResetQuestion});
    QVERIFY(rig.sim->Received(0).isEmpty());

    // Refused: the message, no progress.
    rig.sim->SetFault(0, xfWrongCode, 0xB7);
    user.Answers = {true};
    QVERIFY(!RunFactoryReset(*rig.xport, user, rig.Host(0)));
    QCOMPARE(user.Messages, QStringList{CannotConnectText});
    QVERIFY(user.Progress.isEmpty());
    QVERIFY(!user.Busy);

    // Yes: 21 steps of the program's own length.
    rig.sim->ClearFaults();
    user.Messages.clear();
    user.Answers = {true};
    TXPortOptions options = Options(rig.sim->Port());
    options.PauseMs = TXPortOptions().PauseMs;
    TXPort xport(options);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(RunFactoryReset(xport, user, rig.Host(0)));
    // Two pauses inside the reset, then 21 steps.
    QVERIFY2(clock.elapsed() >= 23 * 500 - 100 && clock.elapsed() < 23 * 500 + 3000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(user.Progress.mid(0, 3),
             (QStringList{"show Restoring Default Network Settings...", "task ", "range 0-20"}));
    QCOMPARE(user.Positions().size(), 22);
    QCOMPARE(user.Positions().last(), 20);
    QCOMPARE(user.Progress.last(), "hide");
    QVERIFY(user.Messages.isEmpty());
    QCOMPARE(rig.sim->Setup(0), FactoryRecord);
}

QTEST_GUILESS_MAIN(TestXPort)
#include "tst_xport.moc"
