#include "sim/SimFaults.h"

#include "nmea/Numbers.h"

QStringList SimSentenceNames(const QString& list) {
    QStringList names;
    for (QString name : list.split(u',', Qt::SkipEmptyParts)) {
        name = name.trimmed().toUpper();
        if (name.startsWith(u"$PZRQ"))
            name.remove(0, 5);
        else if (name.startsWith(u"PZRQ"))
            name.remove(0, 4);
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

std::optional<std::pair<TSimFault, TSimFaultValue>> ParseSimFault(const QString& text) {
    const qsizetype equals = text.indexOf(u'=');
    const QString name = equals < 0 ? text : text.left(equals);
    for (const TSimFaultInfo& info : SimFaults) {
        if (name != QLatin1StringView(info.Name))
            continue;
        TSimFaultValue value;
        if (info.Fault == sfNoAnswer) {
            value.Names = SimSentenceNames(equals < 0 ? QString() : text.mid(equals + 1));
            if (value.Names.isEmpty())
                return std::nullopt;
            value.Value = 1;
            return std::pair{info.Fault, value};
        }
        if (equals < 0) {
            value.Value = info.DefaultValue;
            return std::pair{info.Fault, value};
        }
        const QString number = text.mid(equals + 1);
        const std::optional<quint64> parsed = number.startsWith(u"0x", Qt::CaseInsensitive)
                                                  ? ParseHex(QStringView(number).mid(2))
                                                  : ParseUnsigned(number);
        if (!parsed || *parsed > 0x7FFFFFFF)
            return std::nullopt;
        value.Value = int(*parsed);
        return std::pair{info.Fault, value};
    }
    return std::nullopt;
}
