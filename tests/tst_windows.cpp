// The statistics and navigation database reports, without windows: parsing, the values and
// their last minute, the text and CSV forms, and the database query against the simulator.
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "session/Session.h"
#include "sim/Simulator.h"
#include "windows/Database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(TNavDBEntry)

namespace {

constexpr int Timeout = 10000;

using TBars = std::array<quint32, sbCount>; // in the window's order, BP first

QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void StatReport_data();
    void StatReport();
    void StatsTextAndCsv();
    void HistoryHoldsOneMinute();
    void NavDBReport_data();
    void NavDBReport();
    void NavDBQueryTimeOut_data();
    void NavDBQueryTimeOut();
};

void TestWindows::StatReport_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<TBars>("bars"); // every value was 7 before the report
    QTest::addColumn<int>("set");

    //                                                          BP DB RX TX Q1 Q2 Q3 Q4 Proc
    QTest::newRow("eight values") << "$PZRQSTAT,R,10368,50,10,20,0,0,0,100"
                                  << TBars{7, 50, 10, 20, 0, 0, 0, 100, 10368} << 8;
    QTest::newRow("buffer pool in field 10")
        << "$PZRQSTAT,R,1,2,3,4,5,6,8,9,10" << TBars{10, 2, 3, 4, 5, 6, 8, 9, 1} << 9;
    QTest::newRow("fields beyond 10 ignored")
        << "$PZRQSTAT,R,1,2,3,4,5,6,8,9,10,11" << TBars{10, 2, 3, 4, 5, 6, 8, 9, 1} << 9;
    QTest::newRow("field 4 no number")
        << "$PZRQSTAT,R,10368,50,x,20,0,0,0,100" << TBars{7, 50, 7, 7, 7, 7, 7, 7, 10368} << 2;
    QTest::newRow("short report") << "$PZRQSTAT,R,1,2,3" << TBars{7, 2, 3, 7, 7, 7, 7, 7, 1} << 3;
    QTest::newRow("empty field") << "$PZRQSTAT,R,1,,3,4,5,6,8,9" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 1}
                                 << 1;
    QTest::newRow("negative") << "$PZRQSTAT,R,1,-2,3,4,5,6,8,9" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 1}
                              << 1;
    QTest::newRow("beyond 32 bits")
        << "$PZRQSTAT,R,4294967296,2,3,4,5,6,8,9" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 7} << 0;
    QTest::newRow("bad buffer pool")
        << "$PZRQSTAT,R,1,2,3,4,5,6,8,9,x" << TBars{7, 2, 3, 4, 5, 6, 8, 9, 1} << 8;
    QTest::newRow("field 1 not R")
        << "$PZRQSTAT,C,1,2,3,4,5,6,8,9" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 7} << 0;
    QTest::newRow("field 1 lower case")
        << "$PZRQSTAT,r,1,2,3,4,5,6,8,9" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 7} << 0;
    QTest::newRow("no fields") << "$PZRQSTAT" << TBars{7, 7, 7, 7, 7, 7, 7, 7, 7} << 0;
}

void TestWindows::StatReport() {
    QFETCH(QString, report);
    QFETCH(TBars, bars);
    QFETCH(int, set);

    TStatValues values;
    values.Value.fill(7);
    QCOMPARE(ApplyStatReport(TSentence(report), values), set);
    QCOMPARE(values.Value, bars);
    for (const TStatBarInfo& info : StatBars)
        QCOMPARE(values.Has(info.Bar), bars[info.Bar] != 7);
}

void TestWindows::StatsTextAndCsv() {
    // A session without a link: the monitor's start and stop go nowhere.
    TScriptedUser user;
    TSession session(user);
    TStatsMonitor monitor(session);
    qint64 clock = 0;
    monitor.SetClock([&clock] { return clock; });
    monitor.Start();

    QStringList csv{StatsCsvHeader()};
    QStringList text;
    connect(&monitor, &TStatsMonitor::Updated, this, [&] {
        csv.append(StatsCsvLine(monitor.LastReportSeconds(), monitor.Values()));
        text.append(StatsTextLine(monitor.LastReportSeconds(), monitor.Values()));
    });
    for (const char* report :
         {"$PZRQSTAT,R,10368,50,10,20,0,0,0,100", "$PZRQSTAT,R,2400,37,3,1,12,0,5,150,12",
          "$PZRQSTAT,R,2500,38,x", "$PZRQSTAT,C,1", "$PZRQSTAT,R,20736,40,4,2,0,0,0,0"}) {
        clock += 1000;
        emit session.StatisticsReport(TSentence(QString::fromLatin1(report)));
    }

    const QString golden = QFINDTESTDATA("golden/stats.csv");
    QVERIFY2(!golden.isEmpty(), "tests/golden/stats.csv is missing");
    QCOMPARE(csv.join(u'\n') + u'\n', QString::fromUtf8(ReadFile(golden)));
    QCOMPARE(text.first(),
             QString("   1.0 s  BP - %  DB 50 %  N2K RX 10 %  N2K TX 20 %  Out1 0 %  Out2 0 %  "
                     "Out3 0 %  Out4 100 %  Process 25.00 ms"));
}

void TestWindows::HistoryHoldsOneMinute() {
    TScriptedUser user;
    TSession session(user);
    TStatsMonitor monitor(session);
    qint64 clock = 0;
    monitor.SetClock([&clock] { return clock; });
    monitor.Start();

    // One report a second for 90 seconds; the database use counts the seconds.
    for (int second = 1; second <= 90; ++second) {
        clock = second * 1000;
        emit session.StatisticsReport(
            TSentence(QStringLiteral("$PZRQSTAT,R,100,%1,0,0,0,0,0,0,33").arg(second)));
    }
    const std::deque<TStatSample>& history = monitor.History();
    QCOMPARE(history.size(), size_t(60));
    QCOMPARE(history.front().TimeMs, 31000);
    QCOMPARE(history.front().Values.Value[sbDBUse], 31u);
    QCOMPARE(history.back().Values.Value[sbDBUse], 90u);

    // Starting again clears the minute and every value but the buffer pool.
    monitor.Start();
    QVERIFY(monitor.History().empty());
    TBars expected{};
    expected[sbSPool] = 33;
    QCOMPARE(monitor.Values().Value, expected);
}

void TestWindows::NavDBReport_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("entry");
    QTest::addColumn<TNavDBEntry>("expected");

    QTest::newRow("entry") << "$PZRQDB,R,Depth,12.4 m,In3" << true
                           << TNavDBEntry{"Depth", "12.4 m", "In3"};
    QTest::newRow("extra fields") << "$PZRQDB,R,SOG,6.1 kn,In1,x" << true
                                  << TNavDBEntry{"SOG", "6.1 kn", "In1"};
    QTest::newRow("no source") << "$PZRQDB,R,Time,10:00:00" << true
                               << TNavDBEntry{"Time", "10:00:00", ""};
    QTest::newRow("only R") << "$PZRQDB,R" << true << TNavDBEntry{};
    QTest::newRow("not R") << "$PZRQDB,C,Depth,12.4 m,In3" << false << TNavDBEntry{};
    QTest::newRow("query") << "$PZRQDB" << false << TNavDBEntry{};
    QTest::newRow("other sentence") << "$PZRQCF,R,Depth,12.4 m,In3" << false << TNavDBEntry{};
}

void TestWindows::NavDBReport() {
    QFETCH(QString, report);
    QFETCH(bool, entry);
    QFETCH(TNavDBEntry, expected);
    const std::optional<TNavDBEntry> parsed = ParseNavDBReport(TSentence(report));
    QCOMPARE(parsed.has_value(), entry);
    if (entry)
        QVERIFY(*parsed == expected);
}

void TestWindows::NavDBQueryTimeOut_data() {
    QTest::addColumn<QString>("answer"); // dump, empty or none
    QTest::addColumn<int>("entries");
    QTest::newRow("dump") << "dump" << 12;
    QTest::newRow("empty database") << "empty" << 0;
    QTest::newRow("no answer") << "none" << 0;
}

// The 4000 ms time-out of the query must report only a multiplexer that did not answer.
void TestWindows::NavDBQueryTimeOut() {
    QFETCH(QString, answer);
    QFETCH(int, entries);

    TSimulator sim;
    sim.Start();
    TScriptedUser user;
    TSession session(user);
    QSignalSpy read(&session, &TSession::ReadFinished);
    QVERIFY(
        session.Connect(SelectorTcp, QStringLiteral("127.0.0.1"), QString::number(sim.TcpPort())));
    QVERIFY(read.wait(Timeout));
    if (answer != u"dump")
        sim.SetFault(sfNoAnswer, QStringLiteral("DB"));

    TNavDatabase database(session);
    QSignalSpy finished(&database, &TNavDatabase::Finished);
    QElapsedTimer clock;
    clock.start();
    database.Query();
    QCOMPARE(session.Activity(), acReadNavDB);
    QTRY_VERIFY_WITH_TIMEOUT(sim.ReceivedLines().contains("$PZRQDB*0F"), Timeout);
    if (answer == u"empty")
        sim.SendUnasked("$PZRQRDY");

    if (answer == u"none") {
        QTRY_COMPARE_WITH_TIMEOUT(user.Messages, QStringList{"Multiplexer does not respond"},
                                  Timeout);
        QVERIFY(clock.elapsed() >= 3700); // a coarse 4000 ms timer may fire up to 5 % early
        QVERIFY(!database.Complete());
    } else {
        QVERIFY(finished.wait(Timeout));
        // Well past the time-out: nothing is said about an answered query.
        QTest::qWait(int(std::max<qint64>(0, 4500 - clock.elapsed())));
        QCOMPARE(user.Messages, QStringList());
        QVERIFY(database.Complete());
    }
    QCOMPARE(session.Activity(), acIdle);
    QCOMPARE(database.Entries().size(), entries);
    if (entries > 0) {
        QCOMPARE(database.Entries().first().Parameter, QString("Latitude"));
        QVERIFY(database.Entries().contains(TNavDBEntry{"Variation", "1.2 W", "In1"}));
    }
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
