#pragma once

#include <QDialog>

namespace Ui {
class TProgress;
}
class QLabel;
class QProgressBar;

// The one progress window of the program, shared by the long device jobs (firmware update,
// network setup). It is created once, hidden, and shown modeless by whoever runs a job, who
// sets caption, task text and bar range. It has no border icons and cannot be closed by the
// user: the job hides it when it ends. While it shows it takes the focus back whenever another
// window takes it, unless a modal box is up.
class TProgress : public QDialog {
    Q_OBJECT

public:
    explicit TProgress(QWidget* owner = nullptr);
    ~TProgress() override;

    QLabel* lblTask() const;
    QProgressBar* Bar() const;

    // Only the job that showed the window hides it: Escape does nothing.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CentreOnOwner();
    void TakeFocusBack();

    Ui::TProgress* ui;
};
