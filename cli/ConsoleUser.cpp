#include "cli/ConsoleUser.h"

#include <algorithm>

namespace {
constexpr int BarWidth = 30;
}

void TConsoleUser::Write(const QString& text) {
    EndBar();
    err << text << Qt::endl;
}

void TConsoleUser::ShowMessage(const QString& text) {
    Write(text);
}

void TConsoleUser::ShowWarning(const QString& text) {
    Write(text);
}

bool TConsoleUser::AskYesNo(const QString& text) {
    Write(text);
    err << (answerYes ? "Yes (--yes)" : "No (answer Yes with --yes)") << Qt::endl;
    return answerYes;
}

void TConsoleUser::ShowError(const QString& text) {
    Write(text);
}

void TConsoleUser::ShowProgress(const QString& caption) {
    if (!bars)
        return;
    EndBar();
    err << caption << Qt::endl;
    progress = true;
    drawnPercent = -1;
}

void TConsoleUser::SetProgressTask(const QString& text) {
    task = text;
    drawnPercent = -1;
    DrawBar();
}

void TConsoleUser::SetProgressRange(int low, int high) {
    minimum = low;
    maximum = high;
    position = low;
    DrawBar();
}

void TConsoleUser::SetProgressPosition(int value) {
    position = value;
    DrawBar();
}

void TConsoleUser::HideProgress() {
    EndBar();
    progress = false;
}

void TConsoleUser::DrawBar() {
    if (!progress)
        return;
    const int span = maximum - minimum;
    const int done = std::clamp(position - minimum, 0, std::max(span, 0));
    const int percent = span > 0 ? done * 100 / span : 0;
    // Redrawn only when it changes, so a log of standard error stays short.
    if (percent == drawnPercent)
        return;
    drawnPercent = percent;
    const int filled = percent * BarWidth / 100;
    err << '\r' << task.leftJustified(16) << " [" << QString(filled, u'#')
        << QString(BarWidth - filled, u'.') << "] " << QString::number(percent).rightJustified(3)
        << '%';
    err.flush();
    barDrawn = true;
}

void TConsoleUser::EndBar() {
    if (!barDrawn)
        return;
    barDrawn = false;
    err << Qt::endl;
}
