#pragma once

#include "session/User.h"

#include <QTextStream>

// The user of the command-line tool: messages go to standard error, questions are answered by
// the --yes switch.
class TConsoleUser : public IUser {
public:
    TConsoleUser(QTextStream& errorStream, bool yes)
        : err(errorStream)
        , answerYes(yes) {}

    void ShowMessage(const QString& text) override;
    void ShowWarning(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void ShowError(const QString& text) override;

    // A text bar on standard error, redrawn in place: "Programming... [#####.....]  52%".
    // Only the commands that ask for it draw one (the firmware update); the others keep
    // standard error for what went wrong.
    void SetProgressBars(bool on) { bars = on; }
    void ShowProgress(const QString& caption) override;
    void SetProgressTask(const QString& task) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void HideProgress() override;

private:
    void Write(const QString& text);

    void DrawBar();
    // A message starts on a line of its own, not behind the bar.
    void EndBar();

    QTextStream& err;
    bool answerYes;
    bool bars = false;
    bool progress = false;
    bool barDrawn = false;
    QString task;
    int minimum = 0;
    int maximum = 10;
    int position = 0;
    int drawnPercent = -1;
};
