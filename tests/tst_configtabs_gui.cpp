// The configuration tabs driven as a user would, against the simulated multiplexer over
// loopback TCP: every control of the control table shows what the multiplexer holds and sends
// exactly its sentence when the user changes it.
#include "ScriptedUser.h"

#include "FilledModel.h"

#include "app/MainForm.h"
#include "cli/CliTool.h"
#include "config/ConfigControls.h"
#include "nmea/Numbers.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int Timeout = 10000;
const QHostAddress SimAddress(QStringLiteral("127.0.0.2"));
const QString KeepAlive = QStringLiteral("$PZRQCF,A*61");

// Where a setting travels, written down from the sentence formats: the sentence and the
// position of the first entry among the fields after "R" or "C", and the distance between
// entries.
struct TWire {
    QString Name;
    int First;
    int Step = 1;
};

TWire WireOf(TModelField field) {
    switch (field) {
    case mfBaudIn:
        return {"SP", 0};
    case mfBaudOut1:
        return {"SP", 8};
    case mfBaudOut2:
        return {"SP", 9};
    case mfBaudOut4:
        return {"SP", 10};
    case mfPrioTimeout:
        return {"CF", 1};
    case mfTalkerID:
        return {"ID", 0};
    case mfUniqueID:
        return {"UI", 0};
    case mfRouteOut:
        return {"DR", 0, 2};
    case mfModeIn:
        return {"IN", 0};
    case mfModeOut:
        return {"DR", 1, 2};
    case mfPrioIn:
        return {"PR", 0};
    case mfPrioN2K:
        return {"PR", 8};
    case mfOptions:
        return {"OP", 0};
    case mfConversions:
        return {"CNV", 0};
    case mfN2KOptions:
        return {"NO", 0};
    case mfDevFunc:
        return {"NF", 0};
    case mfSrcAddr:
        return {"NA", 0};
    case mfDevInst:
        return {"ND", 0};
    }
    return {};
}

int PositionOf(const TControlDesc& control) {
    const TWire wire = WireOf(control.Field);
    return wire.First + control.Index * wire.Step;
}

// A multiplexer whose settings all differ from their neighbours and from the factory's.
void PresetDistinct(TSimulator& sim) {
    const QList<std::pair<QString, QStringList>> presets{
        {"CF", {"3", "4"}},
        {"SP", {"1", "2", "3", "4", "5", "0", "1", "2", "5", "4", "3"}},
        {"ID", {"GP", "II", "SD", "VW", "WI", "HC", "AI", "YX", "EC"}},
        {"UI", {"BOAT42"}},
        {"DR", {"8103", "2", "00FF", "1", "8000", "0", "0101", "1"}},
        {"IN", {"4", "1", "2", "3", "4", "0", "1", "2"}},
        {"PR", {"1", "2", "3", "4", "10", "11", "12", "14", "10"}},
        {"OP", {"00019D7C"}},
        {"CNV", {"00001A5A"}},
        {"NO", {"C0026A35"}},
        {"NF", {"1", "0", "2", "3", "4", "5", "6", "7", "8", "33"}},
        {"NA", {"3", "-", "20", "21", "22", "23", "24", "25", "26", "251"}},
        {"ND", {"0", "1", "2", "3", "4", "5", "6", "7", "8", "255"}},
    };
    for (const auto& [name, fields] : presets)
        QVERIFY2(sim.SetConfigFields(name, fields), qPrintable(name));
}

// A window with its scripted user and a simulator.
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

    void Connect() {
        form->ConnectTo(ParseLinkUrl(
            QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(sim->TcpPort())));
    }
    bool ConnectAndRead() {
        QSignalSpy finished(&Session(), &TSession::ReadFinished);
        Connect();
        if (finished.count() == 0 && !finished.wait(Timeout))
            return false;
        // The NMEA 2000 scan that follows the identification sends its own requests; the cases
        // here count the tabs' commands, so they start once it is over.
        return QTest::qWaitFor(
            [&] {
                const TN2KScanState state = form->DeviceList().ScanState();
                return state == nsIdle || state == nsChanged;
            },
            Timeout);
    }

    template <class T = QWidget>
    T* Control(const QString& name) {
        T* widget = form->findChild<T*>(name);
        if (!widget)
            qWarning("no control %s", qPrintable(name));
        return widget;
    }

    // Brings the control's tab to the front with a click on the tab.
    void ShowPage(QWidget* control) {
        QTabWidget* tabs = Ui().pcConfig;
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->isAncestorOf(control) && tabs->currentIndex() != i) {
                QTabBar* bar = tabs->tabBar();
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
            }
        }
    }

    // Commands of the tabs have all been answered (or have timed out).
    bool Settled() {
        return QTest::qWaitFor([&] { return !form->Editor().Busy() && Session().WaitDepth() == 0; },
                               Timeout);
    }

    // What the program sent since the last look, keep-alives left out.
    QStringList Sent() {
        QStringList lines = sim->ReceivedLines();
        sim->ClearReceived();
        lines.removeAll(KeepAlive);
        return lines;
    }

    // A query and its answer after an action: anything the action sent has arrived by then.
    QStringList SentAfterQuery() {
        Session().SendAndWait(QStringLiteral("$PZRQVER"), nkVER);
        QStringList lines = Sent();
        lines.removeAll(QStringLiteral("$PZRQVER*48"));
        return lines;
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TMainForm> form;
};

// The wire line of a command with its checksum, as the simulator records it.
QString Wire(const QString& name, const QStringList& fields) {
    return QString::fromLatin1(
        NmeaLine(("$PZRQ" + name + ",C," + fields.join(u',')).toLatin1()).trimmed());
}

// A user's change of a list or check box: the next choice by keyboard, or a click.
void ChangeByUser(QWidget* widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setFocus();
        QTest::keyClick(combo,
                        combo->currentIndex() + 1 < combo->count() ? Qt::Key_Down : Qt::Key_Up);
    } else {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
}

// Replaces a field's text by typing, then presses Enter.
void TypeAndEnter(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Handles the next modal dialog of that class once it is up, as the user would.
void WhenDialog(QObject* context, const char* className, std::function<void(QDialog*)> answer) {
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, className, answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && QLatin1StringView(dialog->metaObject()->className()) == className) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start(20);
}

// Picks a file in the file dialog that comes up next.
void ChooseFile(QObject* context, const QString& fileName) {
    WhenDialog(context, "QFileDialog", [fileName](QDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(fileName);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

QColor Base(QWidget* widget) {
    return widget->palette().color(QPalette::Base);
}

} // namespace

class TestConfigTabs : public QObject {
    Q_OBJECT

private slots:
    void EveryControlIsOnItsPage();
    void ReadShowsEveryValue();
    void UserChangeSendsItsSentence_data();
    void UserChangeSendsItsSentence();
    void Out3IsSentAsIn3();
    void SeaTalkOnInput1();
    void ModbusShowsItsPage();
    void TalkerIDEnter_data();
    void TalkerIDEnter();
    void TalkerIDKeys();
    void LeavingABadTalkerID();
    void NumberFields_data();
    void NumberFields();
    void ChangesWhileACommandWaits();
    void UnfinishedDumpEnds();
    void CompareWithFileThenLoad();
    void SilentMultiplexer_data();
    void SilentMultiplexer();
    void LoadSendsTheFileInOrder();
    void LoadStopsAtTheFirstMissingAnswer();
    void SaveMatchesTheCommandLine();
    void AddressesAtAnyTime();
    void NoCapabilitiesNoControls();
    void LoadMatchesTheCommandLine();
    void DroppedFiles();
};

// The table and the pages agree: every control exists once, of its type, in its box, with its
// caption and its choices.
void TestConfigTabs::EveryControlIsOnItsPage() {
    TScriptedUser user;
    TMainForm form(&user);
    for (const TControlDesc& control : ConfigControls()) {
        const QList<QWidget*> found = form.findChildren<QWidget*>(control.Name);
        QVERIFY2(found.size() == 1, qPrintable(control.Name));
        QWidget* widget = found[0];
        QCOMPARE(widget->parentWidget()->objectName(), control.Group);
        switch (control.Type) {
        case ctList: {
            auto* combo = qobject_cast<QComboBox*>(widget);
            QVERIFY2(combo, qPrintable(control.Name));
            QCOMPARE(combo->count(), qsizetype(control.Codes.size()));
            for (int i = 0; i < combo->count(); ++i)
                QCOMPARE(combo->itemText(i), QString::fromLatin1(control.Codes[i]));
            break;
        }
        case ctCheck: {
            auto* check = qobject_cast<QCheckBox*>(widget);
            QVERIFY2(check, qPrintable(control.Name));
            // The route boxes are labelled by their row.
            if (control.Field != mfRouteOut)
                QCOMPARE(check->text(), control.Caption);
            break;
        }
        case ctEdit:
            QVERIFY2(qobject_cast<QLineEdit*>(widget), qPrintable(control.Name));
            break;
        }
    }
}

// After a read every control shows what the multiplexer reported.
void TestConfigTabs::ReadShowsEveryValue() {
    TRig rig;
    PresetDistinct(*rig.sim);
    QVERIFY(rig.ConnectAndRead());
    QVERIFY2(rig.user.Messages.isEmpty(), qPrintable(rig.user.Messages.join('|')));
    // Filling the controls sent nothing.
    for (const QString& line : rig.SentAfterQuery())
        QVERIFY2(!line.contains(",C,"), qPrintable(line));
    for (const TControlDesc& control : ConfigControls()) {
        const QString field =
            rig.sim->ConfigFields(WireOf(control.Field).Name).value(PositionOf(control));
        QWidget* widget = rig.Control(control.Name);
        QVERIFY2(widget->isEnabled(), qPrintable(control.Name));
        QString shown;
        QString expected = field;
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            shown = QString::number(combo->currentIndex());
            if (control.Bit >= 0)
                expected = QString::number((*ParseHex32(field) >> control.Bit) & 1);
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            shown = QString::number(check->isChecked());
            expected = QString::number((*ParseHex32(field) >> control.Bit) & 1);
        } else {
            shown = qobject_cast<QLineEdit*>(widget)->text();
            if (field == u"-")
                expected = "n/a";
        }
        QVERIFY2(shown == expected,
                 qPrintable(control.Name + ": shows " + shown + ", reported " + expected));
    }
}

void TestConfigTabs::UserChangeSendsItsSentence_data() {
    QTest::addColumn<int>("control");
    const QList<TControlDesc>& controls = ConfigControls();
    for (qsizetype i = 0; i < controls.size(); ++i)
        QTest::newRow(qPrintable(controls[i].Name)) << int(i);
}

// One change of one control: exactly its sentence goes out, with every other value as the
// multiplexer holds it, and the multiplexer then holds the new value.
void TestConfigTabs::UserChangeSendsItsSentence() {
    QFETCH(int, control);
    const TControlDesc& desc = ConfigControls().at(control);
    TRig rig;
    // Every control usable: the Modbus page shown for its own controls, the conversions that
    // unlock their choices ticked.
    if (desc.Page == cpModbus)
        QVERIFY(rig.sim->SetConfigFields("OP", {"00000080"}));
    QVERIFY(rig.sim->SetConfigFields("CNV", {"00001010"}));
    QVERIFY(rig.ConnectAndRead());

    const TWire wire = WireOf(desc.Field);
    const int position = PositionOf(desc);
    QStringList expected = rig.sim->ConfigFields(wire.Name);
    if (wire.Name == u"NA")
        expected.replaceInStrings(QRegularExpression("^-$"), "255"); // sent as 255, shown n/a
    QWidget* widget = rig.Control(desc.Name);
    rig.ShowPage(widget);
    QVERIFY2(widget->isVisible() && widget->isEnabled(), qPrintable(desc.Name));
    rig.Sent();

    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        const QString typed = desc.Field == mfTalkerID   ? "XY"
                              : desc.Field == mfUniqueID ? "NEWID7"
                                                         : QString::number(40 + desc.Index);
        TypeAndEnter(edit, typed);
        expected[position] = typed;
    } else {
        ChangeByUser(widget);
        if (desc.Bit >= 0) {
            const quint32 mask = *ParseHex32(expected[position]) ^ (1u << desc.Bit);
            expected[position] = HexText(mask, wire.Name == u"DR" ? 4 : 8);
        } else {
            expected[position] = QString::number(qobject_cast<QComboBox*>(widget)->currentIndex());
        }
    }
    QVERIFY(rig.Settled());
    QCOMPARE(rig.Sent(), QStringList{Wire(wire.Name, expected)});
    QCOMPARE(rig.sim->ConfigFields(wire.Name).value(position), expected[position]);
    QVERIFY2(rig.user.Messages.isEmpty(), qPrintable(rig.user.Messages.join('|')));
}

// Output 3 has no speed of its own: choosing one for it is choosing input 3's.
void TestConfigTabs::Out3IsSentAsIn3() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    auto* out3 = rig.Control<QComboBox>("cbBaudOut3");
    rig.Sent();
    out3->setFocus();
    QTest::keyClicks(out3, "3"); // the first choice that starts with 3: 38400
    QVERIFY(rig.Settled());
    QCOMPARE(rig.Sent(), QStringList{"$PZRQSP,C,0,0,3,0,3,0,0,0,3,3,3*7A"});
    QCOMPARE(rig.Control<QComboBox>("cbBaudIn3")->currentText(), QString("38400"));
}

// SeaTalk on input 1: the mode goes out, the speed list is locked at 4800 and the SeaTalk
// option bit is set in the model only, for the next options command to carry.
void TestConfigTabs::SeaTalkOnInput1() {
    TRig rig;
    QVERIFY(
        rig.sim->SetConfigFields("SP", {"2", "0", "0", "0", "3", "0", "0", "0", "3", "3", "3"}));
    QVERIFY(rig.ConnectAndRead());
    auto* mode = rig.Control<QComboBox>("cbModeIn1");
    auto* speed = rig.Control<QComboBox>("cbBaudIn1");
    QVERIFY(speed->isEnabled());
    QCOMPARE(speed->currentText(), QString("19200"));
    rig.Sent();
    mode->setFocus();
    QTest::keyClicks(mode, "SeaTalk");
    QCOMPARE(mode->currentIndex(), 6);
    QVERIFY(rig.Settled());
    QCOMPARE(rig.SentAfterQuery(), QStringList{"$PZRQIN,C,6,0,0,0,0,0,0,0*67"});
    QVERIFY(!speed->isEnabled());
    QCOMPARE(speed->currentText(), QString("4800"));
    QCOMPARE(rig.Session().Config.BaudIn[0], 0);
    QCOMPARE(rig.Session().Config.Options, quint32(0x2));

    // The next options command carries the bit.
    QTest::mouseClick(rig.Control("chbNmeaV15"), Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(rig.Settled());
    QCOMPARE(rig.Sent(), QStringList{"$PZRQOP,C,00000042*53"});
}

// Output 4 given to Modbus: the Modbus page appears, output 4's routing column and host data
// give way to the label.
void TestConfigTabs::ModbusShowsItsPage() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTabWidget* tabs = rig.Ui().pcConfig;
    const int modbusTab = tabs->indexOf(rig.Ui().tsModbus);
    QVERIFY(!tabs->isTabVisible(modbusTab));
    QVERIFY(rig.Control("chbRouteIn1Out4")->isVisible());
    QVERIFY(!rig.Control("lblModbusOut4")->isVisible());
    rig.Sent();

    QWidget* modbus = rig.Control("chbModbus");
    rig.ShowPage(modbus);
    QTest::mouseClick(modbus, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(rig.Settled());
    QCOMPARE(rig.Sent(), QStringList{"$PZRQOP,C,00000080*5D"});
    QVERIFY(tabs->isTabVisible(modbusTab));
    rig.ShowPage(rig.Control("chbRouteIn1Out1"));
    for (const char* name :
         {"chbRouteIn1Out4", "chbRouteConvOut4", "chbRouteN2KOut4", "cbHostData4"})
        QVERIFY2(!rig.Control(name)->isVisible(), name);
    QVERIFY(rig.Control("chbRouteIn1Out3")->isVisible());
    QVERIFY(rig.Control("lblModbusOut4")->isVisible());
}

void TestConfigTabs::TalkerIDEnter_data() {
    QTest::addColumn<QString>("typed");     // into input 3's field; input 1's gets "AA" first
    QTest::addColumn<QString>("said");      // empty: accepted
    QTest::addColumn<QString>("sentField"); // input 3's field on the wire

    QTest::newRow("two letters") << "gp"
                                 << ""
                                 << "GP";
    QTest::newRow("letter and digit") << "A1"
                                      << ""
                                      << "A1";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("proprietary") << "PQ"
                                 << "A Talker ID cannot start with a 'P'"
                                 << "";
    QTest::newRow("one character") << "G"
                                   << "Illegal character in Talker ID"
                                   << "";
}

// Enter checks the nine fields in order; the first that fails stops everything, with the
// fields before it stored and nothing sent.
void TestConfigTabs::TalkerIDEnter() {
    QFETCH(QString, typed);
    QFETCH(QString, said);
    QFETCH(QString, sentField);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    auto* first = rig.Control<QLineEdit>("edtTalkerID1");
    auto* third = rig.Control<QLineEdit>("edtTalkerID3");
    first->setFocus();
    QTest::keyClicks(first, "aa");
    QCOMPARE(first->text(), QString("AA"));
    QCOMPARE(Base(first), QColor(Qt::yellow));
    rig.Sent();

    TypeAndEnter(third, typed);
    QVERIFY(rig.Settled());
    QCOMPARE(rig.Session().Config.TalkerID[0], QString("AA"));
    if (said.isEmpty()) {
        QVERIFY(rig.user.Messages.isEmpty());
        QCOMPARE(rig.Sent(),
                 QStringList{Wire("ID", {"AA", "", sentField, "", "", "", "", "", ""})});
        QCOMPARE(rig.sim->ConfigFields("ID").value(2), sentField);
        QCOMPARE(Base(third), QApplication::palette(third).color(QPalette::Base));
        QCOMPARE(Base(first), QApplication::palette(first).color(QPalette::Base));
    } else {
        QCOMPARE(rig.user.Messages, QStringList{said});
        QCOMPARE(Base(third), QColor(Qt::red));
        QVERIFY(!third->hasSelectedText());
        QVERIFY(rig.SentAfterQuery().isEmpty());
        // Reading the configuration again clears the mark.
        QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);
        QTest::mouseClick(rig.Ui().btnReadConfig, Qt::LeftButton);
        QVERIFY(finished.wait(Timeout));
        QCOMPARE(Base(third), QApplication::palette(third).color(QPalette::Base));
    }
}

// Typing turns letters to upper case and takes two letters or digits; Delete empties the field.
void TestConfigTabs::TalkerIDKeys() {
    TRig rig;
    QVERIFY(rig.sim->SetConfigFields("ID", {"GP", "", "", "", "", "", "", "", ""}));
    QVERIFY(rig.ConnectAndRead());
    auto* field = rig.Control<QLineEdit>("edtTalkerID2");
    field->setFocus();
    QTest::keyClicks(field, "a-b9");
    QCOMPARE(field->text(), QString("AB"));
    auto* first = rig.Control<QLineEdit>("edtTalkerID1");
    first->setFocus();
    QTest::keyClick(first, Qt::Key_End);
    QTest::keyClick(first, Qt::Key_Delete);
    QCOMPARE(first->text(), QString());
    QCOMPARE(Base(first), QColor(Qt::yellow));
}

// Leaving a field with a bad talker ID keeps the focus in it; nothing is stored or sent.
void TestConfigTabs::LeavingABadTalkerID() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    auto* field = rig.Control<QLineEdit>("edtTalkerID2");
    auto* other = rig.Control<QLineEdit>("edtTalkerID5");
    rig.form->activateWindow();
    field->setFocus();
    QTest::keyClicks(field, "P");
    rig.Sent();
    QTest::mouseClick(other, Qt::LeftButton);
    QCOMPARE(rig.user.Messages, QStringList{"Illegal character in Talker ID"});
    QCOMPARE(Base(field), QColor(Qt::red));
    QTRY_VERIFY(field->hasFocus());
    QCOMPARE(rig.Session().Config.TalkerID[1], QString());
    QVERIFY(rig.SentAfterQuery().isEmpty());
}

void TestConfigTabs::NumberFields_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sentence"); // the whole command, empty when nothing is sent
    QTest::addColumn<QString>("said");

    // The multiplexer starts with addresses 3 (host) and 4 (conversions), the inputs without.
    QTest::newRow("SA taken") << "edtSrcAddrMain"
                              << "17"
                              << "NA,C,17,255,255,255,255,255,255,255,255,4"
                              << "";
    QTest::newRow("SA 251") << "edtSrcAddrIn2"
                            << "251"
                            << "NA,C,3,255,251,255,255,255,255,255,255,4"
                            << "";
    QTest::newRow("SA 252 leaves the port") << "edtSrcAddrMain"
                                            << "252"
                                            << "NA,C,3,255,255,255,255,255,255,255,255,4"
                                            << "";
    QTest::newRow("SA emptied") << "edtSrcAddrConv"
                                << ""
                                << "NA,C,3,255,255,255,255,255,255,255,255,255"
                                << "";
    QTest::newRow("SA not a number") << "edtSrcAddrIn4"
                                     << "n"
                                     << ""
                                     << "'n' is not a valid integer value";
    QTest::newRow("DI 255") << "edtDevInstIn8"
                            << "255"
                            << "ND,C,0,0,0,0,0,0,0,0,255,0"
                            << "";
    QTest::newRow("DI 256 leaves the port") << "edtDevInstIn8"
                                            << "256"
                                            << "ND,C,0,0,0,0,0,0,0,0,0,0"
                                            << "";
    QTest::newRow("DI emptied") << "edtDevInstMain"
                                << ""
                                << "ND,C,0,0,0,0,0,0,0,0,0,0"
                                << "";
}

// The source address and device instance fields: Enter takes all ten; ports without an
// address ("n/a") stay without one.
void TestConfigTabs::NumberFields() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, sentence);
    QFETCH(QString, said);
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    auto* edit = rig.Control<QLineEdit>(field);
    rig.ShowPage(edit);
    QCOMPARE(rig.Control<QLineEdit>("edtSrcAddrIn1")->text(), QString("n/a"));
    rig.Sent();
    TypeAndEnter(edit, typed);
    QVERIFY(rig.Settled());
    QCOMPARE(rig.user.Messages, said.isEmpty() ? QStringList() : QStringList{said});
    const QStringList sent = rig.SentAfterQuery();
    const QStringList expected =
        sentence.isEmpty()
            ? QStringList()
            : QStringList{QString::fromLatin1(NmeaLine(("$PZRQ" + sentence).toLatin1()).trimmed())};
    QCOMPARE(sent, expected);
    const QPalette standard = QApplication::palette(edit);
    if (field.startsWith("edtSrcAddr"))
        QCOMPARE(Base(rig.Control("edtSrcAddrIn5")), standard.color(QPalette::Button));
    else
        QCOMPARE(Base(rig.Control("edtDevInstIn5")), standard.color(QPalette::Base));
}

// Clicks made while a command waits for its answer: each command waits for its own answer
// before the next goes out, and a sentence changed twice goes out once with both changes.
void TestConfigTabs::ChangesWhileACommandWaits() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString logName = dir.filePath("traffic.txt");
    QVERIFY(rig.Session().StartLog(logName, true));
    rig.sim->SetFault(sfDelay, 300);
    QWidget* rmc = rig.Control("chbRMC");
    QWidget* gga = rig.Control("chbGGA");
    QWidget* heading = rig.Control("chbHdgHdt");
    rig.ShowPage(rmc);
    bool clicked = false;
    QTimer::singleShot(100, rig.form.get(), [&] {
        rig.ShowPage(heading);
        QTest::mouseClick(heading, Qt::LeftButton, {}, QPoint(8, 8));
        rig.ShowPage(gga);
        QTest::mouseClick(gga, Qt::LeftButton, {}, QPoint(8, 8));
        clicked = true;
    });
    QTest::mouseClick(rmc, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(rig.Settled());
    QVERIFY(clicked);
    rig.Session().StopLog();
    QVERIFY(rig.user.Messages.isEmpty());

    QFile file(logName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList traffic;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // Only the command exchange: the keep-alive and ordinary traffic are not the subject.
        if (!line.contains("$PZRQ") || line.contains("$PZRQCF,A"))
            continue;
        // "\t:tx*42\$PZRQ..." without its checksum.
        traffic.append(
            QString::fromLatin1(line.mid(3, 2) + ' ' + line.mid(9).split('*')[0].trimmed()));
    }
    QCOMPARE(traffic, (QStringList{"tx $PZRQNO,C,0000000A", "rx $PZRQNO,R,0000000A",
                                   "tx $PZRQCNV,C,00000001", "rx $PZRQCNV,R,00000001",
                                   "tx $PZRQNO,C,00000008", "rx $PZRQNO,R,00000008"}));
}

// A dump that stops before its end: after 4000 ms without a report the read ends with a
// message, and the controls stay off until a read completes, since the model is incomplete.
void TestConfigTabs::UnfinishedDumpEnds() {
    TRig rig;
    rig.sim->SetFault(sfCutDump, 5);
    QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);
    QElapsedTimer clock;
    clock.start();
    rig.Connect();
    // While the read runs the controls are off and empty.
    QTRY_COMPARE_WITH_TIMEOUT(rig.Session().Activity(), acReadConfig, Timeout);
    QTest::qWait(200);
    QCOMPARE(rig.Control<QComboBox>("cbBaudIn2")->currentIndex(), -1);
    QVERIFY(!rig.Control<QCheckBox>("chbRMC")->isChecked());
    QVERIFY(rig.Control<QLineEdit>("edtUniqueID")->text().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rig.user.Messages, QStringList{"Multiplexer does not respond"},
                              Timeout);
    // The dump's reports arrive within a few milliseconds of the connection.
    QVERIFY2(clock.elapsed() >= 4000 && clock.elapsed() < 5000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.Session().Activity(), acIdle);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!rig.Control("cbBaudIn2")->isEnabled());
    QVERIFY(!rig.Control("chbRMC")->isEnabled());
    QVERIFY(rig.Ui().btnReadConfig->isEnabled());

    rig.sim->ClearFaults();
    QTest::mouseClick(rig.Ui().btnReadConfig, Qt::LeftButton);
    QVERIFY(finished.wait(Timeout));
    QVERIFY(rig.Control("cbBaudIn2")->isEnabled());
    QCOMPARE(rig.user.Messages.size(), 1);
}

// File > Compare with File: the settings the file would change, before anything is sent; Load
// from there sends the file.
void TestConfigTabs::CompareWithFileThenLoad() {
    TRig rig;
    QVERIFY(!rig.Ui().miCompare->isEnabled());
    QVERIFY(rig.ConnectAndRead());
    QVERIFY(rig.Ui().miCompare->isEnabled());
    QTemporaryDir dir;
    const QString fileName = dir.filePath("boat.ini");
    rig.Session().Config.SaveToFile(fileName, ToolText(), "", "", "");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("Baud In2=0", "Baud In2=4")
        .replace("Unique ID=CPX7A31F", "Unique ID=BOAT2")
        .replace("Options=00000000", "Options=00000080");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    rig.Sent();

    // First only a look.
    QStringList rows;
    const auto readTable = [&rows](QDialog* dialog) {
        auto* table = dialog->findChild<QTableWidget*>("tblDifferences");
        for (int row = 0; row < table->rowCount(); ++row)
            rows.append(table->item(row, 0)->text() + ": " + table->item(row, 1)->text() + " -> " +
                        table->item(row, 2)->text());
    };
    ChooseFile(rig.form.get(), fileName);
    WhenDialog(rig.form.get(), "TCompareForm", [&](QDialog* dialog) {
        readTable(dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    rig.Ui().miCompare->trigger();
    QCOMPARE(rows, (QStringList{"Configuration.Baud In2: 0 -> 4",
                                "Configuration.Unique ID: CPX7A31F -> BOAT2",
                                "Configuration.Options: 00000000 -> 00000080"}));
    QVERIFY(rig.SentAfterQuery().isEmpty());

    // Then Load.
    rows.clear();
    ChooseFile(rig.form.get(), fileName);
    WhenDialog(rig.form.get(), "TCompareForm", [&](QDialog* dialog) {
        readTable(dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>("btnLoad"), Qt::LeftButton);
    });
    rig.Ui().miCompare->trigger();
    QVERIFY(rig.Settled());
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rig.sim->ConfigFields("UI"), QStringList{"BOAT2"});
    QCOMPARE(rig.sim->ConfigFields("SP").value(1), QString("4"));
    QCOMPARE(rig.sim->ConfigFields("OP"), QStringList{"00000080"});
    QVERIFY(rig.user.Messages.isEmpty());
}

void TestConfigTabs::SilentMultiplexer_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("generation box") << "chbRMC";
    QTest::newRow("speed list") << "cbBaudIn2";
    QTest::newRow("unique ID") << "edtUniqueID";
    QTest::newRow("Modbus, refresh skipped") << "chbModbus";
}

// A command that gets no answer within 1000 ms: the user is told once, the control keeps the
// user's choice and the model the new value; the refresh that would follow is skipped.
void TestConfigTabs::SilentMultiplexer() {
    QFETCH(QString, control);
    const TControlDesc& desc = ConfigControls().at(FindControl(control));
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.sim->SetFault(sfNoAnswer, QString::fromLatin1(NameOfKind(desc.Sentence())));
    QWidget* widget = rig.Control(control);
    rig.ShowPage(widget);
    const TMuxSettings before = rig.Session().Config;
    QElapsedTimer clock;
    clock.start();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        TypeAndEnter(edit, "QUIET1");
    else
        ChangeByUser(widget);
    QVERIFY(rig.Settled());
    QCOMPARE(rig.user.Messages, QStringList{"Multiplexer does not respond"});
    QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));

    const TMuxSettings& after = rig.Session().Config;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QCOMPARE(edit->text(), QString("QUIET1"));
        QCOMPARE(after.UniqueID, QString("QUIET1"));
    } else {
        const int shown = rig.form->findChild<QComboBox*>(control)
                              ? rig.form->findChild<QComboBox*>(control)->currentIndex()
                              : int(rig.form->findChild<QCheckBox*>(control)->isChecked());
        QVERIFY(shown != ControlCode(before, desc));
        QCOMPARE(ControlCode(after, desc), shown);
    }
    QCOMPARE(rig.Ui().pcConfig->isTabVisible(rig.Ui().pcConfig->indexOf(rig.Ui().tsModbus)), false);
}

// The sentence names of command lines, with "DELETE" for the table clears.
QStringList CommandNames(const QStringList& lines) {
    QStringList names;
    for (const QString& line : lines) {
        const QStringList fields = line.split(u'*').first().split(u',');
        names.append(fields.value(2) == u"DELETE" ? fields[0] + u' ' + fields[2] : fields[0]);
    }
    return names;
}

// Load sends the whole file in the order the multiplexer takes it, with every configuration
// control off from the first command to the last.
void TestConfigTabs::LoadSendsTheFileInOrder() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    TMuxConfig loaded;
    FillModel(loaded);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("boat.ini");
    loaded.SaveToFile(fileName, ToolText(), "", "", "");
    rig.Sent();

    int samples = 0;
    QStringList enabledDuringWrite;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (rig.Session().WaitDepth() == 0)
            return;
        ++samples;
        for (const TControlDesc& control : ConfigControls())
            if (rig.Control(control.Name)->isEnabled())
                enabledDuringWrite.append(control.Name);
    });
    sampler.start(2);
    ChooseFile(rig.form.get(), fileName);
    rig.Ui().miLoad->trigger();
    QVERIFY(rig.Settled());
    sampler.stop();

    QVERIFY(rig.user.Messages.isEmpty());
    QCOMPARE(
        CommandNames(rig.Sent()),
        (QStringList{"$PZRQCF", "$PZRQSP", "$PZRQID", "$PZRQUI", "$PZRQDR", "$PZRQIN", "$PZRQPR",
                     "$PZRQOP", "$PZRQCNV", "$PZRQNO", "$PZRQNF", "$PZRQND", "$PZRQRTE DELETE",
                     "$PZRQRTE", "$PZRQRTE", "$PZRQMB DELETE", "$PZRQMB", "$PZRQMB"}));
    QCOMPARE(rig.sim->ConfigFields("ID").value(0), QString("GP"));
    QCOMPARE(rig.sim->Routes().size(), 2);
    QVERIFY(samples > 0);
    QVERIFY2(enabledDuringWrite.isEmpty(), qPrintable(enabledDuringWrite.join(',')));
    QVERIFY(rig.Control("cbBaudIn2")->isEnabled());
    QCOMPARE(rig.Control<QComboBox>("cbModeIn1")->currentIndex(), 6); // the file's SeaTalk
}

// A multiplexer that does not answer the talker IDs: nothing after them is sent, and the user
// is told once.
void TestConfigTabs::LoadStopsAtTheFirstMissingAnswer() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    TMuxConfig loaded;
    FillModel(loaded);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("boat.ini");
    loaded.SaveToFile(fileName, ToolText(), "", "", "");
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("ID"));
    rig.Sent();
    ChooseFile(rig.form.get(), fileName);
    rig.Ui().miLoad->trigger();
    QVERIFY(rig.Settled());
    QCOMPARE(rig.user.Messages, QStringList{"Multiplexer does not respond"});
    QCOMPARE(CommandNames(rig.SentAfterQuery()), (QStringList{"$PZRQCF", "$PZRQSP", "$PZRQID"}));
    QVERIFY(rig.Control("cbBaudIn2")->isEnabled());
}

// Saving in the window after a read writes the same bytes as the command-line tool's
// read-config.
void TestConfigTabs::SaveMatchesTheCommandLine() {
    TRig rig;
    PresetDistinct(*rig.sim);
    TSimRoute route;
    route.sentence = "GPRMC";
    route.inputs = 3;
    route.outputs = 0x41;
    rig.sim->SetTables({route}, {});
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    const QString windowFile = dir.filePath("window.ini");
    ChooseFile(rig.form.get(), windowFile);
    rig.Ui().miSave->trigger();

    const QString cliFile = dir.filePath("cli.ini");
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    {
        TCliTool tool(outStream, errStream);
        QCOMPARE(
            tool.Run(
                {"--connect",
                 QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(rig.sim->TcpPort()),
                 "read-config", cliFile}),
            0);
    }
    QFile window(windowFile);
    QFile cli(cliFile);
    QVERIFY(window.open(QIODevice::ReadOnly) && cli.open(QIODevice::ReadOnly));
    const QByteArray saved = window.readAll();
    QVERIFY(saved.contains("Baud In3/Out3=3\r\n"));
    QCOMPARE(saved, cli.readAll());
}

// The multiplexer reports source addresses whenever its address claims change: the fields
// follow at once, also while nothing else happens.
void TestConfigTabs::AddressesAtAnyTime() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    auto* host = rig.Control<QLineEdit>("edtSrcAddrMain");
    auto* in1 = rig.Control<QLineEdit>("edtSrcAddrIn1");
    QCOMPARE(host->text(), QString("3"));
    rig.sim->SendUnasked("$PZRQNA,R,-,17,-,-,-,-,-,-,-,4");
    QTRY_COMPARE_WITH_TIMEOUT(host->text(), QString("n/a"), Timeout);
    QCOMPARE(in1->text(), QString("17"));
    // An answer to a command (not a report) changes nothing, but the fields are shown again.
    rig.sim->SendUnasked("$PZRQND,C,9,9,9,9,9,9,9,9,9,9");
    rig.SentAfterQuery();
    QCOMPARE(rig.Control<QLineEdit>("edtDevInstMain")->text(), QString("0"));
}

// A version reply without a capability word: the dump fills the model, the controls stay off.
void TestConfigTabs::NoCapabilitiesNoControls() {
    TRig rig;
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("VER"));
    QSignalSpy finished(&rig.Session(), &TSession::ReadFinished);
    rig.Connect();
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim->ReceivedLines().contains("$PZRQVER*48"), Timeout);
    rig.sim->SendUnasked("$PZRQVER,3.14.0,Corvanta-PX,1");
    QVERIFY(finished.wait(Timeout));
    QCOMPARE(rig.Session().Config.UniqueID, QString("CPX7A31F"));
    QVERIFY(!rig.Control("cbBaudIn2")->isEnabled());
    QVERIFY(!rig.Control("edtUniqueID")->isEnabled());
    QVERIFY(!rig.Ui().miCompare->isEnabled());
}

// Loading a file in the window sends the same lines in the same order as the command-line
// tool's write-config.
void TestConfigTabs::LoadMatchesTheCommandLine() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    TMuxConfig loaded;
    FillModel(loaded);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("boat.ini");
    loaded.SaveToFile(fileName, ToolText(), "", "", "");
    rig.Sent();
    ChooseFile(rig.form.get(), fileName);
    rig.Ui().miLoad->trigger();
    QVERIFY(rig.Settled());
    const QStringList window = rig.Sent();
    QVERIFY(window.size() > 12);

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    {
        TCliTool tool(outStream, errStream);
        QCOMPARE(
            tool.Run(
                {"--connect",
                 QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(rig.sim->TcpPort()),
                 "write-config", fileName}),
            0);
    }
    QStringList cli = rig.Sent();
    // The tool identifies and reads first, as every connection does.
    cli = cli.mid(cli.indexOf(QStringLiteral("$PZRQCFQ*5D")) + 1);
    QCOMPARE(cli, window);
}

// Drops files on the window as a file manager would.
void DropFiles(QWidget* window, const QStringList& fileNames) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& name : fileNames)
        urls.append(QUrl::fromLocalFile(name));
    data.setUrls(urls);
    const QPoint where = window->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

// A dropped ".ini" file is loaded and sent; ".INI" is not a configuration file; the lines of a
// ".txt" file go out as they stand, except one too long to send, which is named.
void TestConfigTabs::DroppedFiles() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTemporaryDir dir;
    TMuxConfig loaded;
    FillModel(loaded);
    loaded.SaveToFile(dir.filePath("boat.ini"), ToolText(), "", "", "");
    loaded.UniqueID = "UPPER";
    loaded.SaveToFile(dir.filePath("boat.INI"), ToolText(), "", "", "");
    const QString sentences = dir.filePath("sentences.txt");
    QFile text(sentences);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("$GPXTE,1\r\n$GPXTE," + QByteArray(260, 'x') + "\r\n$GPXTE,3\r\n");
    text.close();
    rig.Sent();

    DropFiles(rig.form.get(), {dir.filePath("boat.INI"), dir.filePath("boat.ini"), sentences});
    QVERIFY(rig.Settled());
    const QStringList sent = rig.SentAfterQuery();
    QCOMPARE(rig.sim->ConfigFields("UI"), QStringList{"CVZ0001"});
    QCOMPARE(sent.first(), QString::fromLatin1(NmeaLine("$PZRQCF,C,3,5").trimmed()));
    QCOMPARE(sent.mid(sent.size() - 2),
             (QStringList{QString::fromLatin1(NmeaLine("$GPXTE,1").trimmed()),
                          QString::fromLatin1(NmeaLine("$GPXTE,3").trimmed())}));
    QCOMPARE(rig.user.Messages.size() + rig.user.Errors.size(), 1);
    const QString said = (rig.user.Messages + rig.user.Errors).first();
    QVERIFY2(said.contains(sentences) && said.contains("line 2"), qPrintable(said));
}

QTEST_MAIN(TestConfigTabs)
#include "tst_configtabs_gui.moc"
