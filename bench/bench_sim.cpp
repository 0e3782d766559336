// The simulator as a test partner: how quickly it answers over loopback TCP, and how cheaply
// it makes traffic.
#include "nmea/Nmea.h"
#include "sim/SimTraffic.h"
#include "sim/Simulator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <memory>

namespace {

// The simulator's thread needs an application object; the benchmark runner makes none.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "tidewright-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

struct TLink {
    TLink() {
        EnsureApplication();
        sim = std::make_unique<TSimulator>();
        sim->Start();
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.connectToHost(QHostAddress::LocalHost, sim->TcpPort());
        socket.waitForConnected(5000);
    }
    // Reads until a line starting with prefix has come; false after 5 s without one.
    bool Await(const QByteArray& prefix) {
        for (int i = 0; i < 100000; ++i) {
            const qsizetype end = buffer.indexOf("\r\n");
            if (end >= 0) {
                const bool found = buffer.startsWith(prefix);
                buffer.remove(0, end + 2);
                if (found)
                    return true;
                continue;
            }
            if (!socket.waitForReadyRead(5000))
                return false;
            buffer += socket.readAll();
        }
        return false;
    }

    std::unique_ptr<TSimulator> sim;
    QTcpSocket socket;
    QByteArray buffer;
};

void BM_SimVersionRoundTrip(benchmark::State& state) {
    TLink link;
    const QByteArray request = NmeaLine("$PZRQVER") + "\r\n";
    for (auto _ : state) {
        link.socket.write(request);
        if (!link.Await("$PZRQVER")) {
            state.SkipWithError("no answer");
            break;
        }
    }
}
BENCHMARK(BM_SimVersionRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_SimConfigurationDump(benchmark::State& state) {
    TLink link;
    QList<TSimRoute> routes;
    for (int i = 0; i < TSimConfig::MaxRoutes; ++i)
        routes.append({QStringLiteral("GPR%1").arg(i, 2, 10, QChar(u'0')), 1, 0, 1, 0});
    link.sim->SetTables(routes, QList<TSimModbus>(TSimConfig::MaxModbus, TSimModbus{}));
    const QByteArray request = NmeaLine("$PZRQCFQ") + "\r\n";
    for (auto _ : state) {
        link.socket.write(request);
        if (!link.Await("$PZRQRDY")) {
            state.SkipWithError("no end of dump");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() *
                            (13 + TSimConfig::MaxRoutes + TSimConfig::MaxModbus + 1));
}
BENCHMARK(BM_SimConfigurationDump)->Unit(benchmark::kMicrosecond);

void BM_SimTrafficSentence(benchmark::State& state) {
    TSimTraffic traffic;
    TSimTrafficContext context;
    context.n2kOptions = 0xFFFFFFFF;
    context.conversions = 0xFFFFFFFF;
    context.gpsAddress = 10;
    context.headingAddress = 28;
    context.depthAddress = 35;
    context.windAddress = 66;
    for (auto _ : state) {
        traffic.Advance(0.01);
        benchmark::DoNotOptimize(NmeaLine(traffic.Next(context).text));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimTrafficSentence);

} // namespace
