#pragma once

#include "windows/Statistics.h"

#include <QWidget>

#include <array>

class QChartView;
class QLineSeries;
class QProgressBar;
class TSession;

// The statistics window: the multiplexer's load figures as vertical bars, and their last
// minute as lines. The bars follow every report, shown or hidden.
class TStats : public QWidget {
    Q_OBJECT

public:
    explicit TStats(TSession& session, QWidget* parent = nullptr);

    TStatsMonitor& Monitor() { return monitor; }

    // Places the window with its top at the owner's top and its left edge at the owner's right
    // edge, starts the bars afresh, switches the reports on and shows the window.
    void ShowBeside(const QWidget& owner);
    // Switches the reports off and hides the window.
    void HideAndStop();

signals:
    // The user closed the window; the reports have been switched off.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildBars(QWidget* panel);
    void BuildPlot();
    void Refresh();

    TStatsMonitor monitor;
    std::array<QProgressBar*, sbCount> bars{};
    std::array<QLineSeries*, sbCount> series{};
    QChartView* chtHistory = nullptr;
};
