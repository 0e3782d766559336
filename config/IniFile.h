#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <bitset>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

// Windows-1252 text, as the configuration files are written. The five bytes the code page
// leaves undefined map to the control characters of the same number, so any byte sequence
// decodes and encodes back unchanged; characters without a Windows-1252 form encode as "?".
QString DecodeWindows1252(QByteArrayView bytes);
QByteArray EncodeWindows1252(QStringView text);

// The message of a file that cannot be written: "Unable to write to <file>".
QString UnableToWriteMessage(const QString& fileName);

// An INI document: "[Section]" lines, "key=value" entries, lines ending in CR LF. Section and
// key names match without regard to case, values are read without the blanks around them,
// lines starting with ";" are comments. Sections are kept as the lines they were read from,
// so whatever the program does not change is written back as it was.
class TIniFile {
public:
    using TEntry = std::pair<QString, QString>; // key, value
    using TEntryView = std::pair<QStringView, QStringView>;

    // Reads a file; one that does not exist or cannot be read gives an empty document.
    static TIniFile ReadFile(const QString& fileName, bool* readable = nullptr);
    static TIniFile FromBytes(QByteArrayView bytes);
    QByteArray ToBytes() const;
    // Replaces the file as a whole (a temporary file beside it is renamed over it), so a
    // failure leaves the old file untouched. Raises EInOutError "Unable to write to <file>".
    void WriteFile(const QString& fileName) const;

    bool HasSection(QStringView section) const;
    QStringList SectionNames() const;
    // The value of the first entry of that key in the first section of that name.
    std::optional<QString> Value(QStringView section, QStringView key) const;
    // Every entry of every section of that name, in file order.
    QList<TEntry> Entries(QStringView section) const;
    // The same as views into the document, valid until it is changed or destroyed: a whole
    // configuration is read without copying each value first.
    std::optional<QStringView> ValueView(QStringView section, QStringView key) const;
    QList<TEntryView> EntryViews(QStringView section) const;

    // Removes every section of that name with all its lines.
    void RemoveSection(QStringView section);
    // Replaces the first entry of the key, or adds it at the end of the section; a missing
    // section is added at the end of the document.
    void SetValue(QStringView section, QStringView key, QStringView value);

private:
    // A line: a piece of the text that was read, or of the text the program wrote. Lines are
    // kept as pieces of those two texts, so that neither reading a file nor writing a model
    // makes a string for each line.
    struct TLine {
        qsizetype Start = 0;
        qsizetype Length = 0;
        bool Written = false;
    };
    // An entry line of a section: the hash of its case-folded key, and where it is.
    struct TKeyLine {
        size_t Hash;
        qsizetype Line;
    };
    struct TSection {
        TLine Name;
        std::vector<TLine> Lines; // the header line first, then everything up to the next header
        // The entries in line order. A whole configuration is read and written key by key;
        // scanning and re-parsing every line for each key made that quadratic.
        std::vector<TKeyLine> Keys;
        // A bit per key hash (modulo its size): a key whose bit is clear is not there, so
        // adding the keys of a new section does not scan the ones before for each.
        std::bitset<1024> KeyBits;

        void AddKey(size_t hash, qsizetype line);
    };

    QStringView Text(const TLine& line) const {
        // Lines lie within their text by construction: no bounds to adjust.
        return QStringView((line.Written ? written : text).constData() + line.Start, line.Length);
    }
    // Adds text to what the program wrote and returns it as a line.
    TLine Write(std::initializer_list<QStringView> parts);
    // The line of the first entry of the key in the section; -1 when there is none.
    qsizetype FindEntry(const TSection& section, QStringView key) const;
    qsizetype FindEntry(const TSection& section, QStringView key, size_t hash) const;
    TSection* FindSection(QStringView name);
    const TSection* FindSection(QStringView name) const;
    TSection& AppendSection(QStringView name);

    QByteArray source; // what was read
    QString text;      // the same, decoded
    QString written;   // the lines and names the program wrote, one after the other; a line
                       // replaced later leaves its text here unused
    std::vector<TLine> preamble; // lines before the first section
    std::vector<TSection> sections;
};
