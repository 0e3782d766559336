#include "sim/SimConfig.h"

#include "nmea/Numbers.h"
#include "sim/SimFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct TSentenceRules {
    QString name;
    std::vector<TSimFieldRule> rules;
    QStringList factory;
};

std::vector<TSimFieldRule> Repeat(int count, TSimFieldRule rule) {
    return std::vector<TSimFieldRule>(size_t(count), rule);
}

QStringList Texts(int count, const QString& text) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(text);
    return list;
}

// One table drives checking, factory values and the dump order. The unique ID's factory
// value is the device's own and is filled in by FactoryReset.
const std::vector<TSentenceRules>& Table() {
    static const std::vector<TSentenceRules> table = [] {
        const TSimFieldRule speed{fkDecimal, 5};
        std::vector<TSentenceRules> t;
        t.push_back({QStringLiteral("CF"), {{fkDecimal, 255}, {fkDecimal, 5}}, {"3", "2"}});
        t.push_back({QStringLiteral("SP"),
                     Repeat(11, speed),
                     {"0", "0", "0", "0", "3", "0", "0", "0", "3", "3", "3"}});
        t.push_back({QStringLiteral("ID"), Repeat(9, {fkTalker, 0}), Texts(9, QString())});
        t.push_back({QStringLiteral("UI"), {{fkIdent, 0}}, {QString()}});
        std::vector<TSimFieldRule> dr;
        for (int i = 0; i < 4; ++i) {
            dr.push_back({fkHex, 0xFFFF});
            dr.push_back({fkHex, 2});
        }
        t.push_back(
            {QStringLiteral("DR"), dr, {"81FF", "1", "81FF", "1", "81FF", "1", "81FF", "1"}});
        std::vector<TSimFieldRule> in = Repeat(8, {fkDecimal, 5});
        in[0].Max = 7; // only In1 reads SeaTalk
        t.push_back({QStringLiteral("IN"), in, Texts(8, "0")});
        std::vector<TSimFieldRule> pr = Repeat(8, {fkDecimal, 14});
        pr.push_back({fkDecimal, 10});
        t.push_back({QStringLiteral("PR"), pr, Texts(9, "0")});
        t.push_back({QStringLiteral("OP"), {{fkHex, 0xFFFFFFFF}}, {"00000000"}});
        t.push_back({QStringLiteral("CNV"), {{fkHex, 0xFFFFFFFF}}, {"00000000"}});
        t.push_back({QStringLiteral("NO"), {{fkHex, 0xFFFFFFFF}}, {"0000000B"}});
        QStringList nf = Texts(10, "0");
        nf[0] = "1"; // the host port is a PC gateway
        t.push_back({QStringLiteral("NF"), Repeat(10, {fkDecimal, 33}), nf});
        QStringList na = Texts(10, "-");
        na[0] = "3";
        na[9] = "4";
        t.push_back({QStringLiteral("NA"), Repeat(10, {fkAddress, 255}), na});
        t.push_back({QStringLiteral("ND"), Repeat(10, {fkDecimal, 255}), Texts(10, "0")});
        return t;
    }();
    return table;
}

int IndexOf(const QString& name) {
    const auto& table = Table();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].name == name)
            return int(i);
    }
    return -1;
}

bool IsAlnum(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool AllAlnum(QStringView text) {
    for (QChar c : text) {
        if (!IsAlnum(c))
            return false;
    }
    return true;
}

bool FieldOk(const TSimFieldRule& rule, const QString& text) {
    switch (rule.Kind) {
    case fkDecimal: {
        const auto value = ParseUnsigned(text);
        return value && *value <= rule.Max;
    }
    case fkHex: {
        const auto value = ParseHex(text);
        return value && *value <= rule.Max;
    }
    case fkTalker:
        return text.isEmpty() || (text.size() == 2 && AllAlnum(text));
    case fkIdent:
        return text.size() <= 12 && AllAlnum(text);
    case fkAddress: {
        if (text == u"-")
            return true;
        const auto value = ParseUnsigned(text);
        return value && *value <= 255;
    }
    }
    return false;
}

// A character field of an MB line: empty, or one character of the allowed ones.
std::optional<char> Letter(const QString& text, const char* allowed) {
    if (text.isEmpty())
        return char(0);
    if (text.size() != 1 || text[0].unicode() > 127)
        return std::nullopt;
    const char c = char(text[0].unicode());
    if (allowed && !std::strchr(allowed, c))
        return std::nullopt;
    if (!allowed && !IsAlnum(text[0]))
        return std::nullopt;
    return c;
}

QByteArray LetterText(char c) {
    return c ? QByteArray(1, c) : QByteArray();
}

} // namespace

TSimConfig::TSimConfig(const QString& deviceID)
    : uniqueID(deviceID) {
    FactoryReset();
}

void TSimConfig::FactoryReset() {
    values.clear();
    for (const TSentenceRules& sentence : Table())
        values.append(sentence.factory);
    values[IndexOf(QStringLiteral("UI"))] = QStringList{uniqueID};
    routes.clear();
    modbus.clear();
}

const QStringList& TSimConfig::Names() {
    static const QStringList names = [] {
        QStringList list;
        for (const TSentenceRules& sentence : Table())
            list.append(sentence.name);
        return list;
    }();
    return names;
}

bool TSimConfig::IsConfigSentence(const QString& name) {
    return IndexOf(name) >= 0;
}

QStringList TSimConfig::Fields(const QString& name) const {
    const int index = IndexOf(name);
    return index < 0 ? QStringList() : values.at(index);
}

bool TSimConfig::Apply(const QString& name, const QStringList& fields) {
    const int index = IndexOf(name);
    if (index < 0)
        return false;
    const TSentenceRules& sentence = Table()[size_t(index)];
    if (size_t(fields.size()) != sentence.rules.size())
        return false;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!FieldOk(sentence.rules[size_t(i)], fields.at(i)))
            return false;
    }
    QStringList stored = fields;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (sentence.rules[size_t(i)].Kind == fkAddress && stored[i] != u"-" &&
            ParseUnsigned(stored[i]).value_or(255) > 251)
            stored[i] = QStringLiteral("-");
    }
    values[index] = stored;
    return true;
}

QByteArray TSimConfig::Report(const QString& name) const {
    const int index = IndexOf(name);
    if (index < 0)
        return {};
    QByteArray text = "$PZRQ" + name.toLatin1() + ",R";
    for (const QString& field : values.at(index))
        text += ',' + field.toLatin1();
    return text;
}

quint32 TSimConfig::HexField(const QString& name, int index) const {
    return ParseHex32(Fields(name).value(index)).value_or(0);
}

std::optional<quint32> TSimConfig::DecField(const QString& name, int index) const {
    const auto value = ParseUnsigned(Fields(name).value(index));
    if (!value || *value > 0xFFFFFFFFu)
        return std::nullopt;
    return quint32(*value);
}

QList<quint8> TSimConfig::SourceAddresses() const {
    QList<quint8> addresses;
    for (const QString& field : Fields(QStringLiteral("NA"))) {
        const auto value = ParseUnsigned(field);
        addresses.append(value && *value <= 251 ? quint8(*value) : quint8(255));
    }
    return addresses;
}

void TSimConfig::SetSourceAddresses(const QList<quint8>& addresses) {
    QStringList fields;
    for (quint8 address : addresses)
        fields.append(address > 251 ? QStringLiteral("-") : QString::number(address));
    Apply(QStringLiteral("NA"), fields);
}

std::optional<TSimRoute> TSimConfig::ParseRoute(const QStringList& values) {
    if (values.size() != 5 || values[0].size() > 5 || values[0].contains(u'*'))
        return std::nullopt;
    const auto inputs = ParseHex(values[1]);
    const auto divisor = ParseUnsigned(values[2]);
    const auto outputs = ParseHex(values[3]);
    const auto name = ParseHex(values[4]);
    if (!inputs || *inputs > 0xFFFF || !divisor || *divisor > 255 || !outputs || *outputs > 0xFF ||
        values[4].size() != 16 || !name)
        return std::nullopt;
    TSimRoute route;
    route.sentence = values[0];
    route.inputs = quint16(*inputs);
    route.divisor = quint8(*divisor);
    route.outputs = quint8(*outputs);
    route.sourceName = *name;
    return route;
}

std::optional<TSimModbus> TSimConfig::ParseModbus(const QStringList& values) {
    if (values.size() != 10 || values[0] != u"X")
        return std::nullopt;
    const auto slave = ParseUnsigned(values[1]);
    const auto reg = ParseUnsigned(values[2]);
    const auto regType = Letter(values[3], "HI");
    const auto dataType = Letter(values[4], "IULF");
    const auto paramP = ParseUnsigned(values[6]);
    const auto xdrType = Letter(values[7], nullptr);
    const auto xdrUnit = Letter(values[8], nullptr);
    if (!slave || *slave > 255 || !reg || *reg > 0xFFFF || !regType || !dataType ||
        !(values[5].isEmpty() || values[5] == u"R") || !paramP || *paramP > 255 || !xdrType ||
        !xdrUnit || values[9].size() > 15 || values[9].contains(u'*'))
        return std::nullopt;
    TSimModbus entry;
    entry.slave = quint8(*slave);
    entry.reg = quint16(*reg);
    entry.regType = *regType;
    entry.dataType = *dataType;
    entry.reverse = values[5] == u"R";
    entry.paramP = quint8(*paramP);
    entry.xdrType = *xdrType;
    entry.xdrUnit = *xdrUnit;
    entry.xdrID = values[9];
    return entry;
}

void TSimConfig::SetTables(const QList<TSimRoute>& newRoutes, const QList<TSimModbus>& newModbus) {
    routes = newRoutes.first(std::min<qsizetype>(newRoutes.size(), MaxRoutes));
    modbus = newModbus.first(std::min<qsizetype>(newModbus.size(), MaxModbus));
}

TSimConfig::TStore TSimConfig::StoreRoute(const QStringList& fields) {
    const auto route = ParseRoute(fields);
    if (!route)
        return stMalformed;
    if (routes.size() >= MaxRoutes)
        return stFull;
    routes.append(*route);
    return stStored;
}

TSimConfig::TStore TSimConfig::StoreModbus(const QStringList& fields) {
    const auto entry = ParseModbus(fields);
    if (!entry)
        return stMalformed;
    if (modbus.size() >= MaxModbus)
        return stFull;
    modbus.append(*entry);
    return stStored;
}

QByteArray TSimConfig::RouteReport(const TSimRoute& route) const {
    return "$PZRQRTE,R," + route.sentence.toLatin1() + ',' + HexBytes(route.inputs, 4) + ',' +
           QByteArray::number(route.divisor) + ',' + HexBytes(route.outputs, 2) + ',' +
           HexBytes(route.sourceName, 16);
}

QByteArray TSimConfig::ModbusReport(const TSimModbus& entry) const {
    return "$PZRQMB,R,X," + QByteArray::number(entry.slave) + ',' + QByteArray::number(entry.reg) +
           ',' + LetterText(entry.regType) + ',' + LetterText(entry.dataType) + ',' +
           (entry.reverse ? "R" : "") + ',' + QByteArray::number(entry.paramP) + ',' +
           LetterText(entry.xdrType) + ',' + LetterText(entry.xdrUnit) + ',' +
           entry.xdrID.toLatin1() + ',' + HexBytes(ModbusStatus(entry), 2);
}

quint8 TSimConfig::ModbusStatus(const TSimModbus& entry) const {
    if (!ModbusOn())
        return ModbusNotPolled;
    if (entry.slave == 0 || entry.slave > 247)
        return ModbusWrongSlave;
    if (entry.slave < FirstSlave || entry.slave > LastSlave)
        return ModbusNoResponse;
    const int registers = (entry.dataType == 'L' || entry.dataType == 'F') ? 2 : 1;
    if (entry.reg + registers > RegisterLimit)
        return ModbusIllegalAddress;
    return ModbusOk;
}
