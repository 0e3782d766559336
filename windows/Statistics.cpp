#include "windows/Statistics.h"

#include "nmea/Numbers.h"
#include "session/Session.h"

#include <QElapsedTimer>

namespace {

QString ValueText(const TStatValues& values, TStatBar bar) {
    if (!values.Has(bar))
        return QString();
    const quint32 value = values.Value[bar];
    return bar == sbProcTime ? QString::number(ProcTimeMs(value), 'f', 2) : QString::number(value);
}

} // namespace

double ProcTimeMs(quint32 value) {
    return value * ProcTimeFullMs / ProcTimeFull;
}

int ApplyStatReport(const TSentence& sentence, TStatValues& values) {
    if (sentence.FieldCount() < 2 || sentence.Fields.at(1) != u"R")
        return 0;
    // The buffer pool comes last and only from multiplexers that report it.
    const int lastField = sentence.FieldCount() > 10 ? 10 : 9;
    int set = 0;
    for (int field = 2; field <= lastField; ++field) {
        if (field >= sentence.FieldCount())
            return set;
        const std::optional<quint64> value = ParseUnsigned(sentence.Fields.at(field));
        if (!value || *value > 0xFFFFFFFFu)
            return set;
        for (const TStatBarInfo& info : StatBars) {
            if (info.Field != field)
                continue;
            values.Value[info.Bar] = quint32(*value);
            values.Reported |= quint16(1u << info.Bar);
        }
        ++set;
    }
    return set;
}

QString StatsTextLine(double seconds, const TStatValues& values) {
    QStringList parts{QStringLiteral("%1 s").arg(seconds, 6, 'f', 1)};
    for (const TStatBarInfo& info : StatBars) {
        const QString value = ValueText(values, info.Bar);
        parts.append(QStringLiteral("%1 %2 %3")
                         .arg(QLatin1StringView(info.Short),
                              value.isEmpty() ? QStringLiteral("-") : value,
                              QLatin1StringView(info.Unit)));
    }
    return parts.join(QStringLiteral("  "));
}

QString StatsCsvHeader() {
    QStringList columns{QStringLiteral("Time (s)")};
    for (const TStatBarInfo& info : StatBars)
        columns.append(QStringLiteral("%1 (%2)").arg(QLatin1StringView(info.Short),
                                                     QLatin1StringView(info.Unit)));
    return columns.join(u',');
}

QString StatsCsvLine(double seconds, const TStatValues& values) {
    QStringList cells{QString::number(seconds, 'f', 1)};
    for (const TStatBarInfo& info : StatBars)
        cells.append(ValueText(values, info.Bar));
    return cells.join(u',');
}

// --- monitor -----------------------------------------------------------------------------

TStatsMonitor::TStatsMonitor(TSession& aSession, QObject* parent)
    : QObject(parent)
    , session(aSession) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    now = [clock] { return clock->elapsed(); };
    connect(&session, &TSession::StatisticsReport, this, &TStatsMonitor::HandleReport);
}

void TStatsMonitor::Start() {
    // The buffer pool keeps its value: not every multiplexer reports it.
    for (const TStatBarInfo& info : StatBars) {
        if (info.Bar == sbSPool)
            continue;
        values.Value[info.Bar] = 0;
        values.Reported &= quint16(~(1u << info.Bar));
    }
    history.clear();
    startMs = now();
    running = true;
    session.SendSentence(QStringLiteral("$PZRQSTAT,C,1"));
}

double TStatsMonitor::LastReportSeconds() const {
    return history.empty() ? 0 : double(history.back().TimeMs - startMs) / 1000;
}

void TStatsMonitor::Stop() {
    running = false;
    session.SendSentence(QStringLiteral("$PZRQSTAT,C,0"));
}

void TStatsMonitor::HandleReport(const TSentence& sentence) {
    if (ApplyStatReport(sentence, values) == 0)
        return;
    const qint64 time = now();
    history.push_back({time, values});
    while (history.front().TimeMs <= time - HistoryMs)
        history.pop_front();
    emit Updated();
}

// --- line rate ---------------------------------------------------------------------------

void TLineRate::Restart(quint64 lines, qint64 nowMs) {
    lastLines = lines;
    lastMs = nowMs;
}

int TLineRate::Sample(quint64 lines, qint64 nowMs) {
    const quint64 count = lines - lastLines;
    const qint64 elapsed = nowMs - lastMs;
    Restart(lines, nowMs);
    if (elapsed <= 0)
        return 0;
    return int((count * 1000 + quint64(elapsed) / 2) / quint64(elapsed));
}
