// The simulated bootloader: its announcement, the packet exchange of a firmware update with
// escaped bytes, its error replies and the application's restart.
#include "SimRig.h"
#include "comms/Framing.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

// The frame of a packet, escaped here by hand so that a fault in the shared framing shows.
QByteArray Frame(const QByteArray& data) {
    QByteArray frame(1, char(0xFE));
    for (char c : data) {
        if (quint8(c) >= 0xFD)
            frame.append(char(0xFF));
        frame.append(c);
    }
    return frame + char(0xFD);
}

QByteArray ProgramPage(int page, const QByteArray& data) {
    return Bytes({3, page & 0xFF, page >> 8}) + data;
}

const QByteArray Done = Bytes({0xFE, 0xC0, 0xFD});

} // namespace

class TestSimBoot : public QObject, protected TSimRig {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Crc();
    void Announcement_data();
    void Announcement();
    void ApplicationIsSilentInBootloader();
    void Update();
    void EscapedBytesBothWays();
    void EmptyImage();
    void ErrorReplies_data();
    void ErrorReplies();

private:
    QByteArray Command(const QByteArray& data); // the raw reply frame
};

void TestSimBoot::init() {
    Start();
}

void TestSimBoot::cleanup() {
    Stop();
}

QByteArray TestSimBoot::Command(const QByteArray& data) {
    client->Write(Frame(data));
    return client->Frame();
}

void TestSimBoot::Crc() {
    // The check value of CRC-32 as zlib computes it.
    QCOMPARE(Crc32(QByteArray("123456789")), 0xCBF43926u);
    QCOMPARE(Crc32(QByteArray("56789"), Crc32(QByteArray("1234"))), 0xCBF43926u);
    QCOMPARE(FirmwareDeviceCrc(QByteArray()), 0u);
    QByteArray padded("abc");
    padded.append(QByteArray(509, char(0xFF)));
    QCOMPARE(FirmwareDeviceCrc(QByteArray("abc")), Crc32(padded));
    QCOMPARE(FirmwareDeviceCrc(padded), Crc32(padded));
}

void TestSimBoot::Announcement_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("default type 148") << 0x94 << QByteArray("$PZRQLDR,94*72\r\n");
    QTest::newRow("type 10") << 0x0A << QByteArray("$PZRQLDR,0A*0E\r\n");
}

void TestSimBoot::Announcement() {
    QFETCH(int, type);
    QFETCH(QByteArray, line);
    TSimulator::TOptions options;
    options.loaderType = quint8(type);
    Start(options);

    QElapsedTimer clock;
    clock.start();
    client->Send("$PZRQRESET");
    QCOMPARE(client->Line(4000), line);
    QVERIFY(clock.elapsed() < 4000);
    // Asked again (the program's retry after a failed update), it announces again.
    client->Send("$PZRQRESET");
    QCOMPARE(client->Line(4000), line);
}

void TestSimBoot::ApplicationIsSilentInBootloader() {
    EnterBootloader();
    // Lines between packets, as the program's periodic sentences, get no answer: the erase
    // reply is the next thing to come.
    client->Send("$PZRQVER");
    client->Send("$PZRQCF,A");
    QCOMPARE(Command(Bytes({1})), Done);
    QCOMPARE(sim->ReceivedLines().mid(1), QStringList({"$PZRQVER*48", "$PZRQCF,A*61"}));
}

void TestSimBoot::Update() {
    TSimulator::TOptions options;
    options.firmware = QStringLiteral("3.13.2");
    options.updatedFirmware = QStringLiteral("3.14.0");
    Start(options);
    EnterBootloader();

    QByteArray payload(513, 0);
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + 1);
    QByteArray parameters;
    for (int i = 0; i < 16; ++i)
        parameters.append(char(0xF0 + i));

    client->Write(Frame(Bytes({0xF0, 0xF1, 0xF2, 0xF3}))); // synchronisation: no reply
    QCOMPARE(Command(Bytes({1})), Done);
    QCOMPARE(Command(Bytes({6, 2}) + parameters), Done);
    QCOMPARE(Command(ProgramPage(0, payload.first(512))), Done);
    QCOMPARE(Command(ProgramPage(1, payload.sliced(512) + QByteArray(511, char(0xFF)))), Done);

    const quint32 crc = FirmwareDeviceCrc(payload);
    client->Write(Frame(Bytes({5})));
    QCOMPARE(client->Frame(), Frame(Bytes({5, int(crc & 0xFF), int(crc >> 8 & 0xFF),
                                           int(crc >> 16 & 0xFF), int(crc >> 24)})));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client->Line(4000), QByteArray("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010*23\r\n"));
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(!sim->InBootloader());
    QCOMPARE(sim->FirmwareVersion(), QStringLiteral("3.14.0"));
    QCOMPARE(sim->DecryptionParameters(), parameters);
    QCOMPARE(sim->ProgrammedMemory(), payload + QByteArray(511, char(0xFF)));
    QCOMPARE(sim->ReceivedPackets().size(), 6);
    QCOMPARE(sim->ReceivedPackets().constFirst(), Bytes({0xF0, 0xF1, 0xF2, 0xF3}));

    // The application answers lines again.
    client->Send("$PZRQVER");
    QCOMPARE(client->Line(), QByteArray("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010*23\r\n"));
}

void TestSimBoot::EscapedBytesBothWays() {
    EnterBootloader();
    QCOMPARE(Command(Bytes({1})), Done);

    // Page 300 ("2C 01") full of the three reserved values, framed by hand.
    QByteArray page;
    for (int i = 0; i < 512; ++i)
        page.append(char(0xFD + i % 3));
    QByteArray frame = Bytes({0xFE, 0x03, 0x2C, 0x01});
    for (char c : page)
        frame += QByteArray(1, char(0xFF)) + c;
    frame.append(char(0xFD));
    client->Write(frame);
    QCOMPARE(client->Frame(), Done);
    QCOMPARE(sim->ReceivedPackets().constLast(), Bytes({3, 0x2C, 0x01}) + page);

    // Find a page 0 whose memory CRC holds a reserved byte, and see it escaped in the reply.
    QByteArray first(512, 0);
    quint32 crc = 0;
    bool reserved = false;
    for (int n = 0; n < 5000 && !reserved; ++n) {
        first[0] = char(n);
        first[1] = char(n >> 8);
        QByteArray memory = first + QByteArray(299 * 512, char(0xFF)) + page;
        crc = Crc32(memory);
        for (int i = 0; i < 4; ++i)
            reserved = reserved || quint8(crc >> (8 * i)) >= 0xFD;
    }
    QVERIFY(reserved);
    QCOMPARE(Command(ProgramPage(0, first)), Done);
    QByteArray expected = Bytes({0xFE, 0x05});
    for (int i = 0; i < 4; ++i) {
        const char byte = char(crc >> (8 * i));
        if (quint8(byte) >= 0xFD)
            expected.append(char(0xFF));
        expected.append(byte);
    }
    expected.append(char(0xFD));
    client->Write(Frame(Bytes({5})));
    QCOMPARE(client->Frame(), expected);
}

void TestSimBoot::EmptyImage() {
    EnterBootloader();
    QCOMPARE(Command(Bytes({1})), Done);
    QCOMPARE(Command(Bytes({6, 2}) + QByteArray(16, 0)), Done);
    QCOMPARE(Command(Bytes({5})), Bytes({0xFE, 5, 0, 0, 0, 0, 0xFD}));
    QVERIFY(client->Until("$PZRQVER", 4000).size() == 1);
}

void TestSimBoot::ErrorReplies_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("reply");
    QTest::newRow("erase with data") << Bytes({1, 0}) << 0xE0;
    QTest::newRow("short page") << ProgramPage(0, QByteArray(100, 1)) << 0xE0;
    QTest::newRow("long page") << ProgramPage(0, QByteArray(513, 1)) << 0xE0;
    QTest::newRow("page beyond memory") << ProgramPage(512, QByteArray(512, 1)) << 0xE0;
    QTest::newRow("CRC with data") << Bytes({5, 0}) << 0xE0;
    QTest::newRow("encryption, 15 parameters") << Bytes({6, 2}) + QByteArray(15, 0) << 0xE0;
    QTest::newRow("encryption method 3") << Bytes({6, 3}) + QByteArray(16, 0) << 0xE2;
    QTest::newRow("read user memory") << Bytes({8}) << 0xE1;
    QTest::newRow("code 0") << Bytes({0}) << 0xE1;
    QTest::newRow("code F0 alone") << Bytes({0xF0}) << 0xE1;
}

void TestSimBoot::ErrorReplies() {
    QFETCH(QByteArray, packet);
    QFETCH(int, reply);
    EnterBootloader();
    QCOMPARE(Command(packet), Bytes({0xFE, reply, 0xFD}));
    // Nothing was programmed and the bootloader carries on.
    QCOMPARE(Command(Bytes({5})), Bytes({0xFE, 5, 0, 0, 0, 0, 0xFD}));
}

QTEST_GUILESS_MAIN(TestSimBoot)
#include "tst_simboot.moc"
