// Firmware image files and the built-in image: layout, checksum, every validation message.
#include "firmware/FwImage.h"
#include "nmea/Errors.h"
#include "sim/SimBoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A header written out by hand, so that a fault in the shared writer cannot hide: "CVZ" 0,
// format 1, firmware 3.14.2, type 0x94, device CRC 0x00ABCDEF, decryption parameters 0x10..0x1F.
QByteArray Header(quint32 checksum, quint8 format = 1) {
    QByteArray header("CVZ\0", 4);
    header += char(format);
    header += QByteArray::fromHex("030E02"
                                  "94000000"
                                  "EFCDAB00");
    for (int i = 0; i < 4; ++i)
        header += char(checksum >> (8 * i));
    for (int i = 0; i < 16; ++i)
        header += char(0x10 + i);
    return header;
}

QByteArray Pseudorandom(qsizetype size, quint32 seed) {
    QByteArray bytes(size, '\0');
    for (char& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = char(seed >> 16);
    }
    return bytes;
}

QByteArray Padded(const QByteArray& payload) {
    QByteArray buffer = payload.left(FwPayloadSize);
    buffer.append(QByteArray(FwPayloadSize - buffer.size(), char(0xFF)));
    return buffer;
}

} // namespace

class TestFwImage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void Checksum_data();
    void Checksum();
    void ChecksumOverPadding_data();
    void ChecksumOverPadding();
    void LoadsHeaderFields();
    void Loads_data();
    void Loads();
    void Refuses_data();
    void Refuses();
    void LongerPayloadIsCut();
    void SecondLoadLeavesNoTrace();
    void BuiltInImage();
    void BuiltInSelectedByExactName();
    void BuiltInSizeIsChecked_data();
    void BuiltInSizeIsChecked();

private:
    QString Write(const QString& name, const QByteArray& bytes);

    QTemporaryDir dir;
};

void TestFwImage::initTestCase() {
    QVERIFY(dir.isValid());
}

QString TestFwImage::Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestFwImage::Checksum_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("empty") << QByteArray() << 0x050005u;
    QTest::newRow("abc") << QByteArray("abc") << 0x01EE85u;
}

void TestFwImage::Checksum() {
    QFETCH(QByteArray, payload);
    QFETCH(quint32, expected);
    QCOMPARE(FirmwareChecksum(Padded(payload)), expected);
    // The writer stores it in the header, upper byte zero.
    const QByteArray file = MakeFirmwareFile({}, payload);
    QCOMPARE(file.mid(16, 4), QByteArray::fromRawData(reinterpret_cast<const char*>(&expected), 4));
}

void TestFwImage::ChecksumOverPadding_data() {
    QTest::addColumn<QByteArray>("buffer");
    const QByteArray random = Pseudorandom(5000, 11);
    QTest::newRow("all padding") << QByteArray(FwPayloadSize, char(0xFF));
    QTest::newRow("one byte, then padding") << Padded("\x01");
    QTest::newRow("odd data, then padding") << Padded(random.left(4097));
    QTest::newRow("data ending in 0xFF") << Padded(random.left(100) + "\xFF\xFF\xFF");
    QTest::newRow("padding, then a byte") << QByteArray(9000, char(0xFF)) + 'x';
    QTest::newRow("odd size, all 0xFF") << QByteArray(8193, char(0xFF));
    QTest::newRow("no padding") << random;
    QTest::newRow("full buffer of data") << Pseudorandom(FwPayloadSize, 3);
    QTest::newRow("empty") << QByteArray();
}

void TestFwImage::ChecksumOverPadding() {
    // The sum as it is defined, word by word over the whole buffer.
    QFETCH(QByteArray, buffer);
    quint32 r = 0;
    for (qsizetype i = 0; i < buffer.size(); i += 2) {
        const quint32 low = quint8(buffer[i]);
        const quint32 high = i + 1 < buffer.size() ? quint8(buffer[i + 1]) : 0xFF;
        r = (r << 1) ^ (low | high << 8);
        if (r & 0x1000000)
            r = (r ^ 0x80001B) & 0xFFFFFF;
    }
    QCOMPARE(FirmwareChecksum(buffer), r);
}

void TestFwImage::LoadsHeaderFields() {
    const QString path = Write("fields.cvz", Header(0x01EE85) + "abc");
    const TFirmwareImage& image = LoadFirmwareImage(path);
    QCOMPARE(image.FormatVersion(), quint8(1));
    QCOMPARE(image.Major(), quint8(3));
    QCOMPARE(image.Minor(), quint8(14));
    QCOMPARE(image.Build(), quint8(2));
    QCOMPARE(image.Version(), 3u * 65536 + 14 * 256 + 2);
    QCOMPARE(image.MuxType(), 0x94u);
    QCOMPARE(image.DeviceCrc(), 0x00ABCDEFu);
    QCOMPARE(image.FileChecksum(), 0x01EE85u);
    QCOMPARE(image.DecryptionParameters().toByteArray(),
             QByteArray::fromHex("101112131415161718191A1B1C1D1E1F"));
    QCOMPARE(image.PayloadLength, 3);
    QCOMPARE(image.PageCount(), 1);
    QCOMPARE(image.Page(0).toByteArray(), QByteArray("abc") + QByteArray(509, char(0xFF)));
    // The writer makes the same header.
    TFirmwareFileInfo info;
    info.Major = 3;
    info.Minor = 14;
    info.Build = 2;
    info.MuxType = 0x94;
    info.DeviceCrc = 0x00ABCDEF;
    info.DecryptionParameters = QByteArray::fromHex("101112131415161718191A1B1C1D1E1F");
    QCOMPARE(MakeFirmwareFile(info, "abc"), Header(0x01EE85) + "abc");
}

void TestFwImage::Loads_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("pages");
    QTest::newRow("header only") << QByteArray() << 0;
    QTest::newRow("one byte") << QByteArray("\xFE", 1) << 1;
    QTest::newRow("one page") << Pseudorandom(512, 1) << 1;
    QTest::newRow("513 bytes") << Pseudorandom(513, 2) << 2;
    QTest::newRow("312 pages") << Pseudorandom(159744, 3) << 312;
    QTest::newRow("full buffer") << Pseudorandom(FwPayloadSize, 4) << 512;
}

void TestFwImage::Loads() {
    QFETCH(QByteArray, payload);
    QFETCH(int, pages);
    const QString path = Write("load.cvz", Header(FirmwareChecksum(Padded(payload))) + payload);
    const TFirmwareImage& image = LoadFirmwareImage(path);
    QCOMPARE(image.PayloadLength, payload.size());
    QCOMPARE(image.PageCount(), pages);
    QCOMPARE(image.PayloadBuffer().toByteArray(), Padded(payload));
    if (pages > 0) {
        // The last page is the tail of the payload padded with 0xFF.
        const qsizetype tail = payload.size() - qsizetype(pages - 1) * FwPageSize;
        QCOMPARE(image.Page(pages - 1).toByteArray(),
                 payload.right(tail) + QByteArray(FwPageSize - tail, char(0xFF)));
    }
}

void TestFwImage::Refuses_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    const QByteArray abc("abc");
    QTest::newRow("empty file") << QByteArray() << "Read beyond end of file";
    QTest::newRow("35 bytes") << Header(0x050005).left(35) << "Read beyond end of file";
    QTest::newRow("wrong magic") << QByteArray("CVY") + Header(0x01EE85).mid(3) + abc
                                 << "Not a valid firmware file";
    QTest::newRow("magic without zero")
        << QByteArray("CVZ ") + Header(0x01EE85).mid(4) + abc << "Not a valid firmware file";
    QTest::newRow("format 2, checksum right")
        << Header(0x01EE85, 2) + abc << "Unsupported firmware file version";
    QTest::newRow("format 0") << Header(0x01EE85, 0) + abc << "Unsupported firmware file version";
    QTest::newRow("wrong checksum") << Header(0x01EE86) + abc << "Firmware file is corrupt";
    QTest::newRow("payload changed") << Header(0x01EE85) + "abd"
                                     << "Firmware file is corrupt";
    QTest::newRow("upper checksum byte set")
        << Header(0x0101EE85) + abc << "Firmware file is corrupt";
    // The odd last byte is paired with padding 0xFF, not with 0x00.
    QTest::newRow("odd byte paired with zero")
        << Header(FirmwareChecksum(abc + QByteArray(FwPayloadSize - 3, '\0'))) + abc
        << "Firmware file is corrupt";
}

void TestFwImage::Refuses() {
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    const QString path = Write("bad.cvz", file);
    QVERIFY(!path.isEmpty());
    try {
        LoadFirmwareImage(path);
        QFAIL("loaded");
    } catch (const EInOutError& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestFwImage::LongerPayloadIsCut() {
    const QByteArray payload = Pseudorandom(FwPayloadSize, 5);
    // What lies behind the buffer is neither loaded nor checked.
    const QByteArray file = Header(FirmwareChecksum(payload)) + payload + "trailing bytes";
    const TFirmwareImage& image = LoadFirmwareImage(Write("long.cvz", file));
    QCOMPARE(image.PayloadLength, FwPayloadSize);
    QCOMPARE(image.PayloadBuffer().toByteArray(), payload);

    // Missing and unopenable files give the I/O error.
    for (const auto& [path, message] :
         {std::pair{dir.filePath("missing.cvz"), QStringLiteral("File not found")},
          std::pair{dir.path(), QStringLiteral("File access denied")}}) {
        try {
            LoadFirmwareImage(path);
            QFAIL("loaded");
        } catch (const EInOutError& e) {
            QCOMPARE(e.Message(), message);
        }
    }
}

void TestFwImage::SecondLoadLeavesNoTrace() {
    const QByteArray big = Pseudorandom(10000, 6);
    LoadFirmwareImage(Write("big.cvz", Header(FirmwareChecksum(Padded(big))) + big));
    const TFirmwareImage& image =
        LoadFirmwareImage(Write("small.cvz", Header(FirmwareChecksum(Padded("xy"))) + "xy"));
    QCOMPARE(image.PayloadLength, 2);
    QCOMPARE(image.PayloadBuffer().toByteArray(), Padded("xy"));
    // A failed load does not leave the previous payload behind either.
    QVERIFY_THROWS_EXCEPTION(EInOutError, LoadFirmwareImage(Write("bad.cvz", Header(1) + "q")));
    QCOMPARE(image.PayloadBuffer().sliced(1).toByteArray(), Padded("").mid(1));
}

void TestFwImage::BuiltInImage() {
    const TFirmwareImage& image = LoadFirmwareImage(BuiltInImageSource);
    QCOMPARE(image.FormatVersion(), quint8(1));
    QCOMPARE(image.Version(), 3u * 65536 + 14 * 256);
    QCOMPARE(image.MuxType(), 148u);
    QCOMPARE(image.PayloadLength, 159744);
    QCOMPARE(image.PageCount(), 312);
    // The stand-in is made so that the simulated bootloader reports its device CRC.
    QCOMPARE(image.DeviceCrc(), FirmwareDeviceCrc(image.PayloadBuffer().first(159744)));
    // Its pages hold the bytes the packet framing must escape.
    QVERIFY(image.PayloadBuffer().first(159744).contains(char(0xFE)));
}

void TestFwImage::BuiltInSelectedByExactName() {
    // A file named RCDATA cannot be loaded: the name always selects the built-in image. Any
    // other spelling is a file name.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(!Write("RCDATA", Header(0x01EE85) + "abc").isEmpty());
    QVERIFY(!Write("rcdata", Header(0x01EE85) + "abc").isEmpty());
    const qsizetype builtIn = LoadFirmwareImage(QStringLiteral("RCDATA")).PayloadLength;
    const qsizetype file = LoadFirmwareImage(QStringLiteral("rcdata")).PayloadLength;
    QDir::setCurrent(saved);
    QCOMPARE(builtIn, 159744);
    QCOMPARE(file, 3);
}

void TestFwImage::BuiltInSizeIsChecked_data() {
    QTest::addColumn<QByteArray>("resource");
    QTest::addColumn<bool>("loads");
    const QByteArray full = Pseudorandom(FwPayloadSize, 7);
    QTest::newRow("full buffer") << Header(FirmwareChecksum(full)) + full << true;
    QTest::newRow("header only") << Header(0x050005) << true;
    QTest::newRow("one byte too long") << Header(FirmwareChecksum(full)) + full + 'x' << false;
    QTest::newRow("shorter than a header") << Header(0x050005).left(35) << false;
    QTest::newRow("empty") << QByteArray() << false;
    // Magic and format are not examined, the checksum is.
    QTest::newRow("no magic, format 7") << QByteArray(4, 'x') + Header(0x050005, 7).mid(4) << true;
    QTest::newRow("wrong checksum") << Header(0x050006) << false;
}

void TestFwImage::BuiltInSizeIsChecked() {
    QFETCH(QByteArray, resource);
    QFETCH(bool, loads);
    try {
        const TFirmwareImage& image = LoadBuiltInImage(resource);
        QVERIFY(loads);
        QCOMPARE(image.PayloadLength, resource.size() - FwHeaderSize);
    } catch (const EInOutError& e) {
        QVERIFY2(!loads, qPrintable(e.Message()));
        QCOMPARE(e.Message(), QStringLiteral("Firmware image is corrupt"));
    }
}

QTEST_GUILESS_MAIN(TestFwImage)
#include "tst_fwimage.moc"
