// The NMEA 2000 commands of tidewright-cli against the simulated network.
#include "N2KRig.h"

#include "cli/CliTool.h"

#include <QProcess>

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

QStringList Connect(const TSimulator& sim, const QStringList& command) {
    return QStringList{"--connect", QStringLiteral("tcp:127.0.0.1:%1").arg(sim.TcpPort())} +
           command;
}

const QString DefaultList =
    "Manufacturer  Model ID              Serial No.  Version  LE (mA)  SA  DI  SI\n"
    "Garmin        GPS 24xd              4V1027736   5.30     100      10  0   0\n"
    "Raymarine     EV-1 Course Computer  0160487     3.11     50       28  0   0\n"
    "Airmar        DST810                00231877    1.013    50       35  0   0\n"
    "Maretron      WSO100                1314159     1.2.3    50       66  0   0\n";

} // namespace

class TestN2KCli : public QObject {
    Q_OBJECT

private slots:
    void Usage_data();
    void Usage();
    void List_data();
    void List();
    void ListWithoutInterface();
    void Change_data();
    void Change();
    void TheProgramNamesManufacturers();
};

void TestN2KCli::Usage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("NAME of 15") << QStringList{"n2k-address", "C078820010E1B7F", "40"}
                                << "NAME must be 16 hexadecimal digits";
    QTest::newRow("NAME not hexadecimal") << QStringList{"n2k-address", "C078820010E1B7FX", "40"}
                                          << "NAME must be 16 hexadecimal digits";
    QTest::newRow("address 252") << QStringList{"n2k-address", "C078820010E1B7F3", "252"}
                                 << "Illegal Source Address entered (0..251)";
    QTest::newRow("address no number") << QStringList{"n2k-address", "C078820010E1B7F3", "x"}
                                       << "'x' is not a valid integer value";
    QTest::newRow("both instances out of range")
        << QStringList{"n2k-instance", "C078820010E1B7F3", "256", "16"}
        << "Illegal Device Instance entered (0..255)\nIllegal Device Instance entered (0..15)";
    QTest::newRow("system instance missing") << QStringList{"n2k-instance", "C078820010E1B7F3", "1"}
                                             << "Wrong arguments for n2k-instance";
    QTest::newRow("--csv elsewhere") << QStringList{"n2k-address", "C078820010E1B7F3", "4", "--csv"}
                                     << "--csv is an option of n2k, stats, not of n2k-address.";
}

void TestN2KCli::Usage() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    // Nothing is connected: the arguments are refused before.
    const TRun run = RunCli(QStringList{"--connect", "tcp:127.0.0.1:1"} + arguments);
    QCOMPARE(run.Code, 2);
    QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
    QVERIFY(run.Out.isEmpty());
}

void TestN2KCli::List_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<TSimN2KDevice>>("devices");
    QTest::addColumn<QString>("out");
    QTest::newRow("columns") << QStringList{"n2k"} << DefaultN2KDevices() << DefaultList;
    QTest::newRow("with NAMEs")
        << QStringList{"n2k", "--names"} << DefaultN2KDevices().mid(2, 1)
        << QString("Manufacturer  Model ID  Serial No.  Version  LE (mA)  SA  DI  SI  NAME\n"
                   "Airmar        DST810    00231877    1.013    50       35  0   0   "
                   "C078820010E1B7F3\n");
    QTest::newRow("CSV") << QStringList{"n2k", "--csv"} << DefaultN2KDevices().mid(0, 1)
                         << QString("Manufacturer,Model ID,Serial No.,Version,LE (mA),SA,DI,SI\r\n"
                                    "Garmin,GPS 24xd,4V1027736,5.30,100,10,0,0\r\n");
    QTest::newRow("nobody there") << QStringList{"n2k"} << QList<TSimN2KDevice>{}
                                  << QString("No NMEA 2000 devices found\n");
    QTest::newRow("nobody there, CSV")
        << QStringList{"n2k", "--csv"} << QList<TSimN2KDevice>{}
        << QString("Manufacturer,Model ID,Serial No.,Version,LE (mA),SA,DI,SI\r\n");
}

void TestN2KCli::List() {
    QFETCH(QStringList, arguments);
    QFETCH(QList<TSimN2KDevice>, devices);
    QFETCH(QString, out);
    TSimulator sim(N2KOptions(devices));
    sim.Start();
    const TRun run = RunCli(Connect(sim, arguments));
    QCOMPARE(run.Err, QString());
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out, out);
}

void TestN2KCli::ListWithoutInterface() {
    TSimulator::TOptions options = N2KOptions();
    options.capabilities = 0xA000;
    TSimulator sim(options);
    sim.Start();
    const TRun run = RunCli(Connect(sim, {"n2k"}));
    QCOMPARE(run.Code, 1);
    QCOMPARE(run.Err, "The multiplexer reports no NMEA 2000 interface.\n");
    QVERIFY(sim.ReceivedLines().filter("$PZRQNR").isEmpty());
}

void TestN2KCli::Change_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ignored"); // the multiplexer drops the commands
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QStringList>("received"); // commands on the wire
    QTest::newRow("address") << QStringList{"n2k-address", "C078820010E1B7F3", "40"} << false << 0
                             << "Sent $PZRQNC,C,C078820010E1B7F3,40\n"
                                "The device claims address 40 with NAME C078820010E1B7F3.\n"
                             << "" << QStringList{"$PZRQNC,C,C078820010E1B7F3,40"};
    QTest::newRow("lower-case NAME, address held by another device")
        << QStringList{"n2k-address", "c078820010e1b7f3", "10"} << false << 0
        << "Sent $PZRQNC,C,C078820010E1B7F3,10\n"
           "The device claims address 10 with NAME C078820010E1B7F3.\n"
        << "" << QStringList{"$PZRQNC,C,C078820010E1B7F3,10"};
    QTest::newRow("instances") << QStringList{"n2k-instance", "C078820010E1B7F3", "2", "1"} << false
                               << 0
                               << "Sent $PZRQNI,35,2,1\n"
                                  "The device claims address 35 with NAME C178820210E1B7F3.\n"
                               << "" << QStringList{"$PZRQNI,35,2,1"};
    QTest::newRow("nothing to change")
        << QStringList{"n2k-instance", "C078820010E1B7F3", "0", "0"} << false << 0
        << "Nothing to change: the device has these settings already.\n"
        << "" << QStringList{};
    QTest::newRow("unknown NAME") << QStringList{"n2k-address", "C078820010E1B7F4", "40"} << false
                                  << 1 << ""
                                  << "No NMEA 2000 device with NAME C078820010E1B7F4 answered the "
                                     "scan.\n"
                                  << QStringList{};
    QTest::newRow("the command is lost")
        << QStringList{"n2k-address", "C078820010E1B7F3", "40"} << true << 1
        << "Sent $PZRQNC,C,C078820010E1B7F3,40\n"
        << "The device did not claim address 40 with NAME C078820010E1B7F3 within 2 s.\n"
        << QStringList{"$PZRQNC,C,C078820010E1B7F3,40"};
}

void TestN2KCli::Change() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, ignored);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, received);
    TSimulator sim(N2KOptions());
    sim.Start();
    if (ignored)
        sim.SetFault(sfNoAnswer, QStringLiteral("NC,NI"));
    const TRun run = RunCli(Connect(sim, arguments));
    QCOMPARE(run.Err, err);
    QCOMPARE(run.Out, out);
    QCOMPARE(run.Code, code);
    QStringList wire;
    for (const QString& text : received)
        wire.append(QString::fromLatin1(NmeaLine(text.toLatin1()).trimmed()));
    QCOMPARE(sim.ReceivedLines().filter(QRegularExpression("^\\$PZRQN[CI],")), wire);
}

void TestN2KCli::TheProgramNamesManufacturers() {
    // The manufacturer list lives in the core library; the installed tool, which has no
    // windows, must carry it too.
    QProcess cli;
    cli.start(QStringLiteral(TIDEWRIGHT_CLI_PATH), {"--simulator", "n2k", "--csv"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split("\r\n");
    QVERIFY2(lines.size() > 4, qPrintable(lines.join('|')));
    QVERIFY(lines[1].startsWith("Garmin,"));
    QVERIFY(lines[2].startsWith("Raymarine,"));
}

QTEST_GUILESS_MAIN(TestN2KCli)
#include "tst_n2k_cli.moc"
