// The transport's receive side: the line framer alone, and whole lines through a loopback
// TCP link, from the peer's socket to the consumer's PopLine.
#include "comms/Comms.h"
#include "comms/Framing.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <thread>

namespace {

// Lines as a busy multiplexer forwards them, TAG blocks and all.
const QList<QByteArray>& Corpus() {
    static const QList<QByteArray> lines{
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
        "$IIMWV,045.0,R,12.6,N,A*2B",
        "$SDDPT,12.3,0.5*6F",
        "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26",
        "\\s:CVZ0001-3,c:1700000000*5B\\$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,"
        "230394,003.1,W*6A",
        "\\s:CVZ0001#1C,c:1700000000*20\\$IIMWV,045.0,R,12.6,N,A*2B",
        "$PZRQSTAT,R,10368,50,10,20,0,0,0,100,12*00",
    };
    return lines;
}

QByteArray Stream(qsizetype minimumSize) {
    QByteArray stream;
    while (stream.size() < minimumSize)
        for (const QByteArray& line : Corpus())
            stream += line + "\r\n";
    return stream;
}

void LineFramer(benchmark::State& state) {
    const QByteArray stream = Stream(4 * 1024 * 1024);
    const qsizetype chunk = state.range(0);
    qint64 lines = 0;
    for (auto _ : state) {
        TLineFramer framer;
        for (qsizetype at = 0; at < stream.size(); at += chunk)
            framer.Feed(stream.constData() + at, std::min(chunk, stream.size() - at),
                        [&lines](QByteArray line) {
                            benchmark::DoNotOptimize(line.constData());
                            ++lines;
                        });
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
    state.counters["lines/s"] = benchmark::Counter(double(lines), benchmark::Counter::kIsRate);
}
// A serial read, a TCP read.
BENCHMARK(LineFramer)->Arg(1024)->Arg(64 * 1024);

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "tidewright-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    return app;
}

// Sequence-numbered lines cut into realistic sentences, every one checked on arrival.
void TcpLinesEndToEnd(benchmark::State& state) {
    Application();
    const int count = int(state.range(0));
    QList<QByteArray> expected;
    expected.reserve(count);
    QByteArray stream;
    for (int i = 0; i < count; ++i) {
        const QByteArray& sample = Corpus()[i % Corpus().size()];
        expected.append(sample + "," + QByteArray::number(i));
        stream += expected.back() + "\r\n";
    }

    qint64 total = 0;
    bool intact = true;
    for (auto _ : state) {
        state.PauseTiming();
        TComm comm;
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        comm.Open(lkTcp, QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), 0);
        server.waitForNewConnection(5000);
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        if (!peer) {
            state.SkipWithError("no connection");
            break;
        }
        state.ResumeTiming();

        // The consumer drains on its own thread, as the receive pump does on the UI thread.
        int taken = 0;
        std::thread consumer([&] {
            QElapsedTimer timer;
            timer.start();
            while (taken < count && timer.elapsed() < 60000) {
                const std::optional<QByteArray> line = comm.PopLine();
                if (!line) {
                    std::this_thread::yield();
                    continue;
                }
                if (*line != expected[taken])
                    intact = false;
                ++taken;
            }
        });
        peer->write(stream);
        while (peer->bytesToWrite() > 0)
            peer->waitForBytesWritten(1000);
        consumer.join();
        total += taken;
        if (taken != count)
            intact = false;

        state.PauseTiming();
        comm.Close();
        state.ResumeTiming();
    }
    if (!intact)
        state.SkipWithError("lines were lost or reordered");
    state.counters["lines/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
}
BENCHMARK(TcpLinesEndToEnd)->Arg(500000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
