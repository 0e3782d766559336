// The command-line tool end to end against the simulated multiplexer.
#include "cli/CliTool.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "sim/Simulator.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct TRun {
    int Code = -1;
    QString Out;
    QString Err;
};

TRun RunCli(const QStringList& arguments) {
    TRun run;
    QTextStream out(&run.Out);
    QTextStream err(&run.Err);
    {
        TCliTool tool(out, err);
        run.Code = tool.Run(arguments);
    }
    out.flush();
    err.flush();
    return run;
}

QString Link(const TSimulator& sim) {
    return QStringLiteral("tcp:127.0.0.1:%1").arg(sim.TcpPort());
}

QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sentences received after the configuration dump was asked for.
QStringList AfterDump(const QStringList& received) {
    const qsizetype dump = received.indexOf(QStringLiteral("$PZRQCFQ*5D"));
    QStringList lines = dump < 0 ? QStringList() : received.mid(dump + 1);
    lines.removeAll(QStringLiteral("$PZRQCF,A*61"));
    return lines;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void Usage_data();
    void Usage();
    void Identify();
    void IdentifyRefuses_data();
    void IdentifyRefuses();
    void IncompatibleFirmwareAnsweredYes();
    void IdentifyOnTheBuiltInSimulator();
    void ReadConfig();
    void ReadConfigUnwritableFile();
    void WriteConfig();
    void WriteConfigWithEmptyTables();
    void WriteConfigStopsAtMissingAnswer();
    void WriteConfigUnreadableFile();
    void Monitor();
    void MonitorFilterAndLog();
    void Send();
    void Stats_data();
    void Stats();
    void NavDB();
    void NavDBNoAnswer();
};

void TestCli::Usage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");

    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: tidewright-cli";
    QTest::newRow("no command") << QStringList{"--simulator"} << 2 << "No command given.";
    QTest::newRow("unknown command")
        << QStringList{"--simulator", "fly"} << 2 << "Unknown command fly.";
    QTest::newRow("bad link kind")
        << QStringList{"--connect", "ftp:host", "identify"} << 2 << "unknown link kind";
    QTest::newRow("bad port") << QStringList{"--connect", "tcp:host:http", "identify"} << 2
                              << "the port must be a number";
    QTest::newRow("port out of range") << QStringList{"--connect", "udp:host:70000", "identify"}
                                       << 2 << "the port must be a number";
    QTest::newRow("no serial device")
        << QStringList{"--connect", "serial:", "identify"} << 2 << "no serial device";
    QTest::newRow("no link") << QStringList{"identify"} << 2 << "Give either --connect URL";
    QTest::newRow("two links") << QStringList{"--simulator", "--connect", "tcp:h", "identify"} << 2
                               << "Give either --connect URL";
    QTest::newRow("missing file") << QStringList{"--simulator", "read-config"} << 2
                                  << "Wrong arguments for read-config.";
    QTest::newRow("unknown source") << QStringList{"--simulator", "monitor", "--filter", "Input 9"}
                                    << 2 << "Unknown source \"Input 9\"";
    QTest::newRow("monitor option elsewhere")
        << QStringList{"--simulator", "identify", "--seconds", "3"} << 2
        << "--seconds is an option of monitor, stats, not of identify.";
    QTest::newRow("stats option elsewhere") << QStringList{"--simulator", "monitor", "--csv"} << 2
                                            << "--csv is an option of stats, not of monitor.";
    QTest::newRow("unknown option")
        << QStringList{"--simulator", "--fast", "identify"} << 2 << "Unknown option --fast.";
}

void TestCli::Usage() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, says);
    const TRun run = RunCli(arguments);
    QCOMPARE(run.Code, code);
    QVERIFY2((run.Out + run.Err).contains(says), qPrintable(run.Out + run.Err));
}

void TestCli::Identify() {
    TSimulator sim;
    sim.Start();
    const TRun run = RunCli({"--connect", Link(sim), "identify"});
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out, QString("Device name: Corvanta-PX\n"
                              "Firmware version: 3.14.0\n"
                              "Serial number: 24070193\n"
                              "Capabilities: A010\n"
                              "Model code: 0\n"));
    QVERIFY(run.Err.isEmpty());
    // What the window sends on connect.
    const QStringList received = sim.ReceivedLines();
    QCOMPARE(received.mid(0, 2), (QStringList{"$PZRQCF,A*61", "$PZRQVER*48"}));
}

void TestCli::IdentifyRefuses_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("capabilities");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("says");

    QTest::newRow("silent") << "3.14.0" << 0xA010 << true << "Multiplexer does not respond";
    QTest::newRow("old firmware") << "3.13.2" << 0xA010 << false
                                  << "Tidewright has detected incompatible firmware in\nyour "
                                     "Corvanta.";
    QTest::newRow("unsupported device")
        << "3.14.0" << 0x8002 << false
        << "This version of Tidewright does not support\nthe connected multiplexer.";
}

void TestCli::IdentifyRefuses() {
    QFETCH(QString, firmware);
    QFETCH(int, capabilities);
    QFETCH(bool, silent);
    QFETCH(QString, says);

    TSimulator::TOptions options;
    options.firmware = firmware;
    options.capabilities = quint16(capabilities);
    TSimulator sim(options);
    sim.Start();
    if (silent)
        sim.SetFault(sfNoAnswer, QStringLiteral("VER"));
    const TRun run = RunCli({"--connect", Link(sim), "identify"});
    QCOMPARE(run.Code, 1);
    QVERIFY(run.Out.isEmpty());
    QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
}

void TestCli::IncompatibleFirmwareAnsweredYes() {
    TSimulator::TOptions options;
    options.firmware = "3.13.2";
    TSimulator sim(options);
    sim.Start();
    const TRun run = RunCli({"--yes", "--connect", Link(sim), "identify"});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains("Would you like to perform an automatic update?\nYes (--yes)\n"
                              "Updating the firmware is not available in this version of "
                              "Tidewright."),
             qPrintable(run.Err));
}

void TestCli::IdentifyOnTheBuiltInSimulator() {
    const TRun run = RunCli({"--simulator", "identify"});
    QCOMPARE(run.Code, 0);
    QVERIFY(run.Out.startsWith("Device name: Corvanta-PX\n"));
}

void TestCli::ReadConfig() {
    TSimulator sim;
    sim.Start();
    QVERIFY(sim.SetConfigFields("OP", {"000000A5"}));
    TSimRoute route;
    route.sentence = "GPRMC";
    route.inputs = 3;
    route.outputs = 0x41;
    sim.SetTables({route}, {});
    QTemporaryDir dir;
    const QString file = dir.filePath("backup.ini");

    const TRun run = RunCli({"--connect", Link(sim), "read-config", file});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));

    // Saved exactly as the window saves.
    TMuxConfig saved;
    saved.LoadFromFile(file);
    QCOMPARE(saved.Options, 0x000000A5u);
    QCOMPARE(saved.UniqueID, QString("CPX7A31F"));
    QCOMPARE(saved.Routes.size(), 1);
    QCOMPARE(saved.Routes[0].Sentence, QString("GPRMC"));
    const QByteArray text = ReadFile(file);
    QVERIFY(text.startsWith("[Information]\r\nTidewright=" + ToolText().toLatin1() +
                            "\r\nDevice=Corvanta-PX\r\nFirmware Version=3.14.0\r\n"
                            "Serial Number=24070193\r\n"));
    QVERIFY(text.contains("R01=GPRMC,0003,00,41,0000000000000000\r\n"));
}

void TestCli::ReadConfigUnwritableFile() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("no/such/folder/backup.ini");
    const TRun run = RunCli({"--connect", Link(sim), "read-config", file});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains("Unable to write to"), qPrintable(run.Err));
}

void TestCli::WriteConfig() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    {
        TMuxConfig config;
        config.Options = 0x80;
        config.UniqueID = "BOAT1";
        config.AddRoute(u"GPGGA", 0x0004, 2, 0x41, 0, NoSourceAddress);
        config.AddModbus(1, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 240);
        config.SaveToFile(file, ToolText(), "", "", "");
    }
    TMuxConfig config;
    config.LoadFromFile(file);

    const TRun run = RunCli({"--connect", Link(sim), "write-config", file});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));

    // The same sentences in the same order as the window's Load.
    QStringList expected;
    for (const TSentenceKind kind : ConfigWriteOrder)
        expected << FormatCommand(kind, config);
    expected << RouteDeleteCommand() << RouteCommand(config.Routes[0]) << ModbusDeleteCommand()
             << ModbusCommand(config.ModbusMaps[0]);
    for (QString& line : expected)
        line = QString::fromLatin1(NmeaLine(line.toLatin1()).trimmed());
    QCOMPARE(AfterDump(sim.ReceivedLines()), expected);
    QCOMPARE(sim.ConfigFields("OP"), QStringList{"00000080"});
    QCOMPARE(sim.ConfigFields("UI"), QStringList{"BOAT1"});
    QCOMPARE(sim.Routes().size(), 1);
    QCOMPARE(sim.ModbusEntries().size(), 1);
}

void TestCli::WriteConfigWithEmptyTables() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("plain.ini");
    TMuxConfig().SaveToFile(file, ToolText(), "", "", "");
    const TRun run = RunCli({"--connect", Link(sim), "write-config", file});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));
    const QStringList sent = AfterDump(sim.ReceivedLines());
    QCOMPARE(sent.mid(sent.size() - 2),
             (QStringList{QString::fromLatin1(NmeaLine("$PZRQRTE,C,DELETE").trimmed()),
                          QString::fromLatin1(NmeaLine("$PZRQMB,C,DELETE").trimmed())}));
}

void TestCli::WriteConfigStopsAtMissingAnswer() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    TMuxConfig().SaveToFile(file, ToolText(), "", "", "");
    // Answers to ID commands get lost; the dump still comes.
    sim.SetFault(sfNoAnswer, QStringLiteral("ID"));

    const TRun run = RunCli({"--connect", Link(sim), "write-config", file});
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err.count("Multiplexer does not respond"), 1);
    const QStringList sent = AfterDump(sim.ReceivedLines());
    QCOMPARE(sent.size(), 3); // CF, SP, ID and nothing after
    QVERIFY(sent[2].startsWith("$PZRQID,C,"));
}

void TestCli::WriteConfigUnreadableFile() {
    TSimulator sim;
    sim.Start();
    const TRun run = RunCli({"--connect", Link(sim), "write-config", "/no/such/file.ini"});
    QCOMPARE(run.Code, 1);
    QVERIFY(run.Err.contains("Unable to read /no/such/file.ini"));
    QVERIFY(sim.ReceivedLines().isEmpty()); // nothing was sent
}

void TestCli::Monitor() {
    TSimulator::TOptions options;
    options.trafficRate = 50;
    TSimulator sim(options);
    sim.Start();
    sim.SendUnasked("$PZRQSTAT,R,1,2,3,4,5,6,7,8");

    const TRun run = RunCli({"--connect", Link(sim), "monitor", "--seconds", "1"});
    QCOMPARE(run.Code, 0);
    const QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 20, qPrintable(run.Out));
    for (const QString& line : lines) {
        QVERIFY2(line.startsWith(u'$') || line.startsWith(u'!'), qPrintable(line));
        QVERIFY(!line.startsWith("$PZRQSTAT")); // statistics are never shown
    }
}

void TestCli::MonitorFilterAndLog() {
    TSimulator sim;
    sim.Start();
    QVERIFY(sim.SetConfigFields("OP", {"00000020"})); // TAG blocks on
    QTemporaryDir dir;
    const QString log = dir.filePath("traffic.txt");
    // Tagged lines arrive once the unique ID has been read.
    QTimer::singleShot(1500, [&] {
        sim.SendUnasked("\\s:CPX7A31F-1*2C\\$GPRMC,1");
        sim.SendUnasked("\\s:CPX7A31F-2*2F\\$GPRMC,2");
        sim.SendUnasked("$GPXTE,3");
    });

    const TRun run = RunCli({"--connect", Link(sim), "monitor", "--seconds", "3", "--filter",
                             "Input 1", "--tag-blocks", "--diag-log", log});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Out.contains("\\s:CPX7A31F-1*2C\\$GPRMC,1*"), qPrintable(run.Out));
    QVERIFY(!run.Out.contains("$GPRMC,2*"));
    // The multiplexer tags its own lines as source 0, which the input filter leaves out.
    QVERIFY(!run.Out.contains("$GPXTE,3*"));
    const QByteArray logged = ReadFile(log);
    QVERIFY(logged.startsWith("\\t:tx*42\\$PZRQCF,A\r\n\\t:tx*42\\$PZRQVER\r\n"));
    QVERIFY(logged.contains("\\t:rx*44\\\\s:CPX7A31F-2*2F\\$GPRMC,2*"));
}

void TestCli::Send() {
    TSimulator sim;
    sim.Start();
    const TRun run = RunCli({"--connect", Link(sim), "send", "PZRQVER", "$GPXTE,1*00"});
    QCOMPARE(run.Code, 0);
    QTRY_VERIFY(sim.ReceivedLines().contains("$GPXTE,1*00"));
    QTRY_COMPARE(sim.ReceivedLines().count("$PZRQVER*48"), 2);
}

void TestCli::Stats_data() {
    QTest::addColumn<QStringList>("format"); // options beside --seconds
    QTest::addColumn<QString>("header");     // the first line; empty for none
    QTest::addColumn<QString>("line");       // every other line; DB use is 36 to 39 %

    QTest::newRow("text")
        << QStringList{} << QString()
        << R"(^ +\d+\.\d s  BP \d+ %  DB 3[6-9] %  N2K RX \d+ %  N2K TX \d+ %  )"
           R"(Out1 \d+ %  Out2 \d+ %  Out3 \d+ %  Out4 \d+ %  Process \d+\.\d\d ms$)";
    QTest::newRow("csv") << QStringList{"--csv"}
                         << "Time (s),BP (%),DB (%),N2K RX (%),N2K TX (%),Out1 (%),Out2 (%),"
                            "Out3 (%),Out4 (%),Process (ms)"
                         << R"(^\d+\.\d,\d+,3[6-9],\d+,\d+,\d+,\d+,\d+,\d+,\d+\.\d\d$)";
}

void TestCli::Stats() {
    QFETCH(QStringList, format);
    QFETCH(QString, header);
    QFETCH(QString, line);

    TSimulator sim;
    sim.Start();
    const TRun run =
        RunCli(QStringList{"--connect", Link(sim), "stats", "--seconds", "2"} + format);
    QCOMPARE(run.Code, 0);
    QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    if (!header.isEmpty())
        QCOMPARE(lines.takeFirst(), header);
    // The first report comes at once, then one a second.
    QVERIFY2(lines.size() >= 2 && lines.size() <= 4, qPrintable(run.Out));
    const QRegularExpression pattern(line);
    for (const QString& report : lines)
        QVERIFY2(pattern.match(report).hasMatch(), qPrintable(report));
    const QStringList received = sim.ReceivedLines();
    QVERIFY(received.indexOf("$PZRQSTAT,C,1*69") >= 0);
    QVERIFY(received.indexOf("$PZRQSTAT,C,0*68") > received.indexOf("$PZRQSTAT,C,1*69"));
    QTRY_VERIFY(!sim.StatisticsRunning());
}

void TestCli::NavDB() {
    TSimulator sim;
    sim.Start();
    const TRun run = RunCli({"--connect", Link(sim), "navdb"});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));
    const QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines[0], QString("Parameter\tValue\tSource"));
    QVERIFY(lines[1].startsWith("Latitude\t"));
    QCOMPARE(lines[6], QString("Variation\t1.2 W\tIn1"));
    // Asked after the configuration read had ended.
    const QStringList received = sim.ReceivedLines();
    QVERIFY(received.indexOf("$PZRQDB*0F") > received.indexOf("$PZRQCFQ*5D"));
}

void TestCli::NavDBNoAnswer() {
    TSimulator sim;
    sim.Start();
    sim.SetFault(sfNoAnswer, QStringLiteral("DB"));
    const TRun run = RunCli({"--connect", Link(sim), "navdb"});
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err.count("Multiplexer does not respond"), 1);
    QCOMPARE(run.Out, QString("Parameter\tValue\tSource\n"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
