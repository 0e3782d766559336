#pragma once

// The fixture of the simulator tests: a simulator started in-process and one client connected
// to it over loopback TCP. A test class takes it in beside QObject and calls Start from init()
// (or from the test, with options of its own) and Stop from cleanup().
#include "SimClient.h"
#include "sim/Simulator.h"

#include <QTest>

#include <memory>

class TSimRig {
protected:
    // A fresh simulator with these options and a client it has taken.
    void Start(const TSimulator::TOptions& options = {}) {
        client.reset();
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        client = std::make_unique<TSimClient>();
        QVERIFY(client->Connect(sim->TcpPort()));
        // Unasked lines reach only connections the simulator has taken.
        QTRY_COMPARE_WITH_TIMEOUT(sim->TcpConnections(), 1, 5000);
    }

    void Stop() {
        client.reset();
        sim.reset();
    }

    // The reset that starts a firmware update; the bootloader announces itself with the
    // default multiplexer type.
    void EnterBootloader() {
        client->Send("$PZRQRESET");
        QCOMPARE(client->Line(4000), QByteArray("$PZRQLDR,94*72\r\n"));
        QVERIFY(sim->InBootloader());
    }

    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSimClient> client;
};
