// The progress window and the window user's progress reports that drive it.
#include "app/GuiUser.h"
#include "firmware/ProgressForm.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

class TestProgressGui : public QObject {
    Q_OBJECT

private slots:
    void Initial();
    void ReportsDriveTheWindow();
    void CentredOnOwner();
    void UserCannotCloseIt();
    void TakesFocusBack();
    void LeavesFocusToAModalBox();
};

void TestProgressGui::Initial() {
    QMainWindow owner;
    TProgress progress(&owner);
    QCOMPARE(progress.windowTitle(), QStringLiteral("Progress"));
    QCOMPARE(progress.lblTask()->text(), QStringLiteral("Starting loader..."));
    QCOMPARE(progress.Bar()->minimum(), 0);
    QCOMPARE(progress.Bar()->maximum(), 10);
    QCOMPARE(progress.Bar()->value(), 0);
    QVERIFY(!progress.isVisible());
    QVERIFY(!progress.isModal());
    // A title only: no icons in the border, and a size the user cannot change.
    const Qt::WindowFlags flags = progress.windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
    QCOMPARE(progress.minimumSize(), progress.maximumSize());
}

void TestProgressGui::ReportsDriveTheWindow() {
    QMainWindow owner;
    owner.show();
    TGuiUser user(&owner);
    IUser& reports = user;
    TProgress* progress = user.Progress();
    QVERIFY(progress);
    QCOMPARE(progress->parentWidget(), &owner);

    reports.ShowProgress(QStringLiteral("Updating Corvanta Firmware"));
    reports.SetProgressTask(QStringLiteral("Programming..."));
    reports.SetProgressRange(0, 311);
    reports.SetProgressPosition(300);
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->windowTitle(), QStringLiteral("Updating Corvanta Firmware"));
    QCOMPARE(progress->lblTask()->text(), QStringLiteral("Programming..."));
    QCOMPARE(progress->Bar()->maximum(), 311);
    QCOMPARE(progress->Bar()->value(), 300);

    reports.HideProgress();
    QVERIFY(!progress->isVisible());
    // Shown again, it is the same window.
    reports.ShowProgress(QStringLiteral("Assigning IP"));
    QCOMPARE(user.Progress(), progress);
    QVERIFY(progress->isVisible());
}

void TestProgressGui::CentredOnOwner() {
    QMainWindow owner;
    owner.setGeometry(100, 120, 800, 600);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    TProgress progress(&owner);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    const QPoint offset = progress.frameGeometry().center() - owner.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 4,
             qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
}

void TestProgressGui::UserCannotCloseIt() {
    QMainWindow owner;
    owner.show();
    TProgress progress(&owner);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QTest::keyClick(&progress, Qt::Key_Escape);
    QVERIFY(progress.isVisible());
    QVERIFY(!progress.close());
    QVERIFY(progress.isVisible());
}

void TestProgressGui::TakesFocusBack() {
    QMainWindow owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    TProgress progress(&owner);
    progress.show();
    QVERIFY(QTest::qWaitForWindowActive(&progress));

    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(progress.isActiveWindow(), 5000);

    // Hidden, it leaves the focus where it is.
    progress.hide();
    other.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(other.isActiveWindow(), 5000);
    QTest::qWait(50);
    QVERIFY(other.isActiveWindow());
}

void TestProgressGui::LeavesFocusToAModalBox() {
    QMainWindow owner;
    owner.show();
    TProgress progress(&owner);
    progress.show();
    QVERIFY(QTest::qWaitForWindowActive(&progress));

    bool boxActive = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        // Give the progress window every chance to snatch the focus.
        QTest::qWait(100);
        boxActive = box->isActiveWindow();
        QTest::keyClick(box, Qt::Key_Enter);
    });
    QMessageBox::information(&owner, QStringLiteral("Tidewright"), QStringLiteral("Question"));
    QVERIFY(boxActive);
    QTRY_VERIFY_WITH_TIMEOUT(progress.isActiveWindow(), 5000);
}

QTEST_MAIN(TestProgressGui)
#include "tst_progress_gui.moc"
