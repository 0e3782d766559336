// Each fault switch of the simulator doing what it says, from the command-line text to the
// bytes on the wire.
#include "SimRig.h"
#include "comms/Framing.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QByteArray VersionText = "$PZRQVER,3.14.0,Corvanta-PX,24070193,A010";
const QByteArray Version = VersionText + "*23\r\n";
const QByteArray Done("\xFE\xC0\xFD", 3);

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

// The lines the program's framer makes of the bytes.
QList<QByteArray> Framed(const QByteArray& bytes) {
    TLineFramer framer;
    QList<QByteArray> lines;
    framer.Feed(bytes, [&](const QByteArray& line) { lines.append(line); });
    return lines;
}

} // namespace

class TestSimFaults : public QObject, protected TSimRig {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ParseFault_data();
    void ParseFault();
    void NoAnswer();
    void Delay();
    void MalformedReport();
    void Garbage();
    void LongLines();
    void BadChecksum();
    void DropAfter();
    void DropAfterTableLine();
    void AnswerEachTableLine();
    void BootErrorReply_data();
    void BootErrorReply();
    void BootNoReply();
    void CrcMismatch();
    void SilentBootloader();
    void CutDump();

private:
    QByteArray Command(const QByteArray& data) // the raw reply frame
    {
        client->Write(FramePacket(data));
        return client->Frame();
    }
};

void TestSimFaults::init() {
    Start();
}

void TestSimFaults::cleanup() {
    Stop();
}

void TestSimFaults::ParseFault_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("default value") << "delay" << true << int(sfDelay) << 500 << QStringList();
    QTest::newRow("decimal") << "drop-after=3" << true << int(sfDropAfter) << 3 << QStringList();
    QTest::newRow("hexadecimal") << "boot-error=0xE2" << true << int(sfBootErrorReply) << 0xE2
                                 << QStringList();
    QTest::newRow("table line drop")
        << "drop-after-table-line=2" << true << int(sfDropAfterTableLine) << 2 << QStringList();
    QTest::newRow("answer each table line")
        << "answer-each-table-line" << true << int(sfAnswerEachTableLine) << 1 << QStringList();
    QTest::newRow("sentence names") << "no-answer=VER,$PZRQCFQ,pzrqrte" << true << int(sfNoAnswer)
                                    << 1 << QStringList{"VER", "CFQ", "RTE"};
    QTest::newRow("no-answer without names") << "no-answer" << false << 0 << 0 << QStringList();
    QTest::newRow("unknown fault") << "slow" << false << 0 << 0 << QStringList();
    QTest::newRow("value not a number") << "delay=soon" << false << 0 << 0 << QStringList();
    QTest::newRow("negative value") << "garbage=-1" << false << 0 << 0 << QStringList();
}

void TestSimFaults::ParseFault() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, fault);
    QFETCH(int, value);
    QFETCH(QStringList, names);
    const auto parsed = ParseSimFault(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!parsed)
        return;
    QCOMPARE(int(parsed->first), fault);
    QCOMPARE(parsed->second.Value, value);
    QCOMPARE(parsed->second.Names, names);
}

void TestSimFaults::NoAnswer() {
    sim->SetFault(sfNoAnswer, QStringLiteral("VER,$PZRQCFQ,OP"));
    client->Send("$PZRQVER");
    client->Send("$PZRQCFQ");
    client->Send("$PZRQOP,C,00000001");
    client->Send("$PZRQUI");
    // Only the unnamed sentence was heard; the named ones were lost, not just unanswered.
    QCOMPARE(client->Line(), NmeaLine("$PZRQUI,R,CPX7A31F"));
    QCOMPARE(sim->ConfigFields(QStringLiteral("OP")), QStringList{"00000000"});

    sim->SetFault(sfNoAnswer, QString());
    client->Send("$PZRQVER");
    QCOMPARE(client->Line(), Version);
}

void TestSimFaults::Delay() {
    sim->SetFault(sfDelay, 600);
    QElapsedTimer clock;
    clock.start();
    client->Send("$PZRQVER");
    sim->SendUnasked("$PZRQOV,2"); // unasked lines keep their time and overtake the answer
    QCOMPARE(client->Line(), NmeaLine("$PZRQOV,2"));
    QCOMPARE(client->Line(), Version);
    QVERIFY(clock.elapsed() >= 600);
}

void TestSimFaults::MalformedReport() {
    sim->SetFault(sfMalformedReport);
    client->Send("$PZRQVER");
    client->Send("$PZRQCFQ");
    const QList<QByteArray> lines = client->Until("$PZRQRDY");
    QCOMPARE(lines.size(), 15);
    QCOMPARE(lines[0], Version); // no report: unchanged
    QCOMPARE(lines[1], NmeaLine("$PZRQCF,R,3,?Z"));
    QCOMPARE(lines[2], NmeaLine("$PZRQSP,R,0,?Z,0,0,3,0,0,0,3,3,3"));
    QCOMPARE(lines[4], NmeaLine("$PZRQUI,R,?Z"));
    QCOMPARE(lines[14], QByteArray("$PZRQRDY*46\r\n"));
    // The device's memory is untouched.
    QCOMPARE(sim->ConfigFields(QStringLiteral("CF")), QStringList({"3", "2"}));
}

void TestSimFaults::CutDump() {
    sim->SetFault(sfCutDump, 2);
    client->Send("$PZRQCFQ");
    client->Send("$PZRQVER");
    // Two reports, then nothing of the dump: the next line answers the query after it.
    QCOMPARE(client->Line(), NmeaLine("$PZRQCF,R,3,2"));
    QCOMPARE(client->Line(), NmeaLine("$PZRQSP,R,0,0,0,0,3,0,0,0,3,3,3"));
    QCOMPARE(client->Line(), Version);
}

void TestSimFaults::Garbage() {
    sim->SetFault(sfGarbage, 16);
    client->Send("$PZRQVER");
    const QByteArray line = client->Line();
    QCOMPARE(line.size(), 16 + Version.size());
    QVERIFY(line.endsWith(Version));
    const QByteArray noise = line.left(16);
    QVERIFY(!noise.contains('$') && !noise.contains('!') && !noise.contains('\\'));
    QCOMPARE(Framed(line), QList<QByteArray>{Version.trimmed()});
}

void TestSimFaults::LongLines() {
    sim->SetFault(sfLongLines);
    client->Send("$PZRQVER");
    const QByteArray longLine = client->Line();
    QCOMPARE(longLine.size(), 302);
    QVERIFY(TSimClient::ChecksumOk(longLine));
    const QByteArray line = client->Line();
    QCOMPARE(line, Version);
    // The program's framer abandons the long line and still gets the answer.
    QCOMPARE(Framed(longLine + line), QList<QByteArray>{Version.trimmed()});
}

void TestSimFaults::BadChecksum() {
    sim->SetFault(sfBadChecksum);
    client->Send("$PZRQVER");
    const QByteArray line = client->Line();
    QCOMPARE(TSimClient::Text(line), VersionText);
    QVERIFY(line.endsWith("\r\n") && line.size() == Version.size());
    QVERIFY(!TSimClient::ChecksumOk(line));
}

void TestSimFaults::DropAfter() {
    sim->SetFault(sfDropAfter, 3);
    for (int i = 0; i < 5; ++i)
        client->Send("$PZRQVER");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(client->Line(), Version);
    QVERIFY(client->Closed());
    QCOMPARE(client->buffer, QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(sim->TcpConnections(), 0, 5000);

    // A new connection gets its own count.
    TSimClient second;
    QVERIFY(second.Connect(sim->TcpPort()));
    for (int i = 0; i < 4; ++i)
        second.Send("$PZRQVER");
    QCOMPARE(second.Until("$PZRQVER").size(), 1);
    QCOMPARE(second.Line(), Version);
    QCOMPARE(second.Line(), Version);
    QVERIFY(second.Closed());
}

void TestSimFaults::DropAfterTableLine() {
    sim->SetFault(sfDropAfterTableLine, 2);
    client->Send("$PZRQRTE,C,DELETE"); // not a table line
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    client->Send("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000");
    client->Send("$PZRQRTE,C,GPGGA,0003,0,41,0000000000000000");
    client->Send("$PZRQRTE,C,GPVTG,0003,0,41,0000000000000000");
    // The connection ends after the second line, before the burst is answered.
    QVERIFY(client->Closed());
    QCOMPARE(client->buffer, QByteArray());
    QCOMPARE(sim->Routes().size(), 2);
}

void TestSimFaults::AnswerEachTableLine() {
    sim->SetFault(sfAnswerEachTableLine);
    client->Send("$PZRQMB,C,DELETE");
    client->Send("$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE");
    client->Send("$PZRQMB,C,X,1,101,H,F,R,2,C,C,ENGINE");
    client->Send("$PZRQMB,C,Y,1,101,H,F,R,2,C,C,ENGINE"); // out of form: no answer
    client->Send("$PZRQVER");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(client->Line(), Version);
    QCOMPARE(sim->ModbusEntries().size(), 2);
}

void TestSimFaults::BootErrorReply_data() {
    QTest::addColumn<int>("reply");
    QTest::addColumn<int>("command");        // 0: every command
    QTest::addColumn<QList<int>>("replies"); // to erase, encryption, program, CRC (first byte)

    QTest::newRow("unknown command to all") << 0xE1 << 0 << QList<int>{0xE1, 0xE1, 0xE1, 0xE1};
    QTest::newRow("frame error on programming") << 0xE0 << 3 << QList<int>{0xC0, 0xC0, 0xE0, 0x05};
    QTest::newRow("unknown method on encryption")
        << 0xE2 << 6 << QList<int>{0xC0, 0xE2, 0xC0, 0x05};
    QTest::newRow("unknown response to erase") << 0x42 << 1 << QList<int>{0x42, 0xC0, 0xC0, 0x05};
}

void TestSimFaults::BootErrorReply() {
    QFETCH(int, reply);
    QFETCH(int, command);
    QFETCH(QList<int>, replies);
    sim->SetFault(sfBootErrorReply, reply);
    sim->SetFault(sfBootErrorCommand, command);
    EnterBootloader();
    const QList<QByteArray> packets{Bytes({1}), Bytes({6, 2}) + QByteArray(16, 0),
                                    Bytes({3, 0, 0}) + QByteArray(512, 0x11), Bytes({5})};
    for (qsizetype i = 0; i < packets.size(); ++i) {
        const QByteArray frame = Command(packets[i]);
        QVERIFY(frame.size() > 1);
        QCOMPARE(quint8(frame[1]), quint8(replies[i]));
        QCOMPARE(frame.size(), replies[i] == 0x05 ? 7 : 3);
    }
}

void TestSimFaults::BootNoReply() {
    sim->SetFault(sfBootNoReply, 3);
    EnterBootloader();
    QCOMPARE(Command(Bytes({1})), Done);
    client->Write(FramePacket(Bytes({3, 0, 0}) + QByteArray(512, 0x22)));
    // The next frame is the answer to the CRC command: programming got none.
    QCOMPARE(Command(Bytes({5})).size(), 7);
    QCOMPARE(sim->ProgrammedMemory(), QByteArray(512, 0x22));

    sim->SetFault(sfBootNoReply, 255);
    client->Write(FramePacket(Bytes({1})));
    client->Send("$PZRQRESET");
    QCOMPARE(client->Line(4000), QByteArray("$PZRQLDR,94*72\r\n")); // and nothing before it
}

void TestSimFaults::CrcMismatch() {
    TSimulator::TOptions options;
    options.restartDelayMs = 100;
    Start(options);
    sim->SetFault(sfCrcMismatch, 0x01000000);
    EnterBootloader();
    const QByteArray page(512, 0x33);
    QCOMPARE(Command(Bytes({1})), Done);
    QCOMPARE(Command(Bytes({3, 0, 0}) + page), Done);
    const quint32 wrong = Crc32(page) ^ 0x01000000;
    QCOMPARE(Command(Bytes({5})), FramePacket(Bytes({5, int(wrong & 0xFF), int(wrong >> 8 & 0xFF),
                                                     int(wrong >> 16 & 0xFF), int(wrong >> 24)})));
    // The application does not come back; the bootloader still answers.
    QVERIFY(client->Line(1000).isEmpty());
    QVERIFY(sim->InBootloader());
    QCOMPARE(Command(Bytes({1})), Done);
}

void TestSimFaults::SilentBootloader() {
    TSimulator::TOptions options;
    options.bootDelayMs = 20;
    Start(options);
    sim->SetFault(sfSilentBootloader);
    client->Send("$PZRQRESET");
    QVERIFY(client->Line(1000).isEmpty());
    QVERIFY(sim->InBootloader());
    client->Send("$PZRQRESET");
    QCOMPARE(Command(Bytes({1})), Done); // it does speak packets; the frame came first
    QVERIFY(!client->buffer.contains("$PZRQLDR"));
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_simfaults.moc"
