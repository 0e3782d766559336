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

    // Messages shown so far: a command that saw one did not go as planned.
    int MessagesShown() const { return messages; }

private:
    void Write(const QString& text);

    QTextStream& err;
    bool answerYes;
    int messages = 0;
};
