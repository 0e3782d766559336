#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Strict number conversion for what arrives from the device, files and the user: digits only
// (a sign where noted), no blanks, no prefixes, and nothing that does not fit. An empty text
// is no number.

std::optional<quint64> ParseUnsigned(QStringView text); // decimal
std::optional<qint64> ParseSigned(QStringView text);    // decimal with optional "+" or "-"
std::optional<quint64> ParseHex(QStringView text);      // hexadecimal, either case

std::optional<qint32> ParseInt32(QStringView text);  // signed decimal in the 32-bit range
std::optional<quint32> ParseHex32(QStringView text); // hexadecimal in the 32-bit range

// Upper-case hexadecimal with at least minDigits digits, zero-padded.
QString HexText(quint64 value, int minDigits);
