#include "nmea/Nmea.h"

#include "nmea/Numbers.h"

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

TSentenceKind KindOfName(QStringView field0) {
    // Every name in the table starts with a start character and "PZRQ".
    if (field0.size() < 6 || field0.size() > 9)
        return nkNone;
    for (const TKindName& entry : SentenceKinds) {
        if (field0 == QLatin1StringView(entry.Name))
            return entry.Kind;
    }
    return nkNone;
}

const char* NameOfKind(int kind) {
    for (const TKindName& entry : SentenceKinds) {
        if (entry.Kind == kind)
            return entry.Name;
    }
    return "";
}

TSentence::TSentence(const QString& line, const QString& sourceName)
    : Text(line) {
    // A TAG block runs from a leading backslash to the next one; without a closing backslash
    // nothing is split and the whole line stays the sentence text.
    if (Text.startsWith(u'\\')) {
        const qsizetype close = Text.indexOf(u'\\', 1);
        if (close > 0) {
            TagBlock = Text.left(close + 1);
            Text.remove(0, close + 1);
        }
    }

    ReadSource(sourceName);

    const qsizetype comma = Text.indexOf(u',');
    if (comma > 1)
        Address = Text.mid(1, comma - 1);

    if (Text.size() >= 5 && QStringView(Text).mid(1, 4) == u"PZRQ") {
        const qsizetype star = Text.indexOf(u'*', 4);
        const QStringView region = QStringView(Text).left(star < 0 ? Text.size() : star);
        qsizetype start = 0;
        while (true) {
            const qsizetype next = region.indexOf(u',', start);
            if (next < 0) {
                Fields.append(region.mid(start).toString());
                break;
            }
            Fields.append(region.mid(start, next - start).toString());
            start = next + 1;
        }
        HasFields = true;
        Kind = KindOfName(Fields.constFirst());
    }
}

void TSentence::ReadSource(const QString& sourceName) {
    if (TagBlock.isEmpty() || sourceName.isEmpty())
        return;

    const QStringView tag(TagBlock);
    qsizetype pos = 0;
    while (true) {
        pos = tag.indexOf(u"s:", pos);
        if (pos < 0)
            return;
        if (tag.mid(pos + 2).startsWith(sourceName))
            break;
        ++pos;
    }

    const qsizetype mark = pos + 2 + sourceName.size();
    if (mark >= tag.size())
        return;

    const QChar kind = tag[mark];
    if (kind == u'-') {
        // Only one digit is read: "-1" and "-10" both name port 1.
        if (mark + 1 < tag.size() && IsDigit(tag[mark + 1])) {
            SourcePort = quint8(tag[mark + 1].unicode() - u'0');
            SourceKind = skPort;
        }
        return;
    }
    if (kind != u'#' && kind != u'=')
        return;

    // The address runs to the next parameter, else to the checksum, else to the closing
    // backslash.
    const qsizetype begin = mark + 1;
    qsizetype end = tag.indexOf(u',', begin);
    if (end < 0)
        end = tag.indexOf(u'*', begin);
    if (end < 0)
        end = tag.size() - 1;
    const QStringView digits = tag.mid(begin, end - begin);
    const std::optional<quint64> value = kind == u'#' ? ParseHex(digits) : ParseUnsigned(digits);
    if (!value || *value > 255)
        return;
    SourceAddress = quint8(*value);
    SourceKind = skN2K;
}

const QString& TSentence::Field(qsizetype index) const {
    if (index < 0 || index >= Fields.size())
        throw EFieldError(QStringLiteral("Field %1 is missing in the sentence %2")
                              .arg(index)
                              .arg(TagBlock + Text));
    return Fields.at(index);
}

quint8 NmeaChecksum(QStringView text, qsizetype length) {
    length = std::min(length, text.size());
    quint8 sum = 0;
    for (qsizetype i = 1; i < length; ++i)
        sum ^= quint8(text[i].unicode());
    return sum;
}

quint8 NmeaChecksum(QByteArrayView text, qsizetype length) {
    length = std::min(length, text.size());
    quint8 sum = 0;
    for (qsizetype i = 1; i < length; ++i)
        sum ^= quint8(text[i]);
    return sum;
}

QByteArray NmeaLine(QByteArrayView text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray line;
    line.reserve(text.size() + 5);
    line.append(text);
    if (!text.contains('*')) {
        const quint8 sum = NmeaChecksum(text, text.size());
        line.append('*');
        line.append(hex[sum >> 4]);
        line.append(hex[sum & 0xF]);
    }
    line.append("\r\n");
    return line;
}

TTalkerIdCheck CheckTalkerID(QStringView text) {
    if (text.isEmpty())
        return tiEmpty;
    if (text.size() != 2 || text[0] == u' ')
        return tiIllegal;
    if (text[0] == u'P')
        return tiProprietary;
    return tiValid;
}

void SetBit(quint32& word, int bit, bool on) {
    if (bit < 0 || bit > 31)
        return;
    if (on)
        word |= quint32(1) << bit;
    else
        word &= ~(quint32(1) << bit);
}

bool TestBit(quint32 word, int bit) {
    if (bit < 0 || bit > 31)
        return false;
    return (word >> bit) & 1u;
}
