// The NMEA 2000 device list against the simulated network: the scan, product information,
// retries and timers, address claims, the manufacturer list, device changes on the wire and
// the CSV file.
#include "N2KRig.h"

#include "n2k/N2KView.h"
#include "nmea/Numbers.h"

namespace {

constexpr int TimerSlackMs = 200; // how late a timer may fire on a busy machine

// A TAG block with its checksum around the parameters, then the sentence.
QByteArray Tagged(const QByteArray& parameters, const QByteArray& sentence) {
    quint8 sum = 0;
    for (const char c : parameters)
        sum ^= quint8(c);
    return "\\" + parameters + "*" + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper() +
           "\\" + sentence;
}

TSimN2KDevice Device(quint8 address, quint16 manufacturer, const QString& model) {
    TSimN2KDevice device;
    device.address = address;
    device.name = N2KName(0x1000 + address, manufacturer, 0, 130, 60, 0);
    device.n2kVersion = QStringLiteral("2.100");
    device.productCode = 1000 + address;
    device.modelID = model;
    device.softwareVersion = QStringLiteral("1.0");
    device.modelVersion = QStringLiteral("Model of ") + model;
    device.serialCode = QString::number(address * 1000);
    return device;
}

QList<quint8> CompleteAddresses(const TN2KDeviceList& list) {
    QList<quint8> addresses;
    for (int i = 0; i < list.Count(); ++i)
        addresses.append(list.Device(i).Address);
    return addresses;
}

// The first moment the list showed this state with this current address; -1 when never.
qint64 FirstStep(const TN2KRig& rig, TN2KScanState state, int current = -1) {
    for (const TN2KRig::TStep& step : rig.steps) {
        if (step.State == state && (current < 0 || step.Current == current))
            return step.Ms;
    }
    return -1;
}

} // namespace

class TestN2K : public QObject {
    Q_OBJECT

private slots:
    void ScanFindsEveryDevice_data();
    void ScanFindsEveryDevice();
    void ProductInformationAssembled();
    void AnswerBehaviours_data();
    void AnswerBehaviours();
    void ScanTimers();
    void ScanWithoutDevices();
    void StrayProductInformation_data();
    void StrayProductInformation();
    void ProductInformationWhileIdleIgnored();
    void ScanEndsWhenTheLinkCloses();
    void IdentificationClearsAndScans_data();
    void IdentificationClearsAndScans();
    void AddressClaims_data();
    void AddressClaims();
    void NewIdentitySeen_data();
    void NewIdentitySeen();
    void PartNumberModelIDs();
    void ConverterFound_data();
    void ConverterFound();
    void Manufacturers_data();
    void Manufacturers();
    void ManufacturerListFormat();
    void DeviceChange_data();
    void DeviceChange();
    void DeviceEntryChecks_data();
    void DeviceEntryChecks();
    void CsvFile();
};

void TestN2K::ScanFindsEveryDevice_data() {
    QTest::addColumn<QList<TSimN2KDevice>>("devices");
    QTest::addColumn<bool>("decimal");
    QTest::newRow("four devices") << DefaultN2KDevices() << false;
    QTest::newRow("four devices, decimal sources") << DefaultN2KDevices() << true;
    QTest::newRow("twenty devices") << ManyN2KDevices(20) << false;
    QList<TSimN2KDevice> edges{Device(0, 229, "At 0"), Device(254, 135, "At 254")};
    QTest::newRow("addresses 0 and 254") << edges << false;
}

void TestN2K::ScanFindsEveryDevice() {
    QFETCH(QList<TSimN2KDevice>, devices);
    QFETCH(bool, decimal);
    TSimulator::TOptions options = N2KOptions(devices);
    options.decimalTagSource = decimal;
    TN2KRig rig(options);
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());

    QCOMPARE(rig.list->Count(), devices.size());
    for (int i = 0; i < rig.list->Count(); ++i) {
        const TN2KDevice& found = rig.list->Device(i);
        // In address order, as the scan asks them.
        QCOMPARE(found.Address, devices[i].address);
        QCOMPARE(found.Name, devices[i].name);
        QCOMPARE(found.SerialCode, devices[i].serialCode);
        QCOMPARE(rig.list->FindByName(devices[i].name), &found);
        QCOMPARE(&rig.list->Record(found.Address), &found);
        QCOMPARE(rig.ProductRequests(found.Address), 1);
    }
    QCOMPARE(rig.list->FindByName(0x1234), nullptr);
    QCOMPARE(rig.list->CurrentAddress(), devices.constLast().address);
    QVERIFY(rig.user.Errors.isEmpty());
    QVERIFY(rig.user.Messages.isEmpty());
}

void TestN2K::ProductInformationAssembled() {
    TN2KRig rig;
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());
    QCOMPARE(rig.list->Count(), 4);

    const TN2KDevice& gps = rig.list->Device(0);
    QCOMPARE(gps.Address, quint8(10));
    QCOMPARE(gps.Name, Q_UINT64_C(0xC07891001CAB2A41));
    QCOMPARE(gps.N2KVersion, "2.100");
    QCOMPARE(gps.ProductCode, quint16(2475));
    QCOMPARE(gps.CertificationLevel, quint8(1));
    QCOMPARE(gps.LoadEquivalency, quint8(2));
    QCOMPARE(gps.ModelID, "GPS 24xd");
    QCOMPARE(gps.SerialCode, "4V1027736");
    QCOMPARE(gps.SoftwareVersion, "5.30");
    QCOMPARE(gps.ModelVersion, "1.00");
    QCOMPARE(gps.ManufacturerCode(), quint16(229));
    QCOMPARE(rig.list->ManufacturerOf(gps), "Garmin");

    const TN2KDevice& wind = rig.list->Device(3);
    QCOMPARE(wind.CertificationLevel, quint8(0));
    QCOMPARE(rig.list->ManufacturerOf(wind), "Maretron");
}

void TestN2K::AnswerBehaviours_data() {
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("requests"); // to the depth transducer at 35
    QTest::addColumn<bool>("found");
    QTest::newRow("late answer") << "late" << 1 << true;
    QTest::newRow("one answer dropped") << "drop 1" << 2 << true;
    QTest::newRow("three dropped: the last retry") << "drop 3" << 4 << true;
    QTest::newRow("four dropped: left out") << "drop 4" << 4 << false;
    QTest::newRow("never answers") << "never" << 4 << false;
    QTest::newRow("parts A and B only") << "no C" << 4 << false;
}

void TestN2K::AnswerBehaviours() {
    QFETCH(QString, behaviour);
    QFETCH(int, requests);
    QFETCH(bool, found);
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    TSimN2KDevice& depth = devices[2];
    depth.answerDelayMs = behaviour == "late" ? 300 : 0;
    depth.dropAnswers = behaviour.startsWith("drop") ? behaviour.back().digitValue() : 0;
    depth.noProductInfo = behaviour == "never";
    depth.withoutPartC = behaviour == "no C";
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());

    QCOMPARE(rig.ProductRequests(35), requests);
    const QList<quint8> expected =
        found ? QList<quint8>{10, 28, 35, 66} : QList<quint8>{10, 28, 66};
    QCOMPARE(CompleteAddresses(*rig.list), expected);
    // The device's claim is known even when its product information is not.
    QCOMPARE(rig.list->Record(35).Name, devices[2].name);
    if (!found)
        QCOMPARE(rig.list->FindByName(devices[2].name), nullptr);
}

void TestN2K::ScanTimers() {
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    devices[2].noProductInfo = true; // the depth transducer at 35
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());

    // Address claims are collected for 500 ms before the first device is asked.
    const qint64 scan = FirstStep(rig, nsAddressClaim);
    const qint64 first = FirstStep(rig, nsProductInfo, 10);
    QVERIFY(scan >= 0 && first >= 0);
    QVERIFY2(first - scan >= 495 && first - scan <= 500 + TimerSlackMs,
             qPrintable(QString::number(first - scan)));

    // A complete answer: the next device is asked 50 ms later.
    const qint64 complete = FirstStep(rig, nsNextDevice, 28);
    const qint64 next = FirstStep(rig, nsProductInfo, 28);
    QVERIFY(complete >= 0 && next >= 0);
    QVERIFY2(next - complete >= 45 && next - complete <= 50 + TimerSlackMs,
             qPrintable(QString::number(next - complete)));

    // A silent device is asked four times, 500 ms apart, and left after 2 s.
    const qint64 silent = FirstStep(rig, nsProductInfo, 35);
    const qint64 after = FirstStep(rig, nsProductInfo, 66);
    QVERIFY(silent >= 0 && after >= 0);
    QVERIFY2(after - silent >= 1990 && after - silent <= 2000 + TimerSlackMs,
             qPrintable(QString::number(after - silent)));
    QCOMPARE(rig.ProductRequests(35), 4);
    QCOMPARE(CompleteAddresses(*rig.list), (QList<quint8>{10, 28, 66}));
}

void TestN2K::ScanWithoutDevices() {
    TN2KRig rig(N2KOptions({}));
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());
    const qint64 elapsed = rig.steps.constLast().Ms - FirstStep(rig, nsAddressClaim);
    QVERIFY2(elapsed >= 495 && elapsed <= 500 + TimerSlackMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(rig.list->Count(), 0);
    QVERIFY(rig.sim->ReceivedLines().filter("$PZRQNR,126996").isEmpty());
    QCOMPARE(rig.sim->ReceivedLines().filter("$PZRQNR,60928,255*").size(), 1);
}

void TestN2K::StrayProductInformation_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<quint8>>("complete");
    // The pilot at 28 answers late; meanwhile a C part arrives that is not its own.
    QTest::newRow("without a source: ignored")
        << QByteArray("$PZRQNP,C,9.9,Nobody") << QList<quint8>{10, 28, 35, 66};
    QTest::newRow("of another device: the scan moves on")
        << Tagged("s:CPX7A31F#0A", "$PZRQNP,C,9.9,Somebody") << QList<quint8>{10, 35, 66};
}

void TestN2K::StrayProductInformation() {
    QFETCH(QByteArray, reply);
    QFETCH(QList<quint8>, complete);
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    devices[1].answerDelayMs = 300;
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(
        rig.list->ScanState() == nsProductInfo && rig.list->CurrentAddress() == 28, 5000);
    rig.sim->SendUnasked(reply);
    QVERIFY(rig.ScanEnded());
    QCOMPARE(CompleteAddresses(*rig.list), complete);
    QVERIFY2(rig.user.Errors.isEmpty(), qPrintable(rig.user.Errors.join(u'|')));
    // Nothing of the stray reply was stored anywhere.
    QCOMPARE(rig.list->Record(10).ModelVersion, "1.00");
}

void TestN2K::ProductInformationWhileIdleIgnored() {
    TN2KRig rig;
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());
    rig.sim->SendUnasked(Tagged("s:CPX7A31F#0A", "$PZRQNP,B,Changed,1"));
    QVERIFY(rig.Synchronised());
    QCOMPARE(rig.list->Record(10).ModelID, "GPS 24xd");
    QCOMPARE(rig.list->Count(), 4);
}

void TestN2K::ScanEndsWhenTheLinkCloses() {
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    devices[0].noProductInfo = true;
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(rig.list->ScanState() == nsProductInfo, 5000);
    rig.session->Disconnect();
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.list->ScanState() == nsIdle, 2000);
    QVERIFY(clock.elapsed() <= 500 + TimerSlackMs);
    QCOMPARE(rig.list->CurrentAddress(), quint8(255));
}

void TestN2K::IdentificationClearsAndScans_data() {
    QTest::addColumn<quint16>("capabilities");
    QTest::addColumn<int>("found");
    QTest::newRow("with NMEA 2000") << quint16(0xA010) << 4;
    QTest::newRow("without NMEA 2000") << quint16(0xA000) << 0;
}

void TestN2K::IdentificationClearsAndScans() {
    QFETCH(quint16, capabilities);
    QFETCH(int, found);
    TSimulator::TOptions options = N2KOptions();
    options.capabilities = capabilities;
    TN2KRig rig(options);
    // What an earlier multiplexer left in the list goes with the identification.
    rig.list->ProcessSentence(TSentence(QStringLiteral("$PZRQNC,R,C0509600E764D2E1,99")));
    QCOMPARE(rig.list->Record(99).Name, Q_UINT64_C(0xC0509600E764D2E1));
    QVERIFY(rig.Connect());
    QCOMPARE(rig.list->Record(99).Name, quint64(0));
    if (found) {
        QVERIFY(rig.ScanEnded());
    } else {
        QVERIFY(rig.Synchronised());
        QVERIFY(rig.sim->ReceivedLines().filter("$PZRQNR").isEmpty());
    }
    QCOMPARE(rig.list->Count(), found);

    // Every identification starts afresh.
    if (found) {
        rig.steps.clear();
        rig.session->ReadConfiguration();
        QVERIFY(rig.ScanEnded());
        QCOMPARE(rig.steps.constFirst().Count, 0);
        QCOMPARE(rig.list->Count(), found);
    }
}

void TestN2K::AddressClaims_data() {
    QTest::addColumn<QString>("claim");
    QTest::addColumn<int>("address"); // where the NAME lands; -1 for nowhere
    QTest::newRow("claim") << "$PZRQNC,R,C0509600E764D2E1,28" << 28;
    QTest::newRow("lower-case NAME") << "$PZRQNC,R,c0509600e764d2e1,28" << 28;
    QTest::newRow("address 254") << "$PZRQNC,R,C0509600E764D2E1,254" << 254;
    QTest::newRow("address 255") << "$PZRQNC,R,C0509600E764D2E1,255" << -1;
    QTest::newRow("NAME of 15") << "$PZRQNC,R,0509600E764D2E1,28" << -1;
    QTest::newRow("NAME of 17") << "$PZRQNC,R,C0509600E764D2E10,28" << -1;
    QTest::newRow("field 1 C") << "$PZRQNC,C,C0509600E764D2E1,28" << -1;
    QTest::newRow("NAME not hexadecimal") << "$PZRQNC,R,C0509600E764D2EX,28" << -1;
    QTest::newRow("address not a number") << "$PZRQNC,R,C0509600E764D2E1,2B" << -1;
    QTest::newRow("address missing") << "$PZRQNC,R,C0509600E764D2E1" << -1;
}

void TestN2K::AddressClaims() {
    QFETCH(QString, claim);
    QFETCH(int, address);
    TScriptedUser user;
    TSession session(user);
    TN2KDeviceList list(session);
    QSignalSpy changed(&list, &TN2KDeviceList::Changed);
    list.ProcessSentence(TSentence(claim));
    for (int a = 0; a < TN2KDeviceList::AddressCount; ++a) {
        const TN2KDevice& record = list.Record(quint8(a));
        QCOMPARE(record.Name, a == address ? Q_UINT64_C(0xC0509600E764D2E1) : 0);
        QCOMPARE(record.Address, a == address ? quint8(a) : quint8(255));
    }
    QCOMPARE(changed.count(), address >= 0 ? 1 : 0);
    // The same claim again changes nothing.
    list.ProcessSentence(TSentence(claim));
    QCOMPARE(changed.count(), address >= 0 ? 1 : 0);
}

void TestN2K::NewIdentitySeen_data() {
    QTest::addColumn<QString>("claim");
    QTest::addColumn<bool>("whileScanning");
    QTest::addColumn<TN2KScanState>("state");
    // The pilot is known at 28 with NAME C0509600E764D2E1.
    QTest::newRow("same claim") << "$PZRQNC,R,C0509600E764D2E1,28" << false << nsIdle;
    QTest::newRow("device instance only") << "$PZRQNC,R,C0509605E764D2E1,28" << false << nsIdle;
    QTest::newRow("system instance only") << "$PZRQNC,R,C3509600E764D2E1,28" << false << nsIdle;
    QTest::newRow("identity number") << "$PZRQNC,R,C0509600E764D2E2,28" << false << nsChanged;
    QTest::newRow("a new device") << "$PZRQNC,R,C0509600E7000001,90" << false << nsChanged;
    QTest::newRow("identity number while scanning")
        << "$PZRQNC,R,C0509600E764D2E2,28" << true << nsProductInfo;
}

void TestN2K::NewIdentitySeen() {
    QFETCH(QString, claim);
    QFETCH(bool, whileScanning);
    QFETCH(TN2KScanState, state);
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    devices[3].noProductInfo = whileScanning; // keeps the scan busy at its end
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    if (whileScanning)
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.list->CurrentAddress() == 66 && rig.list->ScanState() == nsProductInfo, 5000);
    else
        QVERIFY(rig.ScanEnded());
    rig.sim->SendUnasked(claim.toLatin1());
    QVERIFY(rig.Synchronised());
    QCOMPARE(rig.list->ScanState(), state);
    const TSentence parsed(claim);
    QCOMPARE(rig.list->Record(quint8(parsed.Fields[3].toUInt())).Name,
             ParseHex(parsed.Fields[2]).value());
}

void TestN2K::PartNumberModelIDs() {
    struct TCase {
        quint16 manufacturer;
        const char* modelID;
        bool replaced;
    };
    const TCase cases[] = {
        {1851, "E12345", true},  {1851, "E123", true},   {1851, "E12345  ", true},
        {1851, "e12345", false}, {1851, "E12", false},   {1851, "E12X45", false},
        {1851, "E12 4", false},  {229, "E12345", false}, {1851, "T70134 ", true},
    };
    QList<TSimN2KDevice> devices;
    for (const TCase& c : cases)
        devices.append(
            Device(quint8(10 + devices.size()), c.manufacturer, QString::fromLatin1(c.modelID)));
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());
    QCOMPARE(rig.list->Count(), devices.size());
    for (int i = 0; i < rig.list->Count(); ++i) {
        const QString sent = QString::fromLatin1(cases[i].modelID);
        // Model IDs are stored trimmed.
        QCOMPARE(rig.list->Device(i).ModelID,
                 (cases[i].replaced ? "Model of " + sent : sent).trimmed());
    }
}

void TestN2K::ConverterFound_data() {
    QTest::addColumn<QString>("input1");
    QTest::addColumn<bool>("answered"); // the multiplexer answers the input change
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("input 1 in SeaTalk-STNG mode") << "7" << true << true << QStringList{};
    QTest::newRow("input 1 in SeaTalk mode") << "6" << true << false << QStringList{};
    QTest::newRow("the change is not answered")
        << "7" << false << true << QStringList{"Multiplexer does not respond"};
}

void TestN2K::ConverterFound() {
    QFETCH(QString, input1);
    QFETCH(bool, answered);
    QFETCH(bool, changed);
    QFETCH(QStringList, errors);
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    TSimN2KDevice converter = Device(50, 1851, QStringLiteral("E22158"));
    converter.productCode = 16763;
    devices.insert(2, converter);
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.sim->SetConfigFields("IN", {input1, "1", "0", "0", "0", "0", "0", "2"}));
    QVERIFY(rig.Connect());
    if (!answered)
        rig.sim->SetFault(sfNoAnswer, QStringLiteral("IN"));
    QVERIFY(rig.ScanEnded());
    QCOMPARE(rig.list->Count(), 5);

    const QStringList message{"Raymarine SeaTalk-STNG Converter found.\nInput 1 is set from "
                              "SeaTalk-STNG to\nSeaTalk to avoid a data-loop."};
    QTRY_COMPARE_WITH_TIMEOUT(rig.user.Errors, errors, 3000);
    QVERIFY(rig.Synchronised());
    QCOMPARE(rig.user.Messages, changed ? message : QStringList());
    QCOMPARE(rig.session->Config.ModeIn[0], 6);
    QCOMPARE(rig.sim->ReceivedLines().filter("$PZRQIN,C,6,1,0,0,0,0,0,2*").size(), changed ? 1 : 0);
    QCOMPARE(rig.sim->ConfigFields("IN").value(0), answered ? "6" : "7");
}

void TestN2K::Manufacturers_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("first") << 1
                           << "Bendix Commercial Vehicle Systems LLC (formerly Allied Signal Inc.)";
    QTest::newRow("last") << 1863 << "Faria Instruments";
    QTest::newRow("the converter's maker") << 1851 << "Raymarine";
    QTest::newRow("Windows-1252 letter") << 949 << QString::fromUtf8("Škoda Electric a.s.");
    QTest::newRow("unlisted") << 1864 << "";
    QTest::newRow("zero") << 0 << "";
    QTest::newRow("highest code") << 2047 << "";
    QTest::newRow("beyond") << 2048 << "";
}

void TestN2K::Manufacturers() {
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(TN2KManufacturers::Builtin().Name(code), name);
}

void TestN2K::ManufacturerListFormat() {
    const QByteArray input = GoldenFile("n2k-mfrcodes.in");
    const QByteArray expected = GoldenFile("n2k-mfrcodes.out");
    QVERIFY(!input.isEmpty() && !expected.isEmpty());
    TN2KManufacturers table;
    table.Load(input);
    QString listing;
    for (int code = 0; code < TN2KManufacturers::CodeCount; ++code) {
        if (!table.Name(code).isEmpty())
            listing += QStringLiteral("%1\t%2\n").arg(code).arg(table.Name(code));
    }
    QCOMPARE(listing, QString::fromUtf8(expected));
}

void TestN2K::DeviceChange_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("deviceInstance");
    QTest::addColumn<int>("systemInstance");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("claimedAt"); // where the depth transducer claims afterwards
    QTest::addColumn<QString>("name");  // with which NAME
    // The depth transducer: address 35, NAME C078820010E1B7F3, instances 0 and 0.
    QTest::newRow("system instance 3")
        << 35 << 0 << 3 << QStringList{"$PZRQNI,35,0,3"} << 35 << "C378820010E1B7F3";
    QTest::newRow("device instance 255")
        << 35 << 255 << 0 << QStringList{"$PZRQNI,35,255,0"} << 35 << "C07882FF10E1B7F3";
    QTest::newRow("source address 40")
        << 40 << 0 << 0 << QStringList{"$PZRQNC,C,C078820010E1B7F3,40"} << 40 << "C078820010E1B7F3";
    QTest::newRow("address and instances")
        << 40 << 2 << 1 << QStringList{"$PZRQNI,35,2,1", "$PZRQNC,C,C178820210E1B7F3,40"} << 40
        << "C178820210E1B7F3";
    QTest::newRow("nothing changed") << 35 << 0 << 0 << QStringList{} << 35 << "C078820010E1B7F3";
}

void TestN2K::DeviceChange() {
    QFETCH(int, address);
    QFETCH(int, deviceInstance);
    QFETCH(int, systemInstance);
    QFETCH(QStringList, sent);
    QFETCH(int, claimedAt);
    QFETCH(QString, name);
    TN2KRig rig;
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());
    const TN2KDevice* depth = rig.list->FindByName(Q_UINT64_C(0xC078820010E1B7F3));
    QVERIFY(depth);
    rig.sim->ClearReceived();

    QCOMPARE(rig.list->SendDeviceChange(*depth, quint8(address), quint8(deviceInstance),
                                        quint8(systemInstance)),
             sent);
    QVERIFY(rig.Synchronised());
    // On the wire exactly these, checksummed, and nothing else before the query.
    QStringList wire;
    for (const QString& text : sent)
        wire.append(QString::fromLatin1(NmeaLine(text.toLatin1()).trimmed()));
    wire.append(QString::fromLatin1(NmeaLine("$PZRQVER").trimmed()));
    QCOMPARE(rig.sim->ReceivedLines().filter(QRegularExpression("^\\$PZRQ(NC|NI|VER)")), wire);
    // The device claims again and the list sees it; the list itself is not changed.
    const quint64 claimed = ParseHex(name).value();
    QCOMPARE(rig.list->Record(quint8(claimedAt)).Name, claimed);
    QCOMPARE(rig.sim->N2KDevices().at(2).name, claimed);
    QCOMPARE(rig.sim->N2KDevices().at(2).address, quint8(claimedAt));
}

void TestN2K::DeviceEntryChecks_data() {
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("all fine") << QStringList{"251", "255", "15"} << QStringList{}
                              << QList<int>{251, 255, 15};
    QTest::newRow("zeros") << QStringList{"0", "0", "0"} << QStringList{} << QList<int>{0, 0, 0};
    QTest::newRow("source address 252")
        << QStringList{"252", "1", "2"} << QStringList{"Illegal Source Address entered (0..251)"}
        << QList<int>{0, 1, 2};
    QTest::newRow("device instance 256")
        << QStringList{"7", "256", "2"} << QStringList{"Illegal Device Instance entered (0..255)"}
        << QList<int>{7, 0, 2};
    QTest::newRow("system instance 16")
        << QStringList{"7", "1", "16"} << QStringList{"Illegal Device Instance entered (0..15)"}
        << QList<int>{7, 1, 0};
    QTest::newRow("every check fails") << QStringList{"999", "999", "99"}
                                       << QStringList{"Illegal Source Address entered (0..251)",
                                                      "Illegal Device Instance entered (0..255)",
                                                      "Illegal Device Instance entered (0..15)"}
                                       << QList<int>{0, 0, 0};
    QTest::newRow("empty and blank")
        << QStringList{"", " 4 ", "  "}
        << QStringList{"'' is not a valid integer value", "'' is not a valid integer value"}
        << QList<int>{0, 4, 0};
}

void TestN2K::DeviceEntryChecks() {
    QFETCH(QStringList, entered);
    QFETCH(QStringList, messages);
    QFETCH(QList<int>, values);
    TN2KDeviceEntry entry;
    QCOMPARE(CheckDeviceEntry(entered[0], entered[1], entered[2], entry), messages);
    QCOMPARE((QList<int>{entry.SourceAddress, entry.DeviceInstance, entry.SystemInstance}), values);
}

void TestN2K::CsvFile() {
    QList<TSimN2KDevice> devices = DefaultN2KDevices().mid(0, 1);
    TSimN2KDevice allison = Device(20, 2, QStringLiteral("Gear \"7\""));
    allison.softwareVersion = QStringLiteral("2.0");
    allison.serialCode = QStringLiteral("A-100");
    allison.loadEquivalency = 1;
    TSimN2KDevice probe = Device(30, 2000, QStringLiteral("Probe X"));
    probe.softwareVersion = QStringLiteral("0.9");
    probe.serialCode = QStringLiteral("77");
    probe.loadEquivalency = 255;
    TSimN2KDevice shore = Device(40, 949, QStringLiteral("Shore Power"));
    shore.name = N2KName(0x4242, 949, 3, 140, 35, 2);
    shore.softwareVersion = QStringLiteral("3.1");
    shore.serialCode = QStringLiteral("SK-1");
    shore.loadEquivalency = 15;
    devices << allison << probe << shore;
    TN2KRig rig(N2KOptions(devices));
    QVERIFY(rig.Connect());
    QVERIFY(rig.ScanEnded());

    const QByteArray expected = GoldenFile("n2k-devices.csv");
    QVERIFY2(!expected.isEmpty(), "the golden file tests/data/n2k-devices.csv is missing");
    QCOMPARE(N2KDeviceListCsv(*rig.list).toUtf8(), expected);
}

QTEST_GUILESS_MAIN(TestN2K)
#include "tst_n2k.moc"
