#pragma once

#include "config/MuxConfig.h"
#include "nmea/Errors.h"
#include "nmea/Nmea.h"
#include "nmea/Numbers.h"

#include <QString>
#include <QStringList>

#include <array>

// The configuration sentences on the wire: commands formatted from the model (without
// checksum; the port completes the line) and reports stored into it.

// A report field that does not convert; the text is meant for the user.
class EParameterError : public EError {
public:
    using EError::EError;
};

// The sentences that carry settings, in the order a whole configuration is sent. NA is not
// among them: source addresses are written only from their own fields.
inline constexpr std::array<TSentenceKind, 12> ConfigWriteOrder{
    nkCF, nkSP, nkID, nkUI, nkDR, nkIN, nkPR, nkOP, nkCNV, nkNO, nkNF, nkND};

// Whether the kind carries settings of TMuxSettings (CF, SP, ID, UI, DR, IN, PR, OP, CNV, NO,
// NF, NA, ND).
bool IsSettingsKind(int kind);

// The command that carries all values of the kind's sentence, for example "$PZRQOP,C,00000005";
// empty for a kind that carries no settings.
QString FormatCommand(TSentenceKind kind, const TMuxSettings& config);

// Stores a report of a settings kind, or of RTE or MB, into the model. Returns false for any
// other kind and leaves the model alone. Reports whose field 1 is not "R" are ignored. Fields
// are stored one at a time in their order: a field that does not convert raises
// EParameterError with everything before it already stored. A report with fewer fields than
// its sentence has stores the fields it does have; nothing beyond them is touched. The caller
// refreshes the NMEA 2000 settings after every NA and ND sentence, whatever happened here.
bool HandleConfigReport(TMuxConfig& config, const TSentence& sentence);

// The message of a report field that does not convert: "Parameter error in sentence:", a line
// break, and the report's fields joined by commas, quoted where needed.
QString ParameterErrorMessage(const TSentence& sentence);
// Joins fields with commas; a field holding a blank, a control character, a comma or a double
// quote is put in double quotes with its own double quotes doubled.
QString QuoteFields(const QStringList& fields);

// Table stores.
QString RouteDeleteCommand();                // "$PZRQRTE,C,DELETE"
QString RouteCommand(const TRoute& route);   // "$PZRQRTE,C,GPRMC,0003,0,41,0000000000000000"
QString ModbusDeleteCommand();               // "$PZRQMB,C,DELETE"
QString ModbusCommand(const TModbus& entry); // "$PZRQMB,C,X,1,100,H,F,R,2,C,C,ENGINE"

// A character field as text: empty for 0.
QString CharText(char c);
// The first character of a text as a character field: 0 for an empty text, '?' for one that
// has no 8-bit form.
char FirstChar(QStringView text);
