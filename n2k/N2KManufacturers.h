#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>

// The NMEA 2000 manufacturer names by manufacturer code (the 11 bits of a NAME), read from the
// program's "MFRCODES" resource: one "code TAB name" entry per line, lines ending in CR LF,
// names in Windows-1252.
class TN2KManufacturers {
public:
    static constexpr int CodeCount = 2048;
    static constexpr int MaxNameLength = 255;

    // Reads a list in the resource's format. A line whose code is no decimal number or is
    // 2048 or more is skipped; a later line for the same code replaces the earlier name.
    void Load(QByteArrayView text);

    // Empty for a code the list does not name (or one outside 0..2047).
    const QString& Name(int code) const;

    // The program's own list, loaded from the resource once.
    static const TN2KManufacturers& Builtin();

private:
    std::array<QString, CodeCount> names;
};

// Windows-1252 text to Unicode: Latin-1 except for the printable characters at 0x80..0x9F.
QString FromWindows1252(QByteArrayView text);
