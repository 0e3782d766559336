#pragma once

#include "nmea/Nmea.h"

#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <functional>

class TSession;

// The multiplexer's load figures, in the order its statistics window shows them left to right.
enum TStatBar : quint8 {
    sbSPool,    // buffer pool in use, %
    sbDBUse,    // navigation database in use, %
    sbCanRX,    // NMEA 2000 receive load, %
    sbCanTX,    // NMEA 2000 transmit load, %
    sbQOut1,    // output queues 1 to 4, % full
    sbQOut2,    //
    sbQOut3,    //
    sbQOut4,    //
    sbProcTime, // processing time; ProcTimeFull stands for ProcTimeFullMs
    sbCount
};

struct TStatBarInfo {
    TStatBar Bar;
    const char* Name;  // the bar control
    const char* Label; // under the bar
    const char* Group; // a second line, under neighbours that share it; nullptr for none
    quint32 Maximum;   // a full bar
    int Field;         // of the "$PZRQSTAT" report
    const char* Short; // in lines of text and CSV headers
    const char* Unit;  // "%" or "ms"
};

inline constexpr quint32 ProcTimeFull = 20736;
inline constexpr double ProcTimeFullMs = 50;

inline constexpr std::array<TStatBarInfo, sbCount> StatBars{{
    {sbSPool, "pbSPool", "BP", nullptr, 100, 10, "BP", "%"},
    {sbDBUse, "pbDBUse", "DB", nullptr, 100, 3, "DB", "%"},
    {sbCanRX, "pbCanRX", "RX", "NMEA 2000", 100, 4, "N2K RX", "%"},
    {sbCanTX, "pbCanTX", "TX", "NMEA 2000", 100, 5, "N2K TX", "%"},
    {sbQOut1, "pbQOut1", "1", "Outputs", 100, 6, "Out1", "%"},
    {sbQOut2, "pbQOut2", "2", "Outputs", 100, 7, "Out2", "%"},
    {sbQOut3, "pbQOut3", "3", "Outputs", 100, 8, "Out3", "%"},
    {sbQOut4, "pbQOut4", "4", "Outputs", 100, 9, "Out4", "%"},
    {sbProcTime, "pbProcTime", "Process", "Time (ms)", ProcTimeFull, 2, "Process", "ms"},
}};

// The processing time in milliseconds.
double ProcTimeMs(quint32 value);

// What the statistics reports said last, one value per bar.
struct TStatValues {
    std::array<quint32, sbCount> Value{};
    quint16 Reported = 0; // bit per bar: some report set it since the values were reset
    bool Has(TStatBar bar) const { return Reported & (1u << bar); }
};

// Applies one "$PZRQSTAT" report: field 1 must be exactly "R"; fields 2 to 9, and 10 when the
// report has it, are read one after the other as decimal numbers. The first field that is
// missing or no number ends the report: the values set before it stay set, the rest keep what
// they had. Returns how many values the report set.
int ApplyStatReport(const TSentence& sentence, TStatValues& values);

// The values at a time in seconds as one line of text ("-" for a value no report has given)
// and as CSV (an empty cell).
QString StatsTextLine(double seconds, const TStatValues& values);
QString StatsCsvHeader();
QString StatsCsvLine(double seconds, const TStatValues& values);

struct TStatSample {
    qint64 TimeMs; // on the monitor's clock
    TStatValues Values;
};

// Switches the multiplexer's statistics reports on and off, and keeps what they said: the
// current values and those of the last minute. Reports are taken whenever they arrive, whether
// or not this monitor switched them on.
class TStatsMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 HistoryMs = 60000;

    explicit TStatsMonitor(TSession& session, QObject* parent = nullptr);

    // Every value but the buffer pool goes back to 0, the history starts afresh, and the
    // multiplexer is asked for its reports.
    void Start();
    // The multiplexer is asked to stop its reports.
    void Stop();
    bool Running() const { return running; }

    void HandleReport(const TSentence& sentence);
    const TStatValues& Values() const { return values; }
    // One sample per report, none older than HistoryMs before the newest.
    const std::deque<TStatSample>& History() const { return history; }
    qint64 StartMs() const { return startMs; }
    // Seconds from the start to the newest sample; 0 without one.
    double LastReportSeconds() const;

    // Milliseconds of a steady clock; read once per start and once per report.
    void SetClock(std::function<qint64()> clock) { now = std::move(clock); }

signals:
    // A report changed the values (and added a sample).
    void Updated();

private:
    TSession& session;
    TStatValues values;
    std::deque<TStatSample> history;
    std::function<qint64()> now;
    qint64 startMs = 0;
    bool running = false;
};

// Received lines per second from a running count of lines.
class TLineRate {
public:
    // Counting starts afresh from this count and time.
    void Restart(quint64 lines, qint64 nowMs);
    // Lines per second since the last call (or restart), rounded.
    int Sample(quint64 lines, qint64 nowMs);

private:
    quint64 lastLines = 0;
    qint64 lastMs = 0;
};
