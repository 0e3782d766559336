#pragma once

// The fixture of the NMEA 2000 tests: a simulated multiplexer with its network, a session
// connected to it over loopback TCP, and the device list that the session feeds.
#include "ScriptedUser.h"

#include "n2k/N2K.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The simulator's options with this network on it.
inline TSimulator::TOptions N2KOptions(const QList<TSimN2KDevice>& devices = DefaultN2KDevices()) {
    TSimulator::TOptions options;
    options.n2kDevices = devices;
    return options;
}

// A golden file of tests/data; empty when it is missing.
inline QByteArray GoldenFile(const QString& name) {
    QFile file(QStringLiteral(TW_TEST_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct TN2KRig {
    // What the device list showed at each change notification.
    struct TStep {
        qint64 Ms;
        TN2KScanState State;
        quint8 Current;
        int Count;
    };

    explicit TN2KRig(const TSimulator::TOptions& options = N2KOptions()) {
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
        list = std::make_unique<TN2KDeviceList>(*session);
        QObject::connect(list.get(), &TN2KDeviceList::Changed, [this] {
            steps.append(
                {clock.elapsed(), list->ScanState(), list->CurrentAddress(), list->Count()});
        });
        clock.start();
    }
    ~TN2KRig() {
        list.reset();
        session.reset();
        sim.reset();
    }

    bool Connect() {
        QSignalSpy finished(session.get(), &TSession::ReadFinished);
        return session->Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                                QString::number(sim->TcpPort())) &&
               (finished.count() > 0 || finished.wait(10000));
    }

    // True once a scan has run and ended.
    bool ScanEnded(int timeoutMs = 15000) {
        QElapsedTimer waited;
        waited.start();
        const auto ended = [this] {
            bool started = false;
            for (const TStep& step : steps)
                started = started || step.State == nsAddressClaim;
            return started && list->ScanState() == nsIdle;
        };
        while (!ended() && waited.elapsed() < timeoutMs)
            QTest::qWait(10);
        return ended();
    }

    // How often the multiplexer was asked for the product information of an address.
    int ProductRequests(quint8 address) const {
        return int(
            sim->ReceivedLines().filter(QStringLiteral("$PZRQNR,126996,%1*").arg(address)).size());
    }

    // The multiplexer has answered everything sent before this.
    bool Synchronised() {
        try {
            session->SendAndWait(QStringLiteral("$PZRQVER"), nkVER);
            return true;
        } catch (const EError&) {
            return false;
        }
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
    std::unique_ptr<TN2KDeviceList> list;
    QList<TStep> steps;
    QElapsedTimer clock;
};
