#pragma once

#include "session/User.h"

#include <QPointer>

class QWidget;
class TProgress;

// The user as the window sees them: modal message boxes captioned "Tidewright".
class TGuiUser : public IUser {
public:
    explicit TGuiUser(QWidget* parent = nullptr);
    ~TGuiUser() override;
    // The owner of the message boxes and of the progress window.
    void SetParent(QWidget* parent);

    void ShowMessage(const QString& text) override;
    void ShowWarning(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void ShowError(const QString& text) override;
    void SetBusy(bool busy) override;

    // The one progress window, created with the user and shown while a job reports progress.
    void ShowProgress(const QString& caption) override;
    void SetProgressTask(const QString& task) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void HideProgress() override;
    TProgress* Progress() const;

private:
    QWidget* parentWidget;
    // Owned by the parent window when there is one (it goes with it), else by this user.
    QPointer<TProgress> progress;
    bool busy = false;
};
