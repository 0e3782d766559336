// The configuration jobs without a window: storing the tables, writing, Load, Save, Restore
// Factory Settings and sentence files, and the outcome each returns, against the simulated
// multiplexer.
#include "SessionLink.h"

#include "config/ConfigJobs.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "session/Session.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Timeout = TLink::Timeout;
const QString MsgNoResponse = QStringLiteral("Multiplexer does not respond");
const QString MsgTcpLost = QStringLiteral("TCP Connection lost");
const QString MsgBusy =
    QStringLiteral("The multiplexer is busy. Please try again when it has finished.");

} // namespace

class TestConfigJobs : public QObject {
    Q_OBJECT

private slots:
    void StoreWaitsForTheLastAnswer_data();
    void StoreWaitsForTheLastAnswer();
    void StoreOutcome_data();
    void StoreOutcome();
    void LinkLostWhileStoring();
    void WriteStopsAtTheFirstSilence();
    void WriteNamesTheSettingsTheMultiplexerKept();
    void RestoreFactorySettings_data();
    void RestoreFactorySettings();
    void RestoreRefusedWhileBusy();
    void SaveOutcome();
    void UnreadableSentenceFile();
};

void TestConfigJobs::StoreWaitsForTheLastAnswer_data() {
    QTest::addColumn<bool>("eachLine");
    QTest::addColumn<int>("routes");
    QTest::newRow("one answer for the table") << false << 20;
    QTest::newRow("an answer for every line") << true << 20;
    QTest::newRow("one line, one answer") << true << 1;
}

void TestConfigJobs::StoreWaitsForTheLastAnswer() {
    QFETCH(bool, eachLine);
    QFETCH(int, routes);
    TLink link;
    QVERIFY(link.ConnectAndRead());
    for (int i = 0; i < routes; ++i)
        link.session->Config.AddRoute(QStringLiteral("GP%1").arg(i), 1, 0, 0x41, 0,
                                      NoSourceAddress);
    // Late answers, so that answers that are still on their way when the Store returns are
    // not already waiting in the queue.
    link.sim->SetFault(sfDelay, 200);
    if (eachLine)
        link.sim->SetFault(sfAnswerEachTableLine);
    int answers = 0;
    connect(link.session.get(), &TSession::SentenceShown, this, [&](const QString& text) {
        if (text.startsWith(QStringLiteral("$PZRQRDY")))
            ++answers;
    });

    QVERIFY(TConfigJobs(*link.session, link.user).StoreRoutes().Done());
    // The DELETE's answer and every answer to the lines have come in.
    QCOMPARE(answers, 1 + (eachLine ? routes : 1));
    QCOMPARE(link.sim->Routes().size(), routes);
    // Nothing of the Store's is left on its way to answer a later wait.
    link.QueryAndWait();
    QCOMPARE(answers, 1 + (eachLine ? routes : 1));
    QVERIFY(link.user.Messages.isEmpty());
}

void TestConfigJobs::StoreOutcome_data() {
    QTest::addColumn<bool>("modbus"); // else the routing table
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("errors");   // error boxes
    QTest::addColumn<QStringList>("messages"); // notices
    QTest::addColumn<int>("stored");           // entries the simulator holds afterwards
    for (const bool modbus : {false, true}) {
        const char* table = modbus ? "Modbus" : "routes";
        QTest::addRow("%s answered", table)
            << modbus << "answers" << int(jrDone) << QStringList() << QStringList() << 3;
        // The DELETE goes unanswered: no entry is sent.
        // The DELETE went, so the user learns the table may now be incomplete.
        const TTable which = modbus ? tbModbus : tbRoutes;
        QTest::addRow("%s silent", table)
            << modbus << "silent" << int(jrFailed)
            << QStringList{MsgNoResponse + u'\n' + IncompleteTableMessage(which, true)}
            << QStringList() << 0;
        QTest::addRow("%s link dropped", table)
            << modbus << "drops" << int(jrLinkLost) << QStringList()
            << QStringList{MsgTcpLost, IncompleteTableMessage(which, false)} << 1;
    }
}

void TestConfigJobs::StoreOutcome() {
    QFETCH(bool, modbus);
    QFETCH(QString, device);
    QFETCH(int, result);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, messages);
    QFETCH(int, stored);
    TLink link;
    QVERIFY(link.ConnectAndRead());
    TMuxConfig& config = link.session->Config;
    for (int i = 0; i < 3; ++i) {
        config.AddRoute(QStringLiteral("GP%1").arg(i), 1, 0, 0x41, 0, NoSourceAddress);
        config.AddModbus(1, quint16(100 + i), 'H', 'I', 0, 0, 'C', 'C', u"ENGINE", 0x0B);
    }
    if (device == u"silent")
        link.sim->SetFault(sfNoAnswer, modbus ? QStringLiteral("MB") : QStringLiteral("RTE"));
    else if (device == u"drops")
        link.sim->SetFault(sfDropAfterTableLine, 1);

    TConfigJobs jobs(*link.session, link.user);
    const TJobOutcome outcome = modbus ? jobs.StoreModbus() : jobs.StoreRoutes();
    QCOMPARE(int(outcome.Result), result);
    QCOMPARE(outcome.Done(), result == jrDone);
    QCOMPARE(link.user.Errors, errors);
    QCOMPARE(link.user.Messages, messages);
    if (result == jrFailed)
        QCOMPARE(outcome.Message, MsgNoResponse);
    QCOMPARE(link.session->IsOpen(), result != jrLinkLost);
    QCOMPARE(link.session->WaitDepth(), 0);
    QCOMPARE(modbus ? link.sim->ModbusEntries().size() : link.sim->Routes().size(), stored);
    // A Modbus store that the multiplexer answered makes every status unknown; one it did not
    // answer leaves them as they were read.
    if (modbus && result != jrLinkLost) {
        for (const TModbus& entry : config.ModbusMaps)
            QCOMPARE(entry.Status, result == jrDone ? ModbusStatusUnknown : quint8(0x0B));
    }
}

void TestConfigJobs::LinkLostWhileStoring() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    QTemporaryDir dir;
    const QString file = RoutesFile(dir, 20);
    link.sim->SetFault(sfDropAfterTableLine, 1);

    const TJobOutcome outcome = TConfigJobs(*link.session, link.user).LoadConfiguration(file);
    QCOMPARE(outcome.Result, jrLinkLost);
    // Said once, by the disconnect; the Store stopped at the first failed send.
    QCOMPARE(link.user.Messages, QStringList{MsgTcpLost});
    QVERIFY(link.user.Errors.isEmpty());
    QVERIFY(!link.session->IsOpen());
    QVERIFY(link.session->Config.Routes.isEmpty());
    QCOMPARE(link.sim->Routes().size(), 1);
    QCOMPARE(link.session->WaitDepth(), 0);
}

void TestConfigJobs::WriteStopsAtTheFirstSilence() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    link.session->Config.AddRoute(u"GPRMC", 1, 0, 0x41, 0, NoSourceAddress);
    link.sim->SetFault(sfNoAnswer, QStringLiteral("ID"));
    link.sim->ClearReceived();
    QList<bool> controls;
    connect(link.session.get(), &TSession::ConfigControlsEnabled, this,
            [&](bool enable) { controls.append(enable); });

    const TJobOutcome outcome = TConfigJobs(*link.session, link.user).WriteConfiguration();
    QCOMPARE(outcome.Result, jrFailed);
    QCOMPARE(outcome.Message, MsgNoResponse);
    // Said once, as a notice; the controls were off while writing and are back.
    QCOMPARE(link.user.Messages, QStringList{MsgNoResponse});
    QVERIFY(link.user.Errors.isEmpty());
    QCOMPARE(controls, (QList<bool>{false, true}));
    // CF, SP and ID went out, nothing after the unanswered ID.
    link.QueryAndWait();
    QCOMPARE(link.Count("$PZRQCF,C"), 1);
    QCOMPARE(link.Count("$PZRQSP,C"), 1);
    QCOMPARE(link.Count("$PZRQID,C"), 1);
    QCOMPARE(link.Count("$PZRQUI,C"), 0);
    QCOMPARE(link.Count("$PZRQRTE,C"), 0);
}

void TestConfigJobs::WriteNamesTheSettingsTheMultiplexerKept() {
    // A value the multiplexer does not take is answered with the value it kept: the write goes
    // on to its end, and then fails naming what was not taken.
    TLink link;
    QVERIFY(link.ConnectAndRead());
    const int kept = link.session->Config.PrioTimeout;
    link.session->Config.PrioTimeout = 7; // the multiplexer knows the codes 0 to 5
    link.session->Config.BaudIn[1] = 3;
    link.session->Config.AddRoute(u"GPRMC", 1, 0, 0x41, 0, NoSourceAddress);

    const TJobOutcome outcome = TConfigJobs(*link.session, link.user).WriteConfiguration();
    const QString message = QStringLiteral("The multiplexer kept its own value of these "
                                           "settings:\nConfiguration.Priority Timeout: %1 -> 7")
                                .arg(kept);
    QCOMPARE(outcome.Result, jrFailed);
    QCOMPARE(outcome.Message, message);
    QCOMPARE(link.user.Messages, QStringList{message});
    // The model shows what the multiplexer holds; the accepted change and the table went out.
    QCOMPARE(link.session->Config.PrioTimeout, kept);
    QCOMPARE(link.session->Config.BaudIn[1], 3);
    QCOMPARE(link.sim->Routes().size(), 1);
}

void TestConfigJobs::RestoreFactorySettings_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("answered Yes") << true;
    QTest::newRow("answered No") << false;
}

void TestConfigJobs::RestoreFactorySettings() {
    QFETCH(bool, yes);
    TLink link;
    QVERIFY(link.ConnectAndRead());
    link.user.Answers = {yes};
    QSignalSpy finished(link.session.get(), &TSession::ReadFinished);

    const TJobOutcome outcome = TConfigJobs(*link.session, link.user).RestoreFactorySettings();
    QCOMPARE(outcome.Result, yes ? jrDone : jrDeclined);
    QCOMPARE(link.user.Questions,
             QStringList{"This will restore the factory settings\nof the multiplexer. Do you "
                         "really want to proceed?"});
    // Either way the configuration is read again.
    QCOMPARE(link.session->Activity(), acIdentify);
    QVERIFY(finished.wait(Timeout));
    QCOMPARE(link.Count("$PZRQVER"), 2);
    QCOMPARE(link.Count("$PZRQRESET,1*"), yes ? 1 : 0);
    QVERIFY(link.user.Messages.isEmpty());
}

void TestConfigJobs::RestoreRefusedWhileBusy() {
    TLink link;
    link.sim->SetFault(sfNoAnswer, QStringLiteral("CFQ"));
    QVERIFY(link.Connect());
    QTRY_COMPARE_WITH_TIMEOUT(link.session->Activity(), acReadConfig, Timeout);
    link.user.Answers = {true};

    const TJobOutcome outcome = TConfigJobs(*link.session, link.user).RestoreFactorySettings();
    QCOMPARE(outcome.Result, jrRefused);
    QCOMPARE(outcome.Message, MsgBusy);
    QCOMPARE(link.user.Messages, QStringList{MsgBusy});
    QVERIFY(link.user.Questions.isEmpty());
    link.QueryAndWait();
    QCOMPARE(link.Count("$PZRQRESET"), 0);
    QCOMPARE(link.Count("$PZRQVER"), 1);
}

void TestConfigJobs::SaveOutcome() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    TConfigJobs jobs(*link.session, link.user);
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    QVERIFY(jobs.SaveConfiguration(file).Done());
    TMuxConfig saved;
    saved.LoadFromFile(file);
    QCOMPARE(saved.UniqueID, link.session->Config.UniqueID);

    // An error box, not a notice, and the same text in the outcome.
    const QString unwritable = dir.filePath("missing/folder/boat.ini");
    const TJobOutcome outcome = jobs.SaveConfiguration(unwritable);
    QCOMPARE(outcome.Result, jrFailed);
    QCOMPARE(outcome.Message, "Unable to write to " + unwritable);
    QCOMPARE(link.user.Errors, QStringList{outcome.Message});
    QVERIFY(link.user.Messages.isEmpty());
}

void TestConfigJobs::UnreadableSentenceFile() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    link.sim->ClearReceived();
    const TJobOutcome outcome =
        TConfigJobs(*link.session, link.user).SendSentenceFile("/no/such/sentences.txt");
    QCOMPARE(outcome.Result, jrFailed);
    QCOMPARE(link.user.Messages, QStringList{"Unable to read /no/such/sentences.txt"});
    QCOMPARE(outcome.Message, link.user.Messages.constFirst());
    link.QueryAndWait();
    QCOMPARE(link.sim->ReceivedLines().size(), 1); // the query alone
}

QTEST_GUILESS_MAIN(TestConfigJobs)
#include "tst_configjobs.moc"
