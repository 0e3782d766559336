// The command-line tool end to end against the simulated multiplexer.
#include "cli/CliTool.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "firmware/FwImage.h"
#include "sim/SimBoot.h"
#include "sim/Simulator.h"

#include <QFile>
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
    void initTestCase();
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
    void Firmware_data();
    void Firmware();
    void FirmwareRestore_data();
    void FirmwareRestore();
    void FirmwareRefused_data();
    void FirmwareRefused();

private:
    QTemporaryDir dataHome;
};

void TestCli::initTestCase() {
    // Configurations kept across firmware updates go to a data folder of this test's own.
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
}

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
        << QStringList{"--simulator", "identify", "--seconds", "3"} << 2 << "belong to monitor";
    QTest::newRow("unknown option")
        << QStringList{"--simulator", "--fast", "identify"} << 2 << "Unknown option --fast.";
    QTest::newRow("firmware without image") << QStringList{"--simulator", "firmware"} << 2
                                            << "firmware needs an image file or --built-in.";
    QTest::newRow("firmware with two images")
        << QStringList{"--simulator", "firmware", "--built-in", "a.cvz"} << 2
        << "firmware needs an image file or --built-in.";
    QTest::newRow("restore elsewhere") << QStringList{"--simulator", "identify", "--restore"} << 2
                                       << "--built-in and --restore belong to firmware.";
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
    // Yes updates with the built-in image; then the multiplexer runs a firmware it can use.
    TSimulator::TOptions options;
    options.firmware = "3.13.2";
    options.updatedFirmware = "3.14.0";
    TSimulator sim(options);
    sim.Start();
    const TRun run = RunCli({"--yes", "--connect", Link(sim), "identify"});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.contains("Would you like to perform an automatic update?\nYes (--yes)\n"
                              "Updating Corvanta Firmware\n"),
             qPrintable(run.Err));
    QVERIFY(run.Err.contains("The firmware update was successful"));
    QVERIFY2(run.Out.contains("Firmware version: 3.14.0\n"), qPrintable(run.Out));
    QCOMPARE(sim.ReceivedPackets().size(), 4 + 312);
    QCOMPARE(sim.FirmwareVersion(), QStringLiteral("3.14.0"));
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

namespace {

QString WriteImage(const QTemporaryDir& dir, const QString& name, const QByteArray& payload,
                   quint32 type = 0x94) {
    TFirmwareFileInfo info;
    info.Major = 3;
    info.Minor = 14;
    info.MuxType = type;
    info.DeviceCrc = FirmwareDeviceCrc(payload);
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(MakeFirmwareFile(info, payload));
    return path;
}

// Lines with a configuration command ("$PZRQxx,C,...") received after the firmware update.
QStringList CommandsAfterUpdate(const QStringList& received) {
    const qsizetype reset = received.indexOf(QStringLiteral("$PZRQRESET*5C"));
    QStringList commands;
    for (const QString& line : received.mid(reset + 1)) {
        if (line.section(u',', 1, 1) == u"C")
            commands.append(line);
    }
    return commands;
}

} // namespace

void TestCli::Firmware_data() {
    QTest::addColumn<bool>("builtIn");
    QTest::addColumn<int>("packets");
    QTest::newRow("image file") << false << 4 + 3;
    QTest::newRow("built-in image") << true << 4 + 312;
}

void TestCli::Firmware() {
    QFETCH(bool, builtIn);
    QFETCH(int, packets);
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString image = WriteImage(dir, "cpx.cvz", QByteArray(1200, char(0xFE)));
    const TRun run = RunCli({"--connect", Link(sim), "firmware", builtIn ? "--built-in" : image});
    QCOMPARE(run.Code, 0);
    QCOMPARE(sim.ReceivedPackets().size(), packets);
    QVERIFY(!sim.InBootloader());
    // A text bar on standard error, redrawn in place, then what happened.
    QVERIFY2(run.Err.startsWith("Updating Corvanta Firmware\n"), qPrintable(run.Err));
    QVERIFY(run.Err.contains("\rErasing...       [..............................]   0%"
                             "\rProgramming...   [..............................]   0%"));
    QVERIFY(run.Err.contains("\rProgramming...   [##############################] 100%\n"));
    QVERIFY(run.Err.contains("The firmware update was successful\n"));
    QVERIFY(run.Err.contains("The configuration read before the update is saved in\n" +
                             dataHome.path() + "/Tidewright/Backups/Corvanta-PX_24070193_"));
    QVERIFY(run.Out.isEmpty());
}

void TestCli::FirmwareRestore_data() {
    QTest::addColumn<bool>("restore");
    QTest::newRow("--restore") << true;
    QTest::newRow("kept only") << false;
}

void TestCli::FirmwareRestore() {
    QFETCH(bool, restore);
    TSimulator sim;
    sim.Start();
    QVERIFY(sim.SetConfigFields("OP", {"000000A5"}));
    QTemporaryDir dir;
    const QString image = WriteImage(dir, "cpx.cvz", QByteArray(600, 'x'));
    QStringList arguments{"--connect", Link(sim), "firmware", image};
    if (restore)
        arguments.append("--restore");
    const TRun run = RunCli(arguments);
    QCOMPARE(run.Code, 0);
    // The configuration read before is written back, the options among it.
    const QStringList commands = CommandsAfterUpdate(sim.ReceivedLines());
    QCOMPARE(commands.contains(QString::fromLatin1(NmeaLine("$PZRQOP,C,000000A5").trimmed())),
             restore);
    QCOMPARE(commands.isEmpty(), !restore);
    QCOMPARE(run.Err.contains("The configuration read before the update is saved in"), !restore);
}

void TestCli::FirmwareRefused_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("says");
    QTest::newRow("not an image") << "tcp"
                                  << "bad"
                                  << "Not a valid firmware file";
    QTest::newRow("missing image") << "tcp"
                                   << "missing"
                                   << "File not found";
    QTest::newRow("UDP link") << "udp"
                              << "good"
                              << "The firmware cannot be updated over UDP.";
    QTest::newRow("other multiplexer type") << "tcp"
                                            << "type"
                                            << "Firmware file does not match with the "
                                               "multiplexer type";
}

void TestCli::FirmwareRefused() {
    QFETCH(QString, link);
    QFETCH(QString, image);
    QFETCH(QString, says);
    TSimulator::TOptions options;
    options.listen = QHostAddress(QStringLiteral("127.0.0.2"));
    options.udp = link == "udp";
    TSimulator sim(options);
    sim.Start();
    QTemporaryDir dir;
    QString file = dir.filePath("missing.cvz");
    if (image == "good")
        file = WriteImage(dir, "good.cvz", QByteArray(600, 'x'));
    else if (image == "type")
        file = WriteImage(dir, "type.cvz", QByteArray(600, 'x'), 0x95);
    else if (image == "bad")
        file = WriteImage(dir, "bad.cvz", QByteArray(600, 'x')).replace(".cvz", ".txt");
    if (image == "bad") {
        QFile bad(file);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(40, 'x'));
    }
    const QString url = link == "udp" ? QStringLiteral("udp:127.0.0.2:%1").arg(sim.UdpPort())
                                      : QStringLiteral("tcp:127.0.0.2:%1").arg(sim.TcpPort());
    const TRun run = RunCli({"--connect", url, "firmware", file});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
    if (image != "type")
        QVERIFY(sim.ReceivedPackets().isEmpty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
