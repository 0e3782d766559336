// The byte-level framing of the host link: NMEA lines out of a byte stream, and the
// bootloader's binary packets in both directions.
#include "comms/Framing.h"

#include <QTest>

#include <random>

using TLines = QList<QByteArray>;

class TestFraming : public QObject {
    Q_OBJECT

private slots:
    void Lines_data();
    void Lines();
    void Packets_data();
    void Packets();
    void CompletePacketWaitsForReset();
    void Frame_data();
    void Frame();
    void FrameRoundTrip();
    void PacketBytesStayInside();
};

namespace {

QByteArray Repeat(char c, int n) {
    return QByteArray(n, c);
}

// Every framer must give the same result however the stream is cut into reads.
const int ChunkSizes[] = {0 /* all at once */, 1, 2, 7, 64, 255, 256};

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

void TestFraming::Lines_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<TLines>("lines");
    QTest::addColumn<int>("endState");

    const QByteArray max = "$" + Repeat('A', 254); // 255 characters: the longest line
    QTest::newRow("leading garbage")
        << QByteArray("xx$GPRMC,A*3C\r\n") << TLines{"$GPRMC,A*3C"} << int(TLineFramer::Idle);
    QTest::newRow("encapsulated and TAG block")
        << QByteArray("!AIVDM,1\r\n\\s:ABC-3*64\\$GPRMC,1\r\n")
        << TLines{"!AIVDM,1", "\\s:ABC-3*64\\$GPRMC,1"} << int(TLineFramer::Idle);
    QTest::newRow("dollar inside a line does not restart it")
        << QByteArray("$GP$RMC,1\r\n") << TLines{"$GP$RMC,1"} << int(TLineFramer::Idle);
    QTest::newRow("start character alone")
        << QByteArray("$\r\n") << TLines{"$"} << int(TLineFramer::Idle);
    QTest::newRow("LF without CR stays in the line")
        << QByteArray("$GP\n$GQ\r\n") << TLines{"$GP\n$GQ"} << int(TLineFramer::Idle);
    QTest::newRow("CR not followed by LF drops the line")
        << QByteArray("$GPRMC,A\rX$GPGGA,1\r\n") << TLines{"$GPGGA,1"} << int(TLineFramer::Idle);
    QTest::newRow("byte after a lone CR is not examined")
        << QByteArray("$A\r$B\r\n$C\r\n") << TLines{"$C"} << int(TLineFramer::Idle);
    QTest::newRow("CR CR LF") << QByteArray("$A\r\r\n") << TLines{} << int(TLineFramer::Idle);
    QTest::newRow("doubled CR LF between lines")
        << QByteArray("$A\r\n\r\n$B\r\n\r\n") << TLines{"$A", "$B"} << int(TLineFramer::Idle);
    QTest::newRow("255 characters fit") << max + "\r\n" << TLines{max} << int(TLineFramer::Idle);
    QTest::newRow("256th character abandons the line") << max + "A\r\n$B\r\n"
                                                       << TLines{"$B"} << int(TLineFramer::Idle);
    QTest::newRow("256th character is dropped even when it starts a line")
        << max + "$X\r\n$Y\r\n"
        << TLines{"$Y"} << int(TLineFramer::Idle);
    QTest::newRow("long line of garbage, then a line")
        << Repeat('x', 1000) + "$GPGGA,1\r\n"
        << TLines{"$GPGGA,1"} << int(TLineFramer::Idle);
    QTest::newRow("unfinished line waits")
        << QByteArray("$A\r\n$GPRMC,1") << TLines{"$A"} << int(TLineFramer::InLine);
    QTest::newRow("waits after CR")
        << QByteArray("$GPRMC,1\r") << TLines{} << int(TLineFramer::AfterCR);
    QTest::newRow("high bytes pass unchanged")
        << QByteArray("$P\xE9\xFF\x01\r\n") << TLines{"$P\xE9\xFF\x01"} << int(TLineFramer::Idle);
}

void TestFraming::Lines() {
    QFETCH(QByteArray, input);
    QFETCH(TLines, lines);
    QFETCH(int, endState);

    for (int chunk : ChunkSizes) {
        TLineFramer framer;
        TLines got;
        const qsizetype step = chunk == 0 ? input.size() : chunk;
        for (qsizetype at = 0; at < input.size(); at += step)
            framer.Feed(QByteArrayView(input).sliced(at, std::min(step, input.size() - at)),
                        [&](const QByteArray& line) { got.append(line); });
        QCOMPARE(got, lines);
        QCOMPARE(int(framer.State()), endState);
    }
}

void TestFraming::Packets_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("endState");

    QTest::newRow("escaped end byte")
        << Hex("FEFFFD01FD") << true << Hex("FD01") << int(TPacketFramer::Complete);
    QTest::newRow("every reserved value escaped")
        << Hex("FEFFFDFFFEFFFF00FD") << true << Hex("FDFEFF00") << int(TPacketFramer::Complete);
    QTest::newRow("escape before the end byte stores it")
        << Hex("FE01FFFDFD") << true << Hex("01FD") << int(TPacketFramer::Complete);
    QTest::newRow("garbage before the start is dropped")
        << Hex("0001FDFF41FE4243FD") << true << Hex("4243") << int(TPacketFramer::Complete);
    QTest::newRow("start byte restarts the packet")
        << Hex("FE0102FE03FD") << true << Hex("03") << int(TPacketFramer::Complete);
    QTest::newRow("empty packet returns to idle")
        << Hex("FEFD") << false << QByteArray() << int(TPacketFramer::Idle);
    QTest::newRow("empty packet, then a packet")
        << Hex("FEFDFE05FD") << true << Hex("05") << int(TPacketFramer::Complete);
    QTest::newRow("unfinished") << Hex("FE0102") << false << QByteArray()
                                << int(TPacketFramer::InPacket);
    QTest::newRow("escape pending")
        << Hex("FE01FF") << false << QByteArray() << int(TPacketFramer::Escaped);

    QByteArray longData(1100, '\0');
    for (int i = 0; i < longData.size(); ++i)
        longData[i] = char(i % 0xFD);
    QTest::newRow("over-long packet is cut at 1024")
        << QByteArray("\xFE") + longData + "\xFD" << true << longData.left(MaxPacketData)
        << int(TPacketFramer::Complete);
    const QByteArray fullOfFF = QByteArray(MaxPacketData, '\xFF');
    QByteArray escapedFF;
    for (int i = 0; i < MaxPacketData + 3; ++i)
        escapedFF += "\xFF\xFF";
    QTest::newRow("over-long escaped packet is cut at 1024")
        << QByteArray("\xFE") + escapedFF + "\xFD" << true << fullOfFF
        << int(TPacketFramer::Complete);
}

void TestFraming::Packets() {
    QFETCH(QByteArray, input);
    QFETCH(bool, complete);
    QFETCH(QByteArray, data);
    QFETCH(int, endState);

    for (int chunk : ChunkSizes) {
        TPacketFramer framer;
        const qsizetype step = chunk == 0 ? input.size() : chunk;
        bool done = false;
        for (qsizetype at = 0; at < input.size(); at += step)
            done = framer.Feed(QByteArrayView(input).sliced(at, std::min(step, input.size() - at)));
        QCOMPARE(done, complete);
        QCOMPARE(framer.IsComplete(), complete);
        QCOMPARE(int(framer.State()), endState);
        if (complete)
            QCOMPARE(framer.Packet().Bytes().toByteArray(), data);
    }
}

void TestFraming::CompletePacketWaitsForReset() {
    TPacketFramer framer;
    QVERIFY(framer.Feed(Hex("FE01FD")));
    // A second packet arriving before the first was taken is dropped whole.
    QVERIFY(framer.Feed(Hex("FE0203FD")));
    QCOMPARE(framer.Packet().Bytes().toByteArray(), Hex("01"));

    framer.Reset();
    QCOMPARE(int(framer.State()), int(TPacketFramer::Idle));
    QVERIFY(!framer.Feed(Hex("0203FD")));
    QVERIFY(framer.Feed(Hex("FE0405FD")));
    QCOMPARE(framer.Packet().Bytes().toByteArray(), Hex("0405"));

    // A reset in the middle of a packet forgets it.
    framer.Reset();
    QVERIFY(!framer.Feed(Hex("FE0607")));
    framer.Reset();
    QVERIFY(!framer.Feed(Hex("08FD")));
    QCOMPARE(int(framer.State()), int(TPacketFramer::Idle));
}

void TestFraming::Frame_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("escaped end byte") << Hex("FD01") << Hex("FEFFFD01FD");
    QTest::newRow("plain") << Hex("F0F1F2F3") << Hex("FEF0F1F2F3FD");
    QTest::newRow("all reserved values") << Hex("FEFFFD") << Hex("FEFFFEFFFFFFFDFD");
    QTest::newRow("empty") << QByteArray() << Hex("FEFD");
}

void TestFraming::Frame() {
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    QCOMPARE(FramePacket(data), frame);
}

void TestFraming::FrameRoundTrip() {
    std::mt19937 random(4711);
    for (int round = 0; round < 50; ++round) {
        QByteArray data(1 + int(random() % MaxPacketData), '\0');
        for (char& c : data)
            c = char(random() % 256);
        const QByteArray frame = FramePacket(data);
        QVERIFY(frame.size() <= 2 * MaxPacketData + 2);

        TPacketFramer framer;
        QVERIFY(framer.Feed(QByteArray("noise\xFD") + frame));
        QCOMPARE(framer.Packet().Bytes().toByteArray(), data);
    }
    // The largest frame there is: every byte escaped.
    QCOMPARE(FramePacket(QByteArray(MaxPacketData, '\xFE')).size(), 2050);
}

void TestFraming::PacketBytesStayInside() {
    TPacket packet = TPacket::FromBytes(QByteArray(3000, 'x'));
    QCOMPARE(packet.Length, quint16(MaxPacketData));
    packet.Length = 5000;
    QCOMPARE(packet.Bytes().size(), MaxPacketData);
}

QTEST_APPLESS_MAIN(TestFraming)
#include "tst_framing.moc"
