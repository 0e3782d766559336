// The firmware update from the window: its menus, the progress window, the message boxes, the
// controls held and given back, against the simulated multiplexer over loopback TCP. Menus are
// clicked, boxes answered and file dialogs typed into as a user would.
#include "app/MainForm.h"
#include "comms/Comms.h"
#include "firmware/FwImage.h"
#include "firmware/ProgressForm.h"
#include "session/LinkUrl.h"
#include "sim/SimBoot.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int Timeout = 10000;
const QString Success = QStringLiteral("The firmware update was successful");
const QString RestoreQuestion = QStringLiteral("Restore the configuration read before the update?");

// Answers every modal box as it comes up: records its text and clicks a button (Yes, or OK);
// types a file name into file dialogs (or presses Escape when there is none).
class TModalAnswers : public QObject {
public:
    TModalAnswers() {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [this] { Poll(); });
        timer.start();
    }

    QStringList Texts;
    QList<QMessageBox::StandardButton> Answers; // Yes when the list has run out
    QString FileName;        // in the dialog's folder; empty: the dialog is cancelled
    QStringList FileFilters; // the filter each dialog came up with

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        // Each box is answered once; it may stay up a moment after its button was clicked.
        if (!modal || !modal->isVisible() || modal == answered)
            return;
        answered = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Texts.append(box->text());
            const QMessageBox::StandardButton wanted =
                Answers.isEmpty() ? QMessageBox::Yes : Answers.takeFirst();
            QAbstractButton* button = box->button(wanted);
            if (!button)
                button = box->button(QMessageBox::Ok);
            QTest::mouseClick(button, Qt::LeftButton);
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (FileName.isEmpty() || !edit) {
                FileFilters.append(dialog->selectedNameFilter());
                QTest::keyClick(dialog, Qt::Key_Escape);
                return;
            }
            if (typedInto != dialog) {
                // Typed first; Open is clicked on a later round, once the dialog has taken it.
                FileFilters.append(dialog->selectedNameFilter());
                typedInto = dialog;
                QTest::keyClicks(edit, FileName);
                answered = nullptr;
                return;
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
        }
    }

    QTimer timer;
    QPointer<QWidget> answered;
    QPointer<QWidget> typedInto;
};

// A sample of the window taken while the update programs a page.
struct TSample {
    QString Caption;
    QString Task;
    int Maximum = 0;
    bool ConnectionEnabled = true;
    bool ReadEnabled = true;
    bool Busy = false;
};

// The window with its own message boxes and progress window, connected to a simulator.
struct TRig {
    explicit TRig(TSimulator::TOptions options = {}) {
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        form = std::make_unique<TMainForm>();
        form->SetPersistSettings(false);
        form->show();
        progress = form->ProgressWindow();
        // What the window looks like whenever the progress window is up.
        sampler.setInterval(5);
        QObject::connect(&sampler, &QTimer::timeout, [this] {
            if (progress->isVisible())
                samples.append({progress->windowTitle(), progress->lblTask()->text(),
                                progress->Bar()->maximum(), Ui().gbConnection->isEnabled(),
                                Ui().btnReadConfig->isEnabled(),
                                QApplication::overrideCursor() != nullptr});
        });
        sampler.start();
    }
    ~TRig() {
        form.reset();
        sim.reset();
    }

    TSession& Session() { return form->Session(); }
    Ui::TMainForm& Ui() { return form->Controls(); }
    bool ConnectAndRead() {
        QSignalSpy finished(&Session(), &TSession::ReadFinished);
        form->ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(sim->TcpPort())));
        return finished.count() > 0 || finished.wait(Timeout);
    }
    // Opens the menu and clicks the entry, as the user does.
    void Click(QMenu* menu, QAction* action) {
        menu->popup(form->mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY(action->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
    // The window as every way out of an update leaves it.
    void VerifyGivenBack() {
        QVERIFY(!progress->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(Ui().gbConnection->isEnabled());
        QVERIFY(Ui().btnConnect->isEnabled());
        QVERIFY(!Session().Comm().InPacketMode());
    }

    TModalAnswers boxes;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TMainForm> form;
    TProgress* progress = nullptr;
    QTimer sampler;
    QList<TSample> samples;
};

QString StatusText(TMainForm& form, int panel) {
    return form.statusBar()->findChild<QLabel*>(QStringLiteral("sbPanel%1").arg(panel))->text();
}

} // namespace

class TestFwUpdateGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void AutomaticUpdateFromToolsMenu();
    void IncompatibleFirmwareAnsweredYes();
    void UpdateWithChosenFile_data();
    void UpdateWithChosenFile();
    void LostLinkGivesTheWindowBack();
    void BootloaderAnnouncementOffersUpdate();
    void ClosingWaitsForTheUpdate();

private:
    QTemporaryDir dir;
};

void TestFwUpdateGui::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
}

void TestFwUpdateGui::AutomaticUpdateFromToolsMenu() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QVERIFY(rig.sim->SetConfigFields("OP", {"000000A5"}));
    QVERIFY(rig.ConnectAndRead());

    rig.Click(rig.Ui().miTools, rig.Ui().miAutoUpdate);
    QTRY_VERIFY2_WITH_TIMEOUT(rig.boxes.Texts.contains(RestoreQuestion),
                              qPrintable(rig.boxes.Texts.join(u'|')), Timeout);

    QCOMPARE(rig.boxes.Texts, (QStringList{Success, RestoreQuestion}));
    QCOMPARE(rig.sim->ReceivedPackets().size(), 4 + 312);
    QVERIFY(!rig.sim->InBootloader());
    // While it ran: the progress window over the window, painted on the way (so sampled more
    // than once), the link held, busy.
    QVERIFY(rig.samples.size() > 1);
    QStringList tasks;
    for (const TSample& sample : rig.samples) {
        QCOMPARE(sample.Caption, QStringLiteral("Updating Corvanta Firmware"));
        if (!tasks.contains(sample.Task))
            tasks.append(sample.Task);
        QVERIFY(!sample.ConnectionEnabled);
        QVERIFY(!sample.ReadEnabled);
        QVERIFY(sample.Busy);
    }
    QCOMPARE(tasks.last(), QStringLiteral("Programming..."));
    QCOMPARE(rig.samples.last().Maximum, 311);
    QCOMPARE(rig.progress->Bar()->value(), 311);
    rig.VerifyGivenBack();
    // The configuration read before went back (Yes to the question).
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim->ReceivedLines().contains(
                                 QString::fromLatin1(NmeaLine("$PZRQOP,C,000000A5").trimmed())),
                             Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Ui().btnReadConfig->isEnabled(), Timeout);
}

void TestFwUpdateGui::IncompatibleFirmwareAnsweredYes() {
    TSimulator::TOptions options;
    options.firmware = QStringLiteral("3.13.2");
    options.updatedFirmware = QStringLiteral("3.14.0");
    TRig rig(options);
    rig.form->ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(rig.sim->TcpPort())));
    QTRY_VERIFY_WITH_TIMEOUT(rig.boxes.Texts.contains(Success), Timeout);
    QCOMPARE(rig.boxes.Texts.first(),
             QStringLiteral("Tidewright has detected incompatible firmware in\nyour "
                            "Corvanta.\n\nWould you like to perform an automatic update?"));
    // The built-in image went in, and the multiplexer is identified afresh.
    QCOMPARE(rig.sim->ProgrammedMemory(),
             LoadFirmwareImage(BuiltInImageSource).PayloadBuffer().first(159744).toByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*rig.form, 1), QStringLiteral("Version: 3.14.0"), Timeout);
    rig.VerifyGivenBack();
    // Nothing could be read from the old firmware, so nothing is offered back.
    QCOMPARE(rig.boxes.Texts.size(), 2);
}

void TestFwUpdateGui::UpdateWithChosenFile_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("file typed") << false;
    QTest::newRow("dialog cancelled") << true;
}

void TestFwUpdateGui::UpdateWithChosenFile() {
    QFETCH(bool, cancel);
    const QByteArray payload(1300, char(0xFD));
    TFirmwareFileInfo info;
    info.Major = 3;
    info.Minor = 14;
    info.MuxType = 0x94;
    info.DeviceCrc = FirmwareDeviceCrc(payload);
    const QString path = dir.filePath("cpx.cvz");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(MakeFirmwareFile(info, payload));
    }
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    const qsizetype mark = rig.sim->ReceivedLines().size();
    // The dialog opens in the working folder.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    rig.boxes.FileName = cancel ? QString() : QStringLiteral("cpx.cvz");
    rig.boxes.Answers = {QMessageBox::Ok, QMessageBox::No};

    rig.Click(rig.Ui().miFile, rig.Ui().miUpdateFirmware);
    QDir::setCurrent(saved);
    QTRY_COMPARE_WITH_TIMEOUT(rig.boxes.FileFilters.size(), 1, Timeout);
    QCOMPARE(rig.boxes.FileFilters.first(), QStringLiteral("Corvanta Firmware Image (*.cvz)"));
    if (cancel) {
        // Nothing shown, nothing sent: a query now is the first thing the multiplexer gets.
        rig.Session().SendAndWait(QStringLiteral("$PZRQVER"), nkVER);
        QStringList lines = rig.sim->ReceivedLines().mid(mark);
        lines.removeAll(QStringLiteral("$PZRQCF,A*61"));
        QCOMPARE(lines, QStringList{"$PZRQVER*48"});
        QVERIFY(rig.boxes.Texts.isEmpty());
        QVERIFY(rig.samples.isEmpty());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(rig.boxes.Texts.contains(RestoreQuestion), Timeout);
        QCOMPARE(rig.sim->ProgrammedMemory(),
                 payload + QByteArray(3 * 512 - payload.size(), char(0xFF)));
        QCOMPARE(rig.samples.last().Maximum, 2);
    }
    rig.VerifyGivenBack();
}

void TestFwUpdateGui::LostLinkGivesTheWindowBack() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SetFault(sfBootDrop, 3);
    rig.Click(rig.Ui().miTools, rig.Ui().miAutoUpdate);
    QTRY_VERIFY_WITH_TIMEOUT(rig.boxes.Texts.contains("The firmware update failed"), Timeout);
    QVERIFY(rig.boxes.Texts.contains("TCP Connection lost"));
    // Shown while the link was held, given back with the message.
    QVERIFY(!rig.samples.isEmpty());
    QVERIFY(!rig.samples.first().ConnectionEnabled);
    rig.VerifyGivenBack();
    QCOMPARE(rig.Ui().btnConnect->text(), QStringLiteral("Connect"));
}

void TestFwUpdateGui::BootloaderAnnouncementOffersUpdate() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.boxes.Answers = {QMessageBox::No};
    rig.sim->SendUnasked("$PZRQLDR,94");
    QTRY_COMPARE_WITH_TIMEOUT(rig.boxes.Texts,
                              QStringList{"The multiplexer is waiting in its bootloader.\n\n"
                                          "Would you like to update its firmware now?"},
                              Timeout);
    QVERIFY(rig.Ui().miUpdateFirmware->isVisible());
    QVERIFY(rig.Ui().miUpdateFirmware->isEnabled());
    QCOMPARE(rig.Session().LoaderType, quint8(0x94));
    // No was the answer: nothing was sent.
    QVERIFY(rig.sim->ReceivedPackets().isEmpty());
    QVERIFY(!rig.sim->ReceivedLines().contains("$PZRQRESET*5C"));
}

void TestFwUpdateGui::ClosingWaitsForTheUpdate() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.boxes.Answers = {QMessageBox::Ok, QMessageBox::No};
    bool closedEarly = false;
    QObject::connect(rig.progress->Bar(), &QProgressBar::valueChanged, [&](int page) {
        if (page == 100) {
            rig.form->close();
            closedEarly = !rig.form->isVisible();
        }
    });
    rig.Click(rig.Ui().miTools, rig.Ui().miAutoUpdate);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.form->isVisible(), Timeout);
    QVERIFY(!closedEarly);
    QVERIFY(rig.boxes.Texts.contains(Success));
    QVERIFY(!rig.sim->InBootloader());
}

QTEST_MAIN(TestFwUpdateGui)
#include "tst_fwupdate_gui.moc"
