// The sentence layer: TAG blocks, sources, kinds, fields, checksum and the small helpers.
#include "nmea/Nmea.h"
#include "nmea/Numbers.h"

#include <QTest>

class TestNmea : public QObject {
    Q_OBJECT

private slots:
    void Parse_data();
    void Parse();
    void ParseNeverReadsOutsideTheLine();
    void FieldAccessIsChecked();
    void KindTable();
    void Checksum_data();
    void Checksum();
    void Line_data();
    void Line();
    void TalkerId_data();
    void TalkerId();
    void Bits();
    void Numbers_data();
    void Numbers();
};

void TestNmea::Parse_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("tagBlock");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("fields"); // empty list: no fields at all
    QTest::addColumn<int>("sourceKind");
    QTest::addColumn<int>("sourcePort");
    QTest::addColumn<int>("sourceAddress");

    const QStringList none;
    QTest::newRow("talker sentence") << "$GPRMC,1,A*3B"
                                     << "ABC"
                                     << ""
                                     << "$GPRMC,1,A*3B"
                                     << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("port source") << "\\s:ABC-3*64\\$GPRMC,1"
                                 << "ABC"
                                 << "\\s:ABC-3*64\\"
                                 << "$GPRMC,1"
                                 << "GPRMC" << 0 << none << int(skPort) << 3 << 255;
    QTest::newRow("port source reads one digit") << "\\s:ABC-10*00\\$GPRMC,1"
                                                 << "ABC"
                                                 << "\\s:ABC-10*00\\"
                                                 << "$GPRMC,1"
                                                 << "GPRMC" << 0 << none << int(skPort) << 1 << 255;
    QTest::newRow("n2k hex source up to comma") << "\\s:ABC#1C,c:1234*00\\$GPRMC,1"
                                                << "ABC"
                                                << "\\s:ABC#1C,c:1234*00\\"
                                                << "$GPRMC,1"
                                                << "GPRMC" << 0 << none << int(skN2K) << 0 << 28;
    QTest::newRow("n2k hex source up to star") << "\\s:ABC#1c*00\\!AIVDM,1"
                                               << "ABC"
                                               << "\\s:ABC#1c*00\\"
                                               << "!AIVDM,1"
                                               << "AIVDM" << 0 << none << int(skN2K) << 0 << 28;
    QTest::newRow("n2k decimal source") << "\\s:ABC=28*00\\$GPRMC,1"
                                        << "ABC"
                                        << "\\s:ABC=28*00\\"
                                        << "$GPRMC,1"
                                        << "GPRMC" << 0 << none << int(skN2K) << 0 << 28;
    QTest::newRow("source not first parameter") << "\\c:1234,s:ABC-7*00\\$GPRMC,1"
                                                << "ABC"
                                                << "\\c:1234,s:ABC-7*00\\"
                                                << "$GPRMC,1"
                                                << "GPRMC" << 0 << none << int(skPort) << 7 << 255;
    QTest::newRow("empty unique id") << "\\s:ABC-3*64\\$GPRMC,1"
                                     << ""
                                     << "\\s:ABC-3*64\\"
                                     << "$GPRMC,1"
                                     << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("other source") << "\\s:XYZ-3*00\\$GPRMC,1"
                                  << "ABC"
                                  << "\\s:XYZ-3*00\\"
                                  << "$GPRMC,1"
                                  << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("longer name with same start") << "\\s:ABCD-3*00\\$GPRMC,1"
                                                 << "ABC"
                                                 << "\\s:ABCD-3*00\\"
                                                 << "$GPRMC,1"
                                                 << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("port mark without digit") << "\\s:ABC-X*00\\$GPRMC,1"
                                             << "ABC"
                                             << "\\s:ABC-X*00\\"
                                             << "$GPRMC,1"
                                             << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("n2k source not a number") << "\\s:ABC#G1*00\\$GPRMC,1"
                                             << "ABC"
                                             << "\\s:ABC#G1*00\\"
                                             << "$GPRMC,1"
                                             << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("n2k source empty") << "\\s:ABC#,c:1*00\\$GPRMC,1"
                                      << "ABC"
                                      << "\\s:ABC#,c:1*00\\"
                                      << "$GPRMC,1"
                                      << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("n2k source beyond a byte") << "\\s:ABC=300*00\\$GPRMC,1"
                                              << "ABC"
                                              << "\\s:ABC=300*00\\"
                                              << "$GPRMC,1"
                                              << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("source name at the end") << "\\s:ABC\\$GPRMC,1"
                                            << "ABC"
                                            << "\\s:ABC\\"
                                            << "$GPRMC,1"
                                            << "GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("tag block not closed")
        << "\\s:ABC-1*00$GPRMC,1"
        << "ABC"
        << ""
        << "\\s:ABC-1*00$GPRMC,1"
        << "s:ABC-1*00$GPRMC" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("configuration report")
        << "$PZRQCF,A,,3*61"
        << ""
        << ""
        << "$PZRQCF,A,,3*61"
        << "PZRQCF" << 6 << QStringList{"$PZRQCF", "A", "", "3"} << int(skNone) << 0 << 255;
    QTest::newRow("unlisted proprietary name")
        << "$PZRQXYZ,1"
        << ""
        << ""
        << "$PZRQXYZ,1"
        << "PZRQXYZ" << 0 << QStringList{"$PZRQXYZ", "1"} << int(skNone) << 0 << 255;
    QTest::newRow("product information")
        << "$PZRQNP,A,1"
        << ""
        << ""
        << "$PZRQNP,A,1"
        << "PZRQNP" << 23 << QStringList{"$PZRQNP", "A", "1"} << int(skNone) << 0 << 255;
    QTest::newRow("encapsulated product information")
        << "!PZRQNP,A,1"
        << ""
        << ""
        << "!PZRQNP,A,1"
        << "PZRQNP" << 24 << QStringList{"!PZRQNP", "A", "1"} << int(skNone) << 0 << 255;
    QTest::newRow("report behind tag block")
        << "\\s:ABC#0A*00\\$PZRQNP,B,Model,42*11"
        << "ABC"
        << "\\s:ABC#0A*00\\"
        << "$PZRQNP,B,Model,42*11"
        << "PZRQNP" << 23 << QStringList{"$PZRQNP", "B", "Model", "42"} << int(skN2K) << 0 << 10;
    QTest::newRow("no comma") << "$PZRQRDY*1F"
                              << ""
                              << ""
                              << "$PZRQRDY*1F"
                              << "" << 1 << QStringList{"$PZRQRDY"} << int(skNone) << 0 << 255;
    QTest::newRow("no checksum") << "$PZRQRDY"
                                 << ""
                                 << ""
                                 << "$PZRQRDY"
                                 << "" << 1 << QStringList{"$PZRQRDY"} << int(skNone) << 0 << 255;
    QTest::newRow("kind is case-sensitive")
        << "$PZRQcf,R,3"
        << ""
        << ""
        << "$PZRQcf,R,3"
        << "PZRQcf" << 0 << QStringList{"$PZRQcf", "R", "3"} << int(skNone) << 0 << 255;
    QTest::newRow("star inside the name region")
        << "$PZRQ*,1"
        << ""
        << ""
        << "$PZRQ*,1"
        << "PZRQ*" << 0 << QStringList{"$PZRQ"} << int(skNone) << 0 << 255;
    QTest::newRow("empty line") << ""
                                << "ABC"
                                << ""
                                << ""
                                << "" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("start character only") << "$"
                                          << "ABC"
                                          << ""
                                          << "$"
                                          << "" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("empty tag block") << "\\\\"
                                     << "ABC"
                                     << "\\\\"
                                     << ""
                                     << "" << 0 << none << int(skNone) << 0 << 255;
    QTest::newRow("comma right after start") << "$,A"
                                             << ""
                                             << ""
                                             << "$,A"
                                             << "" << 0 << none << int(skNone) << 0 << 255;
}

void TestNmea::Parse() {
    QFETCH(QString, line);
    QFETCH(QString, source);
    QFETCH(QString, tagBlock);
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, kind);
    QFETCH(QStringList, fields);
    QFETCH(int, sourceKind);
    QFETCH(int, sourcePort);
    QFETCH(int, sourceAddress);

    const TSentence s(line, source);
    QCOMPARE(s.TagBlock, tagBlock);
    QCOMPARE(s.Text, text);
    QCOMPARE(s.Address, address);
    QCOMPARE(int(s.Kind), kind);
    QCOMPARE(s.HasFields, !fields.isEmpty());
    QCOMPARE(s.Fields, fields);
    QCOMPARE(int(s.SourceKind), sourceKind);
    QCOMPARE(int(s.SourcePort), sourcePort);
    QCOMPARE(int(s.SourceAddress), sourceAddress);
}

// Every prefix of a set of awkward lines, including cut-off TAG blocks and names, must parse;
// under the sanitizer build this catches any read past the end of the text.
void TestNmea::ParseNeverReadsOutsideTheLine() {
    const QStringList lines{"\\s:ABC#1C,c:1*00\\$PZRQNP,A,,2.100,1234,1,2*00",
                            "\\s:ABC=2",
                            "\\s:ABC-",
                            "$PZRQ",
                            "!PZRQNP,",
                            "\\s:ABC#FFFFFFFFFFFFFFFFFF\\"};
    int parsed = 0;
    for (const QString& line : lines) {
        for (qsizetype n = 0; n <= line.size(); ++n) {
            const TSentence s(line.left(n), "ABC");
            QVERIFY(s.TagBlock.size() + s.Text.size() == n);
            ++parsed;
        }
    }
    QVERIFY(parsed > 60);
}

void TestNmea::FieldAccessIsChecked() {
    const TSentence report("$PZRQSP,R,1,2*00");
    QCOMPARE(report.FieldCount(), 4);
    QCOMPARE(report.Field(3), QString("2"));
    QVERIFY_THROWS_EXCEPTION(EFieldError, report.Field(4));
    QVERIFY_THROWS_EXCEPTION(EFieldError, report.Field(-1));

    const TSentence talker("$GPRMC,1,A");
    QCOMPARE(talker.FieldCount(), 0);
    try {
        talker.Field(0);
        QFAIL("field of a sentence without fields was returned");
    } catch (const EFieldError& e) {
        QVERIFY(e.Message().contains("$GPRMC,1,A"));
    }
}

void TestNmea::KindTable() {
    for (size_t i = 0; i < SentenceKinds.size(); ++i) {
        const TKindName& entry = SentenceKinds[i];
        QCOMPARE(int(entry.Kind), int(i + 1));
        QCOMPARE(int(KindOfName(QString::fromLatin1(entry.Name))), int(entry.Kind));
        QCOMPARE(NameOfKind(entry.Kind), entry.Name);
    }
    QCOMPARE(int(KindOfName(u"$PZRQ")), 0);
    QCOMPARE(int(KindOfName(u"$PZRQCFQ")), 0);
    QCOMPARE(NameOfKind(0), "");
    QCOMPARE(NameOfKind(27), "");
}

void TestNmea::Checksum_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sum");

    QTest::newRow("three characters") << "$AB" << 3 << 0x03;
    QTest::newRow("length below two") << "$AB" << 1 << 0;
    QTest::newRow("length zero") << "$AB" << 0 << 0;
    QTest::newRow("length beyond text") << "$AB" << 200 << 0x03;
    QTest::newRow("part of the text") << "$ABC" << 3 << 0x03;
    QTest::newRow("sentence") << "$GPGGA,1" << 8 << 0x4B;
    QTest::newRow("query") << "$PZRQVER" << 8 << 0x48;
    QTest::newRow("received log tag") << "\\t:rx" << 5 << 0x44;
    QTest::newRow("sent log tag") << "\\t:tx" << 5 << 0x42;
}

void TestNmea::Checksum() {
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(int, sum);
    QCOMPARE(int(NmeaChecksum(QStringView(text), length)), sum);
    QCOMPARE(int(NmeaChecksum(QByteArrayView(text.toLatin1()), length)), sum);
}

void TestNmea::Line_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("checksum appended") << QByteArray("$GPGGA,1") << QByteArray("$GPGGA,1*4B\r\n");
    QTest::newRow("checksum kept") << QByteArray("$GPGGA,1*00") << QByteArray("$GPGGA,1*00\r\n");
    QTest::newRow("star anywhere") << QByteArray("$A*B,1") << QByteArray("$A*B,1\r\n");
    QTest::newRow("query") << QByteArray("$PZRQCFQ") << QByteArray("$PZRQCFQ*5D\r\n");
    QTest::newRow("keep-alive") << QByteArray("$PZRQCF,A") << QByteArray("$PZRQCF,A*61\r\n");
    QTest::newRow("upper-case digits")
        << QByteArray("$GPRMC,1,A") << QByteArray("$GPRMC,1,A*3B\r\n");
}

void TestNmea::Line() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, wire);
    QCOMPARE(NmeaLine(text), wire);
}

void TestNmea::TalkerId_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");

    QTest::newRow("GP") << "GP" << int(tiValid);
    QTest::newRow("digits") << "12" << int(tiValid);
    QTest::newRow("PX") << "PX" << int(tiProprietary);
    QTest::newRow("space first") << " X" << int(tiIllegal);
    QTest::newRow("one character") << "G" << int(tiIllegal);
    QTest::newRow("P alone") << "P" << int(tiIllegal);
    QTest::newRow("three characters") << "GPS" << int(tiIllegal);
    QTest::newRow("empty") << "" << int(tiEmpty);
}

void TestNmea::TalkerId() {
    QFETCH(QString, text);
    QFETCH(int, result);
    QCOMPARE(int(CheckTalkerID(text)), result);
}

void TestNmea::Bits() {
    quint32 word = 0x80000001;
    SetBit(word, 5, true);
    QCOMPARE(word, 0x80000021u);
    QVERIFY(TestBit(word, 5));
    QVERIFY(TestBit(word, 31));
    SetBit(word, 31, false);
    SetBit(word, 0, false);
    QCOMPARE(word, 0x00000020u);
    QVERIFY(!TestBit(word, 0));
    // Out-of-range bit numbers change and report nothing.
    SetBit(word, 32, true);
    SetBit(word, -1, true);
    QCOMPARE(word, 0x00000020u);
    QVERIFY(!TestBit(0xFFFFFFFF, 32));
    QVERIFY(!TestBit(0xFFFFFFFF, -1));
}

void TestNmea::Numbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("decimal"); // -1: not a number (for the 32-bit signed column too)
    QTest::addColumn<qint64>("hex32");   // -1: not a 32-bit hexadecimal number

    QTest::newRow("zero") << "0" << qint64(0) << qint64(0);
    QTest::newRow("leading zeros") << "0012" << qint64(12) << qint64(0x12);
    QTest::newRow("hex letters") << "C" << qint64(-1) << qint64(12);
    QTest::newRow("lower hex") << "ff" << qint64(-1) << qint64(255);
    QTest::newRow("32-bit hex") << "FFFFFFFF" << qint64(-1) << qint64(0xFFFFFFFF);
    QTest::newRow("hex with leading zeros") << "000000000021" << qint64(21) << qint64(0x21);
    QTest::newRow("beyond 32 bits") << "100000000" << qint64(100000000) << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1) << qint64(-1);
    QTest::newRow("blank") << " 1" << qint64(-1) << qint64(-1);
    QTest::newRow("prefix") << "0x10" << qint64(-1) << qint64(-1);
    QTest::newRow("dash") << "-" << qint64(-1) << qint64(-1);
    QTest::newRow("int32 limit") << "2147483647" << qint64(2147483647) << qint64(-1);
    QTest::newRow("beyond int32") << "2147483648" << qint64(-1) << qint64(-1);
}

void TestNmea::Numbers() {
    QFETCH(QString, text);
    QFETCH(qint64, decimal);
    QFETCH(qint64, hex32);
    const std::optional<qint32> d = ParseInt32(text);
    QCOMPARE(d ? qint64(*d) : qint64(-1), decimal);
    const std::optional<quint32> h = ParseHex32(text);
    QCOMPARE(h ? qint64(*h) : qint64(-1), hex32);

    QCOMPARE(ParseInt32(u"-12").value_or(0), -12);
    QCOMPARE(ParseInt32(u"-2147483648").value_or(0), qint32(-2147483647 - 1));
    QVERIFY(!ParseInt32(u"-2147483649"));
    QCOMPARE(ParseHex(u"FFFFFFFFFFFFFFFF").value_or(0), ~quint64(0));
    QVERIFY(!ParseHex(u"1FFFFFFFFFFFFFFFF"));
    QVERIFY(!ParseUnsigned(u"18446744073709551616"));
}

QTEST_GUILESS_MAIN(TestNmea)
#include "tst_nmea.moc"
