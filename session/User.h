#pragma once

#include <QString>

// How core code talks to whoever uses it: the window shows message boxes captioned
// "Tidewright", the command-line tool writes to standard error, tests record and answer from
// a script. Core code never includes a widget header, so this is its only way to the user.
class IUser {
public:
    virtual ~IUser() = default;

    // A message the user acknowledges (failures of commands, notices).
    virtual void ShowMessage(const QString& text) = 0;
    // The same, shown as a warning.
    virtual void ShowWarning(const QString& text) = 0;
    // A warning with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // An error that no command caught (the standard error box).
    virtual void ShowError(const QString& text) = 0;
    // Hourglass cursor while blocking work runs.
    virtual void SetBusy(bool busy) { (void)busy; }

    // Progress of a long device job (firmware update, network setup): the window shows its one
    // progress window, the command-line tool a text bar, tests record the steps. A job shows the
    // progress, sets its task text and range as it goes, and hides it on every way out.
    virtual void ShowProgress(const QString& caption) { (void)caption; }
    virtual void SetProgressTask(const QString& task) { (void)task; }
    virtual void SetProgressRange(int minimum, int maximum) {
        (void)minimum;
        (void)maximum;
    }
    virtual void SetProgressPosition(int position) { (void)position; }
    virtual void HideProgress() {}
};
