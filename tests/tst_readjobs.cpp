// The jobs that read when a link opens (identification, configuration read) and the navigation
// database query, without a window, against the simulated multiplexer and its faults: how each
// ends, what the user is told, and how long it takes.
#include "SessionLink.h"

#include "session/ReadJobs.h"
#include "session/Session.h"
#include "windows/Database.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString NoResponse = QStringLiteral("Multiplexer does not respond");
const QString TcpLost = QStringLiteral("TCP Connection lost");
const QString LinkClosed = QStringLiteral("The link to the multiplexer was closed");

// Bounds of time stretch by this factor on slow builds; at least 1.
int Scaled(int ms) {
    bool ok = false;
    const double scale = qEnvironmentVariable("TW_TIME_SCALE").toDouble(&ok);
    return int(ms * (ok && scale > 1 ? scale : 1.0));
}

// Scheduling slack on top of the program's own time-outs.
constexpr int SlackMs = 1500;

// A job ends no sooner than the time it must wait and no later than that with some slack.
bool TookAbout(qint64 elapsed, int expectedMs) {
    return elapsed >= expectedMs - 20 && elapsed <= expectedMs + Scaled(SlackMs);
}

// Everything the user had to acknowledge or answer, in order.
QStringList Told(const TScriptedUser& user) {
    return user.Messages + user.Questions;
}

} // namespace

class TestReadJobs : public QObject {
    Q_OBJECT

private slots:
    void Connecting_data();
    void Connecting();
    void NavDatabase_data();
    void NavDatabase();
};

// Connecting: the identification, then, when it succeeded, the configuration read it started.
void TestReadJobs::Connecting_data() {
    QTest::addColumn<int>("fault"); // -1: none
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("capabilities");
    QTest::addColumn<bool>("udpAll");
    // Sent unasked in place of the version reply, which the multiplexer then withholds.
    QTest::addColumn<QString>("versionReply");
    QTest::addColumn<int>("identify");    // how the identification ends
    QTest::addColumn<int>("read");        // how the read ends; -1: not awaited
    QTest::addColumn<QString>("outcome"); // the last job's text
    QTest::addColumn<QString>("told");    // said once to the user; empty: nothing
    QTest::addColumn<int>("tookMs");      // from connecting to the last job's end

    const auto row = [](const char* name, int fault, int value, const QString& names, int identify,
                        int read, const QString& outcome, const QString& told, int tookMs) {
        QTest::newRow(name) << fault << value << names << QString() << -1 << false << QString()
                            << identify << read << outcome << told << tookMs;
    };
    row("no fault", -1, 0, {}, jrDone, jrDone, {}, {}, 0);
    // The identification's time-out, then the dump's silence: 4000 ms each.
    row("version unanswered", sfNoAnswer, 0, "VER", jrFailed, -1, NoResponse, NoResponse, 4000);
    row("dump unanswered", sfNoAnswer, 0, "CFQ", jrDone, jrFailed, NoResponse, NoResponse, 4000);
    row("dump cut after 5 reports", sfCutDump, 5, {}, jrDone, jrFailed, NoResponse, NoResponse,
        4000);
    // Each answer 1500 ms late: the version reply, then the dump.
    row("answers 1500 ms late", sfDelay, 1500, {}, jrDone, jrDone, {}, {}, 3000);
    // Every report refused is shown as an error; the read goes on to its end.
    row("reports with a field that is no number", sfMalformedReport, 1, {}, jrDone, jrPartial,
        "* reports of the configuration could not be read.", {}, 0);
    // The version request goes unanswered and the first line the multiplexer sends closes the
    // link: no version reply can come before the close.
    QTest::newRow("dropped before the version")
        << int(sfDropAfter) << 1 << QString() << QString() << -1 << false
        << QStringLiteral("$GPTXT,01,01,02,WARMING UP") << int(jrLinkLost) << -1 << LinkClosed
        << TcpLost << 0;
    row("dropped in the dump", sfDropAfter, 8, {}, jrDone, jrLinkLost, LinkClosed, TcpLost, 0);

    const QString unsupported =
        QStringLiteral("This version of Tidewright does not support\nthe connected multiplexer.");
    QTest::newRow("unsupported device")
        << -1 << 0 << QString() << QString() << 0x8002 << false << QString() << int(jrFailed) << -1
        << unsupported << unsupported << 0;
    QTest::newRow("old firmware")
        << -1 << 0 << QString() << "3.13.2" << -1 << false << QString() << int(jrFailed) << -1
        << "The multiplexer runs firmware 3.13.2, which cannot be used."
        << "Tidewright has detected incompatible firmware in\nyour Corvanta.\n\nWould you like "
           "to perform an automatic update?"
        << 0;
    const QString noCapabilities =
        QStringLiteral("The multiplexer did not report its capabilities.");
    QTest::newRow("no capability word") << -1 << 0 << QString() << QString() << -1 << false
                                        << "$PZRQVER,3.14.0,Corvanta-PX,24070193" << int(jrFailed)
                                        << -1 << noCapabilities << noCapabilities << 0;
    const QString udpAll =
        QStringLiteral("Nothing is identified over \"UDP All\": replies may come from any device.");
    QTest::newRow("UDP All") << -1 << 0 << QString() << QString() << -1 << true << QString()
                             << int(jrFailed) << -1 << udpAll << udpAll << 0;
}

void TestReadJobs::Connecting() {
    QFETCH(int, fault);
    QFETCH(int, value);
    QFETCH(QString, names);
    QFETCH(QString, firmware);
    QFETCH(int, capabilities);
    QFETCH(bool, udpAll);
    QFETCH(QString, versionReply);
    QFETCH(int, identify);
    QFETCH(int, read);
    QFETCH(QString, outcome);
    QFETCH(QString, told);
    QFETCH(int, tookMs);

    TSimulator::TOptions options;
    if (!firmware.isEmpty())
        options.firmware = firmware;
    if (capabilities >= 0)
        options.capabilities = quint16(capabilities);
    options.udp = udpAll;
    TLink link(options);
    if (fault == sfNoAnswer)
        link.sim->SetFault(sfNoAnswer, names);
    else if (fault >= 0)
        link.sim->SetFault(TSimFault(fault), value);
    if (!versionReply.isEmpty())
        link.sim->SetFault(sfNoAnswer, QStringLiteral("VER"));
    TReadJobs jobs(*link.session, link.user);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.Connect(udpAll ? SelectorUdpAll : SelectorTcp));
    if (!versionReply.isEmpty())
        link.sim->SendUnasked(versionReply.toLatin1());
    TJobOutcome last = jobs.AwaitIdentification();
    QCOMPARE(int(last.Result), identify);
    if (read >= 0) {
        last = jobs.AwaitConfigurationRead();
        QCOMPARE(int(last.Result), read);
    }
    const qint64 took = clock.elapsed();

    // Said once, by whoever saw it first: the session or the job.
    QCOMPARE(Told(link.user), told.isEmpty() ? QStringList() : QStringList{told});
    if (read == jrPartial) {
        // One error shown for each report the read refused, and the outcome counts them.
        QVERIFY(link.user.Errors.size() > 1);
        for (const QString& error : std::as_const(link.user.Errors))
            QVERIFY2(error.startsWith(QStringLiteral("Parameter error in sentence:")),
                     qPrintable(error));
        QCOMPARE(last.Message, outcome.replace(u'*', QString::number(link.user.Errors.size())));
    } else {
        QCOMPARE(link.user.Errors, QStringList());
        QCOMPARE(last.Message, outcome);
    }
    QVERIFY2(TookAbout(took, tookMs), qPrintable(QString::number(took)));
    // The identification is over (a read it started may go on), nothing is left running after
    // the read, and the link is kept unless it was lost.
    if (read >= 0)
        QCOMPARE(link.session->Activity(), acIdle);
    else
        QVERIFY(link.session->Activity() != acIdentify);
    QCOMPARE(link.session->IsOpen(), last.Result != jrLinkLost);
}

void TestReadJobs::NavDatabase_data() {
    QTest::addColumn<QString>("unanswered"); // sentence names the multiplexer withholds
    QTest::addColumn<bool>("busy");          // a route capture runs
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("told");
    QTest::addColumn<int>("tookMs");

    QTest::newRow("answered") << QString() << false << int(jrDone) << QString() << 0;
    // The session's time-out for the first entry.
    QTest::newRow("unanswered") << "DB" << false << int(jrFailed) << NoResponse << 4000;
    QTest::newRow("busy") << QString() << true << int(jrRefused)
                          << "The multiplexer is busy. Please try again when it has finished." << 0;
}

void TestReadJobs::NavDatabase() {
    QFETCH(QString, unanswered);
    QFETCH(bool, busy);
    QFETCH(int, result);
    QFETCH(QString, told);
    QFETCH(int, tookMs);

    TLink link;
    TReadJobs jobs(*link.session, link.user);
    QVERIFY(link.Connect());
    QVERIFY(jobs.AwaitIdentification().Done());
    QVERIFY(jobs.AwaitConfigurationRead().Done());
    if (!unanswered.isEmpty())
        link.sim->SetFault(sfNoAnswer, unanswered);
    if (busy)
        QVERIFY(link.session->StartRouteCapture());

    TNavDatabase database(*link.session);
    QElapsedTimer clock;
    clock.start();
    const TJobOutcome outcome = database.Read();
    const qint64 took = clock.elapsed();

    QCOMPARE(int(outcome.Result), result);
    QCOMPARE(outcome.Message, told);
    QCOMPARE(Told(link.user), told.isEmpty() ? QStringList() : QStringList{told});
    QCOMPARE(database.Complete(), result == jrDone);
    QCOMPARE(!database.Entries().isEmpty(), result == jrDone);
    QVERIFY2(TookAbout(took, tookMs), qPrintable(QString::number(took)));
    if (busy) {
        // The refused query never went out: the answer to a later one came back first.
        link.session->StopRouteCapture();
        link.QueryAndWait();
        QCOMPARE(link.Count(QStringLiteral("$PZRQDB")), 0);
    }
    QCOMPARE(link.session->Activity(), acIdle);
}

QTEST_GUILESS_MAIN(TestReadJobs)
#include "tst_readjobs.moc"
