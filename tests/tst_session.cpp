// The session with the multiplexer without a window: identification and its time-out, waits,
// refusing work while the device is busy, the overflow lamps, against the simulated
// multiplexer over TCP and UDP.
#include "SessionLink.h"

#include "comms/Comms.h"
#include "config/ConfigJobs.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "nmea/Nmea.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int Timeout = 10000;
const QString MsgBusy =
    QStringLiteral("The multiplexer is busy. Please try again when it has finished.");

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void RefreshingScopeRestoresTheEarlierValue_data();
    void RefreshingScopeRestoresTheEarlierValue();
    void BusyRefusesLoadAndRead_data();
    void BusyRefusesLoadAndRead();
    void LateVersionAnswerIsIdentified();
    void Identification_data();
    void Identification();
    void UdpAllIdentifiesNothing();
    void SilentMultiplexerTimesOut();
    void NestedWaitsEachGetTheirReply();
    void BadReportsNeverLeaveRefreshingSet();
    void OverflowLamps();
    void SeaTalkConverterFound();
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
    TConfigJobs jobs(*link.session, link.user);
    bool refused = false;
    const auto attempt = [&] {
        refused = load ? jobs.LoadConfiguration(file).Result == jrRefused
                       : !link.session->ReadConfiguration();
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
        QVERIFY(jobs.LoadConfiguration(file).Done());
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

void TestSession::Identification_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("readsConfig");
    QTest::addColumn<QString>("said"); // what the user was told or asked; empty: nothing

    const QString incompatible = "Tidewright has detected incompatible firmware in\nyour "
                                 "Corvanta.\n\nWould you like to perform an automatic update?";
    QTest::newRow("3.13 refused") << "3.13.9.,CPX,1,A010" << 0 << false << incompatible;
    QTest::newRow("3.14 read as 3.0") << "3.14,CPX,1,A010" << 0 << false << incompatible;
    QTest::newRow("3.14.0 accepted") << "3.14.0,CPX,1,A010" << 0 << true << "";
    QTest::newRow("4.0.0 accepted") << "4.0.0,CPX,1,A010" << 0 << true << "";
    QTest::newRow("model 2") << "3.14.0,CPX,1,A002" << 2 << true << "";
    QTest::newRow("8002 refused")
        << "3.14.0,CPX,1,8002" << -1 << true
        << "This version of Tidewright does not support\nthe connected multiplexer.";
    QTest::newRow("not hexadecimal")
        << "3.14.0,CPX,1,A0G2" << -1 << true << "Unable to read Corvanta capabilities!";
    QTest::newRow("two characters ignored") << "3.14.0,CPX,1,12" << -1 << true << "";
    QTest::newRow("no capabilities") << "3.14.0,CPX,1" << -1 << true << "";
}

void TestSession::Identification() {
    QFETCH(QString, reply);
    QFETCH(int, model);
    QFETCH(bool, readsConfig);
    QFETCH(QString, said);

    TLink link;
    link.sim->SetFault(sfNoAnswer, QStringLiteral("VER"));
    QVERIFY(link.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(link.Received("$PZRQVER*48"), Timeout);
    QSignalSpy finished(link.session.get(), &TSession::ReadFinished);
    link.sim->SendUnasked("$PZRQVER," + reply.toLatin1());

    if (readsConfig) {
        QVERIFY(finished.wait(Timeout));
        QVERIFY(link.Received("$PZRQCFQ*5D"));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(link.session->Activity(), acIdle, Timeout);
        QVERIFY(link.session->ViewerGreyed);
        link.QueryAndWait();
        QVERIFY(!link.Received("$PZRQCFQ*5D"));
    }
    QCOMPARE(link.session->DeviceModel(), model);
    QCOMPARE(link.session->Identification().DeviceName, QString("CPX"));
    QCOMPARE((link.user.Messages + link.user.Questions).join('|'), said);
}

void TestSession::UdpAllIdentifiesNothing() {
    TSimulator::TOptions options;
    options.udp = true;
    TLink link(options);
    QVERIFY(link.Connect(SelectorUdpAll));
    QTRY_VERIFY_WITH_TIMEOUT(link.Received("$PZRQVER*48"), Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(link.session->Activity(), acIdle, Timeout);
    // The answer to the identification is on its way back; give it the time it takes.
    QTest::qWait(300);
    QVERIFY(link.session->Identification().DeviceName.isEmpty());
    QVERIFY(link.session->Identification().FirmwareText.isEmpty());
    QCOMPARE(link.session->DeviceModel(), -1);
    QVERIFY(!link.Received("$PZRQCFQ*5D"));
    QVERIFY(link.user.Messages.isEmpty());
}

void TestSession::SilentMultiplexerTimesOut() {
    TLink link;
    link.sim->SetFault(sfNoAnswer, QStringLiteral("VER"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.Connect());
    QCOMPARE(link.session->Activity(), acIdentify);
    QTRY_COMPARE_WITH_TIMEOUT(link.user.Messages, QStringList{"Multiplexer does not respond"},
                              Timeout);
    QVERIFY(clock.elapsed() >= 4000); // never before its time
    QVERIFY2(clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(link.session->Activity(), acIdle);
    QCOMPARE(link.session->DeviceModel(), -1);
}

void TestSession::NestedWaitsEachGetTheirReply() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    link.sim->SetFault(sfDelay, 300);
    TSession& session = *link.session;
    bool innerDone = false;
    // While the outer command waits, a timer starts a second command (as a click would).
    QTimer::singleShot(50, &session, [&] {
        session.SendAndWait(QStringLiteral("$PZRQUI,C,ABC"), nkUI);
        innerDone = true;
    });
    session.SendAndWait(FormatCommand(nkOP, session.Config), nkOP);
    QVERIFY(innerDone);
    QCOMPARE(session.WaitDepth(), 0);
    QCOMPARE(session.AwaitedKind(), quint8(0));
    QVERIFY2(link.user.Messages.isEmpty(), qPrintable(link.user.Messages.join('|')));
}

void TestSession::BadReportsNeverLeaveRefreshingSet() {
    TLink link;
    link.sim->SetFault(sfMalformedReport);
    QVERIFY(link.ConnectAndRead());
    QVERIFY(!link.user.Errors.isEmpty());
    QVERIFY(link.user.Errors.first().startsWith("Parameter error in sentence:\n$PZRQ"));
    QVERIFY(!link.session->Refreshing);
    QCOMPARE(link.session->Activity(), acIdle);
}

void TestSession::OverflowLamps() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    QSignalSpy lamps(link.session.get(), &TSession::OverflowChanged);
    link.sim->SendUnasked("$PZRQOV,5");
    QVERIFY(lamps.wait(Timeout));
    QCOMPARE(lamps.last().at(0).value<quint8>(), quint8(0x5));
    QCOMPARE(link.session->OverflowLamps, quint8(0x5));
    // The lamps stay lit for half a second after the last report.
    QElapsedTimer lit;
    lit.start();
    QVERIFY(lamps.wait(2000));
    QVERIFY2(lit.elapsed() >= 400 && lit.elapsed() < 1000,
             qPrintable(QString::number(lit.elapsed())));
    QCOMPARE(lamps.last().at(0).value<quint8>(), quint8(0));
    QCOMPARE(link.session->OverflowLamps, quint8(0));
    // A report that is no number lights nothing; the next one does.
    link.sim->SendUnasked("$PZRQOV,X");
    link.sim->SendUnasked("$PZRQOV,C");
    QVERIFY(lamps.wait(Timeout));
    QCOMPARE(lamps.last().at(0).value<quint8>(), quint8(0xC));
    QCOMPARE(lamps.size(), 3);
}

void TestSession::SeaTalkConverterFound() {
    TLink link;
    QVERIFY(link.sim->SetConfigFields("IN", {"7", "1", "0", "0", "0", "0", "0", "2"}));
    QVERIFY(link.ConnectAndRead());
    QCOMPARE(link.session->Config.ModeIn[0], 7);

    link.session->ConverterFound();
    QCOMPARE(link.user.Messages, QStringList{"Raymarine SeaTalk-STNG Converter found.\nInput 1 is "
                                             "set from SeaTalk-STNG to\nSeaTalk to avoid a "
                                             "data-loop."});
    QCOMPARE(link.session->Config.ModeIn[0], 6);
    QVERIFY(link.Received(QString::fromLatin1(NmeaLine("$PZRQIN,C,6,1,0,0,0,0,0,2").trimmed())));
    QCOMPARE(link.sim->ConfigFields("IN").value(0), QString("6"));

    // Only an input in SeaTalk-STNG mode is changed.
    link.session->ConverterFound();
    QCOMPARE(link.user.Messages.size(), 1);
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
