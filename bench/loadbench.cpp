// How the program copes with real traffic: the window (offscreen) and tidewright-cli monitor,
// connected over loopback TCP to a simulated multiplexer (a separate corvanta-sim process, so its
// work is not counted).
//   1. Idle: the multiplexer sends nothing but its answers to the keep-alive. Wake-ups per
//      second (context switches of all the program's threads) and the share of one core.
//   2. Busy: 2,000 lines/s, the busiest real link; the share of one core and the lines shown.
//   3. Flood: a feeder inside this process sends 100,000 numbered lines/s to the window; every
//      line must arrive, in order, and the window's event loop must keep turning (the longest
//      gap between the ticks of a 10 ms timer is reported).
// Prints figures; never fails on speed.
#include "app/MainForm.h"
#include "session/User.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

class TQuietUser : public IUser {
public:
    void ShowMessage(const QString&) override {}
    void ShowWarning(const QString&) override {}
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
};

// Processor time and context switches (a thread that sleeps and wakes counts one) of a process
// and all its threads, from /proc.
struct TUsage {
    double CpuSeconds = 0;
    qint64 Wakeups = 0;
};

TUsage ProcessUsage(qint64 pid) {
    TUsage usage;
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    QFile stat(base + QStringLiteral("/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        // Fields after the command name in parentheses; utime and stime are the 12th and 13th.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            usage.CpuSeconds = double(fields[11].toLongLong() + fields[12].toLongLong()) /
                               double(sysconf(_SC_CLK_TCK));
    }
    const QStringList tasks =
        QDir(base + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile status(base + QStringLiteral("/task/") + task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches") ||
                line.startsWith("nonvoluntary_ctxt_switches"))
                usage.Wakeups += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return usage;
}

// A corvanta-sim process on a port of its own; stops it when it goes.
class TSimProcess {
public:
    explicit TSimProcess(int rate) {
        sim.start(QStringLiteral(CORVANTA_SIM_PATH),
                  {"--tcp", "0", "--traffic", QString::number(rate), "--unique-id", "LOAD1"});
        if (!sim.waitForStarted(5000))
            return;
        QString banner;
        const QRegularExpression tcp(QStringLiteral("TCP [0-9.]+:(\\d+)"));
        QRegularExpressionMatch match;
        for (int i = 0; i < 50 && !(match = tcp.match(banner)).hasMatch(); ++i) {
            sim.waitForReadyRead(100);
            banner += QString::fromLocal8Bit(sim.readAllStandardOutput());
        }
        if (match.hasMatch())
            Url = QStringLiteral("tcp:127.0.0.1:") + match.captured(1);
    }
    ~TSimProcess() {
        sim.terminate();
        sim.waitForFinished(3000);
    }
    QString Url; // empty when it did not start

private:
    QProcess sim;
};

// Runs the event loop for ms milliseconds, or until done() says so; nothing spins.
void Spin(int ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done && done())
            loop.quit();
    });
    check.start(50);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window connected to a simulator sending rate lines/s: its wake-ups and share of a core.
int Window(int rate, int seconds) {
    TSimProcess sim(rate);
    if (sim.Url.isEmpty())
        return std::fprintf(stderr, "corvanta-sim did not start\n"), 1;
    TQuietUser user;
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    bool read = false;
    QObject::connect(&form.Session(), &TSession::ReadFinished, [&] { read = true; });
    form.ConnectTo(ParseLinkUrl(sim.Url));
    Spin(5000, [&] { return read; });
    Spin(1000); // settle

    qint64 shown = 0;
    QObject::connect(&form.Session(), &TSession::SentenceShown, [&] { ++shown; });
    const TUsage before = ProcessUsage(QCoreApplication::applicationPid());
    QElapsedTimer wall;
    wall.start();
    // Waits without a timer of its own, so that the figures are the program's alone.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const TUsage after = ProcessUsage(QCoreApplication::applicationPid());
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double cpu = after.CpuSeconds - before.CpuSeconds;
    std::printf("window, %5d lines/s for %.1f s: %lld lines shown, %.1f wake-ups/s, CPU %.2f s "
                "= %.2f %% of one core\n",
                rate, elapsed, shown, double(after.Wakeups - before.Wakeups) / elapsed, cpu,
                100.0 * cpu / elapsed);
    return 0;
}

// tidewright-cli monitor connected to a simulator sending rate lines/s.
int Monitor(int rate, int seconds) {
    TSimProcess sim(rate);
    if (sim.Url.isEmpty())
        return std::fprintf(stderr, "corvanta-sim did not start\n"), 1;
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(TIDEWRIGHT_CLI_PATH),
              {"--connect", sim.Url, "monitor", "--seconds", QString::number(seconds + 4)});
    if (!cli.waitForStarted(5000))
        return std::fprintf(stderr, "tidewright-cli did not start\n"), 1;
    Spin(2000); // connected and identified
    const TUsage before = ProcessUsage(cli.processId());
    QElapsedTimer wall;
    wall.start();
    Spin(seconds * 1000);
    const TUsage after = ProcessUsage(cli.processId());
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double cpu = after.CpuSeconds - before.CpuSeconds;
    std::printf("monitor, %4d lines/s for %.1f s: %.1f wake-ups/s, CPU %.2f s = %.2f %% of one "
                "core\n",
                rate, elapsed, double(after.Wakeups - before.Wakeups) / elapsed, cpu,
                100.0 * cpu / elapsed);
    cli.waitForFinished(10000);
    return cli.exitCode();
}

// Sends count numbered lines at the given rate to the first client, then closes.
void Feed(int listener, qint64 count, int rate, std::atomic<bool>& failed) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) {
        failed = true;
        return;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    QByteArray chunk;
    while (sent < count) {
        const qint64 due = std::min(count, clock.elapsed() * rate / 1000 + 1);
        chunk.clear();
        for (; sent < due; ++sent) {
            const QByteArray text = "$BNTST," + QByteArray::number(sent);
            chunk += NmeaLine(text);
        }
        for (qsizetype off = 0; off < chunk.size();) {
            const ssize_t n = send(client, chunk.constData() + off, size_t(chunk.size() - off), 0);
            if (n <= 0) {
                failed = true;
                close(client);
                return;
            }
            off += n;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Keep the link up until the program has read everything.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    close(client);
}

int Flood(int seconds) {
    const int rate = 100000;
    const qint64 count = qint64(rate) * seconds;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::fprintf(stderr, "no listening socket\n"), 1;
    std::atomic<bool> failed{false};
    std::thread feeder(Feed, listener, count, rate, std::ref(failed));

    TQuietUser user;
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    qint64 next = 0;
    qint64 outOfOrder = 0;
    QObject::connect(&form.Session(), &TSession::SentenceShown, [&](const QString& text) {
        if (!text.startsWith(QStringLiteral("$BNTST,")))
            return;
        const qint64 n = QStringView(text).mid(7, text.indexOf(u'*') - 7).toLongLong();
        if (n != next)
            ++outOfOrder;
        next = n + 1;
    });
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });

    form.ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port))));
    ticker.start();
    QElapsedTimer wall;
    wall.start();
    Spin((seconds + 20) * 1000, [&] { return next >= count; });
    const double elapsed = double(wall.elapsed()) / 1000.0;
    ticker.stop();
    feeder.join();
    close(listener);
    std::printf("100,000 lines/s: %lld of %lld lines arrived in order (%lld out of order) in "
                "%.1f s; longest event-loop gap %lld ms%s\n",
                next, count, outOfOrder, elapsed, longestGap, failed ? " (feeder failed)" : "");
    return next == count && outOfOrder == 0 && !failed ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // tidewright-loadbench [SECONDS [idle|busy|flood]]
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    int failed = 0;
    if (only.isEmpty() || only == u"idle")
        failed |= Window(0, seconds) | Monitor(0, seconds);
    if (only.isEmpty() || only == u"busy")
        failed |= Window(2000, seconds) | Monitor(2000, seconds);
    if (only.isEmpty() || only == u"flood")
        failed |= Flood(std::min(seconds, 5));
    return failed;
}
