#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

// A firmware image: a 36-byte header and the payload that the multiplexer's maker enciphered
// for its bootloader. The program never looks inside the payload: it checks it with the file
// checksum, cuts it into pages and sends them.
//
// Header (multi-byte numbers little-endian):
//    0  4  magic "CVZ" and a zero byte
//    4  1  format version, 1
//    5  3  firmware version major, minor, build
//    8  4  multiplexer type the image is built for (0: any)
//   12  4  CRC the bootloader must report for the programmed memory
//   16  4  FirmwareChecksum of the padded payload (upper byte zero)
//   20 16  decryption parameters, passed on to the bootloader unchanged
//   36  n  payload, 0 to 262,144 bytes

inline constexpr qsizetype FwHeaderSize = 36;
inline constexpr qsizetype FwPayloadSize = 262144; // the payload buffer, 256 KiB
inline constexpr qsizetype FwPageSize = 512;
inline constexpr qsizetype FwParametersSize = 16;

// The source that selects the image built into the program (compared whole, case-sensitive).
inline const QString BuiltInImageSource = QStringLiteral("RCDATA");
// The resource that holds the built-in image.
inline const QString BuiltInImageResource = QStringLiteral(":/FIRMWARE");

// The loaded image. Header and payload buffer are one contiguous area, so that the built-in
// image is copied over both in one piece; everything behind the loaded payload is 0xFF.
struct TFirmwareImage {
    std::array<quint8, FwHeaderSize + FwPayloadSize> Area;
    qsizetype PayloadLength = 0;

    quint8 FormatVersion() const { return Area[4]; }
    quint8 Major() const { return Area[5]; }
    quint8 Minor() const { return Area[6]; }
    quint8 Build() const { return Area[7]; }
    // major × 65536 + minor × 256 + build, as versions are compared.
    quint32 Version() const { return quint32(Major()) << 16 | quint32(Minor()) << 8 | Build(); }
    quint32 MuxType() const { return Word(8); }
    quint32 DeviceCrc() const { return Word(12); }
    quint32 FileChecksum() const { return Word(16); }
    QByteArrayView DecryptionParameters() const { return Bytes(20, FwParametersSize); }
    // The whole payload buffer, padding included.
    QByteArrayView PayloadBuffer() const { return Bytes(FwHeaderSize, FwPayloadSize); }
    // Pages of 512 bytes, the last one padded with 0xFF.
    int PageCount() const { return int((PayloadLength + FwPageSize - 1) / FwPageSize); }
    QByteArrayView Page(int page) const {
        return Bytes(FwHeaderSize + qsizetype(page) * FwPageSize, FwPageSize);
    }

private:
    quint32 Word(qsizetype offset) const;
    QByteArrayView Bytes(qsizetype offset, qsizetype size) const {
        return {reinterpret_cast<const char*>(Area.data()) + offset, size};
    }
};

// Loads an image file, or with BuiltInImageSource the built-in image, into the program's one
// image area and returns it; every load overwrites the last. Raises EInOutError with the
// message to show: "Not a valid firmware file", "Unsupported firmware file version",
// "Firmware file is corrupt", "Firmware image is corrupt" (the built-in image), or the I/O
// error ("File not found", "File access denied", "Read beyond end of file"...). After a failure
// the area holds partial content and must not be used.
TFirmwareImage& LoadFirmwareImage(const QString& source);
// The built-in path with the resource's bytes: only the size and the checksum are checked.
TFirmwareImage& LoadBuiltInImage(QByteArrayView bytes);

// The 24-bit checksum of a payload buffer: for each little-endian 16-bit word, r = (r << 1)
// XOR word, folded with 0x80001B whenever bit 24 is set. An odd last byte is paired with 0xFF.
quint32 FirmwareChecksum(QByteArrayView buffer);

// What goes into the header of an image file that Tidewright writes (the built-in stand-in
// image, tests).
struct TFirmwareFileInfo {
    quint8 FormatVersion = 1;
    quint8 Major = 0;
    quint8 Minor = 0;
    quint8 Build = 0;
    quint32 MuxType = 0;
    quint32 DeviceCrc = 0;
    QByteArray DecryptionParameters = QByteArray(FwParametersSize, '\0'); // 16 bytes used
};

// A complete image file: header with the checksum of the payload padded to 256 KiB, then the
// payload (at most 262,144 bytes are checked; a longer payload is written whole).
QByteArray MakeFirmwareFile(const TFirmwareFileInfo& info, QByteArrayView payload);
