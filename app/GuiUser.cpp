#include "app/GuiUser.h"

#include "session/Texts.h"

#include <QApplication>
#include <QMessageBox>

namespace {
const QString Caption = ProgramCaption();
}

void TGuiUser::ShowMessage(const QString& text) {
    SetBusy(false);
    QMessageBox::information(parentWidget, Caption, text);
}

void TGuiUser::ShowWarning(const QString& text) {
    SetBusy(false);
    QMessageBox::warning(parentWidget, Caption, text);
}

bool TGuiUser::AskYesNo(const QString& text) {
    SetBusy(false);
    return QMessageBox::warning(parentWidget, Caption, text, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void TGuiUser::ShowError(const QString& text) {
    SetBusy(false);
    QMessageBox::critical(parentWidget, Caption, text);
}

void TGuiUser::SetBusy(bool on) {
    if (on == busy)
        return;
    busy = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
