// Read Configuration in the window: from the click on the button to every page filled, against
// the simulated multiplexer over loopback TCP (the simulator runs on a thread of its own, so
// its answers take the time a quick device takes). The configuration carries distinct values,
// 20 routing rules and 10 Modbus mappings. Prints figures; never fails on speed.
#include "app/MainForm.h"
#include "session/User.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

class TQuietUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Said.append(text); }
    void ShowWarning(const QString& text) override { Said.append(text); }
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString& text) override { Said.append(text); }
    QStringList Said;
};

// Waits for one ReadFinished, at most timeoutMs; false when it did not come.
bool WaitForRead(TSession& session, int timeoutMs) {
    QEventLoop loop;
    bool finished = false;
    const auto connection = QObject::connect(&session, &TSession::ReadFinished, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return finished;
}

void Preset(TSimulator& sim) {
    sim.SetConfigFields("SP", {"1", "2", "3", "4", "5", "0", "1", "2", "5", "4", "3"});
    sim.SetConfigFields("ID", {"GP", "II", "SD", "VW", "WI", "HC", "AI", "YX", "EC"});
    sim.SetConfigFields("OP", {"00019D7C"});
    sim.SetConfigFields("CNV", {"00001A5A"});
    sim.SetConfigFields("NO", {"C0026A35"});
    QList<TSimRoute> routes;
    for (int i = 0; i < 20; ++i) {
        TSimRoute route;
        route.sentence = QStringLiteral("GP%1").arg(QChar(u'A' + i)).leftJustified(5, u'X');
        route.inputs = quint16(1u << (i % 8));
        route.outputs = 0x41;
        routes.append(route);
    }
    QList<TSimModbus> modbus;
    for (int i = 0; i < 10; ++i) {
        TSimModbus entry;
        entry.slave = quint8(1 + i % 3);
        entry.reg = quint16(100 + i);
        entry.regType = 'H';
        entry.dataType = 'F';
        entry.xdrType = 'C';
        entry.xdrUnit = 'C';
        entry.xdrID = QStringLiteral("ENGINE%1").arg(i);
        modbus.append(entry);
    }
    sim.SetTables(routes, modbus);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // tidewright-readbench [READS]
    const int reads = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    TSimulator::TOptions options;
    TSimulator sim(options);
    sim.Start();
    Preset(sim);
    TQuietUser user;
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    form.ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(sim.TcpPort())));
    if (!WaitForRead(form.Session(), 10000)) {
        std::fprintf(stderr, "The first read did not finish: %s\n",
                     qPrintable(user.Said.join('|')));
        return 1;
    }

    QList<double> times;
    for (int i = 0; i < reads; ++i) {
        // Let the keep-alive and the last refresh settle, as between two clicks of a user.
        QEventLoop pause;
        QTimer::singleShot(50, &pause, &QEventLoop::quit);
        pause.exec();
        QElapsedTimer clock;
        clock.start();
        form.Controls().btnReadConfig->click();
        // The read ends with the pages filled: the refresh runs before ReadFinished.
        if (!WaitForRead(form.Session(), 10000)) {
            std::fprintf(stderr, "Read %d did not finish\n", i + 1);
            return 1;
        }
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("Read Configuration in the window, click to all pages filled (%d reads, "
                "%lld routes, %lld Modbus entries):\n",
                reads, qlonglong(form.Session().Config.Routes.size()),
                qlonglong(form.Session().Config.ModbusMaps.size()));
    std::printf("  min %.1f ms, median %.1f ms, 90th %.1f ms, max %.1f ms (goal: under 100 ms)\n",
                times.first(), median, times[times.size() * 9 / 10], times.last());
    // The filling alone: every control of every page from the model.
    QElapsedTimer fill;
    fill.start();
    constexpr int fills = 100;
    for (int i = 0; i < fills; ++i)
        form.RefreshControls();
    std::printf("  refilling every page from an unchanged model: %.2f ms\n",
                double(fill.nsecsElapsed()) / 1e6 / fills);
    return user.Said.isEmpty() ? 0 : 1;
}
