#include "firmware/ProgressForm.h"

#include "ui_ProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTimer>
#include <QWindow>

TProgress::TProgress(QWidget* owner)
    : QDialog(owner)
    , ui(new Ui::TProgress) {
    ui->setupUi(this);
    // A title and nothing else: no close, minimise or maximise icon.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    ui->Bar->setRange(0, 10);
    ui->Bar->setValue(0);
    setFixedSize(sizeHint().expandedTo(size()));
    // Any change of the focus, also the end of a message box that had it, is a chance to take
    // it back.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (isVisible() && window != windowHandle())
            // Deferred: the window that took the focus finishes its own activation first.
            QTimer::singleShot(0, this, [this] { TakeFocusBack(); });
    });
}

TProgress::~TProgress() {
    delete ui;
}

QLabel* TProgress::lblTask() const {
    return ui->lblTask;
}

QProgressBar* TProgress::Bar() const {
    return ui->Bar;
}

void TProgress::CentreOnOwner() {
    const QWidget* owner = parentWidget();
    if (!owner)
        return;
    const QRect area = owner->window()->frameGeometry();
    move(area.center() - rect().center());
}

void TProgress::showEvent(QShowEvent* event) {
    CentreOnOwner();
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

void TProgress::closeEvent(QCloseEvent* event) {
    // The job that runs decides when the window goes.
    event->ignore();
}

void TProgress::TakeFocusBack() {
    // A message box asked while the job runs keeps the focus until it is answered.
    if (!isVisible() || isActiveWindow())
        return;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // Once it has been answered the focus comes back here.
        if (modal != this)
            modal->installEventFilter(this);
        return;
    }
    raise();
    activateWindow();
}

bool TProgress::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] { TakeFocusBack(); });
    }
    return QDialog::eventFilter(watched, event);
}
