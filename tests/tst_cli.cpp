// The command-line tool end to end against the simulated multiplexer.
#include "cli/CliTool.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "firmware/FwImage.h"
#include "sim/SimBoot.h"
#include "sim/Simulator.h"
#include "sim/XPortSim.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
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

// Device servers behind a hub of their own loopback addresses.
const QHostAddress XPortHub(QStringLiteral("127.0.18.1"));

std::unique_ptr<TXPortSimulator> XPortSim(int count) {
    TXPortSimOptions options;
    options.Hub = XPortHub;
    options.Servers = XPortSimServers(count, QHostAddress(QStringLiteral("127.0.18.2")));
    options.RestartMs = 200;
    auto sim = std::make_unique<TXPortSimulator>(options);
    sim->Start();
    return sim;
}

QStringList XPortArgs(const TXPortSimulator& sim, QStringList arguments) {
    return arguments << "--target" << XPortHub.toString() << "--port"
                     << QString::number(sim.Port());
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
    void ReadConfigOfACutDump();
    void Diff();
    void ReadConfigFailsOnAReportWithTheVersion();
    void WriteConfig();
    void WriteConfigWithEmptyTables();
    void WriteConfigStopsAtMissingAnswer();
    void WriteConfigFailsOnAValueTheMultiplexerKept();
    void WriteConfigUnreadableFile();
    void WriteConfigLosesTheLinkWhileStoring();
    void Monitor();
    void MonitorFilterAndLog();
    void Send();
    void Discover();
    void NetworkGetAndSet();
    void NetworkSetRefusesBadSettings();
    void AssignIP();
    void Stats_data();
    void Stats();
    void NavDB();
    void NavDBNoAnswer();
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
        << QStringList{"--simulator", "identify", "--seconds", "3"} << 2
        << "--seconds is an option of monitor, stats, not of identify.";
    QTest::newRow("stats option elsewhere") << QStringList{"--simulator", "monitor", "--csv"} << 2
                                            << "--csv is an option of n2k, stats, not of monitor.";
    QTest::newRow("unknown option")
        << QStringList{"--simulator", "--fast", "identify"} << 2 << "Unknown option --fast.";

    // The device-server commands.
    QTest::newRow("discover with a host")
        << QStringList{"discover", "h"} << 2 << "Wrong arguments for discover.";
    QTest::newRow("network-get without host")
        << QStringList{"network-get"} << 2 << "Wrong arguments for network-get.";
    QTest::newRow("network-set without settings")
        << QStringList{"network-set", "h"} << 2 << "Wrong arguments for network-set.";
    QTest::newRow("unknown setting")
        << QStringList{"network-set", "h", "speed=9"} << 2 << "Unknown setting speed.";
    QTest::newRow("no setting") << QStringList{"network-set", "h", "tcp"} << 2
                                << "tcp is no KEY=VALUE.";
    QTest::newRow("bad protocol") << QStringList{"network-set", "h", "protocol=ftp"} << 2
                                  << "protocol cannot be ftp.";
    QTest::newRow("target no address") << QStringList{"discover", "--target", "somewhere"} << 2
                                       << "--target needs an IPv4 address.";
    QTest::newRow("port 0") << QStringList{"discover", "--port", "0"} << 2
                            << "--port needs a port number from 1 to 65535.";
    QTest::newRow("port 65536") << QStringList{"discover", "--port", "65536"} << 2
                                << "--port needs a port number from 1 to 65535.";
    QTest::newRow("target elsewhere")
        << QStringList{"--simulator", "identify", "--target", "127.0.0.1"} << 2
        << "--target is an option of discover, network-get, network-set, assign-ip, not of "
           "identify.";
    QTest::newRow("link with discover") << QStringList{"--simulator", "discover"} << 2
                                        << "discover needs no link to the multiplexer.";
    QTest::newRow("bad MAC") << QStringList{"assign-ip", "00:20:4a:c9:19:08", "192.168.1.20"} << 2
                             << "Invalid MAC or IP address entered";
    QTest::newRow("bad IP") << QStringList{"assign-ip", "00-20-4a-c9-19-08", "10.0.0.255"} << 2
                            << "Invalid MAC or IP address entered";
    QTest::newRow("firmware without image") << QStringList{"--simulator", "firmware"} << 2
                                            << "firmware needs an image file or --built-in.";
    QTest::newRow("firmware with two images")
        << QStringList{"--simulator", "firmware", "--built-in", "a.cvz"} << 2
        << "firmware needs an image file or --built-in.";
    QTest::newRow("restore elsewhere") << QStringList{"--simulator", "identify", "--restore"} << 2
                                       << "--restore is an option of firmware, not of identify.";
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

// A dump that stops short ends by itself, long before the tool's own limit.
void TestCli::ReadConfigOfACutDump() {
    TSimulator sim;
    sim.Start();
    sim.SetFault(sfCutDump, 4);
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    const TRun run = RunCli({"--connect", Link(sim), "read-config", dir.filePath("cut.ini")});
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, QString("Multiplexer does not respond\n"));
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(!QFile::exists(dir.filePath("cut.ini")));
}

// A file that differs from the multiplexer in three settings: one line each, exit code 3;
// the multiplexer's own file: nothing, exit code 0. Nothing is written either way.
void TestCli::Diff() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    QCOMPARE(RunCli({"--connect", Link(sim), "read-config", file}).Code, 0);

    TRun run = RunCli({"--connect", Link(sim), "diff", file});
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out, QString());
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));

    QByteArray text = ReadFile(file);
    text.replace("Baud In2=0", "Baud In2=4")
        .replace("Unique ID=CPX7A31F", "Unique ID=BOAT2")
        .replace("Options=00000000", "Options=00000080");
    QFile changed(file);
    QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write(text) == text.size());
    changed.close();
    sim.ClearReceived();
    run = RunCli({"--connect", Link(sim), "diff", file});
    QCOMPARE(run.Code, 3);
    QCOMPARE(run.Out, QString("Configuration.Baud In2: 0 -> 4\n"
                              "Configuration.Unique ID: CPX7A31F -> BOAT2\n"
                              "Configuration.Options: 00000000 -> 00000080\n"));
    for (const QString& line : AfterDump(sim.ReceivedLines()))
        QVERIFY2(!line.contains(",C,"), qPrintable(line));

    QCOMPARE(RunCli({"--connect", Link(sim), "diff", dir.filePath("none.ini")}).Code, 1);
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

void TestCli::ReadConfigFailsOnAReportWithTheVersion() {
    TSimulator sim;
    sim.Start();
    sim.SetFault(sfNoAnswer, QStringLiteral("VER"));
    QTemporaryDir dir;
    // The version reply and a report that cannot be read arrive together, so that both are
    // handled in one tick of the receive pump.
    QTimer poll;
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!sim.ReceivedLines().contains("$PZRQVER*48") && ++ticks < 500)
            return;
        poll.stop();
        sim.SendUnasked("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010");
        sim.SendUnasked("$PZRQNA,R,?Z,-,-,-,-,-,-,-,-,4");
        QThread::msleep(50); // both are queued before the pump looks again
    });
    poll.start(5);

    const TRun run = RunCli({"--connect", Link(sim), "read-config", dir.filePath("boat.ini")});
    QVERIFY2(run.Err.contains("$PZRQNA,R,?Z"), qPrintable(run.Err));
    QCOMPARE(run.Code, 1);
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

void TestCli::WriteConfigFailsOnAValueTheMultiplexerKept() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    {
        TMuxConfig config;
        config.PrioTimeout = 7; // the multiplexer knows the codes 0 to 5
        config.UniqueID = "BOAT1";
        config.SaveToFile(file, ToolText(), "", "", "");
    }
    const QString before = sim.ConfigFields("CF").value(1);

    const TRun run = RunCli({"--connect", Link(sim), "write-config", file});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains("The multiplexer kept its own value of these settings:\n"
                              "Configuration.Priority Timeout: " +
                              before + " -> 7\n"),
             qPrintable(run.Err));
    // The rest was written.
    QCOMPARE(sim.ConfigFields("UI"), QStringList{"BOAT1"});
}

void TestCli::WriteConfigUnreadableFile() {
    TSimulator sim;
    sim.Start();
    const TRun run = RunCli({"--connect", Link(sim), "write-config", "/no/such/file.ini"});
    QCOMPARE(run.Code, 1);
    QVERIFY(run.Err.contains("Unable to read /no/such/file.ini"));
    QVERIFY(sim.ReceivedLines().isEmpty()); // nothing was sent
}

void TestCli::WriteConfigLosesTheLinkWhileStoring() {
    TSimulator sim;
    sim.Start();
    QTemporaryDir dir;
    const QString file = dir.filePath("routes.ini");
    {
        TMuxConfig config;
        for (int i = 0; i < 20; ++i)
            config.AddRoute(QStringLiteral("GP%1").arg(i, 3, 10, QChar(u'0')), 1, 0, 0x41, 0,
                            NoSourceAddress);
        config.SaveToFile(file, ToolText(), "", "", "");
    }
    // The multiplexer resets the connection when the first route arrives.
    sim.SetFault(sfDropAfterTableLine, 1);

    const TRun run = RunCli({"--connect", Link(sim), "write-config", file});
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, QString("TCP Connection lost\n"));
    QCOMPARE(sim.Routes().size(), 1);
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

void TestCli::Discover() {
    const auto sim = XPortSim(2);
    TRun run = RunCli(XPortArgs(*sim, {"discover"}));
    QCOMPARE(run.Code, 0);
    QStringList lines = run.Out.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines,
             (QStringList{"127.0.18.2  (00-20-4A-C9-19-08)", "127.0.18.3  (00-20-4A-C9-19-09)"}));

    // Nobody answers.
    sim->SetFault(-1, xfNoAnswer);
    run = RunCli(XPortArgs(*sim, {"discover"}));
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, QString("No Corvanta-NX found\n"));
    QVERIFY(run.Out.isEmpty());
}

void TestCli::NetworkGetAndSet() {
    const auto sim = XPortSim(1);
    TRun run = RunCli(XPortArgs(*sim, {"network-get", "127.0.18.2"}));
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out, QString("ip=127.0.18.2\nnetmask=255.0.0.0\ngateway=127.0.0.1\nport=10110\n"
                              "protocol=tcp\nudp-mode=broadcast\ndestination=0.0.0.0\n"));

    // Directed UDP to 127.0.18.9 on port 2000; the device server is looked for once it has had
    // five seconds to restart.
    sim->ClearReceived();
    QElapsedTimer clock;
    clock.start();
    run = RunCli(XPortArgs(*sim, {"network-set", "127.0.18.2", "protocol=udp", "udp-mode=directed",
                                  "destination=127.0.18.9", "port=2000"}));
    QVERIFY2(clock.elapsed() >= 4900 && clock.elapsed() < 8000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));
    QVERIFY(run.Out.contains("protocol=udp\nudp-mode=directed\ndestination=127.0.18.9\n"));
    const QByteArray setup = sim->Setup(0);
    QCOMPARE(quint8(setup[3]), quint8(0xFA)); // the address was not touched
    // Both ports, destination, connect mode, protocol bytes; 34 to 38 as they were.
    QCOMPARE(setup.mid(24, 16).toHex(), QByteArray("d007d0077f001209cc0100000d0af730"));

    // A new address: written with 0xFD and looked for there.
    run = RunCli(XPortArgs(*sim, {"network-set", "127.0.18.2", "ip=127.0.18.70"}));
    QCOMPARE(run.Code, 0);
    QCOMPARE(quint8(sim->Setup(0)[3]), quint8(0xFD));
    QCOMPARE(sim->Address(0), QHostAddress("127.0.18.70"));
}

void TestCli::NetworkSetRefusesBadSettings() {
    const auto sim = XPortSim(1);
    const QByteArray before = sim->Setup(0);
    TRun run = RunCli(XPortArgs(*sim, {"network-set", "127.0.18.2", "netmask=255.0.255.0"}));
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err,
             QString("Invalid IP address, network mask or port number entered (netmask)\n"));
    run = RunCli(XPortArgs(*sim, {"network-set", "127.0.18.2", "port=70000"}));
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, QString("Invalid IP address, network mask or port number entered (port)\n"));
    // Only the reads reached the device server.
    QCOMPARE(sim->Received(0),
             (QList<QByteArray>{QByteArray::fromHex("000000f8"), QByteArray::fromHex("000000f8")}));
    QCOMPARE(sim->Setup(0), before);

    // No device server at that address.
    run = RunCli(XPortArgs(*sim, {"network-set", "127.0.18.99", "port=2000"}));
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, QString("Cannot connect to Corvanta\n"));
}

void TestCli::AssignIP() {
    const auto sim = XPortSim(2);
    QElapsedTimer clock;
    clock.start();
    const TRun run = RunCli(XPortArgs(*sim, {"assign-ip", "00-20-4a-c9-19-09", "127.0.18.80"}));
    // The device server gets ten seconds to take its address.
    QVERIFY2(clock.elapsed() >= 9900 && clock.elapsed() < 13000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out, QString("Assigned 127.0.18.80 to 00-20-4a-c9-19-09\n"));
    QCOMPARE(sim->Received(1), QList<QByteArray>{QByteArray::fromHex("000000fc49502d5345545550"
                                                                     "000019097f001250")});
    QCOMPARE(sim->Address(1), QHostAddress("127.0.18.80"));
    QCOMPARE(sim->Address(0), QHostAddress("127.0.18.2"));
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
    // The stop may still be on its way through the simulator's socket when the tool ends.
    QTRY_VERIFY(!sim.StatisticsRunning());
    const QStringList received = sim.ReceivedLines();
    QVERIFY(received.indexOf("$PZRQSTAT,C,1*69") >= 0);
    QVERIFY(received.indexOf("$PZRQSTAT,C,0*68") > received.indexOf("$PZRQSTAT,C,1*69"));
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
