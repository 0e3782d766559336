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
};
