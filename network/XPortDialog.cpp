#include "network/XPortDialog.h"

#include "nmea/Errors.h"
#include "session/User.h"

#include <QCloseEvent>
#include <QTimer>

TXPortDialog::TXPortDialog(IUser& aUser, QWidget* parent)
    : QDialog(parent)
    , user(aUser) {}

TXPortDialog::~TXPortDialog() = default;

void ShowJobError(IUser& user, const std::exception& error) {
    const auto* known = dynamic_cast<const EError*>(&error);
    user.ShowError(known ? known->Message() : QString::fromLocal8Bit(error.what()));
}

void TXPortDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system showing it again (restored from minimised)
    try {
        xport = std::make_unique<TXPort>(options);
    } catch (const EError& e) {
        user.ShowError(e.Message());
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    FormShow();
}

void TXPortDialog::WhenOnScreen(std::function<void()> work) {
    QTimer::singleShot(0, this, [this, work = std::move(work)] {
        if (xport && isVisible() && !busy)
            work();
    });
}

void TXPortDialog::done(int result) {
    if (busy)
        return;
    xport.reset();
    QDialog::done(result);
}

void TXPortDialog::closeEvent(QCloseEvent* event) {
    if (busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
