#include "config/IniFile.h"

#include "nmea/Errors.h"

#include <QFile>
#include <QSaveFile>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. Zero marks the five undefined bytes,
// which keep their Latin-1 (control character) meaning.
constexpr char16_t HighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 98-9F
};

char EncodeChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (HighTable[i] == c || (HighTable[i] == 0 && c == 0x80 + i))
            return char(0x80 + i);
    }
    return '?';
}

// Name of a "[Name]" line, or nothing for any other line.
std::optional<QString> HeaderName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        close = trimmed.size();
    return trimmed.mid(1, close - 1).trimmed();
}

// Key and value of an entry line, as views of it, or nothing for blank lines, comments and
// lines without "=".
struct TEntryView {
    QStringView Key;
    QStringView Value;
};
std::optional<TEntryView> EntryOf(QStringView line) {
    const QStringView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';'))
        return std::nullopt;
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return TEntryView{trimmed.left(equals).trimmed(), trimmed.mid(equals + 1).trimmed()};
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A hash under which names that SameName matches agree: it folds each code point as the
// comparison does.
size_t KeyHash(QStringView key) {
    size_t hash = 14695981039346656037ULL;
    const auto mix = [&hash](char32_t c) { hash = (hash ^ c) * 1099511628211ULL; };
    for (qsizetype i = 0; i < key.size(); ++i) {
        const QChar c = key[i];
        if (c.isHighSurrogate() && i + 1 < key.size() && key[i + 1].isLowSurrogate()) {
            mix(QChar::toCaseFolded(QChar::surrogateToUcs4(c, key[i + 1])));
            ++i;
        } else {
            mix(QChar::toCaseFolded(char32_t(c.unicode())));
        }
    }
    return hash;
}

} // namespace

QString DecodeWindows1252(QByteArrayView bytes) {
    QString text;
    text.resize(bytes.size());
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 b = quint8(bytes[i]);
        char16_t c = b;
        if (b >= 0x80 && b <= 0x9F && HighTable[b - 0x80] != 0)
            c = HighTable[b - 0x80];
        out[i] = QChar(c);
    }
    return text;
}

QByteArray EncodeWindows1252(QStringView text) {
    QByteArray bytes;
    bytes.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = EncodeChar(text[i].unicode());
    return bytes;
}

QString UnableToWriteMessage(const QString& fileName) {
    return QStringLiteral("Unable to write to %1").arg(fileName);
}

TIniFile TIniFile::ReadFile(const QString& fileName, bool* readable) {
    QFile file(fileName);
    const bool opened = file.open(QIODevice::ReadOnly);
    if (readable)
        *readable = opened;
    if (!opened)
        return TIniFile();
    return FromBytes(file.readAll());
}

TIniFile TIniFile::FromBytes(QByteArrayView bytes) {
    TIniFile ini;
    QStringList lines = DecodeWindows1252(bytes).split(u'\n');
    // The last line break ends the last line; it does not start another one.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (const std::optional<QString> name = HeaderName(line))
            ini.sections.append(TSection{*name, {line}, {}});
        else if (ini.sections.isEmpty())
            ini.preamble.append(line);
        else
            ini.sections.last().AppendLine(line);
    }
    return ini;
}

void TIniFile::TSection::AppendLine(const QString& line) {
    if (const std::optional<TEntryView> entry = EntryOf(line))
        Keys.push_back({KeyHash(entry->Key), Lines.size()});
    Lines.append(line);
}

qsizetype TIniFile::TSection::FindEntry(QStringView key) const {
    const size_t hash = KeyHash(key);
    for (const TKeyLine& entry : Keys) {
        if (entry.Hash == hash && SameName(EntryOf(Lines.at(entry.Line))->Key, key))
            return entry.Line;
    }
    return -1;
}

QByteArray TIniFile::ToBytes() const {
    QString text;
    const auto add = [&text](const QStringList& lines) {
        for (const QString& line : lines) {
            text += line;
            text += QStringLiteral("\r\n");
        }
    };
    add(preamble);
    for (const TSection& section : sections)
        add(section.Lines);
    return EncodeWindows1252(text);
}

void TIniFile::WriteFile(const QString& fileName) const {
    QSaveFile file(fileName);
    const QByteArray bytes = ToBytes();
    // Unbuffered, so that a short write (disk full, size limit) shows in the count: a buffered
    // flush can report success after writing only part of the data, and the commit would then
    // replace the old file with a truncated one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw EInOutError(UnableToWriteMessage(fileName));
}

bool TIniFile::HasSection(QStringView section) const {
    return FindSection(section) != nullptr;
}

QStringList TIniFile::SectionNames() const {
    QStringList names;
    for (const TSection& section : sections)
        names.append(section.Name);
    return names;
}

std::optional<QString> TIniFile::Value(QStringView section, QStringView key) const {
    const TSection* found = FindSection(section);
    if (!found)
        return std::nullopt;
    const qsizetype line = found->FindEntry(key);
    if (line < 0)
        return std::nullopt;
    return EntryOf(found->Lines.at(line))->Value.toString();
}

QList<TIniFile::TEntry> TIniFile::Entries(QStringView section) const {
    QList<TEntry> entries;
    for (const TSection& s : sections) {
        if (!SameName(s.Name, section))
            continue;
        for (const TKeyLine& key : s.Keys) {
            const TEntryView entry = *EntryOf(s.Lines.at(key.Line));
            entries.append({entry.Key.toString(), entry.Value.toString()});
        }
    }
    return entries;
}

void TIniFile::RemoveSection(QStringView section) {
    sections.removeIf([section](const TSection& s) { return SameName(s.Name, section); });
}

void TIniFile::SetValue(QStringView section, const QString& key, const QString& value) {
    TSection* found = FindSection(section);
    if (!found)
        found = &AppendSection(section.toString());
    const QString line = key + u'=' + value;
    if (const qsizetype known = found->FindEntry(key); known >= 0) {
        // The key was found as the line's own trimmed key, so the new line keeps it.
        found->Lines[known] = line;
        return;
    }
    // New entries go after the last non-blank line, so that a blank line separating this
    // section from the next stays at its end. Only blank lines follow, none of them an entry,
    // so every entry keeps its place and the new one is the last.
    qsizetype at = found->Lines.size();
    while (at > 1 && found->Lines.at(at - 1).trimmed().isEmpty())
        --at;
    found->Lines.insert(at, line);
    if (const std::optional<TEntryView> entry = EntryOf(line))
        found->Keys.push_back({KeyHash(entry->Key), at});
}

TIniFile::TSection* TIniFile::FindSection(QStringView name) {
    for (TSection& section : sections) {
        if (SameName(section.Name, name))
            return &section;
    }
    return nullptr;
}

const TIniFile::TSection* TIniFile::FindSection(QStringView name) const {
    for (const TSection& section : sections) {
        if (SameName(section.Name, name))
            return &section;
    }
    return nullptr;
}

TIniFile::TSection& TIniFile::AppendSection(const QString& name) {
    // One blank line between sections keeps the file readable; it belongs to the section
    // above, so removing a section later takes its own separator with it.
    QStringList& above = sections.isEmpty() ? preamble : sections.last().Lines;
    if (!above.isEmpty() && !above.constLast().trimmed().isEmpty())
        above.append(QString());
    sections.append(TSection{name, {u'[' + name + u']'}, {}});
    return sections.last();
}
