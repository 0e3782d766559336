#include "config/ConfigSentences.h"

#include "nmea/Numbers.h"

#include <QVarLengthArray>

namespace {

// How one field of a settings sentence is written in commands and read from reports.
enum TFieldForm : quint8 {
    ffFixed3,        // always 3 in commands, not read from reports (CF field 2)
    ffDecimal,       // %u, read as a signed decimal
    ffHexDigit,      // %0.1x in commands, but read as a decimal (DR host-data modes)
    ffHex4,          // %0.4x, read as hexadecimal
    ffHex8,          // %0.8x, read as hexadecimal
    ffTalkerID,      // text; a report replaces the entry only with at most 2 characters
    ffUniqueID,      // text; a report replaces it only with at most 12 characters
    ffSourceAddress, // %u; "-" in a report means no address (255)
};

// One field bound to its place in the model; Form says which pointer is set.
struct TFieldRef {
    TFieldForm Form;
    qint32* Int = nullptr;
    quint32* Mask = nullptr;
    QString* Text = nullptr;
};

using TFieldList = QVarLengthArray<TFieldRef, 12>;

// The fields 2 onwards of each settings sentence, in wire order. Formatting and parsing both
// walk this one list, so the two directions cannot disagree about order.
TFieldList FieldsOf(TSentenceKind kind, TMuxSettings& s) {
    TFieldList f;
    const auto dec = [&f](qint32& v) { f.append({ffDecimal, &v}); };
    switch (kind) {
    case nkCF:
        f.append({ffFixed3});
        dec(s.PrioTimeout);
        break;
    case nkSP:
        for (qint32& v : s.BaudIn)
            dec(v);
        dec(s.BaudOut1);
        dec(s.BaudOut2);
        dec(s.BaudOut4);
        break;
    case nkID:
        for (QString& v : s.TalkerID)
            f.append({ffTalkerID, nullptr, nullptr, &v});
        break;
    case nkUI:
        f.append({ffUniqueID, nullptr, nullptr, &s.UniqueID});
        break;
    case nkDR:
        for (int out = 0; out < OutputCount; ++out) {
            f.append({ffHex4, nullptr, &s.RouteOut[out]});
            f.append({ffHexDigit, &s.ModeOut[out]});
        }
        break;
    case nkIN:
        for (qint32& v : s.ModeIn)
            dec(v);
        break;
    case nkPR:
        for (qint32& v : s.PrioIn)
            dec(v);
        dec(s.PrioN2K);
        break;
    case nkOP:
        f.append({ffHex8, nullptr, &s.Options});
        break;
    case nkCNV:
        f.append({ffHex8, nullptr, &s.Conversions});
        break;
    case nkNO:
        f.append({ffHex8, nullptr, &s.N2KOptions});
        break;
    case nkNF:
        for (qint32& v : s.DevFunc)
            dec(v);
        break;
    case nkNA:
        for (qint32& v : s.SrcAddr)
            f.append({ffSourceAddress, &v});
        break;
    case nkND:
        for (qint32& v : s.DevInst)
            dec(v);
        break;
    default:
        break;
    }
    return f;
}

QString FormatField(const TFieldRef& field) {
    switch (field.Form) {
    case ffFixed3:
        return QStringLiteral("3");
    case ffDecimal:
    case ffSourceAddress:
        // Written as unsigned, as the multiplexer expects; values are never negative unless
        // a report made them so.
        return QString::number(quint32(*field.Int));
    case ffHexDigit:
        return HexText(quint32(*field.Int), 1);
    case ffHex4:
        return HexText(*field.Mask, 4);
    case ffHex8:
        return HexText(*field.Mask, 8);
    case ffTalkerID:
    case ffUniqueID:
        return *field.Text;
    }
    return QString();
}

// Stores one report field; false when it does not convert.
bool StoreField(const TFieldRef& field, const QString& text) {
    switch (field.Form) {
    case ffFixed3:
        return true;
    case ffSourceAddress:
        if (text == u"-") {
            *field.Int = NoSourceAddress;
            return true;
        }
        [[fallthrough]];
    case ffDecimal:
    case ffHexDigit:
        if (const std::optional<qint32> v = ParseInt32(text)) {
            *field.Int = *v;
            return true;
        }
        return false;
    case ffHex4:
    case ffHex8:
        if (const std::optional<quint32> v = ParseHex32(text)) {
            *field.Mask = *v;
            return true;
        }
        return false;
    case ffTalkerID:
        // An over-long entry is not an error, it just is not taken over.
        if (text.size() <= TalkerIDLength)
            *field.Text = text;
        return true;
    case ffUniqueID:
        if (text.size() <= UniqueIDLength)
            *field.Text = text;
        return true;
    }
    return true;
}

[[noreturn]] void ThrowParameterError(const TSentence& sentence) {
    throw EParameterError(ParameterErrorMessage(sentence));
}

void StoreSettingsReport(TMuxSettings& settings, const TSentence& sentence) {
    if (sentence.FieldCount() < 2 || sentence.Field(1) != u"R")
        return;
    const TFieldList fields = FieldsOf(sentence.Kind, settings);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        // A short report stores what it has; the loop ends at its last field.
        const qsizetype index = i + 2;
        if (index >= sentence.FieldCount())
            break;
        if (!StoreField(fields[i], sentence.Field(index)))
            ThrowParameterError(sentence);
    }
}

void StoreRouteReport(TMuxConfig& config, const TSentence& sentence) {
    const QStringList& f = sentence.Fields;
    if (f.size() < 7 || f[1] != u"R" || f[2].size() != RouteSentenceLength)
        return;
    const std::optional<quint32> inputs = ParseHex32(f[3]);
    std::optional<qint32> divisor = 0;
    if (!f[4].isEmpty())
        divisor = ParseInt32(f[4]);
    const std::optional<quint32> outputs = ParseHex32(f[5]);
    std::optional<quint64> name = 0;
    if (f[6].size() == 16)
        name = ParseHex(f[6]);
    if (!inputs || !divisor || !outputs || !name)
        ThrowParameterError(sentence);
    // Numbers are kept in the width of their fields. A full table drops the report silently.
    config.AddRoute(f[2], quint16(*inputs), quint8(*divisor), quint16(*outputs), *name,
                    NoSourceAddress);
}

void StoreModbusReport(TMuxConfig& config, const TSentence& sentence) {
    const QStringList& f = sentence.Fields;
    if (f.size() < 13 || f[1] != u"R" || f[2] != u"X")
        return;
    const std::optional<qint32> slave = ParseInt32(f[3]);
    const std::optional<qint32> reg = ParseInt32(f[4]);
    const std::optional<qint32> paramP = ParseInt32(f[8]);
    const std::optional<quint32> status = ParseHex32(f[12]);
    if (!slave || !reg || !paramP || !status)
        ThrowParameterError(sentence);
    config.AddModbus(quint8(*slave), quint16(*reg), FirstChar(f[5]), FirstChar(f[6]),
                     f[7] == u"R" ? 1 : 0, quint8(*paramP), FirstChar(f[9]), FirstChar(f[10]),
                     f[11], quint8(*status));
}

} // namespace

bool IsSettingsKind(int kind) {
    switch (kind) {
    case nkCF:
    case nkSP:
    case nkID:
    case nkUI:
    case nkDR:
    case nkIN:
    case nkPR:
    case nkOP:
    case nkCNV:
    case nkNO:
    case nkNF:
    case nkNA:
    case nkND:
        return true;
    default:
        return false;
    }
}

QString FormatCommand(TSentenceKind kind, const TMuxSettings& config) {
    if (!IsSettingsKind(kind))
        return QString();
    // The field list binds to a model it may change; formatting works on a copy (cheap: the
    // texts are shared).
    TMuxSettings copy = config;
    QString text = QString::fromLatin1(NameOfKind(kind)) + QStringLiteral(",C");
    for (const TFieldRef& field : FieldsOf(kind, copy)) {
        text += u',';
        text += FormatField(field);
    }
    return text;
}

bool HandleConfigReport(TMuxConfig& config, const TSentence& sentence) {
    if (!sentence.HasFields)
        return false;
    if (IsSettingsKind(sentence.Kind)) {
        StoreSettingsReport(config, sentence);
        return true;
    }
    if (sentence.Kind == nkRTE) {
        StoreRouteReport(config, sentence);
        return true;
    }
    if (sentence.Kind == nkMB) {
        StoreModbusReport(config, sentence);
        return true;
    }
    return false;
}

QString QuoteFields(const QStringList& fields) {
    QString text;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            text += u',';
        const QString& field = fields.at(i);
        bool quote = false;
        for (QChar c : field) {
            if (c == u' ' || c == u',' || c == u'"' || c.category() == QChar::Other_Control) {
                quote = true;
                break;
            }
        }
        if (!quote) {
            text += field;
            continue;
        }
        text += u'"';
        text += QString(field).replace(u'"', QStringLiteral("\"\""));
        text += u'"';
    }
    return text;
}

QString ParameterErrorMessage(const TSentence& sentence) {
    return QStringLiteral("Parameter error in sentence:\n") + QuoteFields(sentence.Fields);
}

QString RouteDeleteCommand() {
    return QStringLiteral("$PZRQRTE,C,DELETE");
}

QString RouteCommand(const TRoute& route) {
    return QStringLiteral("$PZRQRTE,C,%1,%2,%3,%4,%5")
        .arg(route.Sentence, HexText(route.Inputs, 4), QString::number(route.Divisor),
             HexText(route.Outputs, 2), HexText(route.SourceName, 16));
}

QString ModbusDeleteCommand() {
    return QStringLiteral("$PZRQMB,C,DELETE");
}

QString ModbusCommand(const TModbus& entry) {
    const QStringList fields{QStringLiteral("$PZRQMB"),
                             QStringLiteral("C"),
                             QStringLiteral("X"),
                             QString::number(entry.Slave),
                             QString::number(entry.Register),
                             CharText(entry.RegType),
                             CharText(entry.DataType),
                             entry.Reverse == 1 ? QStringLiteral("R") : QString(),
                             QString::number(entry.ParamP),
                             CharText(entry.XdrType),
                             CharText(entry.XdrUnit),
                             entry.XdrID};
    return fields.join(u',');
}

QString CharText(char c) {
    return c == 0 ? QString() : QString(QChar::fromLatin1(c));
}

char FirstChar(QStringView text) {
    if (text.isEmpty())
        return 0;
    const char16_t c = text.front().unicode();
    return c <= 0xFF ? char(c) : '?';
}
