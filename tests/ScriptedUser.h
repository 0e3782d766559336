#pragma once

#include "session/User.h"

#include <QStringList>

#include <functional>

// A user for tests: records everything the program says and answers questions from a script
// (No when the script has run out). Progress reports are recorded as steps ("show Caption",
// "task Text", "range 0..311", "hide"); positions separately, in order.
class TScriptedUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Say(text); }
    void ShowWarning(const QString& text) override { Say(text); }
    bool AskYesNo(const QString& text) override {
        Questions.append(text);
        if (OnSay)
            OnSay(text);
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }
    void ShowError(const QString& text) override { Errors.append(text); }
    void SetBusy(bool busy) override { Busy = busy; }

    void ShowProgress(const QString& caption) override {
        ProgressShown = true;
        Step(QStringLiteral("show ") + caption);
    }
    void SetProgressTask(const QString& task) override { Step(QStringLiteral("task ") + task); }
    void SetProgressRange(int minimum, int maximum) override {
        Step(QStringLiteral("range %1..%2").arg(minimum).arg(maximum));
    }
    void SetProgressPosition(int position) override { Positions.append(position); }
    void HideProgress() override {
        if (ProgressShown)
            Step(QStringLiteral("hide"));
        ProgressShown = false;
    }

    QStringList Messages;
    QStringList Questions;
    QStringList Errors;
    QList<bool> Answers;
    bool Busy = false;
    bool ProgressShown = false;
    QStringList ProgressSteps;
    QList<int> Positions;
    // Called with every message and question as it is shown, while the program waits for it.
    std::function<void(const QString&)> OnSay;
    // Called with every progress step as it is recorded.
    std::function<void(const QString&)> OnProgressStep;

private:
    void Step(const QString& step) {
        ProgressSteps.append(step);
        if (OnProgressStep)
            OnProgressStep(step);
    }
    void Say(const QString& text) {
        Messages.append(text);
        if (OnSay)
            OnSay(text);
    }
};
