// The session with the multiplexer without a window: storing tables, refusing work while the
// device is busy, the identification time-out, against the simulated multiplexer over TCP.
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int Timeout = 10000;
const QString MsgBusy =
    QStringLiteral("The multiplexer is busy. Please try again when it has finished.");

// A session with its scripted user and a simulator to talk to.
struct TLink {
    explicit TLink(const TSimulator::TOptions& options = {}) {
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
    }
    ~TLink() {
        session.reset();
        sim.reset();
    }

    bool Connect() {
        return session->Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                                QString::number(sim->TcpPort()));
    }
    bool ConnectAndRead() {
        QSignalSpy finished(session.get(), &TSession::ReadFinished);
        return Connect() && finished.wait(Timeout);
    }
    int Count(const QString& prefix) const {
        int count = 0;
        for (const QString& line : sim->ReceivedLines())
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
};

// A configuration file with this many routes.
QString RoutesFile(const QTemporaryDir& dir, int routes) {
    TMuxConfig config;
    for (int i = 0; i < routes; ++i)
        config.AddRoute(QStringLiteral("GP%1").arg(i, 3, 10, QChar(u'0')), 0x0001, 0, 0x41, 0,
                        NoSourceAddress);
    const QString file = dir.filePath(QStringLiteral("routes.ini"));
    config.SaveToFile(file, ToolText(), "", "", "");
    return file;
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void RefreshingScopeRestoresTheEarlierValue_data();
    void RefreshingScopeRestoresTheEarlierValue();
    void StoreWaitsForTheLastAnswer_data();
    void StoreWaitsForTheLastAnswer();
    void LinkLostWhileStoring();
    void BusyRefusesLoadAndRead_data();
    void BusyRefusesLoadAndRead();
    void LateVersionAnswerIsIdentified();
    void OpenFailureNamesThePort();
};

void TestSession::RefreshingScopeRestoresTheEarlierValue_data() {
    QTest::addColumn<bool>("earlier");
    QTest::newRow("not refreshing before") << false;
    QTest::newRow("refreshing before") << true;
}

void TestSession::RefreshingScopeRestoresTheEarlierValue() {
    QFETCH(bool, earlier);
    bool refreshing = earlier;
    {
        const TRefreshingScope outer(refreshing);
        QVERIFY(refreshing);
        {
            // A refresh nested in a dispatch (a control filled while a report is handled)
            // leaves the outer one refreshing.
            const TRefreshingScope inner(refreshing);
            QVERIFY(refreshing);
        }
        QVERIFY(refreshing);
    }
    QCOMPARE(refreshing, earlier);
}

void TestSession::StoreWaitsForTheLastAnswer_data() {
    QTest::addColumn<bool>("eachLine");
    QTest::addColumn<int>("routes");
    QTest::newRow("one answer for the table") << false << 20;
    QTest::newRow("an answer for every line") << true << 20;
    QTest::newRow("one line, one answer") << true << 1;
}

void TestSession::StoreWaitsForTheLastAnswer() {
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

    link.session->StoreRoutes();
    // The DELETE's answer and every answer to the lines have come in.
    QCOMPARE(answers, 1 + (eachLine ? routes : 1));
    QCOMPARE(link.sim->Routes().size(), routes);
    // Nothing of the Store's is left on its way to answer a later wait.
    link.session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI);
    QCOMPARE(answers, 1 + (eachLine ? routes : 1));
    QVERIFY(link.user.Messages.isEmpty());
}

void TestSession::LinkLostWhileStoring() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    QTemporaryDir dir;
    const QString file = RoutesFile(dir, 20);
    link.sim->SetFault(sfDropAfterTableLine, 1);

    QVERIFY(!link.session->LoadConfiguration(file));
    // Said once, by the disconnect; the Store stopped at the first failed send.
    QCOMPARE(link.user.Messages, QStringList{"TCP Connection lost"});
    QVERIFY(link.user.Errors.isEmpty());
    QVERIFY(!link.session->IsOpen());
    QVERIFY(link.session->Config.Routes.isEmpty());
    QCOMPARE(link.sim->Routes().size(), 1);
    QCOMPARE(link.session->WaitDepth(), 0);
}

void TestSession::BusyRefusesLoadAndRead_data() {
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("load"); // else Read Configuration
    for (const char* during : {"identification", "configuration read", "write"}) {
        QTest::addRow("load during %s", during) << QString::fromLatin1(during) << true;
        QTest::addRow("read during %s", during) << QString::fromLatin1(during) << false;
    }
}

void TestSession::BusyRefusesLoadAndRead() {
    QFETCH(QString, during);
    QFETCH(bool, load);
    TLink link;
    QTemporaryDir dir;
    const QString file = RoutesFile(dir, 2);
    bool refused = false;
    const auto attempt = [&] {
        refused =
            load ? !link.session->LoadConfiguration(file) : !link.session->ReadConfiguration();
    };

    if (during == u"identification") {
        link.sim->SetFault(sfNoAnswer, QStringLiteral("VER"));
        QVERIFY(link.Connect());
        QCOMPARE(link.session->Activity(), acIdentify);
        attempt();
    } else if (during == u"configuration read") {
        link.sim->SetFault(sfNoAnswer, QStringLiteral("CFQ"));
        QVERIFY(link.Connect());
        QTRY_COMPARE_WITH_TIMEOUT(link.session->Activity(), acReadConfig, Timeout);
        attempt();
    } else {
        QVERIFY(link.ConnectAndRead());
        link.sim->SetFault(sfDelay, 100);
        // The second attempt comes while the first Load waits for an answer.
        QTimer::singleShot(50, this, attempt);
        QVERIFY(link.session->LoadConfiguration(file));
    }
    QVERIFY(refused);
    QCOMPARE(link.user.Messages, QStringList{MsgBusy});

    // Whatever the refused command would have sent would come before this answer.
    link.session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI);
    QCOMPARE(link.Count(QStringLiteral("$PZRQVER")), 1);
    QCOMPARE(link.Count(QStringLiteral("$PZRQCF,C")), during == u"write" ? 1 : 0);
    QCOMPARE(link.Count(QStringLiteral("$PZRQRTE,C,DELETE")), during == u"write" ? 1 : 0);
}

void TestSession::LateVersionAnswerIsIdentified() {
    TLink link;
    // Answered a tenth of a second inside the 4000 ms the identification waits.
    link.sim->SetFault(sfDelay, 3900);
    QVERIFY(link.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(link.session->Activity() != acIdentify, Timeout);
    QCOMPARE(link.session->Activity(), acReadConfig);
    QCOMPARE(link.session->Identification().DeviceName, QString("Corvanta-PX"));
    QCOMPARE(link.session->DeviceModel(), 0);
    QVERIFY2(link.user.Messages.isEmpty(), qPrintable(link.user.Messages.join('|')));
}

void TestSession::OpenFailureNamesThePort() {
    TScriptedUser user;
    TSession session(user);
    const int index =
        session.AddSerialDevice(QStringLiteral("/dev/tidewright-no-such-port"), "USB Serial Port");
    QCOMPARE(session.DisplayNames().at(index),
             QString("USB Serial Port (/dev/tidewright-no-such-port)"));
    QVERIFY(!session.Connect(index, QString(), QString()));
    QCOMPARE(user.Messages, QStringList{"Unable to open USB Serial Port "
                                        "(/dev/tidewright-no-such-port).\nThe port may be opened "
                                        "by another application."});
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
