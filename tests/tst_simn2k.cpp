// The simulated NMEA 2000 network: address claims, product information behind TAG blocks, and
// the commands that change a device or the multiplexer's own addresses and instances.
#include "SimRig.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QByteArray GpsClaim = "$PZRQNC,R,C07891001CAB2A41,10*08\r\n";
const QByteArray PilotClaim = "$PZRQNC,R,C0509600E764D2E1,28*7B\r\n";
const QByteArray DepthClaim = "$PZRQNC,R,C078820010E1B7F3,35*7F\r\n";
const QByteArray WindClaim = "$PZRQNC,R,C0AA82001120D31C,66*04\r\n";

// TAG blocks name their sources in hexadecimal unless decimalTagSource asks otherwise.
TSimulator::TOptions Options(bool decimalTagSource = false) {
    TSimulator::TOptions options;
    options.uniqueID = QStringLiteral("ABC");
    options.decimalTagSource = decimalTagSource;
    return options;
}

} // namespace

class TestSimN2K : public QObject, protected TSimRig {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void AddressClaims_data();
    void AddressClaims();
    void ProductInformation_data();
    void ProductInformation();
    void ProductInformationOfAll();
    void PartNumberDevice();
    void AnswerBehaviours_data();
    void AnswerBehaviours();
    void LateAnswer();
    void ManyDevices();
    void UnansweredRequests_data();
    void UnansweredRequests();
    void CommandedAddress_data();
    void CommandedAddress();
    void Instances_data();
    void Instances();
    void OwnAddressConflicts_data();
    void OwnAddressConflicts();

private:
    QList<QByteArray> Exchange(const QByteArray& request); // answers up to a version sentinel
};

void TestSimN2K::init() {
    Start(Options());
}

void TestSimN2K::cleanup() {
    Stop();
}

QList<QByteArray> TestSimN2K::Exchange(const QByteArray& request) {
    // The simulator answers in order, so whatever the request brings comes before the answer
    // to the version query behind it.
    client->Send(request);
    client->Send("$PZRQVER");
    QList<QByteArray> lines = client->Until("$PZRQVER");
    if (!lines.isEmpty())
        lines.removeLast();
    else
        lines.append("no version answer");
    return lines;
}

void TestSimN2K::AddressClaims_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<QByteArray>>("answer");
    QTest::newRow("all devices") << QByteArray("$PZRQNR,60928,255")
                                 << QList<QByteArray>{GpsClaim, PilotClaim, DepthClaim, WindClaim};
    QTest::newRow("one device") << QByteArray("$PZRQNR,60928,35") << QList<QByteArray>{DepthClaim};
    QTest::newRow("nobody there") << QByteArray("$PZRQNR,60928,36") << QList<QByteArray>{};
}

void TestSimN2K::AddressClaims() {
    QFETCH(QByteArray, request);
    QFETCH(QList<QByteArray>, answer);
    QCOMPARE(Exchange(request), answer);
}

void TestSimN2K::ProductInformation_data() {
    QTest::addColumn<bool>("decimal");
    QTest::addColumn<QByteArray>("tag");
    QTest::newRow("hexadecimal source") << false << QByteArray("\\s:ABC#1C*58\\");
    QTest::newRow("decimal source") << true << QByteArray("\\s:ABC=28*3E\\");
}

void TestSimN2K::ProductInformation() {
    QFETCH(bool, decimal);
    QFETCH(QByteArray, tag);
    Start(Options(decimal));
    const QList<QByteArray> expected{
        tag + "$PZRQNP,A,2000,2.000,18944,1,1*48\r\n",
        tag + "$PZRQNP,B,E70210,0160487*34\r\n",
        tag + "$PZRQNP,C,3.11,EV-1 Course Computer*70\r\n",
    };
    QCOMPARE(Exchange("$PZRQNR,126996,28"), expected);
    // What the program reads from it.
    const TSentence parsed(QString::fromLatin1(expected[2].trimmed()), QStringLiteral("ABC"));
    QCOMPARE(parsed.SourceKind, skN2K);
    QCOMPARE(parsed.SourceAddress, quint8(28));
    QCOMPARE(parsed.Kind, nkNP);
}

void TestSimN2K::ProductInformationOfAll() {
    const QList<QByteArray> lines = Exchange("$PZRQNR,126996,255");
    QCOMPARE(lines.size(), 12);
    const QList<quint8> addresses{10, 28, 35, 66};
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY(TSimClient::ChecksumOk(lines[i]));
        const TSentence parsed(QString::fromLatin1(lines[i].trimmed()), QStringLiteral("ABC"));
        QCOMPARE(parsed.SourceAddress, addresses[i / 3]);
        QCOMPARE(parsed.Fields.value(1), QString(QChar(char16_t(u'A' + i % 3))));
    }
    QCOMPARE(lines[0], QByteArray("\\s:ABC#0A*5B\\") + NmeaLine("$PZRQNP,A,2100,2.100,2475,1,2"));
}

void TestSimN2K::PartNumberDevice() {
    // One device of manufacturer 1851 names its model by part number: a capital letter and
    // digits, with the model's name as model version.
    int found = 0;
    for (const TSimN2KDevice& device : sim->N2KDevices()) {
        if (N2KManufacturer(device.name) != 1851)
            continue;
        ++found;
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Z][0-9]{3,}$"))
                    .match(device.modelID)
                    .hasMatch());
        QVERIFY(!device.modelVersion.isEmpty());
    }
    QCOMPARE(found, 1);
}

void TestSimN2K::AnswerBehaviours_data() {
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QList<int>>("parts"); // lines answered to each of three requests
    QTest::newRow("prompt") << "prompt" << QList<int>{3, 3, 3};
    QTest::newRow("drops two answers") << "drop" << QList<int>{0, 0, 3};
    QTest::newRow("never answers") << "never" << QList<int>{0, 0, 0};
    QTest::newRow("parts A and B only") << "no C" << QList<int>{2, 2, 2};
}

void TestSimN2K::AnswerBehaviours() {
    QFETCH(QString, behaviour);
    QFETCH(QList<int>, parts);
    TSimulator::TOptions options = Options();
    TSimN2KDevice& pilot = options.n2kDevices[1];
    pilot.dropAnswers = behaviour == "drop" ? 2 : 0;
    pilot.noProductInfo = behaviour == "never";
    pilot.withoutPartC = behaviour == "no C";
    Start(options);
    for (const int count : parts) {
        const QList<QByteArray> lines = Exchange("$PZRQNR,126996,28");
        QCOMPARE(lines.size(), count);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY(TSimClient::Text(lines[i]).startsWith("$PZRQNP," + QByteArray(1, "ABC"[i])));
    }
    // The other devices answer as ever.
    QCOMPARE(Exchange("$PZRQNR,126996,10").size(), 3);
}

void TestSimN2K::LateAnswer() {
    TSimulator::TOptions options = Options();
    options.n2kDevices[1].answerDelayMs = 300;
    Start(options);
    QElapsedTimer clock;
    clock.start();
    // The version query sent behind the request is answered first.
    QCOMPARE(Exchange("$PZRQNR,126996,28"), QList<QByteArray>{});
    const QList<QByteArray> late = client->Until("$PZRQNP,C", 3000);
    QCOMPARE(late.size(), 3);
    QVERIFY2(clock.elapsed() >= 290, qPrintable(QString::number(clock.elapsed())));
}

void TestSimN2K::ManyDevices() {
    TSimulator::TOptions options = Options();
    options.n2kDevices = ManyN2KDevices(20);
    Start(options);
    const QList<QByteArray> claims = Exchange("$PZRQNR,60928,255");
    QCOMPARE(claims.size(), 20);
    QSet<QByteArray> names;
    QSet<QByteArray> addresses;
    for (const QByteArray& claim : claims) {
        const QList<QByteArray> fields = TSimClient::Text(claim).split(',');
        QCOMPARE(fields.size(), 4);
        names.insert(fields[2]);
        addresses.insert(fields[3]);
    }
    QCOMPARE(names.size(), 20);
    QCOMPARE(addresses.size(), 20);
    QCOMPARE(Exchange("$PZRQNR,126996,255").size(), 60);
}

void TestSimN2K::UnansweredRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("other PGN") << QByteArray("$PZRQNR,59904,255");
    QTest::newRow("destination missing") << QByteArray("$PZRQNR,126996");
    QTest::newRow("destination 256") << QByteArray("$PZRQNR,126996,256");
    QTest::newRow("address command for an unknown NAME")
        << QByteArray("$PZRQNC,C,0000000000000001,5");
    QTest::newRow("address command to 252") << QByteArray("$PZRQNC,C,C0509600E764D2E1,252");
    QTest::newRow("address command, NAME of 15") << QByteArray("$PZRQNC,C,0509600E764D2E1,5");
    QTest::newRow("instances of nobody") << QByteArray("$PZRQNI,99,1,0");
    QTest::newRow("system instance 16") << QByteArray("$PZRQNI,28,1,16");
}

void TestSimN2K::UnansweredRequests() {
    QFETCH(QByteArray, request);
    QCOMPARE(Exchange(request), QList<QByteArray>{});
    QCOMPARE(Exchange("$PZRQNR,60928,255"),
             (QList<QByteArray>{GpsClaim, PilotClaim, DepthClaim, WindClaim}));
}

void TestSimN2K::CommandedAddress_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<QByteArray>>("answer");
    QTest::addColumn<QList<quint8>>("addresses"); // of the four devices afterwards

    QTest::newRow("to a free address")
        << QByteArray("$PZRQNC,C,C0509600E764D2E1,40")
        << QList<QByteArray>{NmeaLine("$PZRQNC,R,C0509600E764D2E1,40")}
        << QList<quint8>{10, 40, 35, 66};
    QTest::newRow("to a device's address: that one moves on")
        << QByteArray("$PZRQNC,C,C0509600E764D2E1,10")
        << QList<QByteArray>{"$PZRQNC,R,C0509600E764D2E1,10*70\r\n",
                             "$PZRQNC,R,C07891001CAB2A41,11*09\r\n"}
        << QList<quint8>{11, 10, 35, 66};
    QTest::newRow("to the multiplexer's host address")
        << QByteArray("$PZRQNC,C,C0509600E764D2E1,3")
        << QList<QByteArray>{NmeaLine("$PZRQNC,R,C0509600E764D2E1,3"),
                             NmeaLine("$PZRQNA,R,5,-,-,-,-,-,-,-,-,4")}
        << QList<quint8>{10, 3, 35, 66};
}

void TestSimN2K::CommandedAddress() {
    QFETCH(QByteArray, command);
    QFETCH(QList<QByteArray>, answer);
    QFETCH(QList<quint8>, addresses);
    QCOMPARE(Exchange(command), answer);
    QList<quint8> actual;
    for (const TSimN2KDevice& device : sim->N2KDevices())
        actual.append(device.address);
    QCOMPARE(actual, addresses);
}

void TestSimN2K::Instances_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<QByteArray>>("answer");
    QTest::newRow("network device claims with its new NAME")
        << QByteArray("$PZRQNI,28,3,2")
        << QList<QByteArray>{"$PZRQNC,R,C2509603E764D2E1,28*7A\r\n"};
    QTest::newRow("the multiplexer's own port reports its instances")
        << QByteArray("$PZRQNI,4,7,0")
        << QList<QByteArray>{NmeaLine("$PZRQND,R,0,0,0,0,0,0,0,0,0,7")};
}

void TestSimN2K::Instances() {
    QFETCH(QByteArray, command);
    QFETCH(QList<QByteArray>, answer);
    QCOMPARE(Exchange(command), answer);
    // The change stays: the next claim shows it too.
    if (answer[0].startsWith("$PZRQNC"))
        QCOMPARE(Exchange("$PZRQNR,60928,28"), answer);
    else
        QCOMPARE(sim->ConfigFields(QStringLiteral("ND")).constLast(), QStringLiteral("7"));
}

void TestSimN2K::OwnAddressConflicts_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<QByteArray>>("answer");
    QTest::newRow("no conflict: the answer alone")
        << QByteArray("$PZRQNA,C,5,6,-,-,-,-,-,-,-,4")
        << QList<QByteArray>{NmeaLine("$PZRQNA,R,5,6,-,-,-,-,-,-,-,4")};
    QTest::newRow("a device holds the address")
        << QByteArray("$PZRQNA,C,10,-,-,-,-,-,-,-,-,4")
        << QList<QByteArray>{NmeaLine("$PZRQNA,R,10,-,-,-,-,-,-,-,-,4"),
                             NmeaLine("$PZRQNA,R,11,-,-,-,-,-,-,-,-,4")};
    QTest::newRow("two ports ask for one address")
        << QByteArray("$PZRQNA,C,5,5,-,-,-,-,-,-,-,4")
        << QList<QByteArray>{NmeaLine("$PZRQNA,R,5,5,-,-,-,-,-,-,-,4"),
                             NmeaLine("$PZRQNA,R,5,6,-,-,-,-,-,-,-,4")};
}

void TestSimN2K::OwnAddressConflicts() {
    QFETCH(QByteArray, command);
    QFETCH(QList<QByteArray>, answer);
    QCOMPARE(Exchange(command), answer);
    QCOMPARE(sim->ConfigFields(QStringLiteral("NA")),
             QString::fromLatin1(TSimClient::Text(answer.constLast())).split(u',').mid(2));
}

QTEST_GUILESS_MAIN(TestSimN2K)
#include "tst_simn2k.moc"
