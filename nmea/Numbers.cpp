#include "nmea/Numbers.h"

#include <limits>

std::optional<quint64> ParseUnsigned(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const unsigned digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<qint64> ParseSigned(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text = text.mid(1);
    }
    const std::optional<quint64> magnitude = ParseUnsigned(text);
    if (!magnitude)
        return std::nullopt;
    constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max());
    if (negative) {
        if (*magnitude > limit + 1)
            return std::nullopt;
        return *magnitude == limit + 1 ? std::numeric_limits<qint64>::min() : -qint64(*magnitude);
    }
    if (*magnitude > limit)
        return std::nullopt;
    return qint64(*magnitude);
}

std::optional<quint64> ParseHex(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : text) {
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c.unicode() - u'a' + 10;
        else
            return std::nullopt;
        if (value >> 60)
            return std::nullopt;
        value = (value << 4) | digit;
    }
    return value;
}

std::optional<qint32> ParseInt32(QStringView text) {
    const std::optional<qint64> value = ParseSigned(text);
    if (!value || *value < std::numeric_limits<qint32>::min() ||
        *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(*value);
}

std::optional<quint32> ParseHex32(QStringView text) {
    const std::optional<quint64> value = ParseHex(text);
    if (!value || *value > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return quint32(*value);
}

QString HexText(quint64 value, int minDigits) {
    return QString::number(value, 16).toUpper().rightJustified(minDigits, u'0');
}
