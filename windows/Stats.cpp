#include "windows/Stats.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QValueAxis>

namespace {

constexpr int WindowWidth = 360;
constexpr int PanelHeight = 232;
constexpr int PlotHeight = 288;

constexpr int BarTop = 28;
constexpr int BarWidth = 16;
constexpr int BarHeight = 161;
constexpr int ScaleStep = 16; // pixels per tenth of a bar
constexpr int ScaleSteps = 10;
constexpr int LineLeft = 48;
constexpr int LineRight = 300;
constexpr int LabelTop = BarTop + BarHeight + 8;
constexpr int LabelHeight = 16;
constexpr int LabelWidth = 64; // centred under its bar; neighbours' short labels overlap harmlessly
constexpr int GroupWidth = 80;

// Left edges of the bars, in the order of the bar table; groups stand a little apart.
constexpr std::array<int, sbCount> BarLeft{56, 88, 120, 144, 176, 200, 224, 248, 280};

// The scales behind the bars: percent on the left, milliseconds of processing time on the right,
// and a line across at every tenth.
class TScalePanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        for (int k = 0; k <= ScaleSteps; ++k) {
            const int y = BarTop + BarHeight - 1 - k * ScaleStep;
            painter.drawLine(LineLeft, y, LineRight, y);
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, 4, LineLeft - 4, LabelHeight), Qt::AlignRight,
                         QStringLiteral("%"));
        for (int k = 0; k <= ScaleSteps; ++k) {
            const int y = BarTop + BarHeight - 1 - k * ScaleStep - LabelHeight / 2;
            painter.drawText(QRect(0, y, LineLeft - 4, LabelHeight),
                             Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(k * 100 / ScaleSteps));
            painter.drawText(QRect(LineRight + 4, y, WindowWidth - LineRight - 4, LabelHeight),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             QString::number(k * int(ProcTimeFullMs) / ScaleSteps));
        }
    }
};

} // namespace

TStats::TStats(TSession& session, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
    , monitor(session) {
    setObjectName(QStringLiteral("Stats"));
    setWindowTitle(QStringLiteral("Statistics"));
    auto* panel = new TScalePanel(this);
    panel->setGeometry(0, 0, WindowWidth, PanelHeight);
    BuildBars(panel);
    BuildPlot();
    setFixedSize(WindowWidth, PanelHeight + PlotHeight);
    connect(&monitor, &TStatsMonitor::Updated, this, &TStats::Refresh);
}

void TStats::BuildBars(QWidget* panel) {
    for (const TStatBarInfo& info : StatBars) {
        auto* bar = new QProgressBar(panel);
        bar->setObjectName(QLatin1StringView(info.Name));
        bar->setOrientation(Qt::Vertical);
        bar->setTextVisible(false);
        bar->setRange(0, int(info.Maximum));
        bar->setValue(0);
        bar->setGeometry(BarLeft[info.Bar], BarTop, BarWidth, BarHeight);
        bars[info.Bar] = bar;

        auto* label = new QLabel(QLatin1StringView(info.Label), panel);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(BarLeft[info.Bar] + BarWidth / 2 - LabelWidth / 2, LabelTop, LabelWidth,
                           LabelHeight);
    }
    // A group label stands under all the neighbours that share it.
    for (size_t first = 0; first < StatBars.size();) {
        size_t last = first;
        const char* group = StatBars[first].Group;
        while (group && last + 1 < StatBars.size() && StatBars[last + 1].Group &&
               qstrcmp(StatBars[last + 1].Group, group) == 0)
            ++last;
        if (group) {
            auto* label = new QLabel(QLatin1StringView(group), panel);
            label->setAlignment(Qt::AlignCenter);
            const int center = (BarLeft[first] + BarLeft[last] + BarWidth) / 2;
            const int width = std::max(BarLeft[last] + BarWidth - BarLeft[first], GroupWidth);
            label->setGeometry(center - width / 2, LabelTop + LabelHeight, width, LabelHeight);
        }
        first = last + 1;
    }
}

void TStats::BuildPlot() {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    QFont small = chart->legend()->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    chart->legend()->setFont(small);
    chart->setMargins(QMargins(2, 2, 2, 2));

    auto* seconds = new QValueAxis;
    seconds->setRange(-double(TStatsMonitor::HistoryMs) / 1000, 0);
    seconds->setTickCount(7);
    seconds->setLabelFormat(QStringLiteral("%d"));
    seconds->setTitleText(QStringLiteral("s"));
    auto* percent = new QValueAxis;
    percent->setRange(0, 100);
    percent->setTickCount(6);
    percent->setLabelFormat(QStringLiteral("%d"));
    percent->setTitleText(QStringLiteral("%"));
    auto* milliseconds = new QValueAxis;
    milliseconds->setRange(0, ProcTimeFullMs);
    milliseconds->setTickCount(6);
    milliseconds->setLabelFormat(QStringLiteral("%d"));
    milliseconds->setTitleText(QStringLiteral("ms"));
    for (QValueAxis* axis : {seconds, percent, milliseconds}) {
        axis->setLabelsFont(small);
        axis->setTitleFont(small);
    }
    chart->addAxis(seconds, Qt::AlignBottom);
    chart->addAxis(percent, Qt::AlignLeft);
    chart->addAxis(milliseconds, Qt::AlignRight);

    for (const TStatBarInfo& info : StatBars) {
        auto* line = new QLineSeries;
        line->setName(QLatin1StringView(info.Short));
        // Nine lines need nine colours; the chart's own theme repeats after five.
        line->setColor(QColor::fromHsv(info.Bar * 360 / sbCount, 220, 200));
        chart->addSeries(line);
        line->attachAxis(seconds);
        line->attachAxis(info.Bar == sbProcTime ? milliseconds : percent);
        series[info.Bar] = line;
    }

    chtHistory = new QChartView(chart, this);
    chtHistory->setObjectName(QStringLiteral("chtHistory"));
    chtHistory->setRenderHint(QPainter::Antialiasing);
    chtHistory->setGeometry(0, PanelHeight, WindowWidth, PlotHeight);
}

void TStats::Refresh() {
    // A value beyond a bar's range shows a full bar (the bar itself would ignore it).
    const TStatValues& values = monitor.Values();
    for (const TStatBarInfo& info : StatBars)
        bars[info.Bar]->setValue(int(std::min(values.Value[info.Bar], info.Maximum)));

    const std::deque<TStatSample>& history = monitor.History();
    const qint64 newest = history.empty() ? 0 : history.back().TimeMs;
    for (const TStatBarInfo& info : StatBars) {
        QList<QPointF> points;
        points.reserve(qsizetype(history.size()));
        for (const TStatSample& sample : history) {
            const quint32 value = std::min(sample.Values.Value[info.Bar], info.Maximum);
            points.append({double(sample.TimeMs - newest) / 1000,
                           info.Bar == sbProcTime ? ProcTimeMs(value) : double(value)});
        }
        series[info.Bar]->replace(points);
    }
}

void TStats::ShowBeside(const QWidget& owner) {
    const QRect frame = owner.frameGeometry();
    move(frame.x() + frame.width(), frame.y());
    monitor.Start();
    Refresh();
    show();
}

void TStats::HideAndStop() {
    monitor.Stop();
    hide();
}

void TStats::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!monitor.Running())
        return;
    monitor.Stop();
    emit Closed();
}
