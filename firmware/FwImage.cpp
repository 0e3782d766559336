#include "firmware/FwImage.h"

#include "nmea/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr char Magic[4] = {'C', 'V', 'Z', '\0'};

QString BuiltInCorrupt() {
    return QStringLiteral("Firmware image is corrupt");
}

// The one image area of the program.
TFirmwareImage& ImageArea() {
    static TFirmwareImage image;
    return image;
}

TFirmwareImage& ClearedArea() {
    TFirmwareImage& image = ImageArea();
    std::fill(image.Area.begin() + FwHeaderSize, image.Area.end(), quint8(0xFF));
    image.PayloadLength = 0;
    return image;
}

QString ReadError(const QFile& file) {
    switch (file.error()) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        return QStringLiteral("File access denied");
    default:
        return file.errorString();
    }
}

void LoadFile(TFirmwareImage& image, const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists())
        throw EInOutError(QStringLiteral("File not found"));
    if (info.isDir())
        throw EInOutError(QStringLiteral("File access denied"));
    QFile file(fileName); // closed on every way out
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(ReadError(file));

    quint8* area = image.Area.data();
    const qint64 header = file.read(reinterpret_cast<char*>(area), FwHeaderSize);
    if (header < 0)
        throw EInOutError(ReadError(file));
    if (header < FwHeaderSize)
        throw EInOutError(QStringLiteral("Read beyond end of file"));
    if (std::memcmp(area, Magic, sizeof Magic) != 0)
        throw EInOutError(QStringLiteral("Not a valid firmware file"));
    if (image.FormatVersion() != 1)
        throw EInOutError(QStringLiteral("Unsupported firmware file version"));

    // Whatever lies behind the first 256 KiB of payload is ignored.
    qint64 loaded = 0;
    while (loaded < FwPayloadSize) {
        const qint64 n = file.read(reinterpret_cast<char*>(area + FwHeaderSize + loaded),
                                   FwPayloadSize - loaded);
        if (n < 0)
            throw EInOutError(ReadError(file));
        if (n == 0)
            break;
        loaded += n;
    }
    image.PayloadLength = loaded;
    if (FirmwareChecksum(image.PayloadBuffer()) != image.FileChecksum())
        throw EInOutError(QStringLiteral("Firmware file is corrupt"));
}

void CopyBuiltIn(TFirmwareImage& image, QByteArrayView bytes) {
    // The area holds exactly one header and one full payload buffer: an image that does not
    // fit, or holds no whole header, is no image.
    if (bytes.size() < FwHeaderSize || bytes.size() > qsizetype(image.Area.size()))
        throw EInOutError(BuiltInCorrupt());
    std::memcpy(image.Area.data(), bytes.data(), size_t(bytes.size()));
    image.PayloadLength = bytes.size() - FwHeaderSize;
    if (FirmwareChecksum(image.PayloadBuffer()) != image.FileChecksum())
        throw EInOutError(BuiltInCorrupt());
}

} // namespace

quint32 TFirmwareImage::Word(qsizetype offset) const {
    return qFromLittleEndian<quint32>(Area.data() + offset);
}

TFirmwareImage& LoadFirmwareImage(const QString& source) {
    if (source != BuiltInImageSource) {
        TFirmwareImage& image = ClearedArea();
        LoadFile(image, source);
        return image;
    }
    QFile resource(BuiltInImageResource);
    if (!resource.open(QIODevice::ReadOnly))
        throw EInOutError(BuiltInCorrupt());
    // Size first: a resource too long for the area is not even read.
    if (resource.size() > qint64(sizeof(TFirmwareImage::Area)))
        throw EInOutError(BuiltInCorrupt());
    return LoadBuiltInImage(resource.readAll());
}

TFirmwareImage& LoadBuiltInImage(QByteArrayView bytes) {
    TFirmwareImage& image = ClearedArea();
    CopyBuiltIn(image, bytes);
    return image;
}

namespace {

constexpr quint32 ChecksumMask = 0xFFFFFF;

// One step of the checksum without a word: r × x, folded back into 24 bits. The checksum is
// linear in this step, which lets a run of padding be added without walking it.
quint32 TimesX(quint32 r) {
    r <<= 1;
    return r & 0x1000000 ? (r ^ 0x80001B) & ChecksumMask : r;
}

// a × b, both taken as polynomials the way TimesX multiplies by x.
quint32 Times(quint32 a, quint32 b) {
    quint32 product = 0;
    for (int bit = 23; bit >= 0; --bit) {
        product = TimesX(product);
        if (b >> bit & 1)
            product ^= a;
    }
    return product;
}

quint32 ChecksumOf(const uchar* bytes, qsizetype size, quint32 r) {
    for (qsizetype i = 0; i < size; i += 2) {
        const quint32 low = bytes[i];
        const quint32 high = i + 1 < size ? bytes[i + 1] : 0xFF;
        r = TimesX(r) ^ (low | high << 8);
    }
    return r;
}

// The checksum r carried on over words of 0xFFFF: r × x^words + the padding's own sum, both
// found by doubling the count (a run of n words then n more: sum × x^n + sum).
quint32 OverPadding(quint32 r, quint64 words) {
    quint32 power = 1; // x^n
    quint32 sum = 0;   // the checksum of n padding words from 0
    for (int bit = 63; bit >= 0; --bit) {
        sum = Times(power, sum) ^ sum;
        power = Times(power, power);
        if (words >> bit & 1) {
            sum = TimesX(sum) ^ 0xFFFF;
            power = TimesX(power);
        }
    }
    return Times(power, r) ^ sum;
}

} // namespace

quint32 FirmwareChecksum(QByteArrayView buffer) {
    // Payloads are checked in their 256 KiB buffer, mostly 0xFF padding: the run of 0xFF at
    // the end is added in one go, so that a short image costs what its bytes cost.
    const auto* bytes = reinterpret_cast<const uchar*>(buffer.data());
    static const QByteArray block(4096, char(0xFF));
    qsizetype data = buffer.size();
    while (data >= block.size() &&
           std::memcmp(bytes + data - block.size(), block.constData(), size_t(block.size())) == 0)
        data -= block.size();
    while (data > 0 && bytes[data - 1] == 0xFF)
        --data;
    // An odd end of data takes the 0xFF behind it as its high byte, as the word-wise sum does.
    const quint64 words = quint64(buffer.size() + 1) / 2 - quint64(data + 1) / 2;
    return OverPadding(ChecksumOf(bytes, data, 0), words);
}

QByteArray MakeFirmwareFile(const TFirmwareFileInfo& info, QByteArrayView payload) {
    QByteArray buffer(FwPayloadSize, char(0xFF));
    const qsizetype checked = std::min(payload.size(), FwPayloadSize);
    std::copy_n(payload.data(), checked, buffer.data());

    QByteArray file(FwHeaderSize, '\0');
    std::memcpy(file.data(), Magic, sizeof Magic);
    file[4] = char(info.FormatVersion);
    file[5] = char(info.Major);
    file[6] = char(info.Minor);
    file[7] = char(info.Build);
    auto* header = reinterpret_cast<uchar*>(file.data());
    qToLittleEndian<quint32>(info.MuxType, header + 8);
    qToLittleEndian<quint32>(info.DeviceCrc, header + 12);
    qToLittleEndian<quint32>(FirmwareChecksum(buffer), header + 16);
    std::memcpy(file.data() + 20, info.DecryptionParameters.constData(),
                size_t(std::min<qsizetype>(info.DecryptionParameters.size(), FwParametersSize)));
    file.append(payload.data(), payload.size());
    return file;
}
