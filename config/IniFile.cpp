#include "config/IniFile.h"

#include "nmea/Errors.h"

#include <QFile>
#include <QSaveFile>

#include <array>
#include <functional>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. Zero marks the five undefined bytes,
// which keep their Latin-1 (control character) meaning.
constexpr char16_t HighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 98-9F
};

// Byte by byte through tables: whole documents go through these, and a comparison per
// character made them the slowest part of reading and writing one.
constexpr std::array<char16_t, 256> DecodeTable = [] {
    std::array<char16_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] =
            b >= 0x80 && b <= 0x9F && HighTable[b - 0x80] != 0 ? HighTable[b - 0x80] : char16_t(b);
    return table;
}();

// The byte of each character below U+0100; '?' for U+0080-U+009F that stand for other bytes.
constexpr std::array<char, 256> EncodeLowTable = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c >= 0x80 && c <= 0x9F && HighTable[c - 0x80] != 0 ? '?' : char(c);
    return table;
}();

char EncodeChar(char16_t c) {
    if (c < 0x100)
        return EncodeLowTable[c];
    for (int i = 0; i < 32; ++i) {
        if (HighTable[i] == c || (HighTable[i] == 0 && c == 0x80 + i))
            return char(0x80 + i);
    }
    return '?';
}

// Name of a "[Name]" line, or nothing for any other line.
std::optional<QStringView> HeaderName(QStringView line) {
    const QStringView trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        close = trimmed.size();
    return trimmed.mid(1, close - 1).trimmed();
}

// Key and value of an entry line, as views of it, or nothing for blank lines, comments and
// lines without "=".
struct TLineEntry {
    QStringView Key;
    QStringView Value;
};
std::optional<TLineEntry> EntryOf(QStringView line) {
    const QStringView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';'))
        return std::nullopt;
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return TLineEntry{trimmed.left(equals).trimmed(), trimmed.mid(equals + 1).trimmed()};
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Plain ASCII folded as the case-insensitive comparison folds it: letters to lower case.
constexpr std::array<char16_t, 128> AsciiFold = [] {
    std::array<char16_t, 128> table{};
    for (int c = 0; c < 128; ++c)
        table[c] = char16_t(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}();

// A hash under which names that SameName matches agree: it folds each code point as the
// comparison does. Every lookup hashes its key, so keys in plain ASCII, as they all are in
// practice, take a path with nothing to decide per character.
size_t KeyHash(QStringView key) {
    size_t hash = 14695981039346656037ULL;
    const auto mix = [&hash](char32_t c) { hash = (hash ^ c) * 1099511628211ULL; };
    if (QtPrivate::isAscii(key)) {
        for (const QChar c : key)
            mix(AsciiFold[c.unicode()]);
        return hash;
    }
    const char16_t* c = key.utf16();
    const char16_t* const end = c + key.size();
    while (c != end) {
        const char16_t u = *c++;
        if (u < 0x80) {
            mix(AsciiFold[u]);
        } else if (QChar::isHighSurrogate(u) && c != end && QChar::isLowSurrogate(*c)) {
            mix(QChar::toCaseFolded(QChar::surrogateToUcs4(u, *c)));
            ++c;
        } else {
            mix(QChar::toCaseFolded(char32_t(u)));
        }
    }
    return hash;
}

} // namespace

// Windows-1252 and Latin-1 agree on every byte below 0x80 and from 0xA0: Qt's Latin-1
// conversion does the bulk, and only the blocks holding other characters are converted again
// through the tables. Whole documents go through these, and a comparison per character made them
// the slowest part of reading and writing one.
constexpr qsizetype ConversionBlock = 64;

QString DecodeWindows1252(QByteArrayView bytes) {
    QString text = QString::fromLatin1(bytes);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype at = 0; at < bytes.size(); at += ConversionBlock) {
        const QByteArrayView block = bytes.sliced(at, qMin(ConversionBlock, bytes.size() - at));
        if (QtPrivate::isAscii(QLatin1StringView(block)))
            continue;
        for (qsizetype i = 0; i < block.size(); ++i)
            out[at + i] = DecodeTable[quint8(block[i])];
    }
    return text;
}

QByteArray EncodeWindows1252(QStringView text) {
    QByteArray bytes = text.toLatin1();
    char* out = bytes.data();
    for (qsizetype at = 0; at < text.size(); at += ConversionBlock) {
        const QStringView block = text.sliced(at, qMin(ConversionBlock, text.size() - at));
        if (QtPrivate::isAscii(block))
            continue;
        for (qsizetype i = 0; i < block.size(); ++i)
            out[at + i] = EncodeChar(block[i].unicode());
    }
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
    ini.source = bytes.toByteArray();
    ini.text = DecodeWindows1252(bytes);
    const QStringView text(ini.text);

    // The lines are found once, and each part's counted on the way, so that each part then
    // takes its lines in one piece.
    struct TFound {
        TLine Line;
        bool Header;
    };
    std::vector<TFound> found;
    found.reserve(size_t(text.count(u'\n')) + 1);
    std::vector<qsizetype> counts{0}; // the preamble's lines, then each section's
    for (qsizetype from = 0; from < text.size();) {
        qsizetype end = text.indexOf(u'\n', from);
        // The last line break ends the last line; it does not start another one.
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        const qsizetype length = end - from - (end > from && text[end - 1] == u'\r' ? 1 : 0);
        const bool header = HeaderName(text.mid(from, length)).has_value();
        if (header)
            counts.push_back(0);
        ++counts.back();
        found.push_back({TLine{from, length, false}, header});
        from = next;
    }
    ini.preamble.reserve(size_t(counts[0]));
    ini.sections.resize(counts.size() - 1);
    for (size_t i = 1; i < counts.size(); ++i) {
        ini.sections[i - 1].Lines.reserve(size_t(counts[i]));
        ini.sections[i - 1].Keys.reserve(size_t(counts[i] - 1));
    }
    TSection* section = nullptr;
    for (const auto& [line, header] : found) {
        if (header) {
            section = section ? section + 1 : ini.sections.data();
            const QStringView name = *HeaderName(ini.Text(line));
            section->Name = {name.data() - text.data(), name.size(), false};
        } else if (!section) {
            ini.preamble.push_back(line);
            continue;
        } else if (const std::optional<TLineEntry> entry = EntryOf(ini.Text(line))) {
            section->AddKey(KeyHash(entry->Key), qsizetype(section->Lines.size()));
        }
        section->Lines.push_back(line);
    }
    return ini;
}

void TIniFile::TSection::AddKey(size_t hash, qsizetype line) {
    Keys.push_back({hash, line});
    KeyBits.set(hash % KeyBits.size());
}

qsizetype TIniFile::FindEntry(const TSection& section, QStringView key) const {
    return FindEntry(section, key, KeyHash(key));
}

qsizetype TIniFile::FindEntry(const TSection& section, QStringView key, size_t hash) const {
    if (!section.KeyBits.test(hash % section.KeyBits.size()))
        return -1;
    for (const TKeyLine& entry : section.Keys) {
        if (entry.Hash == hash && SameName(EntryOf(Text(section.Lines[entry.Line]))->Key, key))
            return entry.Line;
    }
    return -1;
}

QByteArray TIniFile::ToBytes() const {
    // Every character has one byte, so a line's bytes lie where its characters do: the lines
    // that were read are copied from the bytes they were read from, the program's own from its
    // text encoded once.
    const QByteArray writtenBytes = EncodeWindows1252(written);
    qsizetype size = 0;
    const auto measure = [&size](const std::vector<TLine>& lines) {
        for (const TLine& line : lines)
            size += line.Length + 2;
    };
    measure(preamble);
    for (const TSection& section : sections)
        measure(section.Lines);

    QByteArray result(size, Qt::Uninitialized);
    char* out = result.data();
    const auto add = [&](const std::vector<TLine>& lines) {
        for (const TLine& line : lines) {
            const char* from = (line.Written ? writtenBytes : source).constData() + line.Start;
            out = std::copy_n(from, line.Length, out);
            *out++ = '\r';
            *out++ = '\n';
        }
    };
    add(preamble);
    for (const TSection& section : sections)
        add(section.Lines);
    return result;
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
        names.append(Text(section.Name).toString());
    return names;
}

std::optional<QString> TIniFile::Value(QStringView section, QStringView key) const {
    if (const std::optional<QStringView> value = ValueView(section, key))
        return value->toString();
    return std::nullopt;
}

std::optional<QStringView> TIniFile::ValueView(QStringView section, QStringView key) const {
    const TSection* found = FindSection(section);
    if (!found)
        return std::nullopt;
    const qsizetype line = FindEntry(*found, key);
    if (line < 0)
        return std::nullopt;
    return EntryOf(Text(found->Lines[line]))->Value;
}

QList<TIniFile::TEntry> TIniFile::Entries(QStringView section) const {
    QList<TEntry> entries;
    for (const TEntryView& entry : EntryViews(section))
        entries.append({entry.first.toString(), entry.second.toString()});
    return entries;
}

QList<TIniFile::TEntryView> TIniFile::EntryViews(QStringView section) const {
    QList<TEntryView> entries;
    for (const TSection& s : sections) {
        if (!SameName(Text(s.Name), section))
            continue;
        for (const TKeyLine& key : s.Keys) {
            const TLineEntry entry = *EntryOf(Text(s.Lines[key.Line]));
            entries.append({entry.Key, entry.Value});
        }
    }
    return entries;
}

void TIniFile::RemoveSection(QStringView section) {
    std::erase_if(sections, [&](const TSection& s) { return SameName(Text(s.Name), section); });
}

TIniFile::TLine TIniFile::Write(std::initializer_list<QStringView> parts) {
    // A part may lie in the written text itself, which moves when it grows: such parts are
    // copied out first.
    const std::less<const QChar*> before;
    for (const QStringView part : parts) {
        if (!part.isEmpty() && !before(part.data(), written.constData()) &&
            before(part.data(), written.constData() + written.size())) {
            QString copy;
            for (const QStringView p : parts)
                copy += p;
            return Write({copy});
        }
    }
    const qsizetype start = written.size();
    for (const QStringView part : parts)
        written += part;
    return {start, written.size() - start, true};
}

void TIniFile::SetValue(QStringView section, QStringView key, QStringView value) {
    TSection* found = FindSection(section);
    if (!found)
        found = &AppendSection(section);
    const TLine line = Write({key, u"=", value});
    const size_t keyHash = KeyHash(key);
    if (const qsizetype known = FindEntry(*found, key, keyHash); known >= 0) {
        // The key was found as the line's own trimmed key, so the new line keeps it.
        found->Lines[known] = line;
        return;
    }
    // New entries go after the last non-blank line, so that a blank line separating this
    // section from the next stays at its end. Only blank lines follow, none of them an entry,
    // so every entry keeps its place and the new one is the last.
    qsizetype at = qsizetype(found->Lines.size());
    while (at > 1 && Text(found->Lines[at - 1]).trimmed().isEmpty())
        --at;
    const std::optional<TLineEntry> entry = EntryOf(Text(line));
    const size_t hash = !entry ? 0 : entry->Key == key ? keyHash : KeyHash(entry->Key);
    found->Lines.insert(found->Lines.begin() + at, line);
    if (entry)
        found->AddKey(hash, at);
}

TIniFile::TSection* TIniFile::FindSection(QStringView name) {
    for (TSection& section : sections) {
        if (SameName(Text(section.Name), name))
            return &section;
    }
    return nullptr;
}

const TIniFile::TSection* TIniFile::FindSection(QStringView name) const {
    for (const TSection& section : sections) {
        if (SameName(Text(section.Name), name))
            return &section;
    }
    return nullptr;
}

TIniFile::TSection& TIniFile::AppendSection(QStringView name) {
    // One blank line between sections keeps the file readable; it belongs to the section
    // above, so removing a section later takes its own separator with it.
    std::vector<TLine>& above = sections.empty() ? preamble : sections.back().Lines;
    if (!above.empty() && !Text(above.back()).trimmed().isEmpty())
        above.push_back(TLine{0, 0, true});
    // The program writes whole sections key by key: room for a configuration's worth at once
    // instead of growing step by step.
    if (written.capacity() - written.size() < 1024)
        written.reserve(written.size() + 4096);
    TSection& section = sections.emplace_back();
    section.Lines.reserve(32);
    section.Keys.reserve(32);
    const TLine header = Write({u"[", name, u"]"});
    section.Name = {header.Start + 1, name.size(), true};
    section.Lines.push_back(header);
    return section;
}
