// A full scan of the NMEA 2000 network: 20 simulated devices over loopback TCP, through the
// session's receive pump and the device list, as the program does it. The scan's own timers
// (500 ms for the address claims, 50 ms before each further device) set its least possible
// time; the counters show the time beyond them.
#include "n2k/N2K.h"
#include "session/Session.h"
#include "session/User.h"
#include "sim/Simulator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int DeviceCount = 20;

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "tidewright-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

// Nobody to tell anything during a benchmark.
class TQuietUser : public IUser {
public:
    void ShowMessage(const QString&) override {}
    void ShowWarning(const QString&) override {}
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString&) override {}
};

// Runs the event loop until the list's scan is over (or 60 s have passed).
bool AwaitScanEnd(TN2KDeviceList& list) {
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&list, &TN2KDeviceList::Changed, &loop, [&] {
        if (list.ScanState() == nsIdle)
            loop.quit();
    });
    guard.start(60000);
    if (list.ScanState() != nsIdle)
        loop.exec();
    return list.ScanState() == nsIdle;
}

void BM_N2KScan20Devices(benchmark::State& state) {
    EnsureApplication();
    TSimulator::TOptions options;
    options.n2kDevices = ManyN2KDevices(DeviceCount);
    TSimulator sim(options);
    sim.Start();
    TQuietUser user;
    TSession session(user);
    TN2KDeviceList list(session);
    if (!session.Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                         QString::number(sim.TcpPort()))) {
        state.SkipWithError("no link to the simulator");
        return;
    }
    // The identification's own scan, and the configuration read beside it, come first.
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
    AwaitScanEnd(list);

    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        list.Scan();
        const bool ended = AwaitScanEnd(list);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!ended || list.Count() != DeviceCount) {
            state.SkipWithError("the scan did not find every device");
            return;
        }
    }
    const double timersMs =
        TN2KDeviceList::StepMs + (DeviceCount - 1) * TN2KDeviceList::NextDeviceMs;
    state.counters["timers_ms"] = timersMs;
    state.counters["devices"] = DeviceCount;
}
BENCHMARK(BM_N2KScan20Devices)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
