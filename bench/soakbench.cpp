// A long run of one session against the in-process simulated multiplexer, as a boat's computer
// would run it all day:
//   - traffic of 2,000 numbered lines a second from the multiplexer,
//   - a configuration read and a configuration write every few seconds,
//   - once a minute the multiplexer drops the TCP connection and the session connects again.
// At the end (and once a minute) it prints the lines received, the lines lost while connected
// (numbers missing other than while the link was down for its reconnection; must be 0), the
// growth of the resident memory since the first minute, and the open file descriptors.
//   tidewright-soakbench [MINUTES]     (default 5)
// Prints figures; the exit code is 1 only when lines were lost or a job failed.
#include "config/ConfigJobs.h"
#include "config/MuxConfig.h"
#include "nmea/Nmea.h"
#include "session/Session.h"
#include "session/User.h"
#include "sim/Simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <cstdio>
#include <limits>
#include <thread>

namespace {

constexpr int LinesPerSecond = 2000;
constexpr int JobEveryMs = 5000;
constexpr int DropEveryMs = 60000;

class TCountingUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Said(text); }
    void ShowWarning(const QString& text) override { Said(text); }
    bool AskYesNo(const QString& text) override {
        Said(text);
        return false;
    }
    void ShowError(const QString& text) override { Said(text); }

    int ConnectionsLost = 0;
    int Other = 0;

private:
    void Said(const QString& text) {
        if (text == u"TCP Connection lost") {
            ++ConnectionsLost;
        } else {
            ++Other;
            std::fprintf(stderr, "said: %s\n", qPrintable(text));
        }
    }
};

qint64 ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The bytes the heap has handed out and not taken back: unlike the resident size, it does not
// move with how the allocator keeps its free memory, so a steady rise is a leak.
qint64 HeapInUseKiB() {
#ifdef __GLIBC__
    return qint64(mallinfo2().uordblks / 1024);
#else
    return -1;
#endif
}

qsizetype OpenFiles() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files | QDir::Dirs)
        .size();
}

// Traffic numbers sent from the moment a drop was asked for to the moment the session was
// connected again: lines of these may be lost, since no connection was there to carry them.
struct TOffline {
    qint64 From = 0;
    qint64 To = -1;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    TSimulator::TOptions options;
    TSimulator sim(options);
    sim.Start();
    TCountingUser user;
    TSession session(user);

    // Traffic: numbered lines from a thread of their own, 20 every 10 ms.
    std::atomic<bool> stop{false};
    std::atomic<qint64> sent{0};
    std::thread feeder([&] {
        QElapsedTimer clock;
        clock.start();
        qint64 next = 0;
        while (!stop) {
            const qint64 due = clock.elapsed() * LinesPerSecond / 1000;
            for (; next < due && !stop; ++next)
                sim.SendUnasked("$GPTXT,01,01,00,SOAK " + QByteArray::number(next));
            sent = next;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    // Lines must arrive in order; a gap in the numbers is a loss unless it lies in a time
    // without connection.
    QList<TOffline> offline{{0, -1}};
    qint64 received = 0, last = -1, lostConnected = 0, lostOffline = 0, disordered = 0;
    QObject::connect(&session, &TSession::SentenceShown, [&](const QString& text) {
        const qsizetype at = text.indexOf(u"SOAK ");
        if (at < 0)
            return;
        const qint64 number = QStringView(text).mid(at + 5).split(u'*').value(0).toLongLong();
        ++received;
        if (number <= last) {
            ++disordered;
            return;
        }
        if (number > last + 1) {
            bool excused = false;
            for (const TOffline& span : offline)
                excused = excused || (last + 1 >= span.From && number - 1 <= span.To);
            (excused ? lostOffline : lostConnected) += number - last - 1;
        }
        last = number;
    });

    const auto connect = [&] {
        QSignalSpy finished(&session, &TSession::ReadFinished);
        const bool up = session.Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                                        QString::number(sim.TcpPort()));
        // The simulator takes the connection before the version reply goes out.
        offline.last().To = sent.load() + LinesPerSecond / 10;
        return up && finished.wait(20000);
    };
    if (!connect()) {
        std::fprintf(stderr, "cannot connect to the simulator\n");
        return 2;
    }

    int reads = 0, writes = 0, failedJobs = 0, drops = 0;
    qint64 rssStart = -1, heapStart = -1;
    QElapsedTimer clock;
    clock.start();
    qint64 nextJob = JobEveryMs, nextDrop = DropEveryMs, nextReport = 60000;
    const qint64 end = qint64(minutes) * 60000;
    bool readNext = true;

    const auto report = [&](const char* when) {
        std::printf(
            "%s %5.1f min: sent %lld, received %lld, lost while connected %lld (out of "
            "order %lld), lost while reconnecting %lld, reads %d, writes %d, failed "
            "jobs %d, drops %d, RSS %lld KiB (%+lld since minute 1), heap in use %lld "
            "KiB (%+lld), open fds %lld\n",
            when, clock.elapsed() / 60000.0, qlonglong(sent.load()), qlonglong(received),
            qlonglong(lostConnected), qlonglong(disordered), qlonglong(lostOffline), reads, writes,
            failedJobs, drops, qlonglong(ResidentKiB()),
            qlonglong(rssStart < 0 ? 0 : ResidentKiB() - rssStart), qlonglong(HeapInUseKiB()),
            qlonglong(heapStart < 0 ? 0 : HeapInUseKiB() - heapStart), qlonglong(OpenFiles()));
        std::fflush(stdout);
        return lostConnected + disordered;
    };

    while (clock.elapsed() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 20)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        const qint64 now = clock.elapsed();

        if (!session.IsOpen()) {
            // The multiplexer dropped the link: take it up again.
            sim.ClearFaults();
            if (!connect())
                ++failedJobs;
            continue;
        }
        if (now >= nextDrop) {
            nextDrop += DropEveryMs;
            ++drops;
            offline.append({sent.load(), std::numeric_limits<qint64>::max()});
            sim.SetFault(sfDropAfter, 1);
            continue;
        }
        if (now >= nextJob && session.IsIdle()) {
            nextJob = now + JobEveryMs;
            if (readNext) {
                QSignalSpy finished(&session, &TSession::ReadFinished);
                if (session.ReadConfiguration() && finished.wait(20000))
                    ++reads;
                else if (session.IsOpen())
                    ++failedJobs;
            } else {
                const TJobOutcome outcome = TConfigJobs(session, user).WriteConfiguration();
                if (outcome.Done())
                    ++writes;
                else if (outcome.Result != jrLinkLost)
                    ++failedJobs;
            }
            readNext = !readNext;
        }
        if (now >= nextReport) {
            // The simulator keeps every line it receives; that record is the bench's, not the
            // program's, so it must not count as the program's memory.
            sim.ClearReceived();
            if (rssStart < 0) {
                rssStart = ResidentKiB();
                heapStart = HeapInUseKiB();
            }
            nextReport += 60000;
            report("  ");
        }
    }

    stop = true;
    feeder.join();
    sim.ClearReceived(); // as before every report
    const qint64 lost = report("end");
    std::printf("messages: %d connection lost (one per drop expected), %d other\n",
                user.ConnectionsLost, user.Other);
    session.Disconnect();
    return lost == 0 && failedJobs == 0 ? 0 : 1;
}
