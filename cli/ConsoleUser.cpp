#include "cli/ConsoleUser.h"

void TConsoleUser::Write(const QString& text) {
    ++messages;
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
