// The configuration file: INI reading and writing, Windows-1252 text, load and save.
#include "config/ConfigDiff.h"
#include "config/IniFile.h"
#include "config/MuxConfig.h"
#include "tests/FilledModel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QByteArray Lines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

bool WriteBytes(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void Save(const TMuxConfig& c, const QString& fileName) {
    c.SaveToFile(fileName, "Corvanta-PX Configuration Tool V1.2.3", u"Corvanta-PX \u20AC"_qs,
                 "1.20", "12345");
}

// What the filled model looks like on disk.
const QList<QByteArray> GoldenLines{
    "[Information]",
    "Tidewright=Corvanta-PX Configuration Tool V1.2.3",
    "Device=Corvanta-PX \x80",
    "Firmware Version=1.20",
    "Serial Number=12345",
    "",
    "[Configuration]",
    "Config Version=1",
    "Baud In1=0",
    "Baud In2=1",
    "Baud In3/Out3=2",
    "Baud In4=3",
    "Baud In5=4",
    "Baud In6=5",
    "Baud In7=0",
    "Baud In8=1",
    "Baud Out1=2",
    "Baud Out2=3",
    "Baud Out4=4",
    "Priority Timeout=5",
    "Talker ID1=GP",
    "Talker ID2=II",
    "Talker ID3=SD",
    "Talker ID4=VW",
    "Talker ID5=WI",
    "Talker ID6=HC",
    "Talker ID7=AI",
    "Talker ID8=YX",
    "Talker ID Conversions=EC",
    "Unique ID=CVZ0001",
    "Route Inputs to Out1=8103",
    "Route Inputs to Out2=00FF",
    "Route Inputs to Out3=0A00",
    "Route Inputs to Out4=0001",
    "Mode In1=6",
    "Mode In2=1",
    "Mode In3=2",
    "Mode In4=3",
    "Mode In5=4",
    "Mode In6=5",
    "Mode In7=0",
    "Mode In8=1",
    "Mode Out1=0",
    "Mode Out2=1",
    "Mode Out3=2",
    "Mode Out4=1",
    "Priority In1=1",
    "Priority In2=2",
    "Priority In3=3",
    "Priority In4=4",
    "Priority In5=10",
    "Priority In6=11",
    "Priority In7=12",
    "Priority In8=14",
    "Priority NMEA 2000=10",
    "Options=00000005",
    "Conversions=00001FFF",
    "NMEA 2000 Options=C002ABCD",
    "Device Function Host=1",
    "Device Function In1=0",
    "Device Function In2=2",
    "Device Function In3=3",
    "Device Function In4=4",
    "Device Function In5=5",
    "Device Function In6=6",
    "Device Function In7=7",
    "Device Function In8=8",
    "Device Function Conv=33",
    "Device Instance Host=0",
    "Device Instance In1=1",
    "Device Instance In2=2",
    "Device Instance In3=3",
    "Device Instance In4=4",
    "Device Instance In5=5",
    "Device Instance In6=6",
    "Device Instance In7=7",
    "Device Instance In8=8",
    "Device Instance Conv=255",
    "",
    "[Routing]",
    "R01=GPRMC,0003,00,41,0000000000000000",
    "R02=GPGGA,8004,05,5F,8000000000ABCDEF",
    "",
    "[ModBus]",
    "R1=1,100,H,F,1,2,C,C,ENGINE",
    "R2=1,100,H,I,0,0,,,",
};

QByteArray GoldenBytes(qsizetype from = 0) {
    QByteArray bytes;
    for (const QByteArray& line : GoldenLines.mid(from))
        bytes += line + "\r\n";
    return bytes;
}

} // namespace

class TestConfigFile : public QObject {
    Q_OBJECT

private slots:
    void Windows1252();
    void IniReading();
    void IniWritingKeepsOtherLines();

    void LoadReadsEveryForm();
    void HexGroups_data();
    void HexGroups();
    void MissingFileGivesDefaults();
    void SixtyRoutes();
    void CutTextsLoadBackAsSaved();

    void SaveWritesTheFormat();
    void RoundTripIsByteIdentical();
    void SavingEmptyTablesRemovesThem();
    void FailedSaveLeavesTheOldFile();

    void CompareWithFile();

private:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

void TestConfigFile::Windows1252() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = DecodeWindows1252(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(EncodeWindows1252(text), all);

    QCOMPARE(text.at(0x41), QChar(u'A'));
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0x8A), QChar(0x0160));
    QCOMPARE(text.at(0x99), QChar(0x2122));
    QCOMPARE(text.at(0x9F), QChar(0x0178));
    QCOMPARE(text.at(0x81), QChar(0x0081)); // undefined in the code page
    QCOMPARE(text.at(0xE9), QChar(0x00E9));

    QCOMPARE(EncodeWindows1252(u"\u20AC\u2018\u0192x"), QByteArray("\x80\x91\x83x"));
    // No Windows-1252 form: the control character U+0080 (0x80 is the euro sign) and CJK.
    QCOMPARE(EncodeWindows1252(u"\u0080\u4E2D"), QByteArray("??"));

    // Long texts are converted in blocks: a character is converted wherever it stands.
    for (const qsizetype at : {0, 62, 63, 64, 65, 127, 128, 199}) {
        QByteArray bytes(200, 'a');
        bytes[at] = '\x80';
        QString expected(200, u'a');
        expected[at] = QChar(0x20AC);
        QCOMPARE(DecodeWindows1252(bytes), expected);
        QCOMPARE(EncodeWindows1252(expected), bytes);
        expected[at] = QChar(0x4E2D);
        bytes[at] = '?';
        QCOMPARE(EncodeWindows1252(expected), bytes);
    }
}

void TestConfigFile::IniReading() {
    const TIniFile ini = TIniFile::FromBytes("; comment=not an entry\n"
                                             "[configuration]\r\n"
                                             "  BAUD IN1 =  2  \r\n"
                                             "Baud In1=3\r\n"
                                             "Unique ID=\xC4\x80\r\n"
                                             "[ Routing ]\n"
                                             "R01=A\n"
                                             "no equals sign\n"
                                             "[Other]\r\n"
                                             "x=\r\n"
                                             "[ROUTING]\r\n"
                                             "R01=B");
    QCOMPARE(ini.Value(u"Configuration", u"baud in1"), std::optional<QString>("2"));
    QCOMPARE(ini.Value(u"CONFIGURATION", u"Unique ID"), std::optional<QString>(u"\u00C4\u20AC"_qs));
    QCOMPARE(ini.Value(u"Other", u"x"), std::optional<QString>(""));
    QCOMPARE(ini.Value(u"Other", u"y"), std::nullopt);
    QCOMPARE(ini.Value(u"Missing", u"x"), std::nullopt);
    QCOMPARE(ini.Value(u"Configuration", u"; comment"), std::nullopt);

    const QList<TIniFile::TEntry> routes = ini.Entries(u"routing");
    QCOMPARE(routes.size(), 2);
    QCOMPARE(routes[0], (TIniFile::TEntry{"R01", "A"}));
    QCOMPARE(routes[1], (TIniFile::TEntry{"R01", "B"}));
    QVERIFY(ini.HasSection(u"OTHER"));
}

void TestConfigFile::IniWritingKeepsOtherLines() {
    const QByteArray original = "; head\r\n"
                                "[A]\r\n"
                                "  key = value ; odd\r\n"
                                "\r\n"
                                "[b]\r\n"
                                "k=1\r\n"
                                "[C]\r\n"
                                "z=\x80\r\n";
    TIniFile ini = TIniFile::FromBytes(original);
    QCOMPARE(ini.ToBytes(), original);

    ini.RemoveSection(u"B");
    ini.SetValue(u"a", u"KEY", u"new");
    ini.SetValue(u"a", u"other", u"2");
    ini.SetValue(u"D", u"n", u"\u00E9");
    QCOMPARE(ini.ToBytes(), QByteArray("; head\r\n"
                                       "[A]\r\n"
                                       "KEY=new\r\n"
                                       "other=2\r\n"
                                       "\r\n"
                                       "[C]\r\n"
                                       "z=\x80\r\n"
                                       "\r\n"
                                       "[D]\r\n"
                                       "n=\xE9\r\n"));
}

// Every kind of value and entry the reader must handle, in one file.
void TestConfigFile::LoadReadsEveryForm() {
    const QString file = Path("forms.ini");
    QVERIFY(WriteBytes(file, Lines({
                                 "[Information]",
                                 "Device=Corvanta-PX",
                                 "[configuration]",
                                 "baud in1=0x3",
                                 "Baud In2=$4",
                                 "Baud In3/Out3= 5 ",
                                 "Baud In4=junk",
                                 "Baud In5=-2",
                                 "Baud In6=0xFFFFFFFF",
                                 "Baud In7=0x",
                                 "Talker ID1=ABC",
                                 "Talker ID Conversions=YX",
                                 "Unique ID=ABCDEFGHIJKLMNOP",
                                 "Route Inputs to Out1=81ff",
                                 "Route Inputs to Out2=3",
                                 "Options=1F",
                                 "Conversions=00001FFF",
                                 "NMEA 2000 Options=c0000001",
                                 "Priority In3=14",
                                 "Device Function Conv=33",
                                 "[Routing]",
                                 "R01=GPRMC,3,5,41,8000000000000001",
                                 "R02=GPGGA,0004,00,40",
                                 "R03=GPGLL,zz,00,40,0000000000000000",
                                 "R04=GPVTG,0004,00,40,10000000000000000",
                                 "R05=GPXTE, 0004,00,40,0",
                                 "R01=IIMWVX,8000,300,10040,0,extra",
                                 "[ModBus]",
                                 "R1=1,100,H,I,0,0,,,",
                                 "R2=2,7,I,F,1,9,C,C,ENGINE ROOM",
                                 "R3=1,100,H,I,0,0,,",
                                 "R4=x,100,H,I,0,0,,,",
                                 "R5=300,70000,Hx,,1,2,,,ABCDEFGHIJKLMNOPQ",
                             })));

    TMuxConfig config;
    config.SrcAddr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    config.Routes.append(TRoute{"OLD", 1, 0, 0, 0, 255});
    int routeCalls = 0;
    int modbusCalls = 0;
    config.OnRoutesChange = [&routeCalls] { ++routeCalls; };
    config.OnModbusChange = [&modbusCalls] { ++modbusCalls; };
    config.LoadFromFile(file);

    QCOMPARE(config.BaudIn, (std::array<qint32, 8>{3, 4, 5, 0, -2, -1, 0, 0}));
    QCOMPARE(config.BaudOut1, 3);
    QCOMPARE(config.BaudOut2, 3);
    QCOMPARE(config.BaudOut4, 3);
    QCOMPARE(config.TalkerID[0], "AB");
    QCOMPARE(config.TalkerID[1], "");
    QCOMPARE(config.TalkerID[TalkerConv], "YX");
    QCOMPARE(config.UniqueID, "ABCDEFGHIJKL");
    QCOMPARE(config.RouteOut, (std::array<quint32, 4>{0x81FF, 3, 0, 0}));
    QCOMPARE(config.Options, quint32(0x1F));
    QCOMPARE(config.Conversions, quint32(0x1FFF));
    QCOMPARE(config.N2KOptions, quint32(0xC0000001));
    QCOMPARE(config.PrioIn, (std::array<qint32, 8>{1, 1, 14, 1, 1, 1, 1, 1}));
    QCOMPARE(config.PrioN2K, 1);
    QCOMPARE(config.DevFunc, (std::array<qint32, 10>{0, 1, 1, 1, 1, 1, 1, 1, 1, 33}));
    QCOMPARE(config.SrcAddr, (std::array<qint32, 10>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    QCOMPARE(config.Routes, (QList<TRoute>{TRoute{"GPRMC", 3, 5, 0x41, 0x8000000000000001, 255},
                                           TRoute{"IIMWV", 0x8000, 44, 0x40, 0, 255}}));
    QCOMPARE(config.ModbusMaps,
             (QList<TModbus>{TModbus{1, 100, 'H', 'I', 0, 0, 0, 0, "", 240},
                             TModbus{2, 7, 'I', 'F', 1, 9, 'C', 'C', "ENGINE ROOM", 240},
                             TModbus{44, 4464, 'H', 0, 1, 2, 0, 0, "ABCDEFGHIJKLMNO", 240}}));
    QCOMPARE(routeCalls, 2); // the clear, then once for the section
    QCOMPARE(modbusCalls, 2);
}

void TestConfigFile::HexGroups_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<quint32>("conversions");
    QTest::addColumn<quint32>("n2k");
    QTest::addColumn<quint32>("out1");
    QTest::addColumn<quint32>("out3");

    // Before each load: options 0xA, conversions 0xB, n2k 0xC, every route mask 0xD.
    const QStringList full{"Route Inputs to Out1=1", "Route Inputs to Out2=2",
                           "Route Inputs to Out3=3", "Route Inputs to Out4=4"};
    QTest::newRow("all read") << (full +
                                  QStringList{"Options=1", "Conversions=2", "NMEA 2000 Options=3"})
                              << 1u << 2u << 3u << 1u << 3u;
    QTest::newRow("options not hex")
        << (full + QStringList{"Options=XYZ", "Conversions=2", "NMEA 2000 Options=3"}) << 0xAu
        << 0xBu << 0xCu << 1u << 3u;
    QTest::newRow("conversions not hex")
        << (full + QStringList{"Options=1", "Conversions=0x2", "NMEA 2000 Options=3"}) << 1u << 0xBu
        << 0xCu << 1u << 3u;
    QTest::newRow("missing values read as 0") << QStringList{} << 0u << 0u << 0u << 0u << 0u;
    QTest::newRow("route mask not hex")
        << QStringList{"Route Inputs to Out1=1", "Route Inputs to Out2=$2", "Options=1",
                       "Conversions=2", "NMEA 2000 Options=3"}
        << 1u << 2u << 3u << 1u << 0xDu;
    QTest::newRow("beyond 32 bits") << QStringList{"Options=100000000", "Route Inputs to Out3=7"}
                                    << 0xAu << 0xBu << 0xCu << 0u << 7u;
}

void TestConfigFile::HexGroups() {
    QFETCH(QStringList, lines);
    QFETCH(quint32, options);
    QFETCH(quint32, conversions);
    QFETCH(quint32, n2k);
    QFETCH(quint32, out1);
    QFETCH(quint32, out3);

    const QString file = Path("hex.ini");
    QVERIFY(WriteBytes(file, Lines(QStringList{"[Configuration]", "Baud In1=2"} + lines)));
    TMuxConfig config;
    config.Options = 0xA;
    config.Conversions = 0xB;
    config.N2KOptions = 0xC;
    config.RouteOut = {0xD, 0xD, 0xD, 0xD};
    config.LoadFromFile(file);
    QCOMPARE(config.Options, options);
    QCOMPARE(config.Conversions, conversions);
    QCOMPARE(config.N2KOptions, n2k);
    QCOMPARE(config.RouteOut[0], out1);
    QCOMPARE(config.RouteOut[2], out3);
    QCOMPARE(config.BaudIn[0], 2); // keys outside the groups are read either way
}

void TestConfigFile::MissingFileGivesDefaults() {
    TMuxConfig config;
    FillModel(config);
    config.SrcAddr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    config.LoadFromFile(Path("does-not-exist.ini"));

    TMuxSettings expected;
    expected.BaudOut1 = expected.BaudOut2 = expected.BaudOut4 = 3;
    expected.PrioIn.fill(1);
    expected.PrioN2K = 1;
    expected.DevFunc.fill(1);
    expected.DevFunc[DeviceHost] = 0;
    expected.SrcAddr = config.SrcAddr; // never part of a file
    QVERIFY(static_cast<const TMuxSettings&>(config) == expected);
    QVERIFY(config.Routes.isEmpty());
    QVERIFY(config.ModbusMaps.isEmpty());
}

// The table limits belong to editing; a file brings in every valid entry.
void TestConfigFile::SixtyRoutes() {
    QStringList lines{"[Routing]"};
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("R%1=GP%2,0001,00,40,0000000000000000")
                     .arg(i, 2, 10, QChar('0'))
                     .arg(i, 3, 10, QChar('0'));
    const QString file = Path("sixty.ini");
    QVERIFY(WriteBytes(file, Lines(lines)));

    TMuxConfig config;
    config.LoadFromFile(file);
    QCOMPARE(config.Routes.size(), 60);
    QCOMPARE(config.Routes.last().Sentence, "GP060");

    Save(config, file);
    const QByteArray saved = ReadBytes(file);
    QVERIFY(saved.contains("\r\nR60=GP060,0001,00,40,0000000000000000\r\n"));
    QCOMPARE(saved.count(",0001,00,40,0000000000000000\r\n"), 60);
}

// A text cut to its length may end in a blank, which a saved file cannot hold; were it kept,
// saving and loading would give a different model than the one saved.
void TestConfigFile::CutTextsLoadBackAsSaved() {
    const QString file = Path("cut.ini");
    QVERIFY(WriteBytes(file, Lines({"[Configuration]", "Talker ID1=G PS", "Talker ID2=G\fPS",
                                    "Unique ID=BOAT NUMBER ONE", "[ModBus]",
                                    "R1=1,100,H,I,0,0,,,ENGINE ROOM NO 1"})));
    TMuxConfig loaded;
    loaded.LoadFromFile(file);
    QCOMPARE(loaded.TalkerID[0], "G");
    QCOMPARE(loaded.TalkerID[1], "G");
    QCOMPARE(loaded.UniqueID, "BOAT NUMBER");
    QCOMPARE(loaded.ModbusMaps.value(0).XdrID, "ENGINE ROOM NO");

    Save(loaded, file);
    const QByteArray saved = ReadBytes(file);
    TMuxConfig again;
    again.LoadFromFile(file);
    QVERIFY(static_cast<const TMuxSettings&>(again) == static_cast<const TMuxSettings&>(loaded));
    QCOMPARE(again.ModbusMaps, loaded.ModbusMaps);
    Save(again, file);
    QCOMPARE(ReadBytes(file), saved);
}

void TestConfigFile::SaveWritesTheFormat() {
    TMuxConfig config;
    FillModel(config);
    const QString file = Path("golden.ini");
    QFile::remove(file);
    Save(config, file);
    QCOMPARE(ReadBytes(file), GoldenBytes());
}

void TestConfigFile::RoundTripIsByteIdentical() {
    const QString file = Path("roundtrip.ini");
    const QByteArray others =
        Lines({"; settings of the boat", "[Window]", "Left=10", "", "[configuration]", "Baud In1=5",
               "[Zeta]", "k = v", "[Routing]", "R01=OLD,0,00,00,0"});
    QVERIFY(WriteBytes(file, others));

    TMuxConfig first;
    FillModel(first);
    Save(first, file);
    const QByteArray saved = ReadBytes(file);
    // Other sections stay where they were; the program's own follow them.
    QVERIFY(saved.startsWith(Lines({"; settings of the boat", "[Window]", "Left=10", "", "[Zeta]",
                                    "k = v", "", "[Information]"})));
    QVERIFY(saved.endsWith(GoldenBytes(1)));
    QVERIFY(!saved.contains("OLD"));

    TMuxConfig second;
    second.LoadFromFile(file);
    Save(second, file);
    QCOMPARE(ReadBytes(file), saved);

    second.SrcAddr = first.SrcAddr;
    QVERIFY(static_cast<const TMuxSettings&>(second) == static_cast<const TMuxSettings&>(first));
    QCOMPARE(second.Routes, first.Routes);
    QCOMPARE(second.ModbusMaps, first.ModbusMaps);
}

void TestConfigFile::SavingEmptyTablesRemovesThem() {
    const QString file = Path("empty.ini");
    QVERIFY(WriteBytes(file, Lines({"[Keep]", "a=1"})));
    TMuxConfig config;
    FillModel(config);
    Save(config, file);
    QVERIFY(ReadBytes(file).contains("[ModBus]"));

    config.ClearRoutes();
    config.ClearModbus();
    Save(config, file);
    const QByteArray saved = ReadBytes(file);
    QVERIFY(saved.startsWith(Lines({"[Keep]", "a=1", "", "[Information]"})));
    QVERIFY(saved.contains("\r\n[Configuration]\r\n"));
    QVERIFY(!saved.contains("[Routing]"));
    QVERIFY(!saved.contains("[ModBus]"));
    QVERIFY(saved.endsWith("Device Instance Conv=255\r\n"));
}

// A write that fails half-way must leave the previous file as it was and say so.
void TestConfigFile::FailedSaveLeavesTheOldFile() {
    QTemporaryDir place;
    const QString file = place.filePath("config.ini");
    const QByteArray old = Lines({"[Keep]", "a=1"});
    QVERIFY(WriteBytes(file, old));
    TMuxConfig config;
    FillModel(config);

    config.SaveToFile(QString(), "tool", "device", "1.0", "1"); // no name: nothing happens

#ifdef Q_OS_UNIX
    // Files of this process may not grow beyond 64 bytes for the duration of the save; this
    // fails the write even for a privileged user.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        Save(config, file);
    } catch (const EInOutError& e) {
        message = e.Message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(message, "Unable to write to " + file);
    QCOMPARE(ReadBytes(file), old);
    QCOMPARE(QDir(place.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"config.ini"});
#endif

    // A target that cannot be read (here a folder) is not replaced either.
    QVERIFY(QDir(place.path()).mkdir("folder.ini"));
    const QString folder = place.filePath("folder.ini");
    QVERIFY_THROWS_EXCEPTION(EInOutError, Save(config, folder));
    QVERIFY(QFileInfo(folder).isDir());
}

// A file that differs in a speed, an option word and a route, and has one route more.
void TestConfigFile::CompareWithFile() {
    TMuxConfig device;
    FillModel(device);
    device.SaveToFile(Path("same.ini"), ToolText(), "", "", "");
    TMuxConfig same;
    same.LoadFromFile(Path("same.ini"));
    // Source addresses are never in a file.
    same.SrcAddr.fill(9);
    QCOMPARE(CompareConfigurations(device, same), QList<TSettingDifference>());

    const QByteArray text = ReadBytes(Path("same.ini"))
                                .replace("Baud In2=1", "Baud In2=5")
                                .replace("Options=00000005", "Options=00000085")
                                .replace("R02=GPGGA,8004,05,5F,8000000000ABCDEF\r\n",
                                         "R02=GPGGA,8004,07,5F,8000000000ABCDEF\r\n"
                                         "R03=GPVTG,0001,00,41,0000000000000000\r\n");
    QVERIFY(WriteBytes(Path("other.ini"), text));
    TMuxConfig file;
    file.LoadFromFile(Path("other.ini"));
    QStringList lines;
    for (const TSettingDifference& difference : CompareConfigurations(device, file))
        lines.append(DifferenceLine(difference));
    QCOMPARE(lines, (QStringList{"Configuration.Baud In2: 1 -> 5",
                                 "Configuration.Options: 00000005 -> 00000085",
                                 "Routing.R02: GPGGA,8004,05,5F,8000000000ABCDEF -> "
                                 "GPGGA,8004,07,5F,8000000000ABCDEF",
                                 "Routing.R03:  -> GPVTG,0001,00,41,0000000000000000"}));
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
