// The Routing and Modbus tabs driven with the mouse and the keyboard against the simulated
// multiplexer over loopback TCP: capture from its traffic, editing cells, the limits, the
// Delete button, Store on the wire, and a table that comes back unchanged through a file.
#include "ScriptedUser.h"

#include "app/MainForm.h"
#include "config/ConfigSentences.h"
#include "config/ModbusPage.h"
#include "grids/ModbusGrid.h"
#include "grids/RouteGrid.h"
#include "grids/RoutingPage.h"
#include "n2k/N2KForm.h"
#include "n2k/N2KGrid.h"
#include "sim/SimFormat.h"
#include "sim/Simulator.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

constexpr int Timeout = 10000;
const QHostAddress SimAddress(QStringLiteral("127.0.0.2"));
const QString SimUniqueID = QStringLiteral("CPX7A31F");

QString WireLine(const QByteArray& text) {
    return QString::fromLatin1(NmeaLine(text).trimmed());
}

// A line of traffic from a source, as the multiplexer tags it.
QByteArray Tagged(const QByteArray& source, const QByteArray& sentence) {
    return TagBlock("s:" + SimUniqueID.toLatin1() + source) + sentence;
}

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
    TMuxConfig& Config() { return form->Session().Config; }
    Ui::TMainForm& Ui() { return form->Controls(); }
    TRoutingPage& Routing() { return *Ui().tsRouting; }
    TModbusPage& Modbus() { return *Ui().tsModbus; }
    TRouteGrid& RouteGrid() { return Routing().Grid(); }
    TModbusGrid& ModbusGrid() { return Modbus().Grid(); }

    bool ConnectAndRead() {
        QSignalSpy finished(&Session(), &TSession::ReadFinished);
        form->ConnectTo(ParseLinkUrl(
            QStringLiteral("tcp:%1:%2").arg(SimAddress.toString()).arg(sim->TcpPort())));
        return finished.count() > 0 || finished.wait(Timeout);
    }
    bool Read() {
        QSignalSpy finished(&Session(), &TSession::ReadFinished);
        Click(Ui().btnReadConfig);
        return finished.count() > 0 || finished.wait(Timeout);
    }

    QPushButton* Button(const char* name) {
        auto* button = form->findChild<QPushButton*>(QLatin1StringView(name));
        if (!button)
            qFatal("no button %s", name);
        return button;
    }
    static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void Click(const char* name) { Click(Button(name)); }

    // Brings a tab to the front with a click on it.
    void ShowPage(QWidget* page) {
        QTabWidget* tabs = Ui().pcConfig;
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(page)).center());
        QVERIFY(page->isVisible());
    }

    // What the program sent of the tables, after a query has been answered.
    QStringList TableLines() {
        Session().SendAndWait(QStringLiteral("$PZRQUI"), nkUI);
        return sim->ReceivedLines().filter(QRegularExpression("^\\$PZRQ(RTE|MB),"));
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TMainForm> form;
};

QPoint CellPoint(TBaseGrid& grid, int row, int column) {
    return grid.visualRect(grid.model()->index(row, column)).center();
}

void ClickCell(TBaseGrid& grid, int row, int column) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, row, column));
}

// The cell's editor that is open (closed ones linger until deleted).
QLineEdit* OpenEditor(TBaseGrid& grid) {
    for (QLineEdit* editor : grid.viewport()->findChildren<QLineEdit*>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

// Chooses the cell, types into its editor and ends with a key.
void TypeInCell(TBaseGrid& grid, int row, int column, const QString& text,
                Qt::Key end = Qt::Key_Return) {
    ClickCell(grid, row, column);
    QTest::keyClicks(&grid, text.left(1));
    QLineEdit* editor = OpenEditor(grid);
    QVERIFY2(editor, "no editor");
    QTest::keyClicks(editor, text.mid(1));
    QTest::keyClick(editor, end);
}

// Runs an action on the next modal window of type T, once it is shown.
template <class T>
void WhenShown(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if ((window && window->isVisible()) || ++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            if (window)
                action(window);
        }
    });
    timer->start(10);
}

TSimRoute SimRoute(const char* sentence, quint16 inputs, quint8 divisor, quint8 outputs,
                   quint64 name = 0) {
    TSimRoute route;
    route.sentence = QString::fromLatin1(sentence);
    route.inputs = inputs;
    route.divisor = divisor;
    route.outputs = outputs;
    route.sourceName = name;
    return route;
}

TSimModbus SimModbus(quint8 slave, quint16 reg, char regType, char dataType, bool reverse, quint8 p,
                     char type, char unit, const char* id) {
    TSimModbus entry;
    entry.slave = slave;
    entry.reg = reg;
    entry.regType = regType;
    entry.dataType = dataType;
    entry.reverse = reverse;
    entry.paramP = p;
    entry.xdrType = type;
    entry.xdrUnit = unit;
    entry.xdrID = QString::fromLatin1(id);
    return entry;
}

} // namespace

class TestGridsGui : public QObject {
    Q_OBJECT

private slots:
    void CaptureFromTraffic();
    void EditRoutes();
    void RefusedTextsLeaveTheCell();
    void DeleteButton();
    void Limits();
    void StoreByButton();
    void StoreStopsWithoutReady();
    void EditModbus();
    void PickTheSourceDevice();
    void TablesSurviveAFile();
};

// While capturing, traffic becomes rules: a sentence per source, inputs merged, NMEA 2000
// sources with their NAME; nothing goes to the multiplexer until Store.
void TestGridsGui::CaptureFromTraffic() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    // The GPS's NAME is known from its address claim.
    QTRY_VERIFY_WITH_TIMEOUT(rig.form->DeviceList().Record(0x0A).Name != 0, Timeout);
    const quint64 gpsName = rig.form->DeviceList().Record(0x0A).Name;
    rig.ShowPage(&rig.Routing());
    QPushButton* capture = rig.Button("btnRouteCapture");
    rig.Click(capture);
    QCOMPARE(rig.Session().Activity(), acRouteCapture);
    QCOMPARE(capture->text(), QString("Stop"));
    QVERIFY(capture->isEnabled());
    QVERIFY(!rig.Button("btnRouteAdd")->isEnabled());
    QVERIFY(!rig.Button("btnRouteStore")->isEnabled());
    QVERIFY(!rig.Ui().btnReadConfig->isEnabled());
    rig.sim->ClearReceived();

    rig.sim->SendUnasked(Tagged("-3", "$GPGGA,120000,5047.5,N,00117.0,W,1,08,1.0,5.0,M,,,,"));
    rig.sim->SendUnasked(Tagged("-5", "$GPGGA,120001,5047.5,N,00117.0,W,1,08,1.0,5.0,M,,,,"));
    rig.sim->SendUnasked(Tagged("#0A", "$GPRMC,120001,A,5047.5,N,00117.0,W,5.0,90.0,010124,,"));
    rig.sim->SendUnasked("$IIMWV,45.0,R,10.0,N,A");
    rig.sim->SendUnasked("$PZRQOV,0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.Config().Routes.size(), 3, Timeout);
    QCOMPARE(rig.RouteGrid().model()->rowCount(), 3);

    rig.Click(capture);
    QCOMPARE(rig.Session().Activity(), acIdle);
    QCOMPARE(capture->text(), QString("Capture"));
    QVERIFY(rig.Button("btnRouteAdd")->isEnabled());
    const QList<TRoute>& routes = rig.Config().Routes;
    QCOMPARE(routes.at(0), (TRoute{"GPGGA", 0x0014, 0, 0x40, 0, NoSourceAddress}));
    QCOMPARE(routes.at(1), (TRoute{"GPRMC", 0x8000, 0, 0x40, gpsName, 0x0A}));
    QCOMPARE(routes.at(2), (TRoute{"IIMWV", 0x0000, 0, 0x40, 0, NoSourceAddress}));
    // The device column names the GPS once its product information is complete.
    QTRY_COMPARE_WITH_TIMEOUT(rig.RouteGrid().model()->index(1, rcDevice).data().toString(),
                              QString("GPS 24xd"), Timeout);
    QCOMPARE(rig.TableLines(), QStringList());
}

// Clicks toggle the boxes; the sentence and divisor cells take typed text on Enter only.
void TestGridsGui::EditRoutes() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    rig.Click("btnRouteAdd");
    TRouteGrid& grid = rig.RouteGrid();
    QCOMPARE(grid.model()->rowCount(), 1);
    ClickCell(grid, 0, rcIn1 + 2);
    ClickCell(grid, 0, rcN2K);
    ClickCell(grid, 0, rcOut1);
    ClickCell(grid, 0, rcOutHost);
    ClickCell(grid, 0, rcOut1); // and off again
    TypeInCell(grid, 0, rcSentence, "gpgga");
    TypeInCell(grid, 0, rcDivisor, "12");
    const TRoute& route = rig.Config().Routes.at(0);
    QCOMPARE(route, (TRoute{"GPGGA", 0x8004, 12, 0x40, 0, NoSourceAddress}));
    QCOMPARE(grid.model()->index(0, rcSentence).data().toString(), QString("GPGGA"));

    // Left by a click elsewhere: not taken over.
    ClickCell(grid, 0, rcSentence);
    QTest::keyClicks(&grid, "I");
    QLineEdit* editor = OpenEditor(grid);
    QVERIFY(editor);
    QTest::keyClicks(editor, "IMWV");
    ClickCell(grid, 0, rcDevice);
    QCOMPARE(rig.Config().Routes.at(0).Sentence, QString("GPGGA"));

    // The Delete key empties the divisor; Escape leaves the editor without a change.
    ClickCell(grid, 0, rcDivisor);
    QTest::keyClick(&grid, Qt::Key_Delete);
    QCOMPARE(rig.Config().Routes.at(0).Divisor, quint8(0));
    TypeInCell(grid, 0, rcDivisor, "7", Qt::Key_Escape);
    QCOMPARE(rig.Config().Routes.at(0).Divisor, quint8(0));
    QVERIFY(rig.user.Messages.isEmpty());
}

// Texts that would break the command line are refused with a message; the cell keeps its value.
void TestGridsGui::RefusedTextsLeaveTheCell() {
    TRig rig;
    QVERIFY(rig.sim->SetConfigFields("OP", {"00000080"}));
    rig.sim->SetTables({SimRoute("GPRMC", 1, 0, 0x41)},
                       {SimModbus(1, 100, 'H', 'F', true, 2, 'C', 'C', "ENGINE")});
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    TypeInCell(rig.RouteGrid(), 0, rcSentence, "GP,GA");
    TypeInCell(rig.RouteGrid(), 0, rcSentence, "GP$");
    QCOMPARE(rig.user.Messages.size(), 2);
    QVERIFY(rig.user.Messages.at(0).contains("'GP,GA' is not a valid sentence address"));
    QCOMPARE(rig.Config().Routes.at(0).Sentence, QString("GPRMC"));

    rig.ShowPage(&rig.Modbus());
    TModbusGrid& grid = rig.ModbusGrid();
    TypeInCell(grid, 0, mcSlave, "300");
    TypeInCell(grid, 0, mcRegister, "70000");
    TypeInCell(grid, 0, mcXdrID, "OIL*PRESS");
    QCOMPARE(rig.user.Messages.mid(2),
             (QStringList{"300 is out of range: the slave address takes 0 to 255",
                          "70000 is out of range: the register takes 0 to 65535",
                          CheckTransducerID("OIL*PRESS")}));
    const TModbus& entry = rig.Config().ModbusMaps.at(0);
    QCOMPARE(entry.Slave, quint8(1));
    QCOMPARE(entry.Register, quint16(100));
    QCOMPARE(entry.XdrID, QString("ENGINE"));
}

// Delete is enabled only while a row number is the current cell.
void TestGridsGui::DeleteButton() {
    TRig rig;
    rig.sim->SetTables({SimRoute("GPRMC", 1, 0, 0x41), SimRoute("GPGGA", 2, 0, 0x41)}, {});
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    TRouteGrid& grid = rig.RouteGrid();
    QPushButton* del = rig.Button("btnRouteDel");
    QVERIFY(!del->isEnabled());
    ClickCell(grid, 1, rcSentence);
    QVERIFY(!del->isEnabled());
    ClickCell(grid, 1, 0);
    QVERIFY(del->isEnabled());
    rig.Click(del);
    QCOMPARE(rig.Config().Routes.size(), 1);
    QCOMPARE(rig.Config().Routes.at(0).Sentence, QString("GPRMC"));
    // The Delete key on the row number of the last row: only the header stays.
    ClickCell(grid, 0, 0);
    QVERIFY(del->isEnabled());
    QTest::keyClick(&grid, Qt::Key_Delete);
    QCOMPARE(rig.Config().Routes.size(), 0);
    QVERIFY(!del->isEnabled());
    // Nothing left: the button and the key do nothing.
    QTest::keyClick(&grid, Qt::Key_Delete);
    QCOMPARE(grid.model()->rowCount(), 0);
    // Clear empties the table without a question; neither sends anything.
    rig.Click("btnRouteAdd");
    rig.Click("btnRouteAdd");
    rig.sim->ClearReceived();
    rig.Click("btnRouteClear");
    QCOMPARE(rig.Config().Routes.size(), 0);
    QVERIFY(rig.user.Questions.isEmpty());
    QCOMPARE(rig.TableLines(), QStringList());
}

void TestGridsGui::Limits() {
    TRig rig;
    QVERIFY(rig.sim->SetConfigFields("OP", {"00000080"}));
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    for (int i = 0; i < MaxRoutes; ++i)
        rig.Click("btnRouteAdd");
    QVERIFY(rig.user.Messages.isEmpty());
    rig.Click("btnRouteAdd");
    QCOMPARE(rig.user.Messages, QStringList{"Routing table is full"});
    QCOMPARE(rig.RouteGrid().model()->rowCount(), MaxRoutes);

    rig.ShowPage(&rig.Modbus());
    for (int i = 0; i < MaxModbusMaps; ++i)
        rig.Click("btnModbusAdd");
    QCOMPARE(rig.user.Messages.size(), 1);
    rig.Click("btnModbusAdd");
    QCOMPARE(rig.user.Messages.last(), QString("Modbus table is full"));
    QCOMPARE(rig.ModbusGrid().model()->rowCount(), MaxModbusMaps);
}

// Store: DELETE, one line per rule, in table order; read back, the same table.
void TestGridsGui::StoreByButton() {
    TRig rig;
    rig.sim->SetTables({SimRoute("GPRMC", 3, 0, 0x41)}, {});
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    rig.Click("btnRouteAdd");
    TypeInCell(rig.RouteGrid(), 1, rcSentence, "IIMWV");
    ClickCell(rig.RouteGrid(), 1, rcHost);
    ClickCell(rig.RouteGrid(), 1, rcOut4);
    rig.sim->ClearReceived();
    rig.Click("btnRouteStore");
    QCOMPARE(rig.TableLines(),
             (QStringList{WireLine("$PZRQRTE,C,DELETE"),
                          WireLine("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000"),
                          WireLine("$PZRQRTE,C,IIMWV,0200,0,08,0000000000000000")}));
    QVERIFY(rig.user.Messages.isEmpty());
    const QList<TRoute> stored = rig.Config().Routes;
    QVERIFY(rig.Read());
    QCOMPARE(rig.Config().Routes.size(), 2);
    for (int i = 0; i < 2; ++i) {
        TRoute expected = stored.at(i);
        expected.SourceAddr = NoSourceAddress; // never sent, read as none
        QCOMPARE(rig.Config().Routes.at(i), expected);
    }
    QCOMPARE(rig.RouteGrid().model()->rowCount(), 2);
}

// No "$PZRQRDY" for the DELETE: no rule is sent, the grid stays, the user is told.
void TestGridsGui::StoreStopsWithoutReady() {
    TRig rig;
    rig.sim->SetTables({SimRoute("GPRMC", 3, 0, 0x41), SimRoute("GPGGA", 4, 0, 0x40)}, {});
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Routing());
    const QList<TRoute> before = rig.Config().Routes;
    rig.sim->SetFault(sfNoAnswer, QStringLiteral("RTE"));
    rig.sim->ClearReceived();
    rig.Click("btnRouteStore");
    QCOMPARE(rig.TableLines(), QStringList{WireLine("$PZRQRTE,C,DELETE")});
    QCOMPARE(rig.user.Errors.size(), 1);
    QVERIFY(rig.user.Errors.at(0).startsWith("Multiplexer does not respond"));
    QVERIFY(rig.user.Errors.at(0).contains("routing table may now be incomplete"));
    QCOMPARE(rig.Config().Routes, before);
    QCOMPARE(rig.RouteGrid().model()->rowCount(), 2);
    QVERIFY(rig.Button("btnRouteStore")->isEnabled());
}

void TestGridsGui::EditModbus() {
    TRig rig;
    QVERIFY(rig.sim->SetConfigFields("OP", {"00000080"}));
    QVERIFY(rig.ConnectAndRead());
    rig.ShowPage(&rig.Modbus());
    rig.Click("btnModbusAdd");
    TModbusGrid& grid = rig.ModbusGrid();
    QCOMPARE(grid.model()->index(0, mcStatus).data().toString(), QString("?"));
    TypeInCell(grid, 0, mcSlave, "7");
    TypeInCell(grid, 0, mcRegister, "40001");
    TypeInCell(grid, 0, mcParamP, "3");
    TypeInCell(grid, 0, mcXdrType, "p");
    TypeInCell(grid, 0, mcXdrID, "OIL");
    TypeInCell(grid, 0, mcXdrUnit, "B");
    // The data type list opens over its cell; a choice by keyboard sets the letter.
    ClickCell(grid, 0, mcDataType);
    QComboBox* list = nullptr;
    QTRY_VERIFY((list = grid.findChild<QComboBox*>("cbDataType")) && list->isVisible());
    QCOMPARE(list->currentIndex(), 0);
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(rig.Config().ModbusMaps.at(0).DataType, 'F');
    QTRY_VERIFY(!grid.findChild<QComboBox*>("cbDataType"));
    ClickCell(grid, 0, mcRegType);
    QTRY_VERIFY((list = grid.findChild<QComboBox*>("cbRegType")) && list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    ClickCell(grid, 0, mcReverse);
    QVERIFY(rig.user.Messages.isEmpty());
    const TModbus& entry = rig.Config().ModbusMaps.at(0);
    QCOMPARE(entry, (TModbus{7, 40001, 'I', 'F', 1, 3, 'P', 'B', "OIL", ModbusStatusUnknown}));

    rig.sim->ClearReceived();
    rig.Click("btnModbusStore");
    QCOMPARE(rig.TableLines(), (QStringList{WireLine("$PZRQMB,C,DELETE"),
                                            WireLine("$PZRQMB,C,X,7,40001,I,F,R,3,P,B,OIL")}));
    // The status reported on the next read.
    QVERIFY(rig.Read());
    QCOMPARE(rig.Config().ModbusMaps.size(), 1);
    QVERIFY(grid.model()->index(0, mcStatus).data().toString() != QString("?"));
}

// A double click on the device cell opens the device list to pick the source.
void TestGridsGui::PickTheSourceDevice() {
    TRig rig;
    QVERIFY(rig.ConnectAndRead());
    QTRY_VERIFY_WITH_TIMEOUT(rig.form->DeviceList().Count() >= 4, Timeout);
    rig.ShowPage(&rig.Routing());
    rig.Click("btnRouteAdd");
    TRouteGrid& grid = rig.RouteGrid();
    const TN2KDevice* chosen = nullptr;
    WhenShown<TN2KDeviceListForm>([&chosen](TN2KDeviceListForm* form) {
        TN2KGrid& devices = form->Grid();
        const QPoint cell = devices.visualRect(devices.model()->index(1, 0)).center();
        QTest::mouseClick(devices.viewport(), Qt::LeftButton, {}, cell);
        chosen = form->PickedDevice();
        QTest::mouseClick(form->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 0, rcDevice));
    QVERIFY(chosen);
    const TRoute& route = rig.Config().Routes.at(0);
    QCOMPARE(route.SourceName, chosen->Name);
    QCOMPARE(route.SourceAddr, chosen->Address);
    QCOMPARE(route.Inputs, quint16(0x8000));
    QCOMPARE(grid.model()->index(0, rcDevice).data().toString(), chosen->ModelID);
    // A click on "N" takes the device away again.
    ClickCell(grid, 0, rcN2K);
    QCOMPARE(rig.Config().Routes.at(0).SourceName, 0ull);
    QCOMPARE(grid.model()->index(0, rcDevice).data().toString(), QString());
}

// Read, save to a file, load it (which stores), store again by the buttons, read: the same.
void TestGridsGui::TablesSurviveAFile() {
    TRig rig;
    QVERIFY(rig.sim->SetConfigFields("OP", {"00000080"}));
    rig.sim->SetTables({SimRoute("GPRMC", 0x0003, 0, 0x41),
                        SimRoute("IIMWV", 0x8000, 2, 0x48, 0x0123456789ABCDEFull),
                        SimRoute("SDDBT", 0x0200, 0, 0x10)},
                       {SimModbus(1, 100, 'H', 'F', true, 2, 'C', 'C', "ENGINE"),
                        SimModbus(7, 40001, 'I', 'I', false, 0, 0, 0, ""),
                        SimModbus(3, 12, 'H', 'L', false, 9, 'P', 'B', "Tank #1")});
    QVERIFY(rig.ConnectAndRead());
    const QList<TRoute> routes = rig.Config().Routes;
    QList<TModbus> entries = rig.Config().ModbusMaps;
    QCOMPARE(routes.size(), 3);
    QCOMPARE(entries.size(), 3);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("boat.ini");
    rig.form->SaveConfigurationTo(fileName);
    rig.ShowPage(&rig.Routing());
    rig.Click("btnRouteClear");
    rig.ShowPage(&rig.Modbus());
    rig.Click("btnModbusClear");
    rig.sim->SetTables({}, {});
    rig.form->LoadConfigurationFrom(fileName);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Session().IsIdle(), Timeout);
    rig.ShowPage(&rig.Routing());
    rig.Click("btnRouteStore");
    rig.ShowPage(&rig.Modbus());
    rig.Click("btnModbusStore");
    QVERIFY(rig.user.Messages.isEmpty());
    QVERIFY(rig.Read());
    QCOMPARE(rig.Config().Routes, routes);
    QCOMPARE(rig.Config().ModbusMaps, entries);
    QCOMPARE(rig.RouteGrid().model()->rowCount(), 3);
    QCOMPARE(rig.ModbusGrid().model()->rowCount(), 3);
}

QTEST_MAIN(TestGridsGui)
#include "tst_grids_gui.moc"
