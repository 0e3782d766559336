// Every window as screen readers, keyboards, high-DPI screens and dark desktops see it: each
// control has a name of its own, Tab reaches every control in reading order, nothing is
// clipped at the scale the test runs at (ctest runs it at 100 %, 150 % and 200 %), and the
// colours follow a dark palette.
#include "ScriptedUser.h"

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "config/CompareForm.h"
#include "firmware/ProgressForm.h"
#include "n2k/N2KDeviceInfo.h"
#include "n2k/N2KForm.h"
#include "network/AssignIP.h"
#include "network/Network.h"
#include "network/XportLib.h"
#include "network/XportList.h"
#include "sim/Simulator.h"
#include "sim/XPortSim.h"
#include "ui_MainForm.h"
#include "windows/NavDBForm.h"
#include "windows/Stats.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

#include <functional>

namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.1"));
// The device servers the network dialogs find: simulated, behind a loopback hub, so that
// nothing is ever broadcast.
const QHostAddress XPortHub(QStringLiteral("127.0.21.1"));
const QHostAddress XPortServer(QStringLiteral("127.0.21.2"));
constexpr int Timeout = 10000;

QString Stripped(QString text) {
    text.remove(u'&');
    text = text.trimmed();
    while (text.endsWith(u':'))
        text.chop(1);
    return text.trimmed();
}

// A widget that is part of another control (a combo box's edit line and list, a table's
// corner button, a tab bar's scroll arrows) rather than a control of its own.
bool IsPartOfControl(const QWidget* widget) {
    for (const QWidget* p = widget->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p) ||
            qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QTabBar*>(p) ||
            qobject_cast<const QLineEdit*>(p) || qobject_cast<const QMenuBar*>(p))
            return true;
    return false;
}

// Something a user edits or clicks.
bool IsControl(const QWidget* widget) {
    if (IsPartOfControl(widget))
        return false;
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget);
}

QList<QWidget*> Controls(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (IsControl(widget) && widget->window() == window)
            controls.append(widget);
    return controls;
}

// The name a screen reader announces, by the rules Qt's accessibility follows: the name set
// on the control, else the text of the label whose buddy it is, else a button's own text. Qt
// would fall back to the title of the group the control sits in, which names the group, not
// the control: that counts as no name here.
QString AnnouncedName(QWidget* control) {
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    for (QLabel* label : control->window()->findChildren<QLabel*>())
        if (label->buddy() == control)
            return Stripped(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return Stripped(button->text());
    return {};
}

QString Describe(const QWidget* widget) {
    return QStringLiteral("%1 \"%2\" in %3")
        .arg(QLatin1StringView(widget->metaObject()->className()), widget->objectName(),
             widget->window()->objectName().isEmpty()
                 ? QLatin1StringView(widget->window()->metaObject()->className())
                 : widget->window()->objectName());
}

// Why a visible widget does not show all of itself, or an empty text when it does.
QString Clipping(QWidget* widget) {
    const QSize have = widget->size();
    // A control that reaches past its parent's edge is cut off there.
    if (const QWidget* parent = widget->parentWidget();
        parent && !parent->layout() && !qobject_cast<const QAbstractScrollArea*>(parent) &&
        (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
         qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget)) &&
        !parent->rect().contains(widget->geometry()))
        return QStringLiteral("%1 reaches past its parent's edge").arg(Describe(widget));
    const auto tooSmall = [&](QSize need) {
        return have.width() < need.width() || have.height() < need.height()
                   ? QStringLiteral("%1 is %2x%3, needs %4x%5")
                         .arg(Describe(widget))
                         .arg(have.width())
                         .arg(have.height())
                         .arg(need.width())
                         .arg(need.height())
                   : QString();
    };
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return {};
        if (label->wordWrap())
            return tooSmall({0, label->heightForWidth(have.width())});
        return tooSmall(label->sizeHint());
    }
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget))
        return tooSmall(widget->sizeHint());
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // The style's push buttons ask for more room than their text needs (a minimum width,
        // generous padding); what must fit is the text and icon inside the frame.
        const QFontMetrics metrics = button->fontMetrics();
        const int frame =
            button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        int width = metrics.horizontalAdvance(Stripped(button->text())) + 2 * frame + 4;
        if (!button->icon().isNull())
            width += button->iconSize().width() + 4;
        const int height =
            std::max(metrics.height(), button->icon().isNull() ? 0 : button->iconSize().height()) +
            2 * frame;
        return tooSmall({width, height});
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // A field holds its text, and is as tall as its font asks.
        const QFontMetrics metrics = edit->fontMetrics();
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        const QMargins margins = edit->textMargins();
        return tooSmall({metrics.horizontalAdvance(edit->text()) + 2 * frame + margins.left() +
                             margins.right() + 4,
                         edit->minimumSizeHint().height()});
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        if (combo->isEditable())
            return tooSmall({0, combo->minimumSizeHint().height()});
        // The longest choice fits beside the arrow.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        int longest = 0;
        for (int i = 0; i < combo->count(); ++i)
            longest = std::max(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
        const QSize need = combo->style()->sizeFromContents(
            QStyle::CT_ComboBox, &option, {longest, combo->fontMetrics().height()}, combo);
        return tooSmall(need);
    }
    return {};
}

// A configuration read filled the window; every secondary window exists.
struct TWindows {
    TWindows() {
        TSimulator::TOptions options;
        options.listen = SimAddress;
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        TXPortSimOptions xportOptions;
        xportOptions.Hub = XPortHub;
        xportOptions.Servers = XPortSimServers(1, XPortServer);
        xport = std::make_unique<TXPortSimulator>(xportOptions);
        xport->Start();
        form = std::make_unique<TMainForm>(&user);
        form->SetPersistSettings(false);
        TXPortOptions network;
        network.Target = XPortHub;
        network.Port = xport->Port();
        network.Bind = QHostAddress(QHostAddress::LocalHost);
        network.ReceiveTimeoutMs = 200;
        network.ConnectTimeoutMs = 1000;
        network.ReadTimeoutMs = 300;
        network.PauseMs = 20;
        form->SetXPortOptions(network);
        form->NetworkDlg().SetAddress(XPortServer.toString());
        form->show();
        QSignalSpy finished(&form->Session(), &TSession::ReadFinished);
        form->ConnectTo(ParseLinkUrl(
            QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(sim->TcpPort())));
        ready = finished.count() > 0 || finished.wait(Timeout);
        about = std::make_unique<TAboutBox>(form.get());
        progress = std::make_unique<TProgress>(form.get());
        progress->lblTask()->setText(QStringLiteral("Writing the firmware"));
        compare = std::make_unique<TCompareForm>(QList<TSettingDifference>{},
                                                 QStringLiteral("boat.ini"), form.get());
    }
    ~TWindows() {
        compare.reset();
        progress.reset();
        about.reset();
        form.reset();
        xport.reset();
        sim.reset();
    }

    // Every window of the program, the main window first.
    QList<QWidget*> All() {
        return {form.get(),
                &form->Stats(),
                &form->NavDBForm(),
                &form->DeviceListForm(),
                &form->DeviceListForm().InfoForm(),
                &form->XPortListDlg(),
                &form->NetworkDlg(),
                &form->AssignIPDlg(),
                about.get(),
                progress.get(),
                compare.get()};
    }

    // Shows the window, and each page of each tab widget in it in turn, and calls check on
    // every page shown.
    void ForEachView(QWidget* window, const std::function<void(const QString&)>& check) {
        const bool wasVisible = window->isVisible();
        window->show();
        QVERIFY2(QTest::qWaitForWindowExposed(window), window->metaObject()->className());
        // The network dialogs read the device server once they are on screen; let them.
        QTest::qWait(50);
        QVERIFY2(window->isVisible(), window->metaObject()->className());
        const QList<QTabWidget*> tabs = window->findChildren<QTabWidget*>();
        if (tabs.isEmpty())
            check(window->metaObject()->className());
        for (QTabWidget* tab : tabs) {
            for (int i = 0; i < tab->count(); ++i) {
                // Pages hidden for the multiplexer at hand (Modbus) are looked at too.
                const bool tabVisible = tab->isTabVisible(i);
                tab->setTabVisible(i, true);
                tab->setCurrentIndex(i);
                QCoreApplication::processEvents();
                check(QStringLiteral("%1, tab \"%2\"")
                          .arg(QLatin1StringView(window->metaObject()->className()),
                               tab->tabText(i)));
                tab->setTabVisible(i, tabVisible);
            }
            tab->setCurrentIndex(0);
        }
        if (!wasVisible)
            window->hide();
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TXPortSimulator> xport;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TAboutBox> about;
    std::unique_ptr<TProgress> progress;
    std::unique_ptr<TCompareForm> compare;
    bool ready = false;
};

// Every fault on a line of its own (a failure message is cut short), then the verdict.
void Report(const QStringList& faults) {
    for (const QString& fault : faults)
        qWarning("%s", qPrintable(fault));
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("%1 faults").arg(faults.size())));
}

} // namespace

class TestAppearance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void EveryControlHasItsOwnName();
    void LabelledFieldsAreNotAnnouncedAsTheirGroup_data();
    void LabelledFieldsAreNotAnnouncedAsTheirGroup();
    void TabReachesEveryControlInOrder();
    void NothingIsClipped();
    void ScreenshotsAtTheScreenScale();
    void DarkPaletteIsFollowed();
};

void TestAppearance::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("Kelvane"), QStringLiteral("Tidewright")).clear();
}

void TestAppearance::EveryControlHasItsOwnName() {
    TWindows windows;
    QVERIFY(windows.ready);
    QStringList faults;
    int named = 0;
    for (QWidget* window : windows.All()) {
        QHash<QString, QWidget*> seen;
        for (QWidget* control : Controls(window)) {
            const QString name = AnnouncedName(control);
            if (name.isEmpty()) {
                faults << Describe(control) + QStringLiteral(" has no name");
                continue;
            }
            if (QWidget* other = seen.value(name)) {
                faults << QStringLiteral("%1 and %2 are both \"%3\"")
                              .arg(Describe(other), Describe(control), name);
                continue;
            }
            seen.insert(name, control);
            ++named;
        }
    }
    Report(faults);
    // The walk found the windows' controls: the main window alone has well over a hundred.
    QVERIFY2(named > 200, qPrintable(QString::number(named)));
}

void TestAppearance::LabelledFieldsAreNotAnnouncedAsTheirGroup_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("host") << "edtMuxIP"
                          << "Host";
    QTest::newRow("network port") << "edtMuxPort"
                                  << "Network port";
    QTest::newRow("send") << "cbSentence"
                          << "Sentence to send";
    QTest::newRow("port selector") << "cbPort"
                                   << "Port";
    QTest::newRow("a talker ID") << "edtTalkerID3"
                                 << "In 3 talker ID";
    QTest::newRow("a default route") << "chbRouteIn2Out4"
                                     << "Out 4 default route from In 2";
    QTest::newRow("a source address") << "edtSrcAddrMain"
                                      << "Main source address";
}

void TestAppearance::LabelledFieldsAreNotAnnouncedAsTheirGroup() {
    // What the accessibility tree itself reports, as a screen reader or a test robot reads it.
    QFETCH(QString, control);
    QFETCH(QString, name);
    TScriptedUser user;
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    auto* widget = form.findChild<QWidget*>(control);
    QVERIFY(widget);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(face);
    if (qobject_cast<QComboBox*>(widget)) {
        // On Linux a combo box tells its value as its name; its own name is the one it was
        // given, or its label.
        QCOMPARE(AnnouncedName(widget), name);
    } else {
        QCOMPARE(face->text(QAccessible::Name), name);
    }
}

// Presses Tab from the focused control until the focus comes back to it; the controls in the
// order they were reached.
QList<QWidget*> TabWalk(QWidget* first) {
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visited{first};
    for (int i = 0; i < 400; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (!now || now == first || visited.contains(now))
            break;
        visited.append(now);
    }
    return visited;
}

void TestAppearance::TabReachesEveryControlInOrder() {
    TScriptedUser user;
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Ui::TMainForm& ui = form.Controls();
    // Not connected, a network link chosen: the connection's controls are all there.
    ui.cbPort->setCurrentIndex(SelectorTcp);
    form.RefreshControls();
    ui.edtMuxIP->setText(QStringLiteral("127.0.0.1"));
    form.RefreshControls();
    QVERIFY(ui.btnConnect->isEnabled());

    // Tab from the port selector walks the window as it is read: the connection first (what
    // a user does first), the sending, the configuration, then the viewer and its options.
    QList<QWidget*> visited = TabWalk(ui.cbPort);
    const QList<QWidget*> order{ui.cbPort,  ui.edtMuxIP, ui.edtMuxPort,  ui.btnConnect,
                                ui.memNmea, ui.btnClear, ui.chbNoScroll, ui.chbTagBlocks};
    for (qsizetype i = 1; i < order.size(); ++i)
        QVERIFY2(
            visited.indexOf(order[i - 1]) >= 0 &&
                visited.indexOf(order[i - 1]) < visited.indexOf(order[i]),
            qPrintable(Describe(order[i]) + " is not reached after " + Describe(order[i - 1])));
    // Every enabled control in view is reached.
    const auto checkAllReached = [&] {
        for (QWidget* control : Controls(&form))
            if (control->isVisible() && control->isEnabled() &&
                (control->focusPolicy() & Qt::TabFocus) && !IsPartOfControl(control))
                QVERIFY2(visited.contains(control),
                         qPrintable(Describe(control) + " is not reached"));
    };
    checkAllReached();

    // Connected, with the configuration read: the pages' rows are walked row by row.
    TSimulator::TOptions options;
    options.listen = SimAddress;
    TSimulator sim(options);
    sim.Start();
    QSignalSpy finished(&form.Session(), &TSession::ReadFinished);
    form.ConnectTo(
        ParseLinkUrl(QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(sim.TcpPort())));
    QVERIFY(finished.count() > 0 || finished.wait(Timeout));
    visited = TabWalk(ui.cbPort);
    checkAllReached();
    const QWidget* page = ui.pcConfig->currentWidget();
    const auto position = [&](const char* name) {
        return visited.indexOf(page->findChild<QWidget*>(QLatin1StringView(name)));
    };
    QVERIFY(position("cbBaudIn1") >= 0);
    QVERIFY(position("cbBaudIn1") < position("edtTalkerID1"));
    QVERIFY(position("edtTalkerID1") < position("cbPrioIn1"));
    QVERIFY(position("cbModeIn1") < position("cbBaudIn2"));
    const QList<QWidget*> connected{ui.btnConnect, ui.cbSentence, ui.btnSend, ui.btnClrHistory,
                                    ui.btnReadConfig};
    for (qsizetype i = 1; i < connected.size(); ++i)
        QVERIFY2(visited.indexOf(connected[i - 1]) < visited.indexOf(connected[i]),
                 qPrintable(Describe(connected[i]) + " is not reached after " +
                            Describe(connected[i - 1])));
    QVERIFY(visited.indexOf(ui.btnReadConfig) < position("cbBaudIn1"));
    QVERIFY(position("cbPrioN2K") < visited.indexOf(ui.memNmea));
    form.Session().Disconnect();
}

void TestAppearance::NothingIsClipped() {
    TWindows windows;
    QVERIFY(windows.ready);
    QStringList faults;
    int looked = 0;
    for (QWidget* window : windows.All()) {
        windows.ForEachView(window, [&](const QString& view) {
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (!widget->isVisible() || IsPartOfControl(widget))
                    continue;
                ++looked;
                const QString why = Clipping(widget);
                if (!why.isEmpty())
                    faults << view + QStringLiteral(": ") + why;
            }
        });
    }
    Report(faults);
    QVERIFY(looked > 200);
}

void TestAppearance::ScreenshotsAtTheScreenScale() {
    // The pictures are drawn at the screen's scale: sharp, not stretched. With
    // TW_SCREENSHOT_DIR set they are kept there.
    TWindows windows;
    QVERIFY(windows.ready);
    const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    const qreal expected = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                               ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                               : 1.0;
    QCOMPARE(ratio, expected);
    const QString dir = qEnvironmentVariable("TW_SCREENSHOT_DIR");
    int shots = 0;
    for (QWidget* window : windows.All()) {
        windows.ForEachView(window, [&](const QString& view) {
            const QPixmap picture = window->grab();
            QCOMPARE(picture.devicePixelRatio(), ratio);
            QCOMPARE(picture.size(), (QSizeF(window->size()) * ratio).toSize());
            ++shots;
            if (!dir.isEmpty()) {
                QString name = view;
                name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), "-");
                QVERIFY(picture.save(QStringLiteral("%1/%2@%3x.png").arg(dir, name).arg(ratio)));
            }
        });
    }
    QVERIFY(shots >= 16);
    // The icons are drawn for the scale, not stretched from a small picture.
    const QPixmap icon = TAboutBox::ProgramIcon().pixmap(QSize(64, 64), ratio);
    QCOMPARE(icon.size(), (QSizeF(64, 64) * ratio).toSize());
}

void TestAppearance::DarkPaletteIsFollowed() {
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Text, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
    QApplication::setPalette(dark);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(light); });

    TWindows windows;
    QVERIFY(windows.ready);
    Ui::TMainForm& ui = windows.form->Controls();
    const auto contrast = [](const QColor& a, const QColor& b) {
        return std::abs(a.lightness() - b.lightness());
    };

    // The viewer draws the traffic in the palette's colours: light text on dark.
    const QPalette viewer = ui.memNmea->palette();
    QCOMPARE(viewer.color(QPalette::Base), dark.color(QPalette::Base));
    QCOMPARE(viewer.color(QPalette::Text), dark.color(QPalette::Text));
    const QImage shot = ui.memNmea->grab().toImage();
    QVERIFY(QColor(shot.pixel(shot.width() / 2, shot.height() - 4)).lightness() < 80);

    // A field typed into and not yet sent is marked yellow; its text stays readable.
    QLineEdit* talker = windows.form->findChild<QLineEdit*>("edtTalkerID1");
    ui.pcConfig->setCurrentIndex(0);
    talker->setFocus();
    QTest::keyClicks(talker, "GP");
    const QPalette marked = talker->palette();
    QCOMPARE(marked.color(QPalette::Base), QColor(Qt::yellow));
    QVERIFY(contrast(marked.color(QPalette::Text), marked.color(QPalette::Base)) > 100);

    // The overflow lamps stand out from a dark window, lit or not.
    QWidget* lamp = windows.form->findChild<QWidget*>("lmpOverflow1");
    QVERIFY(lamp);
    const QImage lampShot = lamp->grab().toImage();
    const QColor middle(lampShot.pixel(lampShot.width() / 2, lampShot.height() / 2));
    QVERIFY(middle.red() > middle.green() + 40);
    QVERIFY(contrast(middle, dark.color(QPalette::Window)) > 10);
}

QTEST_MAIN(TestAppearance)
#include "tst_appearance_gui.moc"
