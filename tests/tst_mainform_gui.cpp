// The main window driven as a user would, against the simulated multiplexer over real links.
#include "ScriptedUser.h"

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "comms/Comms.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

constexpr int Timeout = 10000;

// The simulator listens on a loopback address of its own, so that a UDP link, which binds the
// same port number on every local address, does not receive the simulator's own datagrams.
const QHostAddress SimAddress(QStringLiteral("127.0.0.2"));

QSettings Settings() {
    return QSettings(QStringLiteral("Kelvane"), QStringLiteral("Tidewright"));
}

QString StatusText(TMainForm& form, int panel) {
    return form.statusBar()->findChild<QLabel*>(QStringLiteral("sbPanel%1").arg(panel))->text();
}

// A window with its scripted user, connected to a simulator.
struct TRig {
    explicit TRig(TSimulator::TOptions options = {}) {
        options.listen = SimAddress;
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        form = std::make_unique<TMainForm>(&user);
        form->SetPersistSettings(false);
        form->show();
    }
    ~TRig() {
        form.reset();
        sim.reset();
    }

    TSession& Session() { return form->Session(); }
    Ui::TMainForm& Ui() { return form->Controls(); }

    void ConnectTcp() {
        form->ConnectTo(ParseLinkUrl(
            QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(sim->TcpPort())));
    }
    // Connected over TCP with the configuration read.
    bool ConnectAndRead() {
        QSignalSpy finished(&Session(), &TSession::ReadFinished);
        ConnectTcp();
        if (finished.count() == 0 && !finished.wait(Timeout))
            return false;
        // The NMEA 2000 scan that follows the identification brings replies of its own into
        // the viewer and the log; the cases here count lines, so they start once it is over
        // (on a slow build it outlasts the read).
        return QTest::qWaitFor(
            [&] {
                const TN2KScanState state = form->DeviceList().ScanState();
                return state == nsIdle || state == nsChanged;
            },
            Timeout);
    }
    bool Received(const QString& line) { return sim->ReceivedLines().contains(line); }
    QStringList ViewerLines() const {
        const QString text = form->Controls().memNmea->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(u'\n');
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TMainForm> form;
};

// Clicks a check box on its box, as a user does.
void ClickCheckBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

// Replaces the text of an edit field or editable combo box by typing, as a user does. Keys for
// a combo box go to the box, which has the focus and hands them to its edit line.
void TypeInto(QWidget* edit, const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
}

// Opens a menu of the menu bar with the mouse and clicks one of its items.
void ClickMenuItem(TMainForm& form, QMenu* menu, QAction* item) {
    QMenuBar* bar = form.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(item->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
}

// Types a file name into the next file dialog and clicks its Open or Save button once the
// dialog has enabled it.
void AnswerFileDialog(QObject* context, const QString& name) {
    auto* poll = new QTimer(context);
    auto ticks = std::make_shared<int>(0);
    auto typed = std::make_shared<int>(0); // the tick the name was typed on
    QObject::connect(poll, &QTimer::timeout, context, [poll, name, ticks, typed] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (++*ticks > 500 || (*typed > 0 && !dialog)) {
            poll->deleteLater();
            return;
        }
        if (!dialog)
            return;
        if (*typed == 0) {
            // The folder is chosen as a user picks it; the name is typed.
            dialog->setDirectory(QFileInfo(name).absolutePath());
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->clear();
            QTest::keyClicks(edit, QFileInfo(name).fileName());
            *typed = *ticks;
        }
        // The dialog looks the name up in its folder; give it a moment.
        if (*ticks < *typed + 10)
            return;
        // The name's completion list takes the mouse while it is open: close it first.
        if (QWidget* popup = QApplication::activePopupWidget()) {
            QTest::keyClick(popup, Qt::Key_Escape);
            return;
        }
        auto* box = dialog->findChild<QDialogButtonBox*>();
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) == QDialogButtonBox::AcceptRole && button->isEnabled()) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
    });
    poll->start(10);
}

// Drops a file on the window as the desktop would.
bool DropFile(QWidget* window, const QString& fileName) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(fileName)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!window->acceptDrops() || !enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    return true;
}

// A configuration file with this many routes.
QString RoutesFile(const QTemporaryDir& dir, int routes) {
    TMuxConfig config;
    for (int i = 0; i < routes; ++i)
        config.AddRoute(QStringLiteral("GP%1").arg(i, 3, 10, QChar(u'0')), 0x0001, 0, 0x41, 0,
                        NoSourceAddress);
    const QString file = dir.filePath(QStringLiteral("routes.ini"));
    config.SaveToFile(file, ToolText(), "", "", "");
    return file;
}

// The newest line of the viewer lies wholly inside what the viewer shows.
bool NewestLineInView(QPlainTextEdit* viewer) {
    QTextCursor cursor(viewer->document()->lastBlock());
    const QRect start = viewer->cursorRect(cursor);
    cursor.movePosition(QTextCursor::EndOfBlock);
    const QRect end = viewer->cursorRect(cursor);
    const QRect shown = viewer->viewport()->rect();
    return shown.contains(start) && shown.contains(end);
}

// A TAG block naming the simulated multiplexer as source, with a correct checksum.
QByteArray Tagged(const QString& source, const QByteArray& sentence) {
    const QString tag = QStringLiteral("s:CPX7A31F") + source;
    return "\\" + tag.toLatin1() + "*" +
           QByteArray::number(NmeaChecksum(u'x' + tag, tag.size() + 1), 16)
               .rightJustified(2, '0')
               .toUpper() +
           "\\" + NmeaLine(sentence).trimmed();
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void ConnectsOverEveryLink_data();
    void ConnectsOverEveryLink();
    void ViewFilter();
    void NoScrollKeepsOneLinePerAddress();
    void ScrollingViewKeepsLast101();
    void FullViewKeepsItsScrollBarStill();
    void NewestLineAlwaysInView_data();
    void NewestLineAlwaysInView();
    void SendBoxAndHistory();
    void Logs_data();
    void Logs();
    void LostTcpConnection();
    void OverflowLamps();
    void ClosingWhileWaitingWaitsForTheWait();
    void FirstRunAndSavedSettings();
    void RestoreFactorySettingsAnsweredNoReadsAgain();
    void ProgramSelectionsSendNothing();
    void AboutBoxClearsSettings();
    void SaveAndLoadConfiguration();
    void LoadLosesTheLinkWhileStoring_data();
    void LoadLosesTheLinkWhileStoring();
    void LoadAndReadWaitWhileBusy();
    void SaveDialogsAddIni_data();
    void SaveDialogsAddIni();
};

void TestMainForm::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainForm::init() {
    Settings().clear();
}

void TestMainForm::ConnectsOverEveryLink_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("udp") << "udp";
    QTest::newRow("serial") << "serial";
}

void TestMainForm::ConnectsOverEveryLink() {
    QFETCH(QString, kind);
    TSimulator::TOptions options;
    options.udp = kind == u"udp";
    options.pty = kind == u"serial";
    TRig rig(options);
    QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);

    if (kind == u"serial") {
        // The pseudo-terminal is in no port list: it comes as a link on the command line.
        rig.form->ConnectTo(ParseLinkUrl(QStringLiteral("serial:") + rig.sim->PtyPath()));
    } else {
        // The user picks the link from the selector, types the address and clicks Connect.
        QComboBox* selector = rig.Ui().cbPort;
        const int wanted = kind == u"tcp" ? SelectorTcp : SelectorUdp;
        for (int step = 0; step < 5 && selector->currentIndex() != wanted; ++step)
            QTest::keyClick(selector, Qt::Key_Down);
        QCOMPARE(selector->currentIndex(), wanted);
        TypeInto(rig.Ui().edtMuxIP, SimAddress.toString());
        TypeInto(rig.Ui().edtMuxPort,
                 QString::number(kind == u"tcp" ? rig.sim->TcpPort() : rig.sim->UdpPort()));
        QTest::mouseClick(rig.Ui().btnConnect, Qt::LeftButton);
    }

    QVERIFY2(rig.Session().IsOpen(), qPrintable((rig.user.Errors + rig.user.Messages).join('|')));
    QVERIFY(finished.wait(Timeout));
    QCOMPARE(rig.Ui().btnConnect->text(), QString("Disconnect"));
    QCOMPARE(StatusText(*rig.form, 0), QString("Device: Corvanta-PX"));
    QCOMPARE(StatusText(*rig.form, 1), QString("Version: 3.14.0"));
    QCOMPARE(StatusText(*rig.form, 2), QString("Serial: 24070193"));
    QCOMPARE(rig.Session().DeviceModel(), 0);
    QCOMPARE(rig.Session().Activity(), acIdle);
    // The model holds what the multiplexer reported.
    QCOMPARE(rig.Session().Config.UniqueID, QString("CPX7A31F"));
    QVERIFY(rig.Ui().btnReadConfig->isEnabled());
    // The connect sequence on the wire.
    const QStringList received = rig.sim->ReceivedLines();
    QVERIFY(received.indexOf("$PZRQCF,A*61") >= 0);
    QVERIFY(received.indexOf("$PZRQVER*48") > received.indexOf("$PZRQCF,A*61"));
    QVERIFY(received.indexOf("$PZRQCFQ*5D") > received.indexOf("$PZRQVER*48"));

    QTest::mouseClick(rig.Ui().btnConnect, Qt::LeftButton);
    QVERIFY(!rig.Session().IsOpen());
    QCOMPARE(rig.Ui().btnConnect->text(), QString("Connect"));
    QCOMPARE(StatusText(*rig.form, 0), QString("Device: "));
    QVERIFY(!rig.Ui().btnReadConfig->isEnabled());
}

void TestMainForm::ViewFilter() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    // Two steps down from "All" is "Input 2".
    QCOMPARE(rig.Ui().cbViewFilter->currentIndex(), 0);
    QTest::keyClick(rig.Ui().cbViewFilter, Qt::Key_Down);
    QTest::keyClick(rig.Ui().cbViewFilter, Qt::Key_Down);
    QCOMPARE(rig.Ui().cbViewFilter->currentText(), QString("Input 2"));
    QTest::mouseClick(rig.Ui().btnClear, Qt::LeftButton);
    rig.sim->SendUnasked(Tagged("-2", "$GPRMC,2"));
    rig.sim->SendUnasked(Tagged("-3", "$GPRMC,3"));
    rig.sim->SendUnasked(Tagged("#1C", "$GPRMC,N"));
    rig.sim->SendUnasked("$GPRMC,untagged");
    QTRY_COMPARE_WITH_TIMEOUT(rig.ViewerLines().size(), 2, Timeout);
    QTest::qWait(100);
    QCOMPARE(rig.ViewerLines(),
             (QStringList{NmeaLine("$GPRMC,2").trimmed(), NmeaLine("$GPRMC,untagged").trimmed()}));

    // TAG Blocks shows the whole line.
    ClickCheckBox(rig.Ui().chbTagBlocks);
    QVERIFY(rig.Ui().chbTagBlocks->isChecked());
    rig.sim->SendUnasked(Tagged("-2", "$GPGGA,2"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.ViewerLines().size(), 3, Timeout);
    QCOMPARE(rig.ViewerLines().last(), QString::fromLatin1(Tagged("-2", "$GPGGA,2")));
}

void TestMainForm::NoScrollKeepsOneLinePerAddress() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SendUnasked("$GPXTE,0");
    QTRY_VERIFY_WITH_TIMEOUT(rig.ViewerLines().contains(NmeaLine("$GPXTE,0").trimmed()), Timeout);
    ClickCheckBox(rig.Ui().chbNoScroll);
    QVERIFY(rig.Ui().chbNoScroll->isChecked());
    QVERIFY(rig.ViewerLines().isEmpty());
    rig.sim->SendUnasked("$GPRMC,1");
    rig.sim->SendUnasked("$GPRMC,2");
    rig.sim->SendUnasked("$GPGGA,3");
    // The multiplexer's own lines (the answer to the keep-alive every 4 s) have their line too.
    const auto traffic = [&rig] {
        QStringList lines = rig.ViewerLines();
        lines.removeIf([](const QString& line) { return line.startsWith(u"$PZRQ"); });
        return lines;
    };
    QTRY_COMPARE_WITH_TIMEOUT(
        traffic(), (QStringList{NmeaLine("$GPRMC,2").trimmed(), NmeaLine("$GPGGA,3").trimmed()}),
        Timeout);
}

void TestMainForm::ScrollingViewKeepsLast101() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTest::mouseClick(rig.Ui().btnClear, Qt::LeftButton);
    for (int i = 1; i <= 150; ++i)
        rig.sim->SendUnasked("$GPXTE," + QByteArray::number(i));
    // Statistics are never shown.
    rig.sim->SendUnasked("$PZRQSTAT,R,1,2,3,4,5,6,7,8");
    QTRY_VERIFY_WITH_TIMEOUT(rig.ViewerLines().value(100) == NmeaLine("$GPXTE,150").trimmed(),
                             Timeout);
    QTest::qWait(200);
    const QStringList lines = rig.ViewerLines();
    QCOMPARE(lines.size(), 101);
    QCOMPARE(lines.first(), NmeaLine("$GPXTE,50").trimmed());
    QCOMPARE(lines.last(), NmeaLine("$GPXTE,150").trimmed());
    // The view is scrolled to show the last lines.
    QVERIFY(NewestLineInView(rig.Ui().memNmea));
}

void TestMainForm::FullViewKeepsItsScrollBarStill() {
    // Once the scrolling view holds its 101 lines, new lines push old ones out in place: the
    // scroll bar neither jumps nor needs repainting, however many lines a redraw brings.
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTest::mouseClick(rig.Ui().btnClear, Qt::LeftButton);
    int next = 1;
    const auto send = [&](int count) {
        for (int i = 0; i < count; ++i)
            rig.sim->SendUnasked("$GPXTE," + QByteArray::number(next++));
        const QString last = NmeaLine("$GPXTE," + QByteArray::number(next - 1)).trimmed();
        QTRY_COMPARE_WITH_TIMEOUT(rig.ViewerLines().value(rig.ViewerLines().size() - 1), last,
                                  Timeout);
    };
    send(101);
    QScrollBar* bar = rig.Ui().memNmea->verticalScrollBar();
    QSignalSpy moved(bar, &QScrollBar::valueChanged);
    QSignalSpy resized(bar, &QScrollBar::rangeChanged);
    for (const int count : {150, 10, 1, 300, 40})
        send(count);
    QCOMPARE(rig.ViewerLines().size(), 101);
    QCOMPARE(rig.ViewerLines().first(),
             NmeaLine("$GPXTE," + QByteArray::number(next - 101)).trimmed());
    QVERIFY(NewestLineInView(rig.Ui().memNmea));
    QCOMPARE(moved.count(), 0);
    QCOMPARE(resized.count(), 0);
}

void TestMainForm::NewestLineAlwaysInView_data() {
    QTest::addColumn<int>("pixelSize"); // 0: the window's own font
    QTest::newRow("window font") << 0;
    QTest::newRow("larger font") << 20;
    QTest::newRow("small font") << 9;
}

void TestMainForm::NewestLineAlwaysInView() {
    QFETCH(int, pixelSize);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    if (pixelSize > 0) {
        QFont font = rig.Ui().memNmea->font();
        font.setPixelSize(pixelSize);
        rig.Ui().memNmea->setFont(font);
    }
    QTest::mouseClick(rig.Ui().btnClear, Qt::LeftButton);
    for (int round = 1; round <= 3; ++round) {
        for (int i = 1; i <= 15 * round; ++i)
            rig.sim->SendUnasked("$GPXTE," + QByteArray::number(round * 100 + i));
        const QString last =
            NmeaLine("$GPXTE," + QByteArray::number(round * 116 - round)).trimmed();
        QTRY_COMPARE_WITH_TIMEOUT(rig.ViewerLines().value(rig.ViewerLines().size() - 1), last,
                                  Timeout);
        QVERIFY2(NewestLineInView(rig.Ui().memNmea), qPrintable(last));
    }
}

void TestMainForm::SendBoxAndHistory() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QComboBox* sentence = rig.Ui().cbSentence;
    TypeInto(sentence, "PZRQVER");
    QTest::keyClick(sentence, Qt::Key_Return);
    QTRY_VERIFY2_WITH_TIMEOUT(rig.sim->ReceivedLines().count("$PZRQVER*48") == 2,
                              qPrintable(rig.sim->ReceivedLines().join('|')), Timeout);
    QCOMPARE(rig.Ui().cbSentence->count(), 1);

    for (int i = 1; i <= 21; ++i) {
        TypeInto(sentence, QStringLiteral("GPXTE,%1").arg(i));
        QCOMPARE(sentence->currentText(), QStringLiteral("GPXTE,%1").arg(i));
        QTest::mouseClick(rig.Ui().btnSend, Qt::LeftButton);
    }
    // The same text again does not move or repeat.
    TypeInto(sentence, "GPXTE,21");
    QTest::mouseClick(rig.Ui().btnSend, Qt::LeftButton);
    QCOMPARE(rig.Ui().cbSentence->count(), 20);
    QCOMPARE(rig.Ui().cbSentence->itemText(0), QString("GPXTE,21"));
    QCOMPARE(rig.Ui().cbSentence->itemText(19), QString("GPXTE,2"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received(QString::fromLatin1(NmeaLine("$GPXTE,21").trimmed())),
                             Timeout);

    QTest::mouseClick(rig.Ui().btnClrHistory, Qt::LeftButton);
    QCOMPARE(rig.Ui().cbSentence->count(), 0);
    QCOMPARE(rig.Ui().cbSentence->currentText(), QString("GPXTE,21"));
}

void TestMainForm::Logs_data() {
    QTest::addColumn<bool>("diagnostic");
    QTest::newRow("plain") << false;
    QTest::newRow("diagnostic") << true;
}

void TestMainForm::Logs() {
    QFETCH(bool, diagnostic);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString fileName = dir.filePath("log.txt");
    AnswerFileDialog(rig.form.get(), fileName);
    ClickMenuItem(*rig.form, rig.Ui().miFile, diagnostic ? rig.Ui().miLogDiag : rig.Ui().miLogNmea);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*rig.form, 4), QString("Log: 0 lines"), Timeout);
    QVERIFY(!rig.Ui().miLogNmea->isEnabled());
    QVERIFY(rig.Ui().miStopLog->isEnabled());

    const QByteArray tagged = Tagged("-1", "$GPRMC,1");
    rig.sim->SendUnasked(tagged);
    rig.sim->SendUnasked("$PZRQSTAT,R,1,2,3,4,5,6,7,8");
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*rig.form, 4), QString("Log: 2 lines"), Timeout);
    TypeInto(rig.Ui().cbSentence, "GPXTE,9");
    QTest::mouseClick(rig.Ui().btnSend, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*rig.form, 4), QString("Log: 3 lines"), Timeout);
    ClickMenuItem(*rig.form, rig.Ui().miFile, rig.Ui().miStopLog);
    QCOMPARE(StatusText(*rig.form, 4), QString("Log: ---"));
    QVERIFY(rig.Ui().miLogNmea->isEnabled());

    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stat = NmeaLine("$PZRQSTAT,R,1,2,3,4,5,6,7,8");
    const QByteArray expected =
        diagnostic ? "\\t:rx*44\\" + tagged + "\r\n\\t:rx*44\\" + stat + "\\t:tx*42\\$GPXTE,9\r\n"
                   : NmeaLine("$GPRMC,1") + stat + "$GPXTE,9\r\n";
    QCOMPARE(file.readAll(), expected);
}

void TestMainForm::LostTcpConnection() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SetFault(sfDropAfter, 1);
    rig.sim->SendUnasked("$GPRMC,1");
    QTRY_COMPARE_WITH_TIMEOUT(rig.user.Messages, QStringList{"TCP Connection lost"}, Timeout);
    QVERIFY(!rig.Session().IsOpen());
    QCOMPARE(rig.Ui().btnConnect->text(), QString("Connect"));
    QVERIFY(rig.Session().Config.Routes.isEmpty());
}

void TestMainForm::OverflowLamps() {
    // The session keeps the lamps' state and timing; the window shows it.
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    const auto lit = [&](int output) {
        return rig.form->findChild<QLabel*>(QStringLiteral("lmpOverflow%1").arg(output))
            ->styleSheet()
            .contains(QStringLiteral("#ff2020"));
    };
    QVERIFY(!lit(1));
    rig.sim->SendUnasked("$PZRQOV,5");
    QTRY_VERIFY_WITH_TIMEOUT(lit(1), Timeout);
    QVERIFY(!lit(2));
    QVERIFY(lit(3));
    QVERIFY(!lit(4));
    QTRY_VERIFY_WITH_TIMEOUT(!lit(1) && !lit(3), 2000);
}

void TestMainForm::ClosingWhileWaitingWaitsForTheWait() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("OP"));
    bool cancelled = false;
    QTimer::singleShot(100, rig.form.get(), [&] { rig.form->close(); });
    try {
        rig.Session().SendAndWait(FormatCommand(nkOP, rig.Session().Config), nkOP);
    } catch (const ECancelled&) {
        cancelled = true;
    }
    QVERIFY(cancelled);
    QVERIFY(rig.Session().IsOpen()); // nothing was freed under the wait
    QTRY_VERIFY_WITH_TIMEOUT(!rig.form->isVisible(), Timeout);
    QVERIFY(!rig.Session().IsOpen());
}

void TestMainForm::FirstRunAndSavedSettings() {
    TScriptedUser user;
    {
        TMainForm form(&user);
        QCOMPARE(form.Controls().cbPort->currentIndex(), -1);
        QVERIFY(form.Controls().edtMuxIP->text().isEmpty());
        QCOMPARE(form.Controls().edtMuxPort->text(), QString("10110"));
        QVERIFY(!form.Controls().btnConnect->isEnabled());
        form.close();
    }
    QCOMPARE(Settings().value("Port").toInt(), -1);

    {
        QSettings settings = Settings();
        settings.setValue("Port", 2);
        settings.setValue("IP", "10.0.0.2");
        settings.setValue("NetPort", "");
    }
    {
        TMainForm form(&user);
        QCOMPARE(form.Controls().cbPort->currentIndex(), 2);
        QCOMPARE(form.Controls().edtMuxIP->text(), QString("10.0.0.2"));
        QCOMPARE(form.Controls().edtMuxPort->text(), QString("10110"));
        QVERIFY(form.Controls().btnConnect->isEnabled());
        // Emptying the host disables Connect.
        TypeInto(form.Controls().edtMuxIP, "");
        QVERIFY(form.Controls().edtMuxIP->text().isEmpty());
        QVERIFY(!form.Controls().btnConnect->isEnabled());
        TypeInto(form.Controls().edtMuxIP, "10.0.0.3");
        QVERIFY(form.Controls().btnConnect->isEnabled());
        form.close();
    }
    QCOMPARE(Settings().value("IP").toString(), QString("10.0.0.3"));

    // A selector index that no longer exists leaves the selector empty; an unreadable value
    // ends the reading there.
    Settings().setValue("Port", 999);
    {
        TMainForm form(&user);
        QCOMPARE(form.Controls().cbPort->currentIndex(), -1);
        QCOMPARE(form.Controls().edtMuxIP->text(), QString("10.0.0.3"));
    }
    Settings().setValue("Port", "not a number");
    {
        TMainForm form(&user);
        QVERIFY(form.Controls().edtMuxIP->text().isEmpty());
    }
}

void TestMainForm::RestoreFactorySettingsAnsweredNoReadsAgain() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);
    rig.user.Answers = {false};
    rig.Ui().miResetFactorySettings->trigger();
    QCOMPARE(rig.user.Questions.size(), 1);
    QVERIFY(finished.wait(Timeout));
    QVERIFY(!rig.Received("$PZRQRESET,1*55"));
    QCOMPARE(rig.sim->ReceivedLines().count("$PZRQVER*48"), 2);

    rig.user.Answers = {true};
    rig.Ui().miResetFactorySettings->trigger();
    QVERIFY(finished.wait(Timeout));
    QTRY_VERIFY_WITH_TIMEOUT(rig.Received(QString::fromLatin1(NmeaLine("$PZRQRESET,1").trimmed())),
                             Timeout);
}

void TestMainForm::ProgramSelectionsSendNothing() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->ClearReceived();
    // Selections set by the program (here the view filter and the port selector) raise no
    // user-action handler, so no link change and nothing on the wire.
    rig.Ui().cbViewFilter->setCurrentIndex(3);
    rig.Ui().cbPort->setCurrentIndex(SelectorUdp);
    QVERIFY(rig.Session().IsOpen());
    // Whatever a handler had sent would have reached the multiplexer before this query.
    rig.Session().SendAndWait(QStringLiteral("$PZRQUI"), nkUI);
    QVERIFY(rig.Session().IsOpen());
    QCOMPARE(rig.Session().Viewer.ViewFilter, -1);
    const QStringList received = rig.sim->ReceivedLines();
    for (const QString& line : received)
        QVERIFY2(line.startsWith("$PZRQCF,A") || line.startsWith("$PZRQUI*"), qPrintable(line));
}

void TestMainForm::AboutBoxClearsSettings() {
    Settings().setValue("IP", "10.0.0.9");
    TScriptedUser user;
    TMainForm form(&user);
    form.show();
    QString version;
    QTimer::singleShot(100, &form, [&] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(about);
        version = about->findChild<QLabel*>("lblVersion")->text();
        // The double-click announces what happens in a box of its own; acknowledge it.
        QTimer::singleShot(100, &form, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box && !box->buttons().isEmpty());
            QTest::mouseClick(box->buttons().constFirst(), Qt::LeftButton);
        });
        QTest::mouseDClick(about->findChild<QLabel*>("imgIcon"), Qt::LeftButton);
    });
    form.Controls().miAbout->trigger();
    QCOMPARE(version, "Version " + TAboutBox::ProgramVersion());
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(Settings().allKeys().isEmpty());
}

void TestMainForm::SaveAndLoadConfiguration() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString file = dir.filePath("boat.ini");
    rig.form->SaveConfigurationTo(file);
    QCOMPARE(StatusText(*rig.form, 3), "Config file: " + file);
    TMuxConfig saved;
    saved.LoadFromFile(file);
    // Everything but the source addresses, which are never saved.
    TMuxSettings expected = rig.Session().Config;
    expected.SrcAddr = saved.SrcAddr;
    QVERIFY(static_cast<const TMuxSettings&>(saved) == expected);
    QCOMPARE(saved.UniqueID, QString("CPX7A31F"));
    QFile text(file);
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY(text.readAll().contains("Device=Corvanta-PX\r\nFirmware Version=3.14.0\r\n"));

    // Loading sends the file to the multiplexer.
    saved.UniqueID = "LOADED1";
    saved.SaveToFile(file, ToolText(), "", "", "");
    rig.form->LoadConfigurationFrom(file);
    QCOMPARE(rig.sim->ConfigFields("UI"), QStringList{"LOADED1"});

    // An error box, not a notice.
    rig.form->SaveConfigurationTo(dir.filePath("missing/folder/boat.ini"));
    QVERIFY2(rig.user.Errors.size() == 1, qPrintable(rig.user.Errors.join('|')));
    QVERIFY(rig.user.Errors[0].startsWith("Unable to write to "));
    QVERIFY(rig.user.Messages.isEmpty());
}

void TestMainForm::LoadLosesTheLinkWhileStoring_data() {
    QTest::addColumn<bool>("drop"); // else the Load menu item
    QTest::newRow("Load from the menu") << false;
    QTest::newRow("dropped file") << true;
}

void TestMainForm::LoadLosesTheLinkWhileStoring() {
    QFETCH(bool, drop);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString file = RoutesFile(dir, 20);
    // The multiplexer resets the connection when the first route arrives.
    rig.sim->SetFault(sfDropAfterTableLine, 1);
    if (drop) {
        QVERIFY(DropFile(rig.form.get(), file));
    } else {
        AnswerFileDialog(rig.form.get(), file);
        ClickMenuItem(*rig.form, rig.Ui().miFile, rig.Ui().miLoad);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Session().IsOpen(), Timeout);
    QCOMPARE(rig.Session().WaitDepth(), 0);
    QCOMPARE(rig.user.Messages, QStringList{"TCP Connection lost"});
    QVERIFY(rig.user.Errors.isEmpty());
    QCOMPARE(StatusText(*rig.form, 3), "Config file: " + file);
    QVERIFY(rig.Session().Config.Routes.isEmpty());
    QCOMPARE(rig.sim->Routes().size(), 1);
    QCOMPARE(rig.Ui().btnConnect->text(), QString("Connect"));
    QVERIFY(!rig.Ui().miLoad->isEnabled());
}

void TestMainForm::LoadAndReadWaitWhileBusy() {
    TRig rig;
    QTemporaryDir dir;
    const QString file = RoutesFile(dir, 2);
    const QString busy("The multiplexer is busy. Please try again when it has finished.");
    const auto commandsEnabled = [&] {
        return rig.Ui().btnReadConfig->isEnabled() && rig.Ui().miLoad->isEnabled();
    };

    // During identification and the configuration read.
    rig.sim->SetFault(sfDelay, 300);
    QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);
    rig.ConnectTcp();
    QCOMPARE(rig.Session().Activity(), acIdentify);
    QVERIFY(!rig.Ui().btnReadConfig->isEnabled());
    QVERIFY(!rig.Ui().miLoad->isEnabled());
    QVERIFY(DropFile(rig.form.get(), file));
    QCOMPARE(rig.user.Messages, QStringList{busy});
    QTRY_COMPARE_WITH_TIMEOUT(rig.Session().Activity(), acReadConfig, Timeout);
    QVERIFY(!commandsEnabled());
    QVERIFY(finished.wait(Timeout));
    QVERIFY(commandsEnabled());
    // The dump was asked for after the drop; whatever the drop sent would have come first.
    QVERIFY(
        !rig.Received(QString::fromLatin1(NmeaLine(RouteDeleteCommand().toLatin1()).trimmed())));
    QCOMPARE(StatusText(*rig.form, 3), QString("Config file:"));

    // During a write: the commands are off while it waits, a drop is refused, and the
    // commands come back when it is over.
    rig.sim->SetFault(sfDelay, 50);
    bool checked = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (rig.Session().WaitDepth() == 0)
            return;
        poll.stop();
        checked = !commandsEnabled() && DropFile(rig.form.get(), file);
    });
    poll.start(10);
    AnswerFileDialog(rig.form.get(), file);
    ClickMenuItem(*rig.form, rig.Ui().miFile, rig.Ui().miLoad);
    QVERIFY(checked);
    QCOMPARE(rig.user.Messages, (QStringList{busy, busy}));
    QVERIFY(commandsEnabled());
    QCOMPARE(rig.sim->ReceivedLines().count(
                 QString::fromLatin1(NmeaLine(RouteDeleteCommand().toLatin1()).trimmed())),
             1);
}

void TestMainForm::SaveDialogsAddIni_data() {
    QTest::addColumn<bool>("saveAs"); // else Save without a configuration file yet
    QTest::newRow("Save") << false;
    QTest::newRow("Save As") << true;
}

void TestMainForm::SaveDialogsAddIni() {
    QFETCH(bool, saveAs);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString typed = dir.filePath("boat");
    AnswerFileDialog(rig.form.get(), typed);
    ClickMenuItem(*rig.form, rig.Ui().miFile, saveAs ? rig.Ui().miSaveAs : rig.Ui().miSave);
    QVERIFY(QFile::exists(typed + ".ini"));
    QVERIFY(!QFile::exists(typed));
    QCOMPARE(StatusText(*rig.form, 3), "Config file: " + typed + ".ini");
    // The file is what the open dialog lists and what a drop takes.
    TMuxConfig saved;
    saved.LoadFromFile(typed + ".ini");
    QCOMPARE(saved.UniqueID, QString("CPX7A31F"));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform_gui.moc"
