#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Misbehaviours the simulated multiplexer shows on demand, so that the program's handling of a
// faulty device can be tested. A fault is off while its value is 0; set from tests with
// TSimulator::SetFault and from the command line with --fault NAME[=VALUE].
enum TSimFault : quint8 {
    sfNoAnswer,        // requests of the named sentences (text: "VER,CFQ" or "$PZRQVER") are lost
    sfDelay,           // every answer goes out value ms late (unasked lines stay on time)
    sfMalformedReport, // reports (field 1 "R") carry "?Z" in field 3, or in field 2 without one
    sfGarbage,         // value bytes of noise that start no line go before every line
    sfLongLines,       // a 300-character line with a valid checksum goes before every line
    sfBadChecksum,     // every line carries a wrong checksum
    sfDropAfter,       // a TCP connection is closed after value more lines were sent on it
    sfDropAfterTableLine,  // TCP connections are closed once the value-th table line arrived
    sfAnswerEachTableLine, // every table line is answered with "$PZRQRDY", not once per burst
    sfBootErrorReply,      // the bootloader answers commands with the reply byte value, not 0xC0
    sfBootErrorCommand,    // limits sfBootErrorReply to the command code value (0: every command)
    sfBootNoReply,         // the bootloader withholds its reply to command code value (255: all)
    sfCrcMismatch,         // the CRC reply is XORed with value and the application does not restart
    sfSilentBootloader,    // "$PZRQRESET" enters a bootloader that never announces "$PZRQLDR"
    sfBootDrop,            // the link closes instead of the reply to bootloader command code value
    sfSyncReply,           // the bootloader answers the synchronisation packet with the byte value
    sfCutDump,             // a configuration dump ends after value reports, without "$PZRQRDY"
    sfCount
};

struct TSimFaultInfo {
    TSimFault Fault;
    const char* Name; // as on the command line
    int DefaultValue; // taken when the command line gives no value
    const char* Help;
};

inline constexpr std::array<TSimFaultInfo, sfCount> SimFaults{{
    {sfNoAnswer, "no-answer", 0, "ignore the named sentences (NAME[,NAME...], e.g. VER,CFQ)"},
    {sfDelay, "delay", 500, "delay every answer by VALUE ms"},
    {sfMalformedReport, "malformed-report", 1, "reports carry a field that is no number"},
    {sfGarbage, "garbage", 16, "VALUE noise bytes before every line"},
    {sfLongLines, "long-lines", 1, "an over-long line before every line"},
    {sfBadChecksum, "bad-checksum", 1, "wrong checksums on every line"},
    {sfDropAfter, "drop-after", 10, "close a TCP connection after VALUE lines"},
    {sfDropAfterTableLine, "drop-after-table-line", 1,
     "close TCP connections when the VALUEth route or Modbus line arrives"},
    {sfAnswerEachTableLine, "answer-each-table-line", 1,
     "answer each route or Modbus line, not only the last of a burst"},
    {sfBootErrorReply, "boot-error", 0xE1, "bootloader replies VALUE instead of 0xC0"},
    {sfBootErrorCommand, "boot-error-command", 1, "only command VALUE gets the boot-error reply"},
    {sfBootNoReply, "boot-no-reply", 255, "no reply to bootloader command VALUE (255: any)"},
    {sfCrcMismatch, "crc-mismatch", 1, "CRC reply XORed with VALUE, no restart"},
    {sfSilentBootloader, "silent-bootloader", 1, "the bootloader never announces itself"},
    {sfBootDrop, "boot-drop", 3, "close the link instead of replying to bootloader command VALUE"},
    {sfSyncReply, "sync-reply", 0xC0, "reply VALUE to the bootloader's synchronisation packet"},
    {sfCutDump, "cut-dump", 5, "a configuration dump stops after VALUE reports, unfinished"},
}};

// The value of one fault: a number, and for sfNoAnswer the sentence names.
struct TSimFaultValue {
    int Value = 0;
    QStringList Names; // short names without "$PZRQ", upper case
};

// Reads "NAME" or "NAME=VALUE" as given to --fault. VALUE is decimal or 0x-prefixed hexadecimal;
// for no-answer it is a comma-separated list of sentence names. Returns nothing when the
// name is unknown or the value does not convert.
std::optional<std::pair<TSimFault, TSimFaultValue>> ParseSimFault(const QString& text);

// "VER", "$PZRQVER" and "pzrqver" all give "VER".
QStringList SimSentenceNames(const QString& list);
