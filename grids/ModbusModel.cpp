#include "grids/ModbusModel.h"

#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "nmea/Numbers.h"

#include <cstring>

namespace {

const QList<TGridColumn> ModbusColumns{
    {17, nullptr, 0, ""},  {30, "Modbus Slave", 6, "Slv"}, {48, nullptr, 0, "Reg"},
    {16, nullptr, 0, "T"}, {16, nullptr, 0, "D"},          {16, nullptr, 0, "R"},
    {16, nullptr, 0, "P"}, {16, "XDR Sentence", 3, "T"},   {130, nullptr, 0, "Transducer ID"},
    {16, nullptr, 0, "U"}, {36, nullptr, 0, "Status"},
};

const char* LettersOf(int column) {
    return column == mcRegType ? RegTypeLetters : DataTypeLetters;
}

// A decimal number in 0..limit for a field of that name; empty when stored.
QString ParseField(const QString& text, quint64 limit, const char* what, quint64& value) {
    const std::optional<quint64> number = ParseUnsigned(text);
    if (!number)
        return InvalidIntegerMessage(text);
    if (*number > limit)
        return QStringLiteral("%1 is out of range: the %2 takes 0 to %3")
            .arg(text, QLatin1StringView(what))
            .arg(limit);
    value = *number;
    return {};
}

// One letter (A to Z), upper case when upper, or nothing.
QString ParseLetter(const QString& text, bool upper, char& letter) {
    if (text.isEmpty()) {
        letter = 0;
        return {};
    }
    const QChar c = text.at(0);
    if (text.size() > 1 || c.unicode() >= 128 || !c.isLetter())
        return QStringLiteral("'%1' is not a valid letter").arg(text);
    letter = char(upper ? c.toUpper().toLatin1() : c.toLatin1());
    return {};
}

} // namespace

const QStringList& RegTypeItems() {
    static const QStringList items{QStringLiteral("H - Holding register"),
                                   QStringLiteral("I - Input register")};
    return items;
}

const QStringList& DataTypeItems() {
    static const QStringList items{QStringLiteral("I - Signed integer (16-bit/ 1 register)"),
                                   QStringLiteral("U - Unsigned integer (16-bit/1 register)"),
                                   QStringLiteral("L - Signed Long (32-bit/2 registers)"),
                                   QStringLiteral("F - Floating point (32-bit/2 registers)")};
    return items;
}

QString ModbusStatusText(quint8 status) {
    switch (status) {
    case 0:
        return QStringLiteral("OK");
    case 240:
        return QStringLiteral("?");
    case 250:
    case 253:
        return QStringLiteral("SIZE");
    case 251:
        return QStringLiteral("WSLV");
    case 252:
        return QStringLiteral("COM");
    case 254:
        return QStringLiteral("CRC");
    case 255:
        return QStringLiteral("NRSP");
    default:
        return QStringLiteral("E %1").arg(status, 2, 16, QLatin1Char('0')).toUpper();
    }
}

quint32 ModbusStatusColour(quint8 status) {
    constexpr quint32 green = 0x00C000, yellow = 0xFFFF00, orange = 0xFF8000, red = 0xFF0000,
                      lightGrey = 0xF0F0F0;
    if (status == 0)
        return green;
    if (status <= 11)
        return yellow;
    if (status == 240)
        return lightGrey;
    if (status >= 252)
        return red;
    return orange;
}

QString CheckTransducerID(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E || u == u',' || u == u'*' || u == u'$' || u == u'!' || u == u'\\')
            return QStringLiteral("'%1' is not a valid transducer ID: it takes printable "
                                  "characters other than , * $ ! and \\")
                .arg(text);
    }
    if (text.size() > XdrIDLength)
        return QStringLiteral("'%1' is not a valid transducer ID: it takes at most %2 characters")
            .arg(text)
            .arg(XdrIDLength);
    return {};
}

TModbusModel::TModbusModel(TMuxConfig& aConfig, QObject* parent)
    : TGridModel(aConfig, parent) {
    columns = ModbusColumns;
}

int TModbusModel::RecordCount() const {
    return int(config.ModbusMaps.size());
}

void TModbusModel::RemoveRecord(int row) {
    config.ModbusMaps.removeAt(row);
}

bool TModbusModel::ReverseShown(int row) const {
    if (row < 0 || row >= RecordCount())
        return false;
    const char type = config.ModbusMaps.at(row).DataType;
    return type == 'L' || type == 'F';
}

QVariant TModbusModel::data(const QModelIndex& index, int role) const {
    if (!ValidCell(index))
        return {};
    const TModbus& entry = config.ModbusMaps.at(index.row());
    const int column = index.column();
    if (role == Qt::CheckStateRole) {
        if (column != mcReverse || !ReverseShown(index.row()))
            return {};
        return entry.Reverse ? Qt::Checked : Qt::Unchecked;
    }
    if (role == grStatusColour && column == mcStatus)
        return ModbusStatusColour(entry.Status);
    if (role == Qt::TextAlignmentRole && (column == mcRegType || column == mcDataType))
        return int(Qt::AlignHCenter | Qt::AlignTop);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (column) {
    case mcSlave:
        return QString::number(entry.Slave);
    case mcRegister:
        return QString::number(entry.Register);
    case mcRegType:
        return CharText(entry.RegType);
    case mcDataType:
        return CharText(entry.DataType);
    case mcParamP:
        return QString::number(entry.ParamP);
    case mcXdrType:
        return CharText(entry.XdrType);
    case mcXdrID:
        return entry.XdrID;
    case mcXdrUnit:
        return CharText(entry.XdrUnit);
    case mcStatus:
        return role == Qt::DisplayRole ? QVariant(ModbusStatusText(entry.Status)) : QVariant();
    default:
        return {};
    }
}

bool TModbusModel::Editable(int column) const {
    switch (column) {
    case mcSlave:
    case mcRegister:
    case mcRegType:
    case mcDataType:
    case mcParamP:
    case mcXdrType:
    case mcXdrID:
    case mcXdrUnit:
        return true;
    default:
        return false;
    }
}

bool TModbusModel::Click(const QModelIndex& index) {
    if (!ValidCell(index) || index.column() != mcReverse || !ReverseShown(index.row()))
        return false;
    TModbus& entry = config.ModbusMaps[index.row()];
    entry.Reverse = entry.Reverse == 0 ? 1 : 0;
    RowChanged(index.row());
    return true;
}

bool TModbusModel::DeleteKey(const QModelIndex& index) {
    if (!ValidCell(index))
        return false;
    TModbus& entry = config.ModbusMaps[index.row()];
    switch (index.column()) {
    case mcXdrType:
        entry.XdrType = 0;
        break;
    case mcXdrID:
        entry.XdrID.clear();
        break;
    case mcXdrUnit:
        entry.XdrUnit = 0;
        break;
    default:
        return false;
    }
    RowChanged(index.row());
    return true;
}

bool TModbusModel::Add() {
    return config.AddModbus(0, 0, 'H', 'I', 0, 0, 0, 0, QString(), ModbusStatusUnknown) == 0;
}

int TModbusModel::ListEntry(int row, int column) const {
    if (row < 0 || row >= RecordCount() || (column != mcRegType && column != mcDataType))
        return -1;
    const TModbus& entry = config.ModbusMaps.at(row);
    const char letter = column == mcRegType ? entry.RegType : entry.DataType;
    if (letter == 0)
        return -1;
    const char* letters = LettersOf(column);
    const char* found = std::strchr(letters, letter);
    return found ? int(found - letters) : -1;
}

void TModbusModel::ChooseListEntry(int row, int column, int entry) {
    if (row < 0 || row >= RecordCount() || (column != mcRegType && column != mcDataType))
        return;
    const char* letters = LettersOf(column);
    if (entry < 0 || entry >= int(std::strlen(letters)))
        return;
    TModbus& record = config.ModbusMaps[row];
    (column == mcRegType ? record.RegType : record.DataType) = letters[entry];
    RowChanged(row);
}

QString TModbusModel::StoreText(int row, int column, const QString& text) {
    TModbus& entry = config.ModbusMaps[row];
    quint64 value = 0;
    QString refusal;
    switch (column) {
    case mcSlave:
        refusal = ParseField(text, 255, "slave address", value);
        if (refusal.isEmpty())
            entry.Slave = quint8(value);
        return refusal;
    case mcRegister:
        refusal = ParseField(text, 65535, "register", value);
        if (refusal.isEmpty())
            entry.Register = quint16(value);
        return refusal;
    case mcParamP:
        refusal = ParseField(text, 9, "P value", value);
        if (refusal.isEmpty())
            entry.ParamP = quint8(value);
        return refusal;
    case mcRegType:
    case mcDataType: {
        // The lists' letters, as a text (the lists themselves use ChooseListEntry).
        const char* letters = LettersOf(column);
        if (text.size() != 1 || !std::strchr(letters, text.at(0).toLatin1()) ||
            text.at(0).toLatin1() == 0)
            return QStringLiteral("'%1' is not one of %2").arg(text, QLatin1StringView(letters));
        (column == mcRegType ? entry.RegType : entry.DataType) = text.at(0).toLatin1();
        return {};
    }
    case mcXdrType:
    case mcXdrUnit: {
        char letter = 0;
        refusal = ParseLetter(text, column == mcXdrType, letter);
        if (refusal.isEmpty())
            (column == mcXdrType ? entry.XdrType : entry.XdrUnit) = letter;
        return refusal;
    }
    case mcXdrID:
        refusal = CheckTransducerID(text);
        if (refusal.isEmpty())
            entry.XdrID = text;
        return refusal;
    default:
        return {};
    }
}
