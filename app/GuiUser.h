#pragma once

#include "session/User.h"

class QWidget;

// The user as the window sees them: modal message boxes captioned "Tidewright".
class TGuiUser : public IUser {
public:
    explicit TGuiUser(QWidget* parent = nullptr)
        : parentWidget(parent) {}
    void SetParent(QWidget* parent) { parentWidget = parent; }

    void ShowMessage(const QString& text) override;
    void ShowWarning(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void ShowError(const QString& text) override;
    void SetBusy(bool busy) override;

private:
    QWidget* parentWidget;
    bool busy = false;
};
