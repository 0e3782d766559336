// Every device job against every fault of the simulated multiplexer (and of the simulated device
// server) that applies to it. For each pair: the job ends within its time-outs, the user is told
// what went wrong in the program's own words (and nothing when the fault is one the program
// rides out), the session is idle afterwards with nothing left waiting, and the configuration
// controls come back only with a model that is whole.
//
// One test function per job, so that CTest can run the jobs side by side (see CMakeLists.txt).
// Time bounds grow with TW_TIME_SCALE for slow builds (sanitizers); what is checked does not.
#include "FwReleased.h"
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "config/ConfigJobs.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "firmware/FwImage.h"
#include "firmware/FwUpdate.h"
#include "n2k/N2K.h"
#include "network/NetworkJobs.h"
#include "network/NetworkSettings.h"
#include "network/XportLib.h"
#include "nmea/Nmea.h"
#include "session/Session.h"
#include "sim/Simulator.h"
#include "sim/XPortSim.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString NoResponse = QStringLiteral("Multiplexer does not respond");
const QString TcpLost = QStringLiteral("TCP Connection lost");
// The first report of a dump whose reports carry a field that is no number.
const QString MalformedCF = QStringLiteral("Parameter error in sentence:\n$PZRQCF,R,3,?Z");

// Bounds of time stretch by this factor on slow builds; at least 1.
double TimeScale() {
    bool ok = false;
    const double scale = qEnvironmentVariable("TW_TIME_SCALE").toDouble(&ok);
    return ok && scale > 1 ? scale : 1.0;
}

int Scaled(int ms) {
    return int(ms * TimeScale());
}

// Scheduling slack on top of the program's own time-outs.
constexpr int SlackMs = 1500;

// One fault of the simulated multiplexer: -1 for none.
struct TFault {
    int Fault = -1;
    int Value = 0;
    QString Names; // for sfNoAnswer
};

// The simulated multiplexer with a connected session and the NMEA 2000 list it feeds.
struct TRig {
    TRig() {
        sim = std::make_unique<TSimulator>();
        sim->Start();
        session = std::make_unique<TSession>(user);
        list = std::make_unique<TN2KDeviceList>(*session);
        QObject::connect(session.get(), &TSession::ConfigControlsEnabled,
                         [this](bool enable) { controls.append(enable); });
        QObject::connect(session.get(), &TSession::ReadFinished, [this] { ++readsFinished; });
    }
    ~TRig() {
        list.reset();
        session.reset();
        sim.reset();
    }

    void Apply(const TFault& fault) {
        if (fault.Fault < 0)
            return;
        if (fault.Fault == sfNoAnswer)
            sim->SetFault(sfNoAnswer, fault.Names);
        else
            sim->SetFault(TSimFault(fault.Fault), fault.Value);
    }

    bool Connect() {
        return session->Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                                QString::number(sim->TcpPort()));
    }

    // Runs the program's events until the session has gone back to idle (or the bound).
    bool AwaitIdle(int boundMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < boundMs) {
            QTest::qWait(20);
            if (session->Activity() == acIdle && session->WaitDepth() == 0)
                return true;
        }
        return false;
    }

    // A connection with the whole configuration read, and the NMEA 2000 scan that follows
    // the identification over, so that nothing of it is still on its way.
    bool ConnectAndRead() {
        QSignalSpy finished(session.get(), &TSession::ReadFinished);
        if (!Connect() || !finished.wait(Scaled(10000)))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (list->ScanState() != nsIdle && clock.elapsed() < Scaled(15000))
            QTest::qWait(20);
        controls.clear();
        readsFinished = 0;
        return list->ScanState() == nsIdle;
    }

    QStringList Said() const { return user.Messages + user.Errors; }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
    std::unique_ptr<TN2KDeviceList> list;
    QList<bool> controls; // every ConfigControlsEnabled, in order
    int readsFinished = 0;
};

// Every setting the model would send, and its tables.
QStringList ModelText(const TMuxConfig& config) {
    QStringList text;
    for (const TSentenceKind kind : ConfigWriteOrder)
        text.append(FormatCommand(kind, config));
    for (const TRoute& route : config.Routes)
        text.append(RouteCommand(route));
    for (const TModbus& entry : config.ModbusMaps)
        text.append(ModbusCommand(entry));
    return text;
}

void FillTables(TMuxConfig& config) {
    for (int i = 0; i < 6; ++i)
        config.AddRoute(QStringLiteral("GP%1").arg(i, 3, 10, QChar(u'0')), 0x0003, 0, 0x41, 0,
                        NoSourceAddress);
    for (int i = 0; i < 3; ++i)
        config.AddModbus(quint8(1 + i), quint16(100 + i), 'H', 'F', 0, 2, 'C', 'C',
                         QStringLiteral("ENGINE%1").arg(i), ModbusStatusUnknown);
}

// A command as the window runs it: failures it raises are shown, a lost link has been said.
void Guarded(TRig& rig, const std::function<void()>& action) {
    try {
        action();
    } catch (const ELinkLost&) {
    } catch (const EError& e) {
        rig.user.ShowError(e.Message());
    }
}

// The checks every pair shares, once the job has ended.
void CheckAfter(TRig& rig, const QString& expected, bool linkKept) {
    QCOMPARE(rig.session->Activity(), acIdle);
    QCOMPARE(rig.session->WaitDepth(), 0);
    QVERIFY(!rig.session->Refreshing);
    QCOMPARE(rig.session->IsOpen(), linkKept);
    if (expected.isEmpty()) {
        QCOMPARE(rig.Said(), QStringList());
    } else {
        // A message may go on with what the failure left behind ("...may now be incomplete"),
        // so it counts when it starts with the expected text. Each thing is said once: a failure is
        // not reported again by a later time-out.
        qsizetype said = 0;
        for (const QString& text : rig.Said())
            said += text == expected || text.startsWith(expected + u'\n');
        QVERIFY2(said == 1, qPrintable(rig.Said().join(u'|')));
    }
    for (const QString& text : rig.Said())
        QVERIFY(!text.trimmed().isEmpty());
    if (!linkKept)
        return;
    // The session still works: with the fault gone, a query gets its answer, and nothing the
    // fault left behind answers it in its place.
    rig.sim->ClearFaults();
    rig.user.Messages.clear();
    rig.user.Errors.clear();
    Guarded(rig, [&] { rig.session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI); });
    QCOMPARE(rig.Said(), QStringList());
    QCOMPARE(rig.session->Activity(), acIdle);
}

// The columns of the multiplexer's jobs.
void AddColumns() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("message"); // what the user is told; empty: nothing
    QTest::addColumn<bool>("complete");   // the job did all its work
    QTest::addColumn<bool>("linkKept");
    QTest::addColumn<int>("boundMs"); // the job ends within this, before scaling
}

void Row(const char* name, TFault fault, const QString& message, bool complete, bool linkKept,
         int boundMs) {
    QTest::newRow(name) << fault.Fault << fault.Value << fault.Names << message << complete
                        << linkKept << boundMs;
}

// A job that completes without a word.
void OkRow(const char* name, TFault fault, int boundMs) {
    Row(name, fault, {}, true, true, boundMs);
}

TFault FetchFault() {
    QFETCH(int, fault);
    QFETCH(int, value);
    QFETCH(QString, names);
    return {fault, value, names};
}

// Faults every line-protocol job rides out. Checksums are no condition for anything: a line
// with a wrong one is taken like any other.
void CommonRows(int okBoundMs) {
    OkRow("no fault", {}, okBoundMs);
    OkRow("answers 300 ms late", {sfDelay, 300, {}}, okBoundMs + 3000);
    OkRow("noise before every line", {sfGarbage, 16, {}}, okBoundMs);
    OkRow("over-long line before every line", {sfLongLines, 1, {}}, okBoundMs);
    OkRow("every checksum wrong", {sfBadChecksum, 1, {}}, okBoundMs);
}

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void Identify_data();
    void Identify();
    void ReadConfiguration_data();
    void ReadConfiguration();
    void WriteConfiguration_data();
    void WriteConfiguration();
    void StoreTables_data();
    void StoreTables();
    void Nmea2000Scan_data();
    void Nmea2000Scan();
    void NetworkRead_data();
    void NetworkRead();
    void NetworkWrite_data();
    void NetworkWrite();
    void FirmwareUpdate_data();
    void FirmwareUpdate();

private:
    QTemporaryDir dataHome;
};

void TestFaultMatrix::initTestCase() {
    // The firmware update keeps the configuration in the user's data folder: one of this test's
    // own.
    QVERIFY(dataHome.isValid());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
}

// Connect: the identification, then the configuration read it starts.
void TestFaultMatrix::Identify_data() {
    AddColumns();
    CommonRows(4000);
    // The identification's time-out, 4000 ms.
    Row("version unanswered", {sfNoAnswer, 0, "VER"}, NoResponse, false, true, 4000 + SlackMs);
    OkRow("version 1500 ms late", {sfDelay, 1500, {}}, 8000);
    // The dump's silence, 4000 ms after its last report.
    Row("dump unanswered", {sfNoAnswer, 0, "CFQ"}, NoResponse, false, true, 4000 + SlackMs);
    Row("dump cut after 5 reports", {sfCutDump, 5, {}}, NoResponse, false, true, 4000 + SlackMs);
    // A report the model refuses is shown; the read goes on to its end.
    Row("reports with a field that is no number", {sfMalformedReport, 1, {}}, MalformedCF, true,
        true, 4000);
    Row("connection dropped before the version", {sfDropAfter, 1, {}}, TcpLost, false, false, 4000);
    Row("connection dropped in the dump", {sfDropAfter, 8, {}}, TcpLost, false, false, 4000);
}

void TestFaultMatrix::Identify() {
    const TFault fault = FetchFault();
    QFETCH(QString, message);
    QFETCH(bool, complete);
    QFETCH(bool, linkKept);
    QFETCH(int, boundMs);
    TRig rig;
    rig.Apply(fault);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.Connect());
    QVERIFY(rig.AwaitIdle(Scaled(boundMs)));
    QVERIFY(clock.elapsed() <= Scaled(boundMs));

    QCOMPARE(rig.readsFinished, complete ? 1 : 0);
    // The controls come on only after a whole read.
    QCOMPARE(!rig.controls.isEmpty() && rig.controls.constLast(), complete);
    CheckAfter(rig, message, linkKept);
}

// Read Configuration on a link that is up, the fault set after the first read.
void TestFaultMatrix::ReadConfiguration_data() {
    AddColumns();
    CommonRows(4000);
    Row("version unanswered", {sfNoAnswer, 0, "VER"}, NoResponse, false, true, 4000 + SlackMs);
    Row("dump cut after 5 reports", {sfCutDump, 5, {}}, NoResponse, false, true, 4000 + SlackMs);
    Row("reports with a field that is no number", {sfMalformedReport, 1, {}}, MalformedCF, true,
        true, 4000);
    Row("connection dropped in the dump", {sfDropAfter, 6, {}}, TcpLost, false, false, 4000);
}

void TestFaultMatrix::ReadConfiguration() {
    const TFault fault = FetchFault();
    QFETCH(QString, message);
    QFETCH(bool, complete);
    QFETCH(bool, linkKept);
    QFETCH(int, boundMs);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.Apply(fault);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.session->ReadConfiguration());
    QVERIFY(rig.AwaitIdle(Scaled(boundMs)));
    QVERIFY(clock.elapsed() <= Scaled(boundMs));

    QCOMPARE(rig.readsFinished, complete ? 1 : 0);
    QCOMPARE(!rig.controls.isEmpty() && rig.controls.constLast(), complete);
    CheckAfter(rig, message, linkKept);
}

// The whole model with routes and Modbus entries, as Write Configuration and Load send it.
void TestFaultMatrix::WriteConfiguration_data() {
    AddColumns();
    CommonRows(6000);
    // One sentence's wait, 1000 ms, after the sentences before it.
    Row("input setting unanswered", {sfNoAnswer, 0, "IN"}, NoResponse, false, true, 1000 + 4000);
    Row("answers 1500 ms late", {sfDelay, 1500, {}}, NoResponse, false, true, 1000 + SlackMs);
    Row("route store unanswered", {sfNoAnswer, 0, "RTE"}, NoResponse, false, true, 1000 + 4000);
    Row("connection dropped after 5 answers", {sfDropAfter, 5, {}}, TcpLost, false, false, 4000);
    Row("connection dropped at the 2nd table line", {sfDropAfterTableLine, 2, {}}, TcpLost, false,
        false, 4000);
    OkRow("every table line answered", {sfAnswerEachTableLine, 1, {}}, 6000);
}

void TestFaultMatrix::WriteConfiguration() {
    const TFault fault = FetchFault();
    QFETCH(QString, message);
    QFETCH(bool, complete);
    QFETCH(bool, linkKept);
    QFETCH(int, boundMs);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    FillTables(rig.session->Config);
    const QStringList before = ModelText(rig.session->Config);
    rig.Apply(fault);

    QElapsedTimer clock;
    clock.start();
    TConfigJobs jobs(*rig.session, rig.user);
    const bool written = jobs.WriteConfiguration().Done();
    QVERIFY(clock.elapsed() <= Scaled(boundMs));
    QVERIFY(rig.AwaitIdle(Scaled(SlackMs)));

    QCOMPARE(written, complete);
    // Writing never changes the model, except that a closed link takes the tables with it.
    if (linkKept)
        QCOMPARE(ModelText(rig.session->Config), before);
    else
        QVERIFY(rig.session->Config.Routes.isEmpty() && rig.session->Config.ModbusMaps.isEmpty());
    // The controls come back for a link that is still there.
    QCOMPARE(rig.controls.constLast(), linkKept);
    if (complete) {
        QCOMPARE(rig.sim->Routes().size(), 6);
        QCOMPARE(rig.sim->ModbusEntries().size(), 3);
    }
    CheckAfter(rig, message, linkKept);
}

// The route table's Store, then the Modbus table's, as their Store buttons run them.
void TestFaultMatrix::StoreTables_data() {
    AddColumns();
    CommonRows(3000);
    Row("route store unanswered", {sfNoAnswer, 0, "RTE"}, NoResponse, false, true, 1000 + SlackMs);
    // The routes are stored first.
    Row("Modbus store unanswered", {sfNoAnswer, 0, "MB"}, NoResponse, false, true,
        1000 + 1000 + SlackMs);
    Row("answers 1500 ms late", {sfDelay, 1500, {}}, NoResponse, false, true, 1000 + SlackMs);
    Row("connection dropped at the 3rd table line", {sfDropAfterTableLine, 3, {}}, TcpLost, false,
        false, 3000);
    OkRow("every table line answered", {sfAnswerEachTableLine, 1, {}}, 3000);
}

void TestFaultMatrix::StoreTables() {
    const TFault fault = FetchFault();
    QFETCH(QString, message);
    QFETCH(bool, complete);
    QFETCH(bool, linkKept);
    QFETCH(int, boundMs);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    FillTables(rig.session->Config);
    rig.Apply(fault);

    QElapsedTimer clock;
    clock.start();
    // The Modbus Store follows only a route Store that went through.
    TConfigJobs jobs(*rig.session, rig.user);
    if (jobs.StoreRoutes().Done())
        jobs.StoreModbus();
    QVERIFY(clock.elapsed() <= Scaled(boundMs));
    QVERIFY(rig.AwaitIdle(Scaled(SlackMs)));
    if (complete) {
        QCOMPARE(rig.sim->Routes().size(), 6);
        QCOMPARE(rig.sim->ModbusEntries().size(), 3);
    }
    CheckAfter(rig, message, linkKept);
}

// The scan of the NMEA 2000 network: address claims, then each device's product information.
void TestFaultMatrix::Nmea2000Scan_data() {
    AddColumns();
    QTest::addColumn<int>("found"); // devices in the complete list; -1: any number
    const int devices = int(DefaultN2KDevices().size());
    // Address claims (500 ms), then per device its three answers, or four requests 500 ms
    // apart when it does not answer.
    const int answered = 500 + devices * 300 + 2000;
    const int unanswered = 500 + devices * 4 * 500 + SlackMs;
    const auto row = [](const char* name, TFault fault, const QString& message, bool linkKept,
                        int boundMs, int found) {
        QTest::newRow(name) << fault.Fault << fault.Value << fault.Names << message << (found != 0)
                            << linkKept << boundMs << found;
    };
    row("no fault", {}, {}, true, answered, devices);
    row("answers 300 ms late", {sfDelay, 300, {}}, {}, true, answered + devices * 1000, devices);
    row("noise before every line", {sfGarbage, 16, {}}, {}, true, answered, devices);
    row("over-long line before every line", {sfLongLines, 1, {}}, {}, true, answered, devices);
    row("every checksum wrong", {sfBadChecksum, 1, {}}, {}, true, answered, devices);
    row("requests unanswered", {sfNoAnswer, 0, "NR"}, {}, true, 500 + SlackMs, 0);
    row("claims with a field that is no number", {sfMalformedReport, 1, {}}, {}, true, unanswered,
        -1);
    row("connection dropped in the scan", {sfDropAfter, 4, {}}, TcpLost, false, 2000, -1);
}

void TestFaultMatrix::Nmea2000Scan() {
    const TFault fault = FetchFault();
    QFETCH(QString, message);
    QFETCH(bool, linkKept);
    QFETCH(int, boundMs);
    QFETCH(int, found);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.Apply(fault);

    QElapsedTimer clock;
    clock.start();
    rig.list->Scan();
    while (rig.list->ScanState() != nsIdle && clock.elapsed() < Scaled(boundMs))
        QTest::qWait(20);
    QCOMPARE(rig.list->ScanState(), nsIdle);
    QVERIFY(clock.elapsed() <= Scaled(boundMs));
    if (found >= 0)
        QCOMPARE(rig.list->Count(), found);
    QVERIFY(rig.list->Count() <= int(DefaultN2KDevices().size()));
    QVERIFY(rig.AwaitIdle(Scaled(SlackMs)));
    CheckAfter(rig, message, linkKept);
}

namespace {

const QHostAddress Hub(QStringLiteral("127.0.0.1"));

// The device server's faults, with the reply code they are limited to (1: every reply).
void AddNetworkColumns() {
    QTest::addColumn<int>("fault"); // -1: none
    QTest::addColumn<int>("code");
}

struct TNetRig {
    TNetRig() {
        TXPortSimOptions options;
        options.Hub = Hub;
        options.Servers = XPortSimServers(1, QHostAddress(QStringLiteral("127.0.0.2")));
        options.RestartMs = 50;
        sim = std::make_unique<TXPortSimulator>(options);
        sim->Start();
        TXPortOptions xportOptions;
        xportOptions.Target = Hub;
        xportOptions.Port = sim->Port();
        xportOptions.Bind = QHostAddress(QHostAddress::LocalHost);
        xportOptions.ReceiveTimeoutMs = 300;
        xportOptions.DiscoveryLimitMs = 3000;
        xportOptions.ConnectTimeoutMs = 1000;
        xportOptions.ReadTimeoutMs = Scaled(300);
        xportOptions.VerifyTimeoutMs = Scaled(200);
        xportOptions.PauseMs = 20;
        xport = std::make_unique<TXPort>(xportOptions);
    }
    QString Host() const { return sim->Address(0).toString(); }

    std::unique_ptr<TXPortSimulator> sim;
    std::unique_ptr<TXPort> xport;
};

} // namespace

// Reading the device server's setup record, as the network settings dialog opens.
void TestFaultMatrix::NetworkRead_data() {
    AddNetworkColumns();
    QTest::addColumn<bool>("read");
    QTest::newRow("no fault") << -1 << 0 << true;
    QTest::newRow("unanswered") << int(xfNoAnswer) << 1 << false;
    QTest::newRow("reply short of a byte") << int(xfShortReply) << 1 << false;
    QTest::newRow("reply with a wrong code") << int(xfWrongCode) << 1 << false;
    // The record is read to its size; what follows it is not part of it.
    QTest::newRow("reply with ten bytes too many") << int(xfLongReply) << 1 << true;
}

void TestFaultMatrix::NetworkRead() {
    QFETCH(int, fault);
    QFETCH(int, code);
    QFETCH(bool, read);
    TNetRig rig;
    if (fault >= 0)
        rig.sim->SetFault(0, TXPortSimFault(fault), code);

    TXPortSetup setup;
    setup.SetByte(50, 0x5A);
    const TXPortSetup untouched = setup;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.xport->GetSetup(rig.Host(), setup), read);
    // Connect and one whole reply's time-out.
    QVERIFY(clock.elapsed() <= Scaled(300 + SlackMs));
    if (read) // the record as the device server holds it, under the reply's code
        QCOMPARE(setup.Bytes().mid(XPortHeaderSize), rig.sim->Setup(0).mid(XPortHeaderSize));
    else
        QVERIFY(setup == untouched); // a failed read leaves the record as it was
}

// Writing edited settings, as the dialog's OK does: the write, then the check that the device
// server came back with them.
void TestFaultMatrix::NetworkWrite_data() {
    AddNetworkColumns();
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("no fault") << -1 << 0 << int(woVerified) << QString();
    QTest::newRow("write unanswered")
        << int(xfNoAnswer) << int(xcWriteAck) << int(woFailed) << CannotConnectText;
    QTest::newRow("acknowledgement short of a byte")
        << int(xfShortReply) << int(xcWriteAck) << int(woFailed) << CannotConnectText;
    QTest::newRow("acknowledgement with a wrong code")
        << int(xfWrongCode) << int(xcWriteAck) << int(woFailed) << CannotConnectText;
    QTest::newRow("acknowledgement with ten bytes too many")
        << int(xfLongReply) << int(xcWriteAck) << int(woVerified) << QString();
}

void TestFaultMatrix::NetworkWrite() {
    QFETCH(int, fault);
    QFETCH(int, code);
    QFETCH(int, outcome);
    QFETCH(QString, message);
    TNetRig rig;
    TXPortSetup setup;
    QVERIFY(rig.xport->GetSetup(rig.Host(), setup));
    setup.SetPort(2000);
    if (fault >= 0)
        rig.sim->SetFault(0, TXPortSimFault(fault), code);

    TScriptedUser user;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(int(WriteNetworkSettings(*rig.xport, user, rig.Host(), setup, false)), outcome);
    QVERIFY(clock.elapsed() <= Scaled(10000 + SlackMs));
    QCOMPARE(user.Messages + user.Errors, message.isEmpty() ? QStringList() : QStringList{message});
    // What the device server did with an unacknowledged write cannot be known, and the user is
    // told so; an acknowledged one is there.
    if (outcome == woVerified)
        QCOMPARE(TXPortSetup::FromBytes(rig.sim->Setup(0))->LocalPort(), 2000);
}

namespace {

const QString UpdateFailed = QStringLiteral("The firmware update failed");
const QString UpdateSucceeded = QStringLiteral("The firmware update was successful");
const QString RestoreQuestion = QStringLiteral("Restore the configuration read before the update?");
// Stands for the backup's place in the expected messages.
const QString SavedInBackup =
    QStringLiteral("The configuration read before the update is saved in\n%1");

} // namespace

// The firmware update with the built-in image (312 pages), against the bootloader's faults and
// the line faults of the phases around it. Every way out says what happened in order, keeps the
// configuration read before (offered back after a success, its place named after a failure),
// and leaves the session idle with its controls as the link allows.
void TestFaultMatrix::FirmwareUpdate_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("command");          // sfBootErrorCommand, with the error reply
    QTest::addColumn<QStringList>("messages"); // in order; "%1" is the backup file
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<bool>("linkKept");
    QTest::addColumn<bool>("inBootloader"); // the multiplexer is left in its bootloader
    QTest::addColumn<bool>("backedUp");     // the configuration was saved before the update
    QTest::addColumn<int>("boundMs");

    // The reset, the bootloader's announcement (250 ms), 312 pages and the restart: a few
    // seconds; the waits the faults add come on top.
    constexpr int Update = 8000;
    // After a failed programming step, the wait for a version report that does not come.
    constexpr int Restart = RestartTimeoutMs;
    const quint32 deviceCrc = LoadFirmwareImage(BuiltInImageSource).DeviceCrc();
    const auto hex = [](quint32 v) {
        return QStringLiteral("%1").arg(v, 8, 16, QChar(u'0')).toUpper();
    };
    const auto row = [](const char* name, TFault fault, int command, const QStringList& messages,
                        bool succeeded, bool linkKept, bool inBootloader, bool backedUp,
                        int boundMs) {
        QTest::newRow(name) << fault.Fault << fault.Value << command << messages << succeeded
                            << linkKept << inBootloader << backedUp << boundMs;
    };
    const QStringList success{UpdateSucceeded};
    const auto failed = [](const QString& reason) {
        return QStringList{reason, UpdateFailed, SavedInBackup};
    };

    // Columns after the messages: succeeded, link kept, left in the bootloader, backed up.
    row("no fault", {}, 0, success, true, true, false, true, Update);
    // The bootloader's answer to the synchronisation packet is dropped, not taken for the erase's.
    row("synchronisation answered", {sfSyncReply, 0xE1, {}}, 0, success, true, true, false, true,
        Update);
    row("answers 20 ms late", {sfDelay, 20, {}}, 0, success, true, true, false, true,
        Update + 312 * 20 + 2000);
    row("every command refused", {sfBootErrorReply, 0xE1, {}}, 0,
        failed("Erase application command:\nUnknown command"), false, true, true, true,
        Update + Restart);
    row("a page refused", {sfBootErrorReply, 0xE0, {}}, bcProgramPage,
        failed("Programm application page command:\nFrame size error"), false, true, true, true,
        Update + Restart);
    row("nothing answered", {sfBootNoReply, 255, {}}, 0,
        failed("Bootloader: Erase command timeout"), false, true, true, true,
        Update + BootReplyTimeoutMs + Restart);
    row("CRC unanswered", {sfBootNoReply, bcCrc, {}}, 0, failed("Bootloader: CRC command timeout"),
        false, true, true, true, Update + BootReplyTimeoutMs + Restart);
    row("CRC mismatch", {sfCrcMismatch, 0x0100, {}}, 0,
        failed(QStringLiteral("Bootloader: CRC error\nFile CRC: %1\nMult.CRC: %2")
                   .arg(hex(deviceCrc), hex(deviceCrc ^ 0x0100))),
        false, true, true, true, Update + Restart);
    // No announcement within 4000 ms: that alone is said, the programming never began.
    row("bootloader silent", {sfSilentBootloader, 1, {}}, 0,
        {"Bootloader: Initialisation failed", SavedInBackup}, false, true, true, true,
        Update + LoaderTimeoutMs);
    // Late beyond the reply time-out: the late reply is no answer to anything later.
    row("answers 2500 ms late", {sfDelay, 2500, {}}, 0, failed("Bootloader: Erase command timeout"),
        false, true, true, true, Update + 3 * 2500 + BootReplyTimeoutMs + Restart);
    row("link closed at the erase", {sfBootDrop, bcErase, {}}, 0,
        {TcpLost, UpdateFailed, SavedInBackup}, false, false, true, true, Update);
    row("link closed at the first page", {sfBootDrop, bcProgramPage, {}}, 0,
        {TcpLost, UpdateFailed, SavedInBackup}, false, false, true, true, Update);
    row("link closed at the CRC", {sfBootDrop, bcCrc, {}}, 0,
        {TcpLost, UpdateFailed, SavedInBackup}, false, false, true, true, Update);
    // Lost while the configuration is read for the backup: nothing was saved, nothing reset.
    row("link closed in the backup read", {sfDropAfter, 5, {}}, 0, {TcpLost}, false, false, false,
        false, Update);
}

void TestFaultMatrix::FirmwareUpdate() {
    QFETCH(int, fault);
    QFETCH(int, value);
    QFETCH(int, command);
    QFETCH(QStringList, messages);
    QFETCH(bool, succeeded);
    QFETCH(bool, linkKept);
    QFETCH(bool, inBootloader);
    QFETCH(bool, backedUp);
    QFETCH(int, boundMs);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.Apply({fault, value, {}});
    if (command)
        rig.sim->SetFault(sfBootErrorCommand, command);

    QElapsedTimer clock;
    clock.start();
    TFwUpdate update(*rig.session);
    QCOMPARE(update.Run(BuiltInImageSource), succeeded);
    // Everything it says it says before it returns, the link lost included.
    QVERIFY2(clock.elapsed() <= Scaled(boundMs), qPrintable(QString::number(clock.elapsed())));
    QVERIFY(rig.AwaitIdle(Scaled(SlackMs)));
    VerifyUpdateReleased(*rig.session, rig.user, Scaled(SlackMs));
    QCOMPARE(update.State(), succeeded ? fwSucceeded : fwFailed);

    // The configuration read before is kept in a file that holds it; after a success it is
    // offered back (the scripted user says No), after a failure its place is named.
    QCOMPARE(update.BackupFile().isEmpty(), !backedUp);
    if (backedUp) {
        QFile backup(update.BackupFile());
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(backup.readAll().contains("[Configuration]"));
    }
    QCOMPARE(rig.user.Questions, succeeded ? QStringList{RestoreQuestion} : QStringList());
    QStringList expected;
    for (const QString& text : messages)
        expected.append(text == SavedInBackup ? text.arg(update.BackupFile()) : text);
    QVERIFY2(rig.user.Messages == expected, qPrintable(rig.user.Messages.join(u'|')));
    QCOMPARE(rig.user.Errors, QStringList());

    // The controls: back with the link; after a success, once the new firmware's configuration
    // has been read whole.
    QVERIFY(!rig.controls.isEmpty());
    QCOMPARE(rig.controls.constLast(), linkKept);
    // The read for the backup, and the new firmware's.
    QCOMPARE(rig.readsFinished, int(backedUp) + int(succeeded));
    QCOMPARE(rig.sim->InBootloader(), inBootloader);
    QCOMPARE(rig.session->IsOpen(), linkKept);
    if (!linkKept || inBootloader)
        return;
    // The application answers again, and nothing the update left behind answers in its place.
    rig.sim->ClearFaults();
    rig.user.Messages.clear();
    Guarded(rig, [&] { rig.session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI); });
    QCOMPARE(rig.Said(), QStringList());
    QCOMPARE(rig.session->Activity(), acIdle);
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
