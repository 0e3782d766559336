#include "n2k/N2KManufacturers.h"

#include "nmea/Numbers.h"

#include <QFile>

namespace {

// 0x80..0x9F; 0 where Windows-1252 leaves the byte undefined (it is then kept as Latin-1).
constexpr std::array<char16_t, 32> HighControls{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

QString FromWindows1252(QByteArrayView text) {
    QString result;
    result.reserve(text.size());
    for (const char c : text) {
        const quint8 byte = quint8(c);
        const char16_t mapped = byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : 0;
        result.append(QChar(mapped ? mapped : char16_t(byte)));
    }
    return result;
}

void TN2KManufacturers::Load(QByteArrayView text) {
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);

        const qsizetype tab = line.indexOf('\t');
        if (tab < 0)
            continue;
        const std::optional<quint64> code = ParseUnsigned(QString::fromLatin1(line.first(tab)));
        if (!code || *code >= CodeCount)
            continue;
        const QByteArrayView name = line.sliced(tab + 1);
        names[size_t(*code)] =
            FromWindows1252(name.first(std::min<qsizetype>(MaxNameLength, name.size())));
    }
}

const QString& TN2KManufacturers::Name(int code) const {
    static const QString none;
    return code >= 0 && code < CodeCount ? names[size_t(code)] : none;
}

const TN2KManufacturers& TN2KManufacturers::Builtin() {
    static const TN2KManufacturers builtin = [] {
        // The list is part of the core library, so the command-line tool has it too.
        Q_INIT_RESOURCE(n2k_manufacturers);
        TN2KManufacturers table;
        QFile file(QStringLiteral(":/MFRCODES"));
        if (file.open(QIODevice::ReadOnly))
            table.Load(file.readAll());
        return table;
    }();
    return builtin;
}
