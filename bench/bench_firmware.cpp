// The firmware update over loopback TCP against the simulator: the bootloader exchange of the
// built-in image (312 pages, one command and its reply at a time), and the whole job with the
// simulated multiplexer's own start-up delays set to (next to) zero.
#include "comms/Comms.h"
#include "firmware/FwImage.h"
#include "firmware/FwUpdate.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "session/User.h"
#include "sim/Simulator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "tidewright-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

// Says nothing and answers No (so nothing is restored).
class TQuietUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Said += text + u'\n'; }
    void ShowWarning(const QString& text) override { Said += text + u'\n'; }
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString& text) override { Said += text + u'\n'; }
    QString Said;
};

struct TConnected {
    explicit TConnected(const TSimulator::TOptions& options) {
        EnsureApplication();
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
        QEventLoop loop;
        bool read = false;
        QObject::connect(session.get(), &TSession::ReadFinished, &loop, [&] {
            read = true;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (session->Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                             QString::number(sim->TcpPort())) &&
            !read)
            loop.exec();
        ok = read;
    }
    ~TConnected() {
        session.reset();
        sim.reset();
    }
    TQuietUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
    bool ok = false;
};

void BM_FirmwareBootloader312Pages(benchmark::State& state) {
    TSimulator::TOptions options;
    options.restartDelayMs = 3600 * 1000; // stays in its bootloader between runs
    TConnected link(options);
    const TFirmwareImage& image = LoadFirmwareImage(BuiltInImageSource);
    link.session->SendSentence(QStringLiteral("$PZRQRESET"));
    link.session->WaitForReply(nkLDR, 4000);
    for (auto _ : state) {
        try {
            RunBootloader(link.session->Comm(), image, nullptr);
        } catch (const EError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * image.PageCount());
    state.SetBytesProcessed(state.iterations() * image.PageCount() * FwPageSize);
}
BENCHMARK(BM_FirmwareBootloader312Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirmwareUpdateJob(benchmark::State& state) {
    // The configuration kept across each update goes to a folder that is thrown away.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    TSimulator::TOptions options;
    // The restarted application must not speak before the program has left packet mode, as
    // a real one takes its time to start.
    options.bootDelayMs = 0;
    options.restartDelayMs = 20;
    TConnected link(options);
    for (auto _ : state) {
        // The configuration is read and saved before, and read again after.
        if (!TFwUpdate(*link.session).Run(BuiltInImageSource, TFwUpdate::rsNever)) {
            state.SkipWithError(qPrintable(link.user.Said));
            break;
        }
        state.PauseTiming();
        while (link.session->Activity() != acIdle)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirmwareUpdateJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
