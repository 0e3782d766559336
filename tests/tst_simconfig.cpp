// The simulated multiplexer's identification, configuration memory and tables, spoken to over
// a real loopback TCP connection.
#include "SimRig.h"

#include <QTest>

class TestSimConfig : public QObject, protected TSimRig {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void VersionAnswer_data();
    void VersionAnswer();
    void VersionFromOptions();
    void WrongChecksumIsIgnored();
    void DumpIsComplete();
    void Command_data();
    void Command();
    void SingleSentenceQuery();
    void KeepAliveHasNoAnswer();
    void RouteTableExchange();
    void ModbusTableExchange();
    void TableLinesAnsweredOncePerBurst();
    void MalformedTableLinesAreNeitherStoredNorAnswered_data();
    void MalformedTableLinesAreNeitherStoredNorAnswered();
    void FullTablesDropButAnswer();
    void ModbusStatus_data();
    void ModbusStatus();
    void FactoryReset();

private:
    QByteArray Ask(const QByteArray& text); // one line, then the next answer line
};

void TestSimConfig::init() {
    Start();
}

void TestSimConfig::cleanup() {
    Stop();
}

QByteArray TestSimConfig::Ask(const QByteArray& text) {
    client->Send(text);
    return client->Line();
}

void TestSimConfig::VersionAnswer_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("with checksum and the extra CR LF") << QByteArray("$PZRQVER*48\r\n\r\n");
    QTest::newRow("without checksum") << QByteArray("$PZRQVER\r\n");
    QTest::newRow("split over writes, noise before") << QByteArray("xx\r\n$PZR");
}

void TestSimConfig::VersionAnswer() {
    QFETCH(QByteArray, request);
    client->Write(request);
    if (!request.endsWith('\n'))
        client->Write("QVER\r\n");
    QCOMPARE(client->Line(), QByteArray("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010*23\r\n"));
    QCOMPARE(sim->ReceivedLines().constLast().left(8), QStringLiteral("$PZRQVER"));
}

void TestSimConfig::VersionFromOptions() {
    TSimulator::TOptions options;
    options.firmware = QStringLiteral("3.13.7");
    options.deviceName = QStringLiteral("PX-Test");
    options.serialNumber = QStringLiteral("S1");
    options.capabilities = 0x8002;
    Start(options);
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.13.7,PX-Test,S1,8002"));
}

void TestSimConfig::WrongChecksumIsIgnored() {
    client->Write("$PZRQVER*00\r\n$PZRQCF,C,3,4*00\r\n$PZRQCFQ*XY\r\n");
    client->Write("$PZRQCF*0c\r\n"); // lower-case digits are fine
    // The first answer is the one to the well-formed query: the others were dropped.
    QCOMPARE(client->Line(), QByteArray("$PZRQCF,R,3,2*73\r\n"));
    QCOMPARE(sim->ReceivedLines().size(), 4);
}

void TestSimConfig::DumpIsComplete() {
    TSimRoute route{QStringLiteral("GPRMC"), 0x0003, 0, 0x41, 0};
    TSimRoute named{QStringLiteral("IIMWV"), 0x8000, 2, 0x01, 0x8012345678ABCDEFull};
    TSimModbus entry{1, 100, 'H', 'F', true, 2, 'C', 'C', QStringLiteral("ENGINE")};
    sim->SetTables({route, named}, {entry});

    client->Send("$PZRQCFQ");
    const QList<QByteArray> lines = client->Until("$PZRQRDY");
    // One report of every configuration sentence with all its fields, each rule, each
    // Modbus entry, then the end.
    const QList<QPair<QByteArray, int>> expected{
        {"$PZRQCF", 4},  {"$PZRQSP", 13}, {"$PZRQID", 11}, {"$PZRQUI", 3},  {"$PZRQDR", 10},
        {"$PZRQIN", 10}, {"$PZRQPR", 11}, {"$PZRQOP", 3},  {"$PZRQCNV", 3}, {"$PZRQNO", 3},
        {"$PZRQNF", 12}, {"$PZRQNA", 12}, {"$PZRQND", 12}, {"$PZRQRTE", 7}, {"$PZRQRTE", 7},
        {"$PZRQMB", 13}, {"$PZRQRDY", 1},
    };
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(TSimClient::ChecksumOk(lines[i]), lines[i].constData());
        const QList<QByteArray> fields = TSimClient::Text(lines[i]).split(',');
        QCOMPARE(fields[0], expected[i].first);
        QCOMPARE(fields.size(), expected[i].second);
        if (fields.size() > 1)
            QCOMPARE(fields[1], QByteArray("R"));
    }
    QCOMPARE(lines[13], QByteArray("$PZRQRTE,R,GPRMC,0003,0,41,0000000000000000*65\r\n"));
    QCOMPARE(TSimClient::Text(lines[14]),
             QByteArray("$PZRQRTE,R,IIMWV,8000,2,01,8012345678ABCDEF"));
    QCOMPARE(lines[15], QByteArray("$PZRQMB,R,X,1,100,H,F,R,2,C,C,ENGINE,F0*1A\r\n"));
    QCOMPARE(lines[16], QByteArray("$PZRQRDY*46\r\n"));
}

void TestSimConfig::Command_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer"); // the report that must come back
    QTest::addColumn<bool>("stored");

    QTest::newRow("options") << QByteArray("$PZRQOP,C,00000005") << QByteArray("$PZRQOP,R,00000005")
                             << true;
    QTest::newRow("speeds") << QByteArray("$PZRQSP,C,1,2,3,4,5,0,1,2,3,4,5")
                            << QByteArray("$PZRQSP,R,1,2,3,4,5,0,1,2,3,4,5") << true;
    QTest::newRow("speed code out of range")
        << QByteArray("$PZRQSP,C,1,2,3,4,5,0,1,2,3,4,6")
        << QByteArray("$PZRQSP,R,0,0,0,0,3,0,0,0,3,3,3") << false;
    QTest::newRow("too few fields")
        << QByteArray("$PZRQSP,C,1,2") << QByteArray("$PZRQSP,R,0,0,0,0,3,0,0,0,3,3,3") << false;
    QTest::newRow("too many fields")
        << QByteArray("$PZRQCF,C,3,1,1") << QByteArray("$PZRQCF,R,3,2") << false;
    QTest::newRow("priority time-out")
        << QByteArray("$PZRQCF,C,3,5") << QByteArray("$PZRQCF,R,3,5") << true;
    QTest::newRow("SeaTalk-STNG on In1") << QByteArray("$PZRQIN,C,7,0,0,0,0,0,0,1")
                                         << QByteArray("$PZRQIN,R,7,0,0,0,0,0,0,1") << true;
    QTest::newRow("SeaTalk on In2") << QByteArray("$PZRQIN,C,0,6,0,0,0,0,0,0")
                                    << QByteArray("$PZRQIN,R,0,0,0,0,0,0,0,0") << false;
    QTest::newRow("talker IDs") << QByteArray("$PZRQID,C,GP,,II,,,,,,AI")
                                << QByteArray("$PZRQID,R,GP,,II,,,,,,AI") << true;
    QTest::newRow("talker ID of three")
        << QByteArray("$PZRQID,C,GPS,,,,,,,,") << QByteArray("$PZRQID,R,,,,,,,,,") << false;
    QTest::newRow("unique ID") << QByteArray("$PZRQUI,C,BOAT42") << QByteArray("$PZRQUI,R,BOAT42")
                               << true;
    QTest::newRow("unique ID emptied")
        << QByteArray("$PZRQUI,C,") << QByteArray("$PZRQUI,R,") << true;
    QTest::newRow("unique ID of 13")
        << QByteArray("$PZRQUI,C,ABCDEFGHIJKLM") << QByteArray("$PZRQUI,R,CPX7A31F") << false;
    QTest::newRow("default routes") << QByteArray("$PZRQDR,C,0003,1,0100,0,8000,2,00FF,1")
                                    << QByteArray("$PZRQDR,R,0003,1,0100,0,8000,2,00FF,1") << true;
    QTest::newRow("route mask not hex")
        << QByteArray("$PZRQDR,C,00G3,1,0100,0,8000,2,00FF,1")
        << QByteArray("$PZRQDR,R,81FF,1,81FF,1,81FF,1,81FF,1") << false;
    QTest::newRow("conversions all bits")
        << QByteArray("$PZRQCNV,C,FFFFFFFF") << QByteArray("$PZRQCNV,R,FFFFFFFF") << true;
    QTest::newRow("conversions beyond 32 bits")
        << QByteArray("$PZRQCNV,C,1FFFFFFFF") << QByteArray("$PZRQCNV,R,00000000") << false;
    QTest::newRow("addresses, 255 is none") << QByteArray("$PZRQNA,C,5,-,12,-,-,-,-,-,-,255")
                                            << QByteArray("$PZRQNA,R,5,-,12,-,-,-,-,-,-,-") << true;
    QTest::newRow("address not a number") << QByteArray("$PZRQNA,C,x,-,-,-,-,-,-,-,-,4")
                                          << QByteArray("$PZRQNA,R,3,-,-,-,-,-,-,-,-,4") << false;
    QTest::newRow("device function 34") << QByteArray("$PZRQNF,C,34,0,0,0,0,0,0,0,0,0")
                                        << QByteArray("$PZRQNF,R,1,0,0,0,0,0,0,0,0,0") << false;
    QTest::newRow("instances") << QByteArray("$PZRQND,C,0,1,2,3,4,5,6,7,8,255")
                               << QByteArray("$PZRQND,R,0,1,2,3,4,5,6,7,8,255") << true;
    QTest::newRow("priorities, N2K DI") << QByteArray("$PZRQPR,C,14,0,1,2,3,4,5,6,10")
                                        << QByteArray("$PZRQPR,R,14,0,1,2,3,4,5,6,10") << true;
    QTest::newRow("generation") << QByteArray("$PZRQNO,C,C0030001")
                                << QByteArray("$PZRQNO,R,C0030001") << true;
}

void TestSimConfig::Command() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(bool, stored);
    const QString name = QString::fromLatin1(command.mid(5, command.indexOf(',') - 5));
    const QStringList before = sim->ConfigFields(name);

    QCOMPARE(Ask(command), NmeaLine(answer));
    const QStringList fields = QString::fromLatin1(answer).split(u',').mid(2);
    QCOMPARE(sim->ConfigFields(name), fields);
    QCOMPARE(sim->ConfigFields(name) != before, stored);
    // The next dump carries the same.
    client->Send("$PZRQCFQ");
    const QList<QByteArray> dump = client->Until("$PZRQRDY");
    QVERIFY(dump.contains(NmeaLine(answer)));
}

void TestSimConfig::SingleSentenceQuery() {
    QCOMPARE(Ask("$PZRQNA"), NmeaLine("$PZRQNA,R,3,-,-,-,-,-,-,-,-,4"));
    QCOMPARE(Ask("$PZRQUI"), NmeaLine("$PZRQUI,R,CPX7A31F"));
}

void TestSimConfig::KeepAliveHasNoAnswer() {
    client->Send("$PZRQCF,A");
    client->Send("$PZRQCF,R,3,4"); // a report from the host means nothing either
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010"));
    QCOMPARE(sim->ConfigFields(QStringLiteral("CF")), QStringList({"3", "2"}));
}

void TestSimConfig::RouteTableExchange() {
    sim->SetTables({{QStringLiteral("OLD01"), 1, 0, 1, 0}}, {});
    QCOMPARE(Ask("$PZRQRTE,C,DELETE"), QByteArray("$PZRQRDY*46\r\n"));
    QVERIFY(sim->Routes().isEmpty());

    client->Write("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000*74\r\n\r\n");
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQRTE,C,,0000,0,00,0000000000000000"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQRTE,C,IIMWV,8000,10,01,8012345678ABCDEF"), QByteArray("$PZRQRDY*46\r\n"));

    const QList<TSimRoute> expected{
        {QStringLiteral("GPRMC"), 0x0003, 0, 0x41, 0},
        {QString(), 0, 0, 0, 0},
        {QStringLiteral("IIMWV"), 0x8000, 10, 0x01, 0x8012345678ABCDEFull},
    };
    QCOMPARE(sim->Routes(), expected);
    client->Send("$PZRQCFQ");
    const QList<QByteArray> dump = client->Until("$PZRQRDY");
    QVERIFY(dump.contains("$PZRQRTE,R,GPRMC,0003,0,41,0000000000000000*65\r\n"));
    QVERIFY(dump.contains(NmeaLine("$PZRQRTE,R,,0000,0,00,0000000000000000")));
    QVERIFY(dump.contains(NmeaLine("$PZRQRTE,R,IIMWV,8000,10,01,8012345678ABCDEF")));
}

void TestSimConfig::ModbusTableExchange() {
    QCOMPARE(Ask("$PZRQMB,C,DELETE"), QByteArray("$PZRQRDY*46\r\n"));
    client->Write("$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE*51\r\n\r\n");
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQMB,C,X,0,0,H,I,,0,,,"), QByteArray("$PZRQRDY*46\r\n"));

    const QList<TSimModbus> expected{
        {1, 100, 'H', 'F', true, 2, 'C', 'C', QStringLiteral("ENGINE")},
        {0, 0, 'H', 'I', false, 0, 0, 0, QString()},
    };
    QCOMPARE(sim->ModbusEntries(), expected);
    client->Send("$PZRQCFQ");
    const QList<QByteArray> dump = client->Until("$PZRQRDY");
    QVERIFY(dump.contains("$PZRQMB,R,X,1,100,H,F,R,2,C,C,ENGINE,F0*1A\r\n"));
    QVERIFY(dump.contains(NmeaLine("$PZRQMB,R,X,0,0,H,I,,0,,,,F0")));
}

void TestSimConfig::TableLinesAnsweredOncePerBurst() {
    QCOMPARE(Ask("$PZRQRTE,C,DELETE"), QByteArray("$PZRQRDY*46\r\n"));
    // Three lines as the program stores them, then a query: the burst gets one answer, and
    // the query's answer is not held up by the burst.
    client->Send("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000");
    client->Send("$PZRQRTE,C,GPGGA,0003,0,41,0000000000000000");
    client->Send("$PZRQRTE,C,GPVTG,0003,0,41,0000000000000000");
    client->Send("$PZRQUI");
    QCOMPARE(client->Line(), NmeaLine("$PZRQUI,R,CPX7A31F"));
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010"));
    QCOMPARE(sim->Routes().size(), 3);

    // A DELETE that follows at once answers the burst before itself.
    client->Send("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000");
    client->Send("$PZRQMB,C,DELETE");
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(client->Line(), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010"));
}

void TestSimConfig::MalformedTableLinesAreNeitherStoredNorAnswered_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("rule: sentence of six")
        << QByteArray("$PZRQRTE,C,GPRMCX,0003,0,41,0000000000000000");
    QTest::newRow("rule: NAME of 15") << QByteArray("$PZRQRTE,C,GPRMC,0003,0,41,000000000000000");
    QTest::newRow("rule: inputs not hex")
        << QByteArray("$PZRQRTE,C,GPRMC,00Z3,0,41,0000000000000000");
    QTest::newRow("rule: field missing") << QByteArray("$PZRQRTE,C,GPRMC,0003,0,41");
    QTest::newRow("entry: no X") << QByteArray("$PZRQMB,C,Y,1,100,H,F,R,2,C,C,ENGINE");
    QTest::newRow("entry: register type Q") << QByteArray("$PZRQMB,C,X,1,100,Q,F,R,2,C,C,ENGINE");
    QTest::newRow("entry: register 65536") << QByteArray("$PZRQMB,C,X,1,65536,H,F,R,2,C,C,ENGINE");
    QTest::newRow("entry: ID of 16") << QByteArray("$PZRQMB,C,X,1,1,H,F,R,2,C,C,ABCDEFGHIJKLMNOP");
    QTest::newRow("entry: field missing") << QByteArray("$PZRQMB,C,X,1,100,H,F,R,2,C,C");
}

void TestSimConfig::MalformedTableLinesAreNeitherStoredNorAnswered() {
    QFETCH(QByteArray, line);
    client->Send(line);
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010"));
    QVERIFY(sim->Routes().isEmpty());
    QVERIFY(sim->ModbusEntries().isEmpty());
}

void TestSimConfig::FullTablesDropButAnswer() {
    QList<TSimRoute> routes;
    for (int i = 0; i < 49; ++i)
        routes.append({QStringLiteral("GPR%1").arg(i, 2, 10, QChar(u'0')), 1, 0, 1, 0});
    QList<TSimModbus> entries(29, TSimModbus{1, 1, 'H', 'I', false, 0, 0, 0, QString()});
    sim->SetTables(routes, entries);

    QCOMPARE(Ask("$PZRQRTE,C,LAST1,0001,0,01,0000000000000000"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQRTE,C,OVER1,0001,0,01,0000000000000000"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(sim->Routes().size(), 50);
    QCOMPARE(sim->Routes().constLast().sentence, QStringLiteral("LAST1"));

    QCOMPARE(Ask("$PZRQMB,C,X,2,2,H,I,,0,,,LAST"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQMB,C,X,3,3,H,I,,0,,,OVER"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(sim->ModbusEntries().size(), 30);
    QCOMPARE(sim->ModbusEntries().constLast().xdrID, QStringLiteral("LAST"));
}

void TestSimConfig::ModbusStatus_data() {
    QTest::addColumn<bool>("modbusOn");
    QTest::addColumn<int>("slave");
    QTest::addColumn<int>("reg");
    QTest::addColumn<char>("dataType");
    QTest::addColumn<QByteArray>("status");

    QTest::newRow("Modbus off: not polled") << false << 1 << 100 << 'I' << QByteArray("F0");
    QTest::newRow("answering slave") << true << 1 << 100 << 'F' << QByteArray("00");
    QTest::newRow("silent slave") << true << 11 << 100 << 'I' << QByteArray("FF");
    QTest::newRow("broadcast address") << true << 0 << 100 << 'I' << QByteArray("FB");
    QTest::newRow("beyond slave addresses") << true << 248 << 100 << 'I' << QByteArray("FB");
    QTest::newRow("last register, one wide") << true << 10 << 9999 << 'U' << QByteArray("00");
    QTest::newRow("last register, two wide") << true << 10 << 9999 << 'L' << QByteArray("02");
}

void TestSimConfig::ModbusStatus() {
    QFETCH(bool, modbusOn);
    QFETCH(int, slave);
    QFETCH(int, reg);
    QFETCH(char, dataType);
    QFETCH(QByteArray, status);
    sim->SetConfigFields(QStringLiteral("OP"), {modbusOn ? "00000080" : "00000000"});
    sim->SetTables({}, {{quint8(slave), quint16(reg), 'H', dataType, false, 0, 'P', 'B', "OIL"}});

    client->Send("$PZRQCFQ");
    const QList<QByteArray> dump = client->Until("$PZRQRDY");
    QCOMPARE(dump.size(), 15);
    QCOMPARE(TSimClient::Text(dump[13]).split(',').constLast(), status);
    QCOMPARE(sim->ModbusStatuses(), QList<quint8>{quint8(status.toUInt(nullptr, 16))});
}

void TestSimConfig::FactoryReset() {
    QCOMPARE(Ask("$PZRQOP,C,00000085"), NmeaLine("$PZRQOP,R,00000085"));
    QCOMPARE(Ask("$PZRQUI,C,OTHER"), NmeaLine("$PZRQUI,R,OTHER"));
    QCOMPARE(Ask("$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000"), QByteArray("$PZRQRDY*46\r\n"));
    QCOMPARE(Ask("$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE"), QByteArray("$PZRQRDY*46\r\n"));

    client->Send("$PZRQRESET,1");
    QCOMPARE(Ask("$PZRQVER"), NmeaLine("$PZRQVER,3.14.0,Corvanta-PX,24070193,A010"));
    QCOMPARE(sim->ConfigFields(QStringLiteral("OP")), QStringList{"00000000"});
    QCOMPARE(sim->ConfigFields(QStringLiteral("UI")), QStringList{"CPX7A31F"});
    QVERIFY(sim->Routes().isEmpty());
    QVERIFY(sim->ModbusEntries().isEmpty());
    QVERIFY(!sim->InBootloader());
}

QTEST_GUILESS_MAIN(TestSimConfig)
#include "tst_simconfig.moc"
