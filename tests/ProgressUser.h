#pragma once

#include "ScriptedUser.h"

#include <functional>

// A scripted user that also records what a job shows of its progress, one entry per call:
// "show Caption", "task Text", "range 0-19", "at 3", "hide"; and when each position came.
class TProgressUser : public TScriptedUser {
public:
    void ShowProgress(const QString& caption) override {
        Progress.append(QStringLiteral("show ") + caption);
        ++Showing;
    }
    void SetProgressTask(const QString& task) override {
        Progress.append(QStringLiteral("task ") + task);
    }
    void SetProgressRange(int minimum, int maximum) override {
        Progress.append(QStringLiteral("range %1-%2").arg(minimum).arg(maximum));
    }
    void SetProgressPosition(int position) override {
        Progress.append(QStringLiteral("at %1").arg(position));
        if (OnPosition)
            OnPosition(position);
    }
    void HideProgress() override {
        Progress.append(QStringLiteral("hide"));
        --Showing;
    }
    void SetBusy(bool busy) override { Busy = busy; }

    // The positions shown, in order.
    QList<int> Positions() const {
        QList<int> positions;
        for (const QString& entry : Progress) {
            if (entry.startsWith(u"at "))
                positions.append(entry.mid(3).toInt());
        }
        return positions;
    }

    QStringList Progress;
    int Showing = 0;
    bool Busy = false;
    std::function<void(int)> OnPosition;
};
