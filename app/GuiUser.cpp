#include "app/GuiUser.h"

#include "firmware/ProgressForm.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

namespace {
const QString Caption = QStringLiteral("Tidewright");
}

TGuiUser::TGuiUser(QWidget* parent)
    : parentWidget(parent)
    , progress(new TProgress(parent)) {}

TGuiUser::~TGuiUser() {
    delete progress;
}

void TGuiUser::SetParent(QWidget* parent) {
    parentWidget = parent;
    if (progress)
        progress->setParent(parent, progress->windowFlags());
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

void TGuiUser::ShowProgress(const QString& caption) {
    progress->setWindowTitle(caption);
    progress->show();
}

void TGuiUser::SetProgressTask(const QString& task) {
    progress->lblTask()->setText(task);
}

void TGuiUser::SetProgressRange(int minimum, int maximum) {
    progress->Bar()->setRange(minimum, maximum);
}

void TGuiUser::SetProgressPosition(int position) {
    progress->Bar()->setValue(position);
}

void TGuiUser::HideProgress() {
    progress->hide();
}

TProgress* TGuiUser::Progress() const {
    return progress;
}
