#pragma once

#include "session/User.h"

#include <QStringList>

// A user for tests: records everything the program says and answers questions from a script
// (No when the script has run out).
class TScriptedUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Messages.append(text); }
    void ShowWarning(const QString& text) override { Messages.append(text); }
    bool AskYesNo(const QString& text) override {
        Questions.append(text);
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }
    void ShowError(const QString& text) override { Errors.append(text); }

    QStringList Messages;
    QStringList Questions;
    QStringList Errors;
    QList<bool> Answers;
};
