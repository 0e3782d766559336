// The configuration model, the command formats and the report handlers.
#include "config/Catalogue.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "tests/FilledModel.h"

#include <QTest>

#include <bit>
#include <memory>

Q_DECLARE_METATYPE(TRoute)
Q_DECLARE_METATYPE(TModbus)

namespace QTest {
template <>
char* toString(const TRoute& r) {
    return qstrdup(QStringLiteral("%1 in %2 div %3 out %4 name %5 addr %6")
                       .arg(r.Sentence)
                       .arg(r.Inputs, 0, 16)
                       .arg(r.Divisor)
                       .arg(r.Outputs, 0, 16)
                       .arg(r.SourceName, 0, 16)
                       .arg(r.SourceAddr)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const TModbus& m) {
    return qstrdup(QStringLiteral("slv %1 reg %2 %3%4 rev %5 P %6 xdr %7/%8 id '%9' st %10")
                       .arg(m.Slave)
                       .arg(m.Register)
                       .arg(int(m.RegType))
                       .arg(int(m.DataType))
                       .arg(m.Reverse)
                       .arg(m.ParamP)
                       .arg(int(m.XdrType))
                       .arg(int(m.XdrUnit))
                       .arg(m.XdrID)
                       .arg(m.Status)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {

constexpr std::array<TSentenceKind, 13> SettingsKinds{nkCF, nkSP,  nkID, nkUI, nkDR, nkIN, nkPR,
                                                      nkOP, nkCNV, nkNO, nkNF, nkNA, nkND};

// Verifies that every settings sentence except `except` formats as in `expected`.
bool OthersUnchanged(const TMuxSettings& actual, const TMuxSettings& expected, int except) {
    for (TSentenceKind kind : SettingsKinds) {
        if (kind != except && FormatCommand(kind, actual) != FormatCommand(kind, expected)) {
            qWarning() << "changed:" << FormatCommand(kind, actual);
            return false;
        }
    }
    return true;
}

// Handles one report; the text of a raised error, empty when none.
QString Handle(TMuxConfig& config, const QString& line, bool* handled = nullptr) {
    try {
        const bool result = HandleConfigReport(config, TSentence(line));
        if (handled)
            *handled = result;
    } catch (const EParameterError& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void Commands_data();
    void Commands();
    void CommandsOnTheWire_data();
    void CommandsOnTheWire();
    void ReportsRoundTrip_data();
    void ReportsRoundTrip();
    void Reports_data();
    void Reports();
    void ParameterErrors_data();
    void ParameterErrors();
    void ParameterErrorIsShownNotDiscarded();
    void UnusedBitsSurviveReadModifyWrite();
    void OtherSentencesAreNotHandled_data();
    void OtherSentencesAreNotHandled();
    void RouteReports_data();
    void RouteReports();
    void ModbusReports_data();
    void ModbusReports();
    void ReportsBeyondTheLimitAreDropped();

    void AddRouteCutsAndFinds();
    void TablesAreLimited();
    void CaptureMerges();
    void CaptureIntoFullTable();
    void CaptureInputBits_data();
    void CaptureInputBits();
    void Notifications();

    void ControlledBitsMatchTheWords();
};

void TestConfig::Commands_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("command");

    QTest::newRow("CF") << int(nkCF) << "$PZRQCF,C,3,5";
    QTest::newRow("SP") << int(nkSP) << "$PZRQSP,C,0,1,2,3,4,5,0,1,2,3,4";
    QTest::newRow("ID") << int(nkID) << "$PZRQID,C,GP,II,SD,VW,WI,HC,AI,YX,EC";
    QTest::newRow("UI") << int(nkUI) << "$PZRQUI,C,CVZ0001";
    QTest::newRow("DR") << int(nkDR) << "$PZRQDR,C,8103,0,00FF,1,0A00,2,0001,1";
    QTest::newRow("IN") << int(nkIN) << "$PZRQIN,C,6,1,2,3,4,5,0,1";
    QTest::newRow("PR") << int(nkPR) << "$PZRQPR,C,1,2,3,4,10,11,12,14,10";
    QTest::newRow("OP") << int(nkOP) << "$PZRQOP,C,00000005";
    QTest::newRow("CNV") << int(nkCNV) << "$PZRQCNV,C,00001FFF";
    QTest::newRow("NO") << int(nkNO) << "$PZRQNO,C,C002ABCD";
    QTest::newRow("NF") << int(nkNF) << "$PZRQNF,C,1,0,2,3,4,5,6,7,8,33";
    QTest::newRow("NA") << int(nkNA) << "$PZRQNA,C,0,1,2,3,4,5,6,7,8,251";
    QTest::newRow("ND") << int(nkND) << "$PZRQND,C,0,1,2,3,4,5,6,7,8,255";
    QTest::newRow("VER carries no settings") << int(nkVER) << "";
    QTest::newRow("RTE is not a settings sentence") << int(nkRTE) << "";
}

void TestConfig::Commands() {
    QFETCH(int, kind);
    QFETCH(QString, command);
    QCOMPARE(FormatCommand(TSentenceKind(kind), FilledSettings()), command);
}

// Whole lines as the port sends them, checksums worked out by hand.
void TestConfig::CommandsOnTheWire_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");

    TMuxSettings options;
    options.Options = 0x00000005;
    QTest::newRow("options") << FormatCommand(nkOP, options)
                             << QByteArray("$PZRQOP,C,00000005*50\r\n");
    QTest::newRow("speeds") << FormatCommand(nkSP, FilledSettings())
                            << QByteArray("$PZRQSP,C,0,1,2,3,4,5,0,1,2,3,4*7C\r\n");
    QTest::newRow("route") << RouteCommand(TRoute{"GPRMC", 0x0003, 0, 0x41, 0, 255})
                           << QByteArray("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000*74\r\n");
    QTest::newRow("modbus") << ModbusCommand(TModbus{1, 100, 'H', 'F', 1, 2, 'C', 'C', "ENGINE"})
                            << QByteArray("$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE*51\r\n");
}

void TestConfig::CommandsOnTheWire() {
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    QCOMPARE(NmeaLine(text.toLatin1()), wire);
}

// A report in the command's own field order stores exactly the values the command carries,
// and nothing of any other sentence.
void TestConfig::ReportsRoundTrip_data() {
    QTest::addColumn<int>("kind");
    for (TSentenceKind kind : SettingsKinds)
        QTest::newRow(NameOfKind(kind)) << int(kind);
}

void TestConfig::ReportsRoundTrip() {
    QFETCH(int, kind);
    const TMuxSettings source = FilledSettings();
    QString report = FormatCommand(TSentenceKind(kind), source);
    report.replace(report.indexOf(u",C"), 2, QStringLiteral(",R"));

    TMuxConfig config;
    bool handled = false;
    QCOMPARE(Handle(config, report, &handled), QString());
    QVERIFY(handled);
    QCOMPARE(FormatCommand(TSentenceKind(kind), config),
             FormatCommand(TSentenceKind(kind), source));
    QVERIFY(OthersUnchanged(config, TMuxSettings{}, kind));
}

void TestConfig::Reports_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("command"); // the sentence's command afterwards

    QTest::newRow("NA dash means no address") << "$PZRQNA,R,-,12,-,3,4,5,6,7,8,9"
                                              << "$PZRQNA,C,255,12,255,3,4,5,6,7,8,9";
    QTest::newRow("hex without leading zeros") << "$PZRQOP,R,5"
                                               << "$PZRQOP,C,00000005";
    QTest::newRow("hex in lower case") << "$PZRQNO,R,c000000f"
                                       << "$PZRQNO,C,C000000F";
    QTest::newRow("hex with checksum") << "$PZRQCNV,R,00000FF0*3A"
                                       << "$PZRQCNV,C,00000FF0";
    QTest::newRow("route masks hex, host modes decimal") << "$PZRQDR,R,3,0,ff,1,8100,2,0,10"
                                                         << "$PZRQDR,C,0003,0,00FF,1,8100,2,0000,A";
    QTest::newRow("talker IDs: long kept, empty empties") << "$PZRQID,R,GN,,ABC,X,WI,HC,AI,YX,EC"
                                                          << "$PZRQID,C,GN,,SD,X,WI,HC,AI,YX,EC";
    QTest::newRow("unique ID of 12") << "$PZRQUI,R,ABCDEFGHIJKL"
                                     << "$PZRQUI,C,ABCDEFGHIJKL";
    QTest::newRow("unique ID of 13 ignored") << "$PZRQUI,R,ABCDEFGHIJKLM"
                                             << "$PZRQUI,C,CVZ0001";
    QTest::newRow("unique ID emptied") << "$PZRQUI,R,"
                                       << "$PZRQUI,C,";
    QTest::newRow("CF field 2 not read") << "$PZRQCF,R,x,2"
                                         << "$PZRQCF,C,3,2";
    QTest::newRow("NMEA 2000 priority last") << "$PZRQPR,R,0,0,0,0,0,0,0,0,7"
                                             << "$PZRQPR,C,0,0,0,0,0,0,0,0,7";
    QTest::newRow("no range checks") << "$PZRQIN,R,9,-1"
                                     << "$PZRQIN,C,9,4294967295,2,3,4,5,0,1";
    QTest::newRow("short report stores what it has") << "$PZRQSP,R,5,5"
                                                     << "$PZRQSP,C,5,5,2,3,4,5,0,1,2,3,4";
    QTest::newRow("report without values") << "$PZRQPR,R"
                                           << "$PZRQPR,C,1,2,3,4,10,11,12,14,10";
    QTest::newRow("extra fields ignored") << "$PZRQOP,R,1,2,3"
                                          << "$PZRQOP,C,00000001";
    QTest::newRow("echo changes nothing") << "$PZRQSP,C,5,5,5,5,5,5,5,5,5,5,5"
                                          << "$PZRQSP,C,0,1,2,3,4,5,0,1,2,3,4";
    QTest::newRow("other letter changes nothing") << "$PZRQOP,r,FF"
                                                  << "$PZRQOP,C,00000005";
    QTest::newRow("no field 1") << "$PZRQNA"
                                << "$PZRQNA,C,0,1,2,3,4,5,6,7,8,251";
}

void TestConfig::Reports() {
    QFETCH(QString, report);
    QFETCH(QString, command);

    TMuxConfig config;
    static_cast<TMuxSettings&>(config) = FilledSettings();
    const TSentence sentence(report);
    bool handled = false;
    QCOMPARE(Handle(config, report, &handled), QString());
    QVERIFY(handled);
    QCOMPARE(FormatCommand(sentence.Kind, config), command);
    QVERIFY(OthersUnchanged(config, FilledSettings(), sentence.Kind));
}

void TestConfig::ParameterErrors_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("quoted"); // the fields as the message shows them
    QTest::addColumn<QString>("command");

    QTest::newRow("fields before the failure stay stored") << "$PZRQSP,R,5,5,5,5,x,5,5,5,5,5,5"
                                                           << "$PZRQSP,R,5,5,5,5,x,5,5,5,5,5,5"
                                                           << "$PZRQSP,C,5,5,5,5,4,5,0,1,2,3,4";
    QTest::newRow("empty decimal") << "$PZRQIN,R,2,,3"
                                   << "$PZRQIN,R,2,,3"
                                   << "$PZRQIN,C,2,1,2,3,4,5,0,1";
    QTest::newRow("blank quoted") << "$PZRQOP,R,1 2"
                                  << "$PZRQOP,R,\"1 2\""
                                  << "$PZRQOP,C,00000005";
    QTest::newRow("double quote doubled") << "$PZRQNF,R,7,2\"x"
                                          << "$PZRQNF,R,7,\"2\"\"x\""
                                          << "$PZRQNF,C,7,0,2,3,4,5,6,7,8,33";
    QTest::newRow("control character quoted") << "$PZRQND,R,\t"
                                              << "$PZRQND,R,\"\t\""
                                              << "$PZRQND,C,0,1,2,3,4,5,6,7,8,255";
    QTest::newRow("two dashes are no address") << "$PZRQNA,R,-,--"
                                               << "$PZRQNA,R,-,--"
                                               << "$PZRQNA,C,255,1,2,3,4,5,6,7,8,251";
    QTest::newRow("hex with prefix") << "$PZRQDR,R,0x12"
                                     << "$PZRQDR,R,0x12"
                                     << "$PZRQDR,C,8103,0,00FF,1,0A00,2,0001,1";
    QTest::newRow("mode in hex") << "$PZRQDR,R,1,A"
                                 << "$PZRQDR,R,1,A"
                                 << "$PZRQDR,C,0001,0,00FF,1,0A00,2,0001,1";
    QTest::newRow("mask beyond 32 bits") << "$PZRQOP,R,100000000"
                                         << "$PZRQOP,R,100000000"
                                         << "$PZRQOP,C,00000005";
    QTest::newRow("decimal beyond 32 bits") << "$PZRQCF,R,3,4294967296"
                                            << "$PZRQCF,R,3,4294967296"
                                            << "$PZRQCF,C,3,5";
}

void TestConfig::ParameterErrors() {
    QFETCH(QString, report);
    QFETCH(QString, quoted);
    QFETCH(QString, command);

    TMuxConfig config;
    static_cast<TMuxSettings&>(config) = FilledSettings();
    const TSentence sentence(report);
    QCOMPARE(Handle(config, report), "Parameter error in sentence:\n" + quoted);
    QCOMPARE(FormatCommand(sentence.Kind, config), command);
    QVERIFY(OthersUnchanged(config, FilledSettings(), sentence.Kind));
}

// The receive pump drops ENmeaError silently; a parameter error must reach the user instead.
void TestConfig::ParameterErrorIsShownNotDiscarded() {
    TMuxConfig config;
    try {
        HandleConfigReport(config, TSentence("$PZRQPR,R,x"));
        QFAIL("no error raised");
    } catch (const ENmeaError&) {
        QFAIL("raised as a sentence error, which is discarded");
    } catch (const EError& e) {
        QVERIFY(e.Message().startsWith("Parameter error in sentence:"));
    }
}

// Bits that no control owns come back in the next command exactly as they were read.
void TestConfig::UnusedBitsSurviveReadModifyWrite() {
    TMuxConfig config;
    for (const char* report : {"$PZRQOP,R,FFFE7202", "$PZRQCNV,R,FFFFE000", "$PZRQNO,R,3FFC8000",
                               "$PZRQDR,R,7E00,0,7E00,0,7E00,0,7E00,0"})
        QCOMPARE(Handle(config, report), QString());

    SetBit(config.Options, 3, true);
    SetBit(config.Conversions, 12, true);
    SetBit(config.N2KOptions, 31, true);
    config.RouteOut[2] = (config.RouteOut[2] & ~DefaultRouteMask) | 0x8001;

    QCOMPARE(FormatCommand(nkOP, config), "$PZRQOP,C,FFFE720A");
    QCOMPARE(FormatCommand(nkCNV, config), "$PZRQCNV,C,FFFFF000");
    QCOMPARE(FormatCommand(nkNO, config), "$PZRQNO,C,BFFC8000");
    QCOMPARE(FormatCommand(nkDR, config), "$PZRQDR,C,7E00,0,7E00,0,FE01,0,7E00,0");
}

void TestConfig::OtherSentencesAreNotHandled_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("version") << "$PZRQVER,R,1.20,Corvanta-PX,1234,0010";
    QTest::newRow("overflow") << "$PZRQOV,C";
    QTest::newRow("end of dump") << "$PZRQRDY";
    QTest::newRow("statistics") << "$PZRQSTAT,R,1,2,3";
    QTest::newRow("device list") << "$PZRQNC,R,0000000000000001,3";
    QTest::newRow("unlisted name") << "$PZRQXYZ,R,1";
    QTest::newRow("other talker") << "$GPRMC,R,1";
    QTest::newRow("other manufacturer") << "$PXYZOP,R,FF";
}

void TestConfig::OtherSentencesAreNotHandled() {
    QFETCH(QString, line);
    TMuxConfig config;
    static_cast<TMuxSettings&>(config) = FilledSettings();
    bool handled = true;
    QCOMPARE(Handle(config, line, &handled), QString());
    QVERIFY(!handled);
    QVERIFY(static_cast<const TMuxSettings&>(config) == FilledSettings());
    QVERIFY(config.Routes.isEmpty());
    QVERIFY(config.ModbusMaps.isEmpty());
}

void TestConfig::RouteReports_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("added");
    QTest::addColumn<bool>("error");
    QTest::addColumn<TRoute>("route");

    const TRoute none;
    QTest::newRow("empty divisor, short NAME")
        << "$PZRQRTE,R,GPRMC,0003,,41,0" << true << false << TRoute{"GPRMC", 3, 0, 0x41, 0, 255};
    QTest::newRow("every field") << "$PZRQRTE,R,GPGGA,8004,12,5F,8000000000000001" << true << false
                                 << TRoute{"GPGGA", 0x8004, 12, 0x5F, 0x8000000000000001, 255};
    QTest::newRow("lower-case NAME") << "$PZRQRTE,R,IIMWV,1,0,1,00000000abcdef01" << true << false
                                     << TRoute{"IIMWV", 1, 0, 1, 0xABCDEF01, 255};
    QTest::newRow("NAME of 15 digits is none") << "$PZRQRTE,R,IIMWV,1,0,1,800000000000001" << true
                                               << false << TRoute{"IIMWV", 1, 0, 1, 0, 255};
    QTest::newRow("NAME of 17 characters is none")
        << "$PZRQRTE,R,IIMWV,1,0,1,8000000000000000X" << true << false
        << TRoute{"IIMWV", 1, 0, 1, 0, 255};
    QTest::newRow("numbers kept in their width")
        << "$PZRQRTE,R,IIMWV,18003,300,10040,0" << true << false
        << TRoute{"IIMWV", 0x8003, 44, 0x40, 0, 255};
    QTest::newRow("sentence of 4") << "$PZRQRTE,R,GPRM,0003,0,41,0" << false << false << none;
    QTest::newRow("sentence of 6") << "$PZRQRTE,R,GPRMCX,0003,0,41,0" << false << false << none;
    QTest::newRow("bad sentence before bad number")
        << "$PZRQRTE,R,GPRM,x,x,x,x" << false << false << none;
    QTest::newRow("echo") << "$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000" << false << false
                          << none;
    QTest::newRow("six fields") << "$PZRQRTE,R,GPRMC,0003,0,41" << false << false << none;
    QTest::newRow("inputs not hex") << "$PZRQRTE,R,GPRMC,00G3,0,41,0" << false << true << none;
    QTest::newRow("divisor not decimal") << "$PZRQRTE,R,GPRMC,0003,A,41,0" << false << true << none;
    QTest::newRow("outputs empty") << "$PZRQRTE,R,GPRMC,0003,0,,0" << false << true << none;
    QTest::newRow("NAME of 16 not hex")
        << "$PZRQRTE,R,GPRMC,0003,0,41,000000000000000G" << false << true << none;
}

void TestConfig::RouteReports() {
    QFETCH(QString, report);
    QFETCH(bool, added);
    QFETCH(bool, error);
    QFETCH(TRoute, route);

    TMuxConfig config;
    int notified = 0;
    config.OnRoutesChange = [&notified] { ++notified; };
    const QString message = Handle(config, report);
    QCOMPARE(message.isEmpty(), !error);
    if (error)
        QCOMPARE(message, "Parameter error in sentence:\n" + report);
    QCOMPARE(config.Routes.size(), added ? 1 : 0);
    QCOMPARE(notified, added ? 1 : 0);
    if (added)
        QCOMPARE(config.Routes.first(), route);
}

void TestConfig::ModbusReports_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("added");
    QTest::addColumn<bool>("error");
    QTest::addColumn<TModbus>("entry");

    const TModbus none;
    QTest::newRow("every field") << "$PZRQMB,R,X,1,100,H,F,R,2,C,C,ENGINE,FF" << true << false
                                 << TModbus{1, 100, 'H', 'F', 1, 2, 'C', 'C', "ENGINE", 255};
    QTest::newRow("empty letters") << "$PZRQMB,R,X,1,100,,,,0,,,,0B" << true << false
                                   << TModbus{1, 100, 0, 0, 0, 0, 0, 0, "", 11};
    QTest::newRow("first letters, other reverse text")
        << "$PZRQMB,R,X,3,7,Hx,Lx,r,9,Px,Bx,ID WITH BLANKS,0C" << true << false
        << TModbus{3, 7, 'H', 'L', 0, 9, 'P', 'B', "ID WITH BLANKS", 12};
    QTest::newRow("ID cut, numbers in their width")
        << "$PZRQMB,R,X,300,70000,I,U,,1,T,U,ABCDEFGHIJKLMNOPQ,1F0" << true << false
        << TModbus{44, 4464, 'I', 'U', 0, 1, 'T', 'U', "ABCDEFGHIJKLMNO", 0xF0};
    QTest::newRow("field 2 not X")
        << "$PZRQMB,R,Y,1,100,H,F,R,2,C,C,ENGINE,FF" << false << false << none;
    QTest::newRow("echo") << "$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE" << false << false << none;
    QTest::newRow("twelve fields")
        << "$PZRQMB,R,X,1,100,H,F,R,2,C,C,ENGINE" << false << false << none;
    QTest::newRow("slave not decimal")
        << "$PZRQMB,R,X,x,100,H,F,R,2,C,C,ENGINE,FF" << false << true << none;
    QTest::newRow("register empty")
        << "$PZRQMB,R,X,1,,H,F,R,2,C,C,ENGINE,FF" << false << true << none;
    QTest::newRow("P not decimal")
        << "$PZRQMB,R,X,1,100,H,F,R,P,C,C,ENGINE,FF" << false << true << none;
    QTest::newRow("status not hex")
        << "$PZRQMB,R,X,1,100,H,F,R,2,C,C,ENGINE,OK" << false << true << none;
}

void TestConfig::ModbusReports() {
    QFETCH(QString, report);
    QFETCH(bool, added);
    QFETCH(bool, error);
    QFETCH(TModbus, entry);

    TMuxConfig config;
    int notified = 0;
    config.OnModbusChange = [&notified] { ++notified; };
    const QString message = Handle(config, report);
    QCOMPARE(message.isEmpty(), !error);
    if (error)
        QVERIFY(message.startsWith("Parameter error in sentence:\n$PZRQMB,R,X,"));
    QCOMPARE(config.ModbusMaps.size(), added ? 1 : 0);
    QCOMPARE(notified, added ? 1 : 0);
    if (added)
        QCOMPARE(config.ModbusMaps.first(), entry);
}

void TestConfig::ReportsBeyondTheLimitAreDropped() {
    TMuxConfig config;
    for (int i = 0; i < MaxRoutes + 3; ++i)
        QCOMPARE(
            Handle(config, QStringLiteral("$PZRQRTE,R,GP%1,1,0,40,0").arg(i, 3, 10, QChar('0'))),
            QString());
    QCOMPARE(config.Routes.size(), MaxRoutes);
    QCOMPARE(config.Routes.last().Sentence, "GP049");

    for (int i = 0; i < MaxModbusMaps + 3; ++i)
        QCOMPARE(Handle(config, QStringLiteral("$PZRQMB,R,X,%1,1,H,I,,0,,,,0").arg(i)), QString());
    QCOMPARE(config.ModbusMaps.size(), MaxModbusMaps);
    QCOMPARE(int(config.ModbusMaps.last().Slave), MaxModbusMaps - 1);
}

void TestConfig::AddRouteCutsAndFinds() {
    TMuxConfig config;
    QCOMPARE(config.AddRoute(u"GPRMCX", 3, 0, 0x41, 0, 7), 0);
    QCOMPARE(config.AddRoute(u"GPRMC", 1, 0, 0x40, 0, 9), 0);
    QCOMPARE(config.Routes.first().Sentence, "GPRMC");
    QCOMPARE(config.FindRoute(u"GPRMCX", 7), 0);
    QCOMPARE(config.FindRoute(u"GPRMC", 9), 1);
    QCOMPARE(config.FindRoute(u"GPRMC", 8), -1);
    QCOMPARE(config.FindRoute(u"gprmc", 7), -1);
    QCOMPARE(config.FindRoute(u"GPRM", 7), -1);
}

void TestConfig::TablesAreLimited() {
    TMuxConfig config;
    for (int i = 0; i < MaxRoutes; ++i)
        QCOMPARE(config.AddRoute(u"", 0, 0, 0, 0, 0), 0);
    QCOMPARE(config.AddRoute(u"GPRMC", 1, 0, 0, 0, 0), -1);
    QCOMPARE(config.Routes.size(), MaxRoutes);

    for (int i = 0; i < MaxModbusMaps; ++i)
        QCOMPARE(config.AddModbus(1, 2, 'H', 'I', 0, 0, 0, 0, u"ABCDEFGHIJKLMNOPQRS", 240), 0);
    QCOMPARE(config.AddModbus(1, 2, 'H', 'I', 0, 0, 0, 0, u"", 240), -2);
    QCOMPARE(config.ModbusMaps.size(), MaxModbusMaps);
    QCOMPARE(config.ModbusMaps.first().XdrID, "ABCDEFGHIJKLMNO");
}

// Captured sentences as the dispatcher hands them over, parsed with the unique ID "CVZ".
void TestConfig::CaptureMerges() {
    TMuxConfig config;
    QList<quint8> looked;
    const TNameLookup lookup = [&looked](quint8 address) {
        looked.append(address);
        return address == 10 ? quint64(0x8000000000000ABC) : quint64(0);
    };
    int notified = 0;
    config.OnRoutesChange = [&] {
        ++notified;
        // The notification sees the finished record.
        if (!config.Routes.isEmpty() && config.Routes.last().SourceAddr == 10)
            QCOMPARE(config.Routes.last().SourceName, quint64(0x8000000000000ABC));
    };
    const auto capture = [&](const char* line) {
        return config.CaptureSentence(TSentence(line, "CVZ"), lookup);
    };

    QCOMPARE(capture("\\s:CVZ-3*00\\$GPGGA,1"), 0);
    QCOMPARE(config.Routes.first(), (TRoute{"GPGGA", 0x0004, 0, 0x40, 0, 255}));
    QCOMPARE(capture("\\s:CVZ-5*00\\$GPGGA,2"), 0);
    QCOMPARE(config.Routes.size(), 1);
    QCOMPARE(config.Routes.first().Inputs, quint16(0x0014));

    QCOMPARE(capture("\\s:CVZ#0A*00\\$GPGGA,3"), 0);
    QCOMPARE(capture("\\s:CVZ=11*00\\$GPGGA,4"), 0);
    QCOMPARE(capture("$GPRMC,1"), 0);
    QCOMPARE(capture("\\s:CVZ-0*00\\$GPRMC,2"), 0);

    QCOMPARE(config.Routes.size(), 4);
    QCOMPARE(config.Routes[1], (TRoute{"GPGGA", 0x8000, 0, 0x40, 0x8000000000000ABC, 10}));
    QCOMPARE(config.Routes[2], (TRoute{"GPGGA", 0x8000, 0, 0x40, 0, 11}));
    QCOMPARE(config.Routes[3], (TRoute{"GPRMC", 0, 0, 0x40, 0, 255}));
    QCOMPARE(looked, (QList<quint8>{10, 11})); // never for sentences without an address
    QCOMPARE(notified, 6);
}

void TestConfig::CaptureIntoFullTable() {
    TMuxConfig config;
    for (int i = 0; i < MaxRoutes; ++i)
        config.AddRoute(QString::number(i), 1, 0, 0x40, 0, 255);
    int notified = 0;
    config.OnRoutesChange = [&notified] { ++notified; };
    QCOMPARE(config.CaptureRoute(u"0", 2, 255), -1);
    QCOMPARE(config.CaptureRoute(u"GPRMC", 2, 255), -1);
    QCOMPARE(config.Routes.first().Inputs, quint16(1));
    QCOMPARE(config.Routes.size(), MaxRoutes);
    QCOMPARE(notified, 0);
}

void TestConfig::CaptureInputBits_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("bits");

    QTest::newRow("no source") << int(skNone) << 0 << 0;
    QTest::newRow("no source with a port") << int(skNone) << 3 << 0;
    QTest::newRow("port 0") << int(skPort) << 0 << 0;
    QTest::newRow("port 1") << int(skPort) << 1 << 0x0001;
    QTest::newRow("port 8") << int(skPort) << 8 << 0x0080;
    QTest::newRow("port 9") << int(skPort) << 9 << 0x0100;
    QTest::newRow("port 16") << int(skPort) << 16 << 0x8000;
    QTest::newRow("port 17") << int(skPort) << 17 << 0;
    QTest::newRow("port 255") << int(skPort) << 255 << 0;
    QTest::newRow("NMEA 2000") << int(skN2K) << 0 << 0x8000;
}

void TestConfig::CaptureInputBits() {
    QFETCH(int, kind);
    QFETCH(int, port);
    QFETCH(int, bits);
    QCOMPARE(int(::CaptureInputBits(TSourceKind(kind), quint8(port))), bits);
}

void TestConfig::Notifications() {
    auto config = std::make_unique<TMuxConfig>();
    int routes = 0;
    int modbus = 0;
    config->OnRoutesChange = [&routes] { ++routes; };
    config->OnModbusChange = [&modbus] { ++modbus; };

    config->AddRoute(u"GPRMC", 1, 0, 0x40, 0, 255);
    config->AddModbus(1, 2, 'H', 'I', 0, 0, 0, 0, u"", 0);
    config->AddModbus(3, 4, 'H', 'I', 0, 0, 0, 0, u"", 0xFF);
    config->ResetModbusStatus();
    QCOMPARE(config->ModbusMaps[0].Status, quint8(240));
    QCOMPARE(config->ModbusMaps[1].Status, quint8(240));
    QCOMPARE(routes, 1);
    QCOMPARE(modbus, 3);

    config->ClearRoutes();
    config->ClearModbus();
    QVERIFY(config->Routes.isEmpty() && config->ModbusMaps.isEmpty());
    QCOMPARE(routes, 2);
    QCOMPARE(modbus, 4);

    // Tearing down a model with full tables must not call back into its owner.
    config->AddRoute(u"GPGGA", 1, 0, 0x40, 0, 255);
    config->AddModbus(1, 2, 'H', 'I', 0, 0, 0, 0, u"", 0);
    config.reset();
    QCOMPARE(routes, 3);
    QCOMPARE(modbus, 5);
}

// The bits that no control owns are exactly those the multiplexer keeps to itself.
void TestConfig::ControlledBitsMatchTheWords() {
    QCOMPARE(OwnedBits(OptionBits), quint32(0x00019DFD));
    QCOMPARE(OwnedBits(ConversionBits), quint32(0x00001FFF));
    QCOMPARE(OwnedBits(N2KOptionBits), quint32(0xC0037FFF));
    for (const auto& table :
         {std::span<const TOptionBit>(OptionBits), std::span<const TOptionBit>(ConversionBits),
          std::span<const TOptionBit>(N2KOptionBits)}) {
        QCOMPARE(qsizetype(std::popcount(OwnedBits(table))), qsizetype(table.size()));
        for (const TOptionBit& entry : table)
            QVERIFY(entry.Choices.empty() || entry.Choices.size() == 2);
    }
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
