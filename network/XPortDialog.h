#pragma once

#include "network/XportLib.h"

#include <QDialog>

#include <functional>
#include <memory>

class IUser;

// What the network dialogs share: each has a TXPort of its own from showing to closing, and none
// closes while one of its jobs runs (the job works on that TXPort and its progress loop keeps
// the program's events flowing, a close request among them).
class TXPortDialog : public QDialog {
    Q_OBJECT
public:
    TXPortDialog(IUser& user, QWidget* parent);
    ~TXPortDialog() override;

    // Where the TXPort looks; the defaults are a real network's.
    void SetXPortOptions(const TXPortOptions& xportOptions) { options = xportOptions; }
    const TXPortOptions& XPortOptions() const { return options; }
    bool Busy() const { return busy; }
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Runs on showing, once its TXPort exists.
    virtual void FormShow() = 0;
    // Runs work once the dialog is on screen (not at all when it has closed by then), so that
    // the window shows while the device servers are asked.
    void WhenOnScreen(std::function<void()> work);
    // Runs a job with closing refused; its errors are shown. False when it raised one.
    template <class F>
    bool RunJob(F&& job);
    TXPort& XPort() { return *xport; }

    IUser& user;

private:
    TXPortOptions options;
    std::unique_ptr<TXPort> xport;
    bool busy = false;
};

void ShowJobError(IUser& user, const std::exception& error);

template <class F>
bool TXPortDialog::RunJob(F&& job) {
    busy = true;
    bool ok = true;
    try {
        job();
    } catch (const std::exception& e) {
        ShowJobError(user, e);
        ok = false;
    }
    busy = false;
    return ok;
}
