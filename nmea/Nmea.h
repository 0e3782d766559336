#pragma once

#include "nmea/Errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

// Where a received sentence came from, as named by the source parameter of its TAG block.
enum TSourceKind : quint8 {
    skNone = 0, // no TAG block source of this multiplexer
    skPort = 1, // one of the multiplexer's inputs or functions ("s:ID-n")
    skN2K = 2,  // an NMEA 2000 device ("s:ID#hex" or "s:ID=dec")
};

// Result of CheckTalkerID.
enum TTalkerIdCheck : quint8 {
    tiEmpty = 0,
    tiValid = 1,
    tiProprietary = 2, // two characters starting with "P"
    tiIllegal = 3,     // any other length, or a leading space
};

// Kinds of the multiplexer's own sentences; 0 for everything else. The numbers are shared by
// the dispatcher, the handlers and the waits, so they never change.
enum TSentenceKind : quint8 {
    nkNone = 0,
    nkRDY = 1,
    nkLDR = 2,
    nkVER = 3,
    nkOV = 4,
    nkSTAT = 5,
    nkCF = 6,
    nkDR = 7,
    nkID = 8,
    nkSP = 9,
    nkRTE = 10,
    nkOP = 11,
    nkPR = 12,
    nkWI = 13,
    nkIN = 14,
    nkDB = 15,
    nkMB = 16,
    nkUI = 17,
    nkNA = 18,
    nkNC = 19,
    nkND = 20,
    nkNF = 21,
    nkNO = 22,
    nkNP = 23,
    nkNPEncap = 24, // the same name with "!" as start character
    nkMOB = 25,
    nkCNV = 26,
};

struct TKindName {
    TSentenceKind Kind;
    const char* Name; // field 0, start character included
};

// The proprietary sentence names the program recognises, compared exactly with field 0.
inline constexpr std::array<TKindName, 26> SentenceKinds{{
    {nkRDY, "$PZRQRDY"},   {nkLDR, "$PZRQLDR"}, {nkVER, "$PZRQVER"}, {nkOV, "$PZRQOV"},
    {nkSTAT, "$PZRQSTAT"}, {nkCF, "$PZRQCF"},   {nkDR, "$PZRQDR"},   {nkID, "$PZRQID"},
    {nkSP, "$PZRQSP"},     {nkRTE, "$PZRQRTE"}, {nkOP, "$PZRQOP"},   {nkPR, "$PZRQPR"},
    {nkWI, "$PZRQWI"},     {nkIN, "$PZRQIN"},   {nkDB, "$PZRQDB"},   {nkMB, "$PZRQMB"},
    {nkUI, "$PZRQUI"},     {nkNA, "$PZRQNA"},   {nkNC, "$PZRQNC"},   {nkND, "$PZRQND"},
    {nkNF, "$PZRQNF"},     {nkNO, "$PZRQNO"},   {nkNP, "$PZRQNP"},   {nkNPEncap, "!PZRQNP"},
    {nkMOB, "$PZRQMOB"},   {nkCNV, "$PZRQCNV"},
}};

// Kind of a field 0 text, 0 when it is not in the table.
TSentenceKind KindOfName(QStringView field0);
// Field 0 text of a kind ("$PZRQCF"); empty for 0 or an unknown number.
const char* NameOfKind(int kind);

// One received line, parsed. Construction never fails, whatever the line holds.
class TSentence {
public:
    // sourceName is the multiplexer's unique ID; sources in TAG blocks are matched against it.
    explicit TSentence(const QString& line, const QString& sourceName = QString());

    QString TagBlock; // with both backslashes, or empty
    QString Text;     // the line without its TAG block
    QString Address;  // between start character and first comma; empty without comma
    TSentenceKind Kind = nkNone;
    bool HasFields = false; // only the multiplexer's proprietary sentences are split
    QStringList Fields;     // field 0 is the address with its start character
    TSourceKind SourceKind = skNone;
    quint8 SourcePort = 0;      // with skPort: the input or function digit
    quint8 SourceAddress = 255; // with skN2K: the NMEA 2000 source address

    qsizetype FieldCount() const { return Fields.size(); }
    // Field by number; a field the sentence does not have raises EFieldError.
    const QString& Field(qsizetype index) const;

private:
    void ReadSource(const QString& sourceName);
};

// Exclusive-or of the characters at positions 2 to length (the start character is skipped);
// 0 when length is below 2. A length beyond the text covers the whole text.
quint8 NmeaChecksum(QStringView text, qsizetype length);
quint8 NmeaChecksum(QByteArrayView text, qsizetype length);

// Completes a sentence text for the wire: "*" and the checksum in upper-case hexadecimal are
// appended unless the text already holds a "*", then CR LF.
QByteArray NmeaLine(QByteArrayView text);

TTalkerIdCheck CheckTalkerID(QStringView text);

// Bit access in 32-bit option words; bit numbers outside 0..31 are ignored.
void SetBit(quint32& word, int bit, bool on);
bool TestBit(quint32 word, int bit);
