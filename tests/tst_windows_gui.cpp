// The statistics and navigation database windows, and the line rate of the status bar, driven
// from the main window's menu against the simulated multiplexer.
#include "ScriptedUser.h"

#include "app/MainForm.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"
#include "windows/NavDBForm.h"
#include "windows/Stats.h"

#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

namespace {

constexpr int Timeout = 10000;

// A window with its scripted user, connected to a simulator over TCP with the configuration
// read.
struct TRig {
    explicit TRig(TSimulator::TOptions options = {}) {
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        form = std::make_unique<TMainForm>(&user);
        form->SetPersistSettings(false);
        form->show();
    }
    ~TRig() {
        form.reset();
        sim.reset();
    }

    bool ConnectAndRead() {
        QSignalSpy finished(&form->Session(), &TSession::ReadFinished);
        form->ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(sim->TcpPort())));
        return finished.count() > 0 || finished.wait(Timeout);
    }
    Ui::TMainForm& Ui() { return form->Controls(); }
    bool Received(const QString& line) { return sim->ReceivedLines().contains(line); }

    // Opens the Tools menu and clicks one of its entries, as the user does with the mouse.
    void ClickTools(QAction* item) {
        QMenuBar* bar = form->menuBar();
        QMenu* tools = Ui().miTools;
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(tools->menuAction()).center());
        QTRY_VERIFY(tools->isVisible());
        QTest::mouseClick(tools, Qt::LeftButton, {}, tools->actionGeometry(item).center());
        QTRY_VERIFY(!tools->isVisible());
    }

    QProgressBar* Bar(TStatBar bar) {
        return form->Stats().findChild<QProgressBar*>(QLatin1StringView(StatBars[bar].Name));
    }
    std::array<int, sbCount> Bars() {
        std::array<int, sbCount> values{};
        for (const TStatBarInfo& info : StatBars)
            values[info.Bar] = Bar(info.Bar)->value();
        return values;
    }
    QList<QPointF> Plotted(TStatBar bar) {
        const QList<QAbstractSeries*> series =
            form->Stats().findChild<QChartView*>("chtHistory")->chart()->series();
        return static_cast<QLineSeries*>(series.at(bar))->points();
    }
    QTableWidget& Grid() { return *form->NavDBForm().findChild<QTableWidget*>("DBGrid"); }
    QStringList Row(int row) {
        QStringList cells;
        for (int column = 0; column < Grid().columnCount(); ++column) {
            const QTableWidgetItem* item = Grid().item(row, column);
            cells.append(item ? item->text() : QString());
        }
        return cells;
    }
    QString NavDBState() { return form->NavDBForm().findChild<QLabel*>("lblState")->text(); }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TMainForm> form;
};

using TBarValues = std::array<int, sbCount>;

} // namespace

class TestWindowsGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void StatisticsFollowTheMenu_data();
    void StatisticsFollowTheMenu();
    void StatisticsBars();
    void PlotHoldsOneMinute();
    void NavigationDatabase();
    void LineRateInStatusBar();
};

void TestWindowsGui::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestWindowsGui::StatisticsFollowTheMenu_data() {
    QTest::addColumn<QString>("off"); // how the statistics are switched off
    QTest::newRow("menu entry") << "menu";
    QTest::newRow("window closed") << "window";
    QTest::newRow("program closed") << "program";
}

void TestWindowsGui::StatisticsFollowTheMenu() {
    QFETCH(QString, off);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    TStats& stats = rig.form->Stats();
    QVERIFY(!stats.isVisible());

    rig.ClickTools(rig.Ui().miStats);
    QVERIFY(rig.Ui().miStats->isChecked());
    QVERIFY(stats.isVisible());
    QCOMPARE(stats.windowTitle(), QString("Statistics"));
    const QRect main = rig.form->frameGeometry();
    QCOMPARE(stats.frameGeometry().topLeft(), QPoint(main.x() + main.width(), main.y()));
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received("$PZRQSTAT,C,1*69"), Timeout);
    QVERIFY(rig.sim->StatisticsRunning());

    // The simulator's reports reach the bars and the plot: its database use is 36 to 39 %.
    QTRY_VERIFY_WITH_TIMEOUT(rig.Bar(sbDBUse)->value() >= 36, Timeout);
    QVERIFY(rig.Bar(sbDBUse)->value() <= 39);
    QVERIFY(rig.Bar(sbProcTime)->value() > 0);
    QVERIFY(!rig.Plotted(sbDBUse).isEmpty());

    if (off == u"window")
        stats.close();
    else if (off == u"program")
        rig.form->close();
    else
        rig.ClickTools(rig.Ui().miStats);
    QVERIFY(!stats.isVisible());
    QVERIFY(!rig.Ui().miStats->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received("$PZRQSTAT,C,0*68"), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.sim->StatisticsRunning(), Timeout);
    QCOMPARE(rig.user.Messages, QStringList());
}

void TestWindowsGui::StatisticsBars() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    // The reports below are the only ones.
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("STAT"));

    // Switched off with no report ever received, the stop is still sent.
    rig.ClickTools(rig.Ui().miStats);
    rig.ClickTools(rig.Ui().miStats);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received("$PZRQSTAT,C,0*68"), Timeout);

    rig.ClickTools(rig.Ui().miStats);
    rig.sim->SendUnasked("$PZRQSTAT,R,1,2,3,4,5,6,8,9,33");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bar(sbSPool)->value(), 33, Timeout);
    // Half the processing time (25 ms), output queue 4 full, the buffer pool as it was.
    rig.sim->SendUnasked("$PZRQSTAT,R,10368,50,10,20,0,0,0,100");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bars(), (TBarValues{33, 50, 10, 20, 0, 0, 0, 100, 10368}),
                              Timeout);
    QCOMPARE(rig.Bar(sbProcTime)->maximum(), 20736);
    // Beyond the maximum: a full bar. Field 4 no number: the rest stay.
    rig.sim->SendUnasked("$PZRQSTAT,R,30000,150,x,1,1,1,1,1");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bars(), (TBarValues{33, 100, 10, 20, 0, 0, 0, 100, 20736}),
                              Timeout);
    // Field 1 other than "R": nothing changes (a report after it shows it was handled).
    rig.sim->SendUnasked("$PZRQSTAT,X,1,2,3,4,5,6,8,9,1");
    rig.sim->SendUnasked("$PZRQSTAT,R,5");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bars(), (TBarValues{33, 100, 10, 20, 0, 0, 0, 100, 5}), Timeout);

    // Reports go on reaching the bars while the window is hidden; showing it again empties
    // every bar but the buffer pool.
    rig.ClickTools(rig.Ui().miStats);
    rig.sim->SendUnasked("$PZRQSTAT,R,7,7,7,7,7,7,7,7,44");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bar(sbSPool)->value(), 44, Timeout);
    rig.ClickTools(rig.Ui().miStats);
    QCOMPARE(rig.Bars(), (TBarValues{44, 0, 0, 0, 0, 0, 0, 0, 0}));
    QVERIFY(rig.Plotted(sbSPool).isEmpty());
}

void TestWindowsGui::PlotHoldsOneMinute() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("STAT"));
    // A clock that advances a second each time it is read: once when the window is shown, then
    // once per report.
    rig.form->Stats().Monitor().SetClock([t = std::make_shared<qint64>(0)] { return *t += 1000; });
    rig.ClickTools(rig.Ui().miStats);

    // 90 reports a second apart; the database use counts them.
    for (int second = 1; second <= 90; ++second)
        rig.sim->SendUnasked(
            QStringLiteral("$PZRQSTAT,R,10368,%1,0,0,0,0,0,0,0").arg(second).toLatin1());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bar(sbDBUse)->value(), 90, Timeout);

    for (const TStatBarInfo& info : StatBars) {
        const QList<QPointF> points = rig.Plotted(info.Bar);
        QCOMPARE(points.size(), 60);
        QCOMPARE(points.first().x(), -59.0);
        QCOMPARE(points.last().x(), 0.0);
    }
    QCOMPARE(rig.Plotted(sbDBUse).first().y(), 31.0);
    QCOMPARE(rig.Plotted(sbDBUse).last().y(), 90.0);
    QCOMPARE(rig.Plotted(sbProcTime).last().y(), 25.0); // milliseconds
}

void TestWindowsGui::NavigationDatabase() {
    TRig rig;
    QAction* entry = rig.Ui().miNavDB;
    QVERIFY(!entry->isVisible());
    // What --navdb does; the entry follows the link like the other device commands.
    rig.form->ShowNavDBEntry();
    QVERIFY(entry->isVisible());
    QVERIFY(!entry->isEnabled());
    QVERIFY(rig.ConnectAndRead());
    QVERIFY(entry->isEnabled());

    rig.ClickTools(entry);
    TNavDBForm& window = rig.form->NavDBForm();
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QString("Navigation Database"));
    QCOMPARE(window.size(), QSize(401, 522));
    QCOMPARE(rig.Grid().geometry(), QRect(8, 48, 385, 441));
    for (const auto& [column, header, width] :
         {std::tuple{0, "Parameter", 100}, {1, "Value", 100}, {2, "Source", 70}}) {
        QCOMPARE(rig.Grid().horizontalHeaderItem(column)->text(), QString(header));
        QCOMPARE(rig.Grid().columnWidth(column), width);
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received("$PZRQDB*0F"), Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(rig.NavDBState(), QString("End of the database: 12 entries."),
                              Timeout);
    QCOMPARE(rig.Grid().rowCount(), 12);
    QCOMPARE(rig.Row(0).first(), QString("Latitude"));
    QCOMPARE(rig.Row(5), (QStringList{"Variation", "1.2 W", "In1"}));
    QCOMPARE(rig.form->Session().Activity(), acIdle);

    // A second query empties the table to one empty row; entries fill it as they arrive.
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("DB"));
    rig.ClickTools(entry);
    QCOMPARE(rig.Grid().rowCount(), 1);
    QCOMPARE(rig.Row(0), (QStringList{"", "", ""}));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim->ReceivedLines().count("$PZRQDB*0F"), 2, Timeout);
    rig.sim->SendUnasked("$PZRQDB,R,Depth,3.2 m,In3");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Row(0), (QStringList{"Depth", "3.2 m", "In3"}), Timeout);
    QCOMPARE(rig.NavDBState(), QString("Reading the database: 1 entries so far..."));
    rig.sim->SendUnasked("$PZRQDB,R,SOG");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Grid().rowCount(), 2, Timeout);
    QCOMPARE(rig.Row(1), (QStringList{"SOG", "", ""}));
    rig.sim->SendUnasked("$PZRQRDY");
    QTRY_COMPARE_WITH_TIMEOUT(rig.NavDBState(), QString("End of the database: 2 entries."),
                              Timeout);
    QCOMPARE(rig.user.Messages, QStringList());
}

void TestWindowsGui::LineRateInStatusBar() {
    TRig rig;
    QLabel* panel = rig.form->statusBar()->findChild<QLabel*>("sbLineRate");
    QCOMPARE(panel->text(), QString("0 lines/s"));
    QVERIFY(rig.ConnectAndRead());
    // Far more than the connection's own exchanges bring in a second.
    rig.sim->SetTrafficRate(200);

    const auto rate = [&] {
        const QStringList words = panel->text().split(u' ');
        return words.size() == 2 ? words[0].toInt() : -1;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(rate() >= 170 && rate() <= 230, qPrintable(panel->text()), Timeout);
    rig.sim->SetTrafficRate(0);
    // The second without lines shows 0.
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QString("0 lines/s"), 2500);
}

QTEST_MAIN(TestWindowsGui)
#include "tst_windows_gui.moc"
