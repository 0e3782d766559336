#pragma once

// The fixture of the headless session and job tests: a session with its scripted user and an
// in-process simulator to talk to over loopback.
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "config/MuxConfig.h"
#include "nmea/Nmea.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// The simulator listens on a loopback address of its own, so that a UDP link, which binds the
// same port number on every local address, does not receive the simulator's own datagrams.
inline const QHostAddress SimAddress(QStringLiteral("127.0.0.2"));

struct TLink {
    static constexpr int Timeout = 10000;

    explicit TLink(TSimulator::TOptions options = {}) {
        options.listen = SimAddress;
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
    }
    ~TLink() {
        session.reset();
        sim.reset();
    }
    TLink(const TLink&) = delete;
    TLink& operator=(const TLink&) = delete;

    bool Connect(int selector = SelectorTcp) {
        const quint16 port = selector == SelectorTcp ? sim->TcpPort() : sim->UdpPort();
        return session->Connect(selector, SimAddress.toString(), QString::number(port));
    }
    bool ConnectAndRead() {
        QSignalSpy finished(session.get(), &TSession::ReadFinished);
        return Connect() && finished.wait(Timeout);
    }
    bool Received(const QString& line) const { return sim->ReceivedLines().contains(line); }
    // Whatever the session sent before this would have reached the simulator first.
    void QueryAndWait() { session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI); }
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
inline QString RoutesFile(const QTemporaryDir& dir, int routes) {
    TMuxConfig config;
    for (int i = 0; i < routes; ++i)
        config.AddRoute(QStringLiteral("GP%1").arg(i, 3, 10, QChar(u'0')), 0x0001, 0, 0x41, 0,
                        NoSourceAddress);
    const QString file = dir.filePath(QStringLiteral("routes.ini"));
    config.SaveToFile(file, ToolText(), "", "", "");
    return file;
}
