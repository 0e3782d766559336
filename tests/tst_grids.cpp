// The routing and Modbus tables as item models, without a window: what the cells show, what a
// click, a key or an edited text does to the records, the limits, and the Store of a table
// against the simulated multiplexer.
#include "ScriptedUser.h"

#include "config/MuxConfig.h"
#include "grids/ModbusModel.h"
#include "grids/RouteModel.h"
#include "grids/TableStore.h"
#include "nmea/Nmea.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int Timeout = 10000;
const QHostAddress SimAddress(QStringLiteral("127.0.0.2"));

QString WireLine(const QByteArray& text) {
    return QString::fromLatin1(NmeaLine(text).trimmed());
}

void FillRoutes(TMuxConfig& config) {
    config.AddRoute(u"GPRMC", 0x0003, 0, 0x41, 0, NoSourceAddress);
    config.AddRoute(u"IIMWV", 0x8000, 2, 0x01, 0x0123456789ABCDEFull, 0x1C);
    config.AddRoute(u"SDDBT", 0x0200, 0, 0x08, 0, NoSourceAddress);
}

void FillModbus(TMuxConfig& config) {
    config.AddModbus(1, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 0);
    config.AddModbus(7, 40001, 'I', 'I', 0, 0, 0, 0, u"", 0xFF);
}

// A session connected to a simulator, with its user.
struct TLink {
    TLink() {
        TSimulator::TOptions options;
        options.listen = SimAddress;
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
    }
    ~TLink() {
        session.reset();
        sim.reset();
    }
    bool ConnectAndRead() {
        QSignalSpy finished(session.get(), &TSession::ReadFinished);
        return session->Connect(SelectorTcp, SimAddress.toString(),
                                QString::number(sim->TcpPort())) &&
               finished.wait(Timeout);
    }
    // The table lines the multiplexer received, after a query has been answered (anything
    // sent before it has arrived by then).
    QStringList TableLines() {
        session->SendAndWait(QStringLiteral("$PZRQUI"), nkUI);
        return sim->ReceivedLines().filter(QRegularExpression("^\\$PZRQ(RTE|MB),"));
    }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
};

} // namespace

class TestGrids : public QObject {
    Q_OBJECT

private slots:
    void ModelsPassTheTester();
    void RouteCells();
    void RouteClicks_data();
    void RouteClicks();
    void RouteFlags();
    void RouteDeleteKey();
    void RouteSentenceCell_data();
    void RouteSentenceCell();
    void RouteDivisorCell_data();
    void RouteDivisorCell();
    void DeleteRowsOutOfRange();
    void Limits();
    void NewModbusEntry();
    void ModbusNumbers_data();
    void ModbusNumbers();
    void TransducerID_data();
    void TransducerID();
    void ModbusLetters();
    void ReverseFollowsTheDataType();
    void ModbusLists();
    void ModbusStatus_data();
    void ModbusStatus();
    void StoreSendsTheTable();
    void StoreOfAnEmptyTable();
    void StoreStopsWithoutReady_data();
    void StoreStopsWithoutReady();
    void StoreWithTheLinkLost();
};

// Every operation that changes a table, with the model tester watching both models.
void TestGrids::ModelsPassTheTester() {
    TMuxConfig config;
    TRouteModel routes(config, nullptr);
    TModbusModel modbus(config);
    config.OnRoutesChange = [&] { routes.UpdateRows(); };
    config.OnModbusChange = [&] { modbus.UpdateRows(); };
    QAbstractItemModelTester routeTester(&routes,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester modbusTester(&modbus,
                                          QAbstractItemModelTester::FailureReportingMode::QtTest);

    FillRoutes(config);
    FillModbus(config);
    QCOMPARE(routes.rowCount(), 3);
    QCOMPARE(routes.columnCount(), int(rcCount));
    QCOMPARE(modbus.rowCount(), 2);
    QCOMPARE(modbus.columnCount(), int(mcCount));
    QVERIFY(routes.Add());
    QVERIFY(modbus.Add());
    QVERIFY(routes.Click(routes.index(0, rcIn1 + 4)));
    QCOMPARE(routes.CommitText(routes.index(3, rcSentence), "gpgga"), QString());
    QVERIFY(modbus.Click(modbus.index(0, mcReverse)));
    QCOMPARE(modbus.CommitText(modbus.index(1, mcSlave), "12"), QString());
    QVERIFY(routes.Delete(1));
    QVERIFY(modbus.Delete(0));
    routes.SetFlags(rfSeaTalkIn1);
    config.CaptureRoute(u"GPGGA", 0x0004, NoSourceAddress);
    config.ResetModbusStatus();
    config.ClearRoutes();
    config.ClearModbus();
    QCOMPARE(routes.rowCount(), 0);
    QCOMPARE(modbus.rowCount(), 0);
}

void TestGrids::RouteCells() {
    TMuxConfig config;
    FillRoutes(config);
    TRouteModel routes(config, nullptr);
    const auto text = [&](int row, int column) {
        return routes.index(row, column).data().toString();
    };
    const auto check = [&](int row, int column) {
        return routes.index(row, column).data(Qt::CheckStateRole);
    };
    QCOMPARE(routes.headerData(0, Qt::Vertical).toString(), QString("1"));
    QCOMPARE(routes.headerData(2, Qt::Vertical).toString(), QString("3"));
    QCOMPARE(text(0, rcSentence), QString("GPRMC"));
    QCOMPARE(text(0, rcDivisor), QString()); // blank for none
    QCOMPARE(text(1, rcDivisor), QString("2"));
    QCOMPARE(check(0, rcIn1).toInt(), int(Qt::Checked));
    QCOMPARE(check(0, rcIn1 + 1).toInt(), int(Qt::Checked));
    QCOMPARE(check(0, rcIn1 + 2).toInt(), int(Qt::Unchecked));
    QCOMPARE(check(1, rcN2K).toInt(), int(Qt::Checked));
    QCOMPARE(check(2, rcHost).toInt(), int(Qt::Checked));
    QCOMPARE(check(0, rcOut1).toInt(), int(Qt::Checked));
    QCOMPARE(check(0, rcOutHost).toInt(), int(Qt::Checked));
    QCOMPARE(check(2, rcOut4).toInt(), int(Qt::Checked));
    // No device list: a NAME is never found.
    QCOMPARE(text(0, rcDevice), QString());
    QCOMPARE(text(1, rcDevice), QString("???"));
    QVERIFY(routes.index(1, rcDevice).data(grUnknown).toBool());
    QCOMPARE(routes.index(1, rcDevice).data(Qt::ToolTipRole).toString(), QString());
    // Header: groups over their columns, captions below.
    QCOMPARE(routes.headerData(rcIn1, Qt::Horizontal, grGroup).toString(), QString("Inputs"));
    QCOMPARE(routes.headerData(rcIn1, Qt::Horizontal, grGroupSpan).toInt(), 10);
    QCOMPARE(routes.headerData(rcN2K, Qt::Horizontal, grGroup).toString(),
             QString("NMEA 2000 Sources"));
    QCOMPARE(routes.headerData(rcOut1, Qt::Horizontal, grGroup).toString(), QString("Outputs"));
    QCOMPARE(routes.headerData(rcOut1, Qt::Horizontal, grGroupSpan).toInt(), 6);
    QVERIFY(!routes.headerData(rcSentence, Qt::Horizontal, grGroup).isValid());
    QCOMPARE(routes.headerData(rcDivisor, Qt::Horizontal).toString(), QString("Div"));
    QVERIFY(routes.flags(routes.index(0, rcSentence)) & Qt::ItemIsEditable);
    QVERIFY(!(routes.flags(routes.index(0, rcIn1)) & Qt::ItemIsEditable));
}

void TestGrids::RouteClicks_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<bool>("sourceKept");
    // The route starts with inputs 0x8001, outputs 0x0000 and a source device.
    QTest::newRow("input 1") << int(rcIn1) << 0x8000 << 0 << true;
    QTest::newRow("input 8") << int(rcIn1 + 7) << 0x8081 << 0 << true;
    QTest::newRow("conversions") << int(rcConv) << 0x8101 << 0 << true;
    QTest::newRow("host in") << int(rcHost) << 0x8201 << 0 << true;
    QTest::newRow("N clears the device") << int(rcN2K) << 0x0001 << 0 << false;
    QTest::newRow("output 1") << int(rcOut1) << 0x8001 << 0x01 << true;
    QTest::newRow("output 4, blank") << int(rcOut4) << 0x8001 << 0x08 << true;
    QTest::newRow("SeaTalk out, blank") << int(rcOutST) << 0x8001 << 0x10 << true;
    QTest::newRow("host out") << int(rcOutHost) << 0x8001 << 0x40 << true;
    QTest::newRow("device cell") << int(rcDevice) << 0x8001 << 0 << true;
    QTest::newRow("sentence cell") << int(rcSentence) << 0x8001 << 0 << true;
}

void TestGrids::RouteClicks() {
    QFETCH(int, column);
    TMuxConfig config;
    config.AddRoute(u"GPGGA", 0x8001, 0, 0, 0x42, 0x0A);
    TRouteModel routes(config, nullptr);
    routes.SetFlags(0); // output 4 and SeaTalk off: their cells are blank but still toggle
    routes.Click(routes.index(0, column));
    const TRoute& route = config.Routes.at(0);
    QTEST(int(route.Inputs), "inputs");
    QTEST(int(route.Outputs), "outputs");
    QFETCH(bool, sourceKept);
    QCOMPARE(route.SourceName, sourceKept ? 0x42ull : 0ull);
    QCOMPARE(route.SourceAddr, sourceKept ? quint8(0x0A) : NoSourceAddress);
}

void TestGrids::RouteFlags() {
    TMuxConfig config;
    config.AddRoute(u"GPGGA", 0, 0, 0x18, 0, NoSourceAddress);
    TRouteModel routes(config, nullptr);
    QSignalSpy header(&routes, &QAbstractItemModel::headerDataChanged);
    // Output 4 available from the start, no SeaTalk.
    QCOMPARE(routes.Flags(), rfOut4);
    QCOMPARE(routes.index(0, rcOut4).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!routes.index(0, rcOutST).data(Qt::CheckStateRole).isValid());
    QCOMPARE(routes.headerData(rcIn1, Qt::Horizontal).toString(), QString("1"));
    QCOMPARE(routes.headerData(rcOutST, Qt::Horizontal, grActive).toBool(), false);
    routes.SetFlags(rfOut4);
    QCOMPARE(header.count(), 0); // unchanged: nothing redrawn
    routes.SetFlags(rfSeaTalkIn1);
    QCOMPARE(header.count(), 1);
    QVERIFY(!routes.index(0, rcOut4).data(Qt::CheckStateRole).isValid());
    QCOMPARE(routes.index(0, rcOutST).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(routes.headerData(rcIn1, Qt::Horizontal).toString(), QString("ST"));
    QCOMPARE(routes.headerData(rcOut4, Qt::Horizontal, grActive).toBool(), false);
    QCOMPARE(routes.headerData(rcOutST, Qt::Horizontal, grActive).toBool(), true);
}

void TestGrids::RouteDeleteKey() {
    TMuxConfig config;
    config.AddRoute(u"GPGGA", 0x8001, 7, 0x41, 0x42, 0x0A);
    TRouteModel routes(config, nullptr);
    QVERIFY(!routes.DeleteKey(routes.index(0, rcSentence)));
    QVERIFY(routes.DeleteKey(routes.index(0, rcDevice)));
    QCOMPARE(config.Routes.at(0).SourceName, 0ull);
    QCOMPARE(config.Routes.at(0).SourceAddr, NoSourceAddress);
    QCOMPARE(config.Routes.at(0).Inputs, quint16(0x8001)); // the N bit stays
    QVERIFY(routes.DeleteKey(routes.index(0, rcDivisor)));
    QCOMPARE(config.Routes.at(0).Divisor, quint8(0));
    QCOMPARE(config.Routes.at(0).Sentence, QString("GPGGA"));
}

void TestGrids::RouteSentenceCell_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored"); // empty: refused, the record keeps "GPRMC"
    QTest::newRow("upper") << "GPGGA"
                           << "GPGGA";
    QTest::newRow("turned to upper case") << "iimwv"
                                          << "IIMWV";
    QTest::newRow("digits") << "PGN12"
                            << "PGN12";
    QTest::newRow("comma") << "GP,GA"
                           << "";
    QTest::newRow("star") << "GP*GA"
                          << "";
    QTest::newRow("dollar") << "$GPGA"
                            << "";
    QTest::newRow("exclamation") << "!AIVD"
                                 << "";
    QTest::newRow("backslash") << "GP\\GA"
                               << "";
    QTest::newRow("control character") << QString("GP\x01GA") << "";
    QTest::newRow("blank") << "GP GA"
                           << "";
    QTest::newRow("not ASCII") << QString::fromUtf8("GP\xc3\xa9GA") << "";
    QTest::newRow("four") << "GPGG"
                          << "";
    QTest::newRow("six") << "GPGGAA"
                         << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestGrids::RouteSentenceCell() {
    QFETCH(QString, text);
    QFETCH(QString, stored);
    TMuxConfig config;
    config.AddRoute(u"GPRMC", 1, 0, 0x40, 0, NoSourceAddress);
    const TRoute before = config.Routes.at(0);
    TRouteModel routes(config, nullptr);
    const QString refusal = routes.CommitText(routes.index(0, rcSentence), text);
    if (stored.isEmpty()) {
        QVERIFY(refusal.contains(QStringLiteral("is not a valid sentence address")));
        QVERIFY(refusal.contains(text.toUpper()));
        QCOMPARE(config.Routes.at(0), before);
    } else {
        QCOMPARE(refusal, QString());
        QCOMPARE(config.Routes.at(0).Sentence, stored);
    }
}

void TestGrids::RouteDivisorCell_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("divisor");
    QTest::newRow("number") << "12" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("not a number") << "x" << 0;
}

// A divisor that is not a number stores 0.
void TestGrids::RouteDivisorCell() {
    QFETCH(QString, text);
    TMuxConfig config;
    config.AddRoute(u"GPRMC", 1, 5, 0x40, 0, NoSourceAddress);
    TRouteModel routes(config, nullptr);
    QCOMPARE(routes.CommitText(routes.index(0, rcDivisor), text), QString());
    QTEST(int(config.Routes.at(0).Divisor), "divisor");
}

// A missing current row never becomes a record: nothing is deleted.
void TestGrids::DeleteRowsOutOfRange() {
    TMuxConfig config;
    TRouteModel routes(config, nullptr);
    TModbusModel modbus(config);
    QVERIFY(!routes.Delete(0));
    QVERIFY(!modbus.Delete(-1));
    FillRoutes(config);
    FillModbus(config);
    routes.UpdateRows();
    modbus.UpdateRows();
    for (int row : {-1, 3, 100})
        QVERIFY(!routes.Delete(row));
    QVERIFY(!modbus.Delete(-1));
    QVERIFY(!modbus.Delete(2));
    QCOMPARE(config.Routes.size(), 3);
    QCOMPARE(config.ModbusMaps.size(), 2);
    // And an invalid index reaches no record either.
    QVERIFY(!routes.Click(QModelIndex()));
    QVERIFY(!routes.DeleteKey(QModelIndex()));
    QCOMPARE(routes.CommitText(QModelIndex(), "GPGGA"), QString());
    QVERIFY(routes.Delete(2));
    QCOMPARE(config.Routes.last().Sentence, QString("IIMWV"));
}

void TestGrids::Limits() {
    TMuxConfig config;
    TRouteModel routes(config, nullptr);
    TModbusModel modbus(config);
    for (int i = 0; i < MaxRoutes; ++i)
        QVERIFY(routes.Add());
    QVERIFY(!routes.Add());
    QCOMPARE(config.Routes.size(), MaxRoutes);
    for (int i = 0; i < MaxModbusMaps; ++i)
        QVERIFY(modbus.Add());
    QVERIFY(!modbus.Add());
    QCOMPARE(config.ModbusMaps.size(), MaxModbusMaps);
    // Nothing of a new route is set.
    QCOMPARE(config.Routes.at(0), (TRoute{"", 0, 0, 0, 0, 0}));
}

void TestGrids::NewModbusEntry() {
    TMuxConfig config;
    TModbusModel modbus(config);
    QVERIFY(modbus.Add());
    QStringList shown;
    for (int c = mcSlave; c < mcCount; ++c)
        shown.append(modbus.index(0, c).data().toString());
    QCOMPARE(shown, (QStringList{"0", "0", "H", "I", "", "0", "", "", "", "?"}));
    QVERIFY(!modbus.index(0, mcReverse).data(Qt::CheckStateRole).isValid());
    QCOMPARE(modbus.index(0, mcStatus).data(grStatusColour).toUInt(), 0xF0F0F0u);
}

void TestGrids::ModbusNumbers_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty when stored
    QTest::addColumn<QString>("shown");
    QTest::newRow("slave 255") << int(mcSlave) << "255"
                               << ""
                               << "255";
    QTest::newRow("slave 0") << int(mcSlave) << "0"
                             << ""
                             << "0";
    QTest::newRow("slave 300") << int(mcSlave) << "300"
                               << "300 is out of range: the slave address takes 0 to 255"
                               << "5";
    QTest::newRow("slave empty") << int(mcSlave) << ""
                                 << "'' is not a valid integer value"
                                 << "5";
    QTest::newRow("register 65535") << int(mcRegister) << "65535"
                                    << ""
                                    << "65535";
    QTest::newRow("register 70000") << int(mcRegister) << "70000"
                                    << "70000 is out of range: the register takes 0 to 65535"
                                    << "100";
    QTest::newRow("register letters") << int(mcRegister) << "12a"
                                      << "'12a' is not a valid integer value"
                                      << "100";
    QTest::newRow("P 9") << int(mcParamP) << "9"
                         << ""
                         << "9";
    QTest::newRow("P 12") << int(mcParamP) << "12"
                          << "12 is out of range: the P value takes 0 to 9"
                          << "2";
}

// Numbers are refused outside their field's range, never cut to its width.
void TestGrids::ModbusNumbers() {
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, message);
    TMuxConfig config;
    config.AddModbus(5, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 0);
    const TModbus before = config.ModbusMaps.at(0);
    TModbusModel modbus(config);
    QCOMPARE(modbus.CommitText(modbus.index(0, column), text), message);
    QTEST(modbus.index(0, column).data().toString(), "shown");
    if (!message.isEmpty())
        QCOMPARE(config.ModbusMaps.at(0), before);
}

void TestGrids::TransducerID_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("word") << "ENGINE" << true;
    QTest::newRow("printable") << "Tank #1 (fuel)" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("fifteen") << "ABCDEFGHIJKLMNO" << true;
    QTest::newRow("sixteen") << "ABCDEFGHIJKLMNOP" << false;
    QTest::newRow("comma") << "PORT,STBD" << false;
    QTest::newRow("star") << "A*B" << false;
    QTest::newRow("dollar") << "$A" << false;
    QTest::newRow("exclamation") << "A!" << false;
    QTest::newRow("backslash") << "A\\B" << false;
    QTest::newRow("bell") << QString("A\aB") << false;
    QTest::newRow("delete") << QString("A\x7F") << false;
    QTest::newRow("not ASCII") << QString::fromUtf8("\xc3\xa9t\xc3\xa9") << false;
}

void TestGrids::TransducerID() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    TMuxConfig config;
    config.AddModbus(1, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 0);
    TModbusModel modbus(config);
    const QString refusal = modbus.CommitText(modbus.index(0, mcXdrID), text);
    QCOMPARE(refusal.isEmpty(), accepted);
    QCOMPARE(config.ModbusMaps.at(0).XdrID, accepted ? text : QString("ENGINE"));
    if (!accepted)
        QVERIFY(refusal.contains("is not a valid transducer ID"));
}

void TestGrids::ModbusLetters() {
    TMuxConfig config;
    config.AddModbus(1, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 0);
    TModbusModel modbus(config);
    QCOMPARE(modbus.CommitText(modbus.index(0, mcXdrType), "p"), QString());
    QCOMPARE(config.ModbusMaps.at(0).XdrType, 'P'); // the type is upper case
    QCOMPARE(modbus.CommitText(modbus.index(0, mcXdrUnit), "b"), QString());
    QCOMPARE(config.ModbusMaps.at(0).XdrUnit, 'b'); // the unit as typed
    QVERIFY(!modbus.CommitText(modbus.index(0, mcXdrUnit), ",").isEmpty());
    QCOMPARE(config.ModbusMaps.at(0).XdrUnit, 'b');
    QCOMPARE(modbus.CommitText(modbus.index(0, mcXdrUnit), ""), QString());
    QCOMPARE(config.ModbusMaps.at(0).XdrUnit, char(0));
    // The Delete key empties the XDR cells.
    QVERIFY(modbus.DeleteKey(modbus.index(0, mcXdrType)));
    QVERIFY(modbus.DeleteKey(modbus.index(0, mcXdrID)));
    QVERIFY(!modbus.DeleteKey(modbus.index(0, mcSlave)));
    QCOMPARE(config.ModbusMaps.at(0).XdrType, char(0));
    QCOMPARE(config.ModbusMaps.at(0).XdrID, QString());
    QCOMPARE(config.ModbusMaps.at(0).Slave, quint8(1));
}

// From F to I the R flag stays but its box goes (and clicks do nothing); back to L it shows.
void TestGrids::ReverseFollowsTheDataType() {
    TMuxConfig config;
    config.AddModbus(1, 100, 'H', 'F', 1, 2, 'C', 'C', u"ENGINE", 0);
    TModbusModel modbus(config);
    const QModelIndex reverse = modbus.index(0, mcReverse);
    QCOMPARE(reverse.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    modbus.ChooseListEntry(0, mcDataType, 0);
    QCOMPARE(config.ModbusMaps.at(0).DataType, 'I');
    QVERIFY(!reverse.data(Qt::CheckStateRole).isValid());
    QVERIFY(!modbus.Click(reverse));
    QCOMPARE(config.ModbusMaps.at(0).Reverse, quint8(1));
    modbus.ChooseListEntry(0, mcDataType, 2);
    QCOMPARE(reverse.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(modbus.Click(reverse));
    QCOMPARE(config.ModbusMaps.at(0).Reverse, quint8(0));
}

void TestGrids::ModbusLists() {
    TMuxConfig config;
    config.AddModbus(1, 100, 'I', 'U', 0, 0, 0, 0, u"", 0);
    config.AddModbus(1, 100, 0, 'X', 0, 0, 0, 0, u"", 0);
    TModbusModel modbus(config);
    QCOMPARE(RegTypeItems().size(), 2);
    QCOMPARE(DataTypeItems().size(), 4);
    QCOMPARE(modbus.ListEntry(0, mcRegType), 1);
    QCOMPARE(modbus.ListEntry(0, mcDataType), 1);
    QCOMPARE(modbus.ListEntry(1, mcRegType), -1); // letter 0: no entry
    QCOMPARE(modbus.ListEntry(1, mcDataType), -1);
    QCOMPARE(modbus.index(1, mcRegType).data().toString(), QString()); // drawn as nothing
    modbus.ChooseListEntry(1, mcRegType, 0);
    modbus.ChooseListEntry(1, mcDataType, 3);
    QCOMPARE(config.ModbusMaps.at(1).RegType, 'H');
    QCOMPARE(config.ModbusMaps.at(1).DataType, 'F');
    modbus.ChooseListEntry(1, mcDataType, 4); // no such entry
    modbus.ChooseListEntry(5, mcDataType, 0); // no such row
    QCOMPARE(config.ModbusMaps.at(1).DataType, 'F');
}

void TestGrids::ModbusStatus_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("colour");
    QTest::newRow("00") << 0x00 << "OK" << 0x00C000u;
    QTest::newRow("01") << 0x01 << "E 01" << 0xFFFF00u;
    QTest::newRow("0B") << 0x0B << "E 0B" << 0xFFFF00u;
    QTest::newRow("0C") << 0x0C << "E 0C" << 0xFF8000u;
    QTest::newRow("EF") << 0xEF << "E EF" << 0xFF8000u;
    QTest::newRow("F0") << 0xF0 << "?" << 0xF0F0F0u;
    QTest::newRow("F1") << 0xF1 << "E F1" << 0xFF8000u;
    QTest::newRow("FA") << 0xFA << "SIZE" << 0xFF8000u;
    QTest::newRow("FB") << 0xFB << "WSLV" << 0xFF8000u;
    QTest::newRow("FC") << 0xFC << "COM" << 0xFF0000u;
    QTest::newRow("FD") << 0xFD << "SIZE" << 0xFF0000u;
    QTest::newRow("FE") << 0xFE << "CRC" << 0xFF0000u;
    QTest::newRow("FF") << 0xFF << "NRSP" << 0xFF0000u;
}

void TestGrids::ModbusStatus() {
    QFETCH(int, status);
    TMuxConfig config;
    config.AddModbus(1, 100, 'H', 'I', 0, 0, 0, 0, u"", quint8(status));
    TModbusModel modbus(config);
    QTEST(modbus.index(0, mcStatus).data().toString(), "text");
    QTEST(modbus.index(0, mcStatus).data(grStatusColour).toUInt(), "colour");
}

// DELETE, one line per record in table order, then the statuses go back to unknown.
void TestGrids::StoreSendsTheTable() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    TMuxConfig& config = link.session->Config;
    config.AddRoute(u"GPRMC", 0x0003, 0, 0x41, 0, NoSourceAddress);
    config.AddRoute(u"IIMWV", 0x8000, 2, 0x08, 0x0123456789ABCDEFull, 0x1C);
    FillModbus(config);
    link.sim->ClearReceived();
    QVERIFY(StoreTable(*link.session, link.user, tbRoutes));
    QVERIFY(StoreTable(*link.session, link.user, tbModbus));
    QCOMPARE(
        link.TableLines(),
        (QStringList{WireLine("$PZRQRTE,C,DELETE"),
                     WireLine("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000"),
                     WireLine("$PZRQRTE,C,IIMWV,8000,2,08,0123456789ABCDEF"),
                     WireLine("$PZRQMB,C,DELETE"), WireLine("$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE"),
                     WireLine("$PZRQMB,C,X,7,40001,I,I,,0,,,")}));
    QCOMPARE(link.sim->Routes().size(), 2);
    QCOMPARE(link.sim->ModbusEntries().size(), 2);
    QCOMPARE(config.ModbusMaps.at(1).Status, ModbusStatusUnknown);
    QVERIFY(link.user.Messages.isEmpty());
}

void TestGrids::StoreOfAnEmptyTable() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    link.sim->ClearReceived();
    QVERIFY(StoreTable(*link.session, link.user, tbRoutes));
    QCOMPARE(link.TableLines(), QStringList{WireLine("$PZRQRTE,C,DELETE")});
}

void TestGrids::StoreStopsWithoutReady_data() {
    QTest::addColumn<int>("table");
    QTest::newRow("routes") << int(tbRoutes);
    QTest::newRow("Modbus") << int(tbModbus);
}

// No answer to the DELETE: no rule goes out, the grid keeps its rows and statuses, and the
// user learns that the multiplexer's table may be incomplete and that Store can be repeated.
void TestGrids::StoreStopsWithoutReady() {
    QFETCH(int, table);
    TLink link;
    QVERIFY(link.ConnectAndRead());
    TMuxConfig& config = link.session->Config;
    FillRoutes(config);
    FillModbus(config);
    const QList<TRoute> routes = config.Routes;
    const QList<TModbus> entries = config.ModbusMaps;
    link.sim->SetFault(sfNoAnswer, table == tbRoutes ? "RTE" : "MB");
    link.sim->ClearReceived();
    QVERIFY(!StoreTable(*link.session, link.user, TTable(table)));
    QCOMPARE(link.TableLines(),
             QStringList{WireLine(table == tbRoutes ? "$PZRQRTE,C,DELETE" : "$PZRQMB,C,DELETE")});
    QCOMPARE(link.user.Errors, QStringList{"Multiplexer does not respond\n" +
                                           IncompleteTableMessage(TTable(table), true)});
    QVERIFY(link.user.Errors.first().contains("may now be incomplete"));
    QVERIFY(link.user.Errors.first().contains("Store"));
    QCOMPARE(config.Routes, routes);
    QCOMPARE(config.ModbusMaps, entries);
}

// The link goes after the first rule: the Store stops there, without a further send.
void TestGrids::StoreWithTheLinkLost() {
    TLink link;
    QVERIFY(link.ConnectAndRead());
    FillRoutes(link.session->Config);
    link.sim->SetFault(sfDropAfterTableLine, 1);
    link.sim->ClearReceived();
    QVERIFY(!StoreTable(*link.session, link.user, tbRoutes));
    QVERIFY(!link.session->IsOpen());
    QCOMPARE(link.user.Messages,
             (QStringList{"TCP Connection lost", IncompleteTableMessage(tbRoutes, false)}));
    const QStringList lines = link.sim->ReceivedLines().filter("$PZRQRTE,");
    QVERIFY(lines.size() <= 2);
    QCOMPARE(lines.value(0), WireLine("$PZRQRTE,C,DELETE"));
}

QTEST_GUILESS_MAIN(TestGrids)
#include "tst_grids.moc"
