// The configuration file: the model as an INI document.
#include "config/ConfigSentences.h"
#include "config/IniFile.h"
#include "config/MuxConfig.h"
#include "nmea/Numbers.h"

#include <QFileInfo>
#include <QVarLengthArray>

#include <charconv>

namespace {

const QString InformationSection = QStringLiteral("Information");
const QString ConfigurationSection = QStringLiteral("Configuration");
const QString RoutingSection = QStringLiteral("Routing");
const QString ModbusSection = QStringLiteral("ModBus");

enum TKeyForm : quint8 {
    kfInteger, // signed decimal; read also as hexadecimal after "0x", "0X" or "$"
    kfHex4,    // upper-case hexadecimal, at least 4 digits; the route masks, read as a group
    kfHex8,    // 8 digits; the three option words, read as a group
    kfText,    // cut to Length characters when read
};

// One key of the "Configuration" section bound to its model field; Form says which pointer is
// set. Reading and writing both walk this one list.
struct TKeyRef {
    QString Key;
    TKeyForm Form;
    qint32* Int = nullptr;
    quint32* Mask = nullptr;
    QString* Text = nullptr;
    qint32 Default = 0; // integers only
    int Length = 0;     // texts only
};

// The numbered key names, made once: the file is read and written key by key.
struct TKeyNames {
    QStringList BaudIn, TalkerID, RouteOut, ModeIn, ModeOut, PrioIn, DevFuncIn, DevInstIn;
};

const TKeyNames& KeyNames() {
    static const TKeyNames names = [] {
        const auto numbered = [](const char* prefix, int count) {
            QStringList keys;
            for (int n = 1; n <= count; ++n)
                keys.append(QString::fromLatin1(prefix) + QString::number(n));
            return keys;
        };
        TKeyNames k;
        k.BaudIn = numbered("Baud In", InputCount);
        k.BaudIn[2] = QStringLiteral("Baud In3/Out3");
        k.TalkerID = numbered("Talker ID", InputCount);
        k.RouteOut = numbered("Route Inputs to Out", OutputCount);
        k.ModeIn = numbered("Mode In", InputCount);
        k.ModeOut = numbered("Mode Out", OutputCount);
        k.PrioIn = numbered("Priority In", InputCount);
        k.DevFuncIn = numbered("Device Function In", InputCount);
        k.DevInstIn = numbered("Device Instance In", InputCount);
        return k;
    }();
    return names;
}

// Calls visit with each key in file order. The keys are handed over one by one rather than as a
// list: the file is read and written key by key, and the list cost as much as the rest.
template <typename TVisit>
void ForEachConfigurationKey(TMuxSettings& s, TVisit&& visit) {
    const auto integer = [&visit](const QString& key, qint32& v, qint32 def) {
        visit(TKeyRef{key, kfInteger, &v, nullptr, nullptr, def});
    };
    const auto text = [&visit](const QString& key, QString& v, int length) {
        visit(TKeyRef{key, kfText, nullptr, nullptr, &v, 0, length});
    };
    const auto hex = [&visit](const QString& key, TKeyForm form, quint32& v) {
        visit(TKeyRef{key, form, nullptr, &v});
    };
    const TKeyNames& names = KeyNames();

    for (int i = 0; i < InputCount; ++i)
        integer(names.BaudIn[i], s.BaudIn[i], 0);
    integer(QStringLiteral("Baud Out1"), s.BaudOut1, 3);
    integer(QStringLiteral("Baud Out2"), s.BaudOut2, 3);
    integer(QStringLiteral("Baud Out4"), s.BaudOut4, 3);
    integer(QStringLiteral("Priority Timeout"), s.PrioTimeout, 0);
    for (int i = 0; i < InputCount; ++i)
        text(names.TalkerID[i], s.TalkerID[i], TalkerIDLength);
    text(QStringLiteral("Talker ID Conversions"), s.TalkerID[TalkerConv], TalkerIDLength);
    text(QStringLiteral("Unique ID"), s.UniqueID, UniqueIDLength);
    for (int i = 0; i < OutputCount; ++i)
        hex(names.RouteOut[i], kfHex4, s.RouteOut[i]);
    for (int i = 0; i < InputCount; ++i)
        integer(names.ModeIn[i], s.ModeIn[i], 0);
    for (int i = 0; i < OutputCount; ++i)
        integer(names.ModeOut[i], s.ModeOut[i], 0);
    for (int i = 0; i < InputCount; ++i)
        integer(names.PrioIn[i], s.PrioIn[i], 1);
    integer(QStringLiteral("Priority NMEA 2000"), s.PrioN2K, 1);
    hex(QStringLiteral("Options"), kfHex8, s.Options);
    hex(QStringLiteral("Conversions"), kfHex8, s.Conversions);
    hex(QStringLiteral("NMEA 2000 Options"), kfHex8, s.N2KOptions);
    integer(QStringLiteral("Device Function Host"), s.DevFunc[DeviceHost], 0);
    for (int i = 0; i < InputCount; ++i)
        integer(names.DevFuncIn[i], s.DevFunc[i + 1], 1);
    integer(QStringLiteral("Device Function Conv"), s.DevFunc[DeviceConv], 1);
    integer(QStringLiteral("Device Instance Host"), s.DevInst[DeviceHost], 0);
    for (int i = 0; i < InputCount; ++i)
        integer(names.DevInstIn[i], s.DevInst[i + 1], 0);
    integer(QStringLiteral("Device Instance Conv"), s.DevInst[DeviceConv], 0);
}

// A text cut to its field's length can end in blanks, which the file cannot keep: an entry's
// value is read without the blanks around it. Dropped on reading, so that a saved model loads
// back as it was.
QStringView WithoutTrailingBlanks(QStringView text) {
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

std::optional<qint32> ReadInteger(QStringView value) {
    QStringView digits = value;
    if (digits.startsWith(u"0x", Qt::CaseInsensitive))
        digits = digits.mid(2);
    else if (digits.startsWith(u'$'))
        digits = digits.mid(1);
    else
        return ParseInt32(value);
    // A 32-bit hexadecimal value is taken as the bit pattern of the signed number.
    if (const std::optional<quint32> hex = ParseHex32(digits))
        return qint32(*hex);
    return std::nullopt;
}

// Blanks are part of items: only commas separate them.
std::optional<TRoute> RouteFromEntry(QStringView value) {
    const QList<QStringView> items = value.split(u',');
    if (items.size() < 5)
        return std::nullopt;
    const std::optional<quint64> inputs = ParseHex(items[1]);
    const std::optional<qint64> divisor = ParseSigned(items[2]);
    const std::optional<quint64> outputs = ParseHex(items[3]);
    const std::optional<quint64> name = ParseHex(items[4]);
    if (!inputs || !divisor || !outputs || !name)
        return std::nullopt;
    // Numbers are kept in the width of their fields.
    return TRoute{items[0].left(RouteSentenceLength).toString(),
                  quint16(*inputs),
                  quint8(*divisor),
                  quint16(*outputs),
                  *name,
                  NoSourceAddress};
}

std::optional<TModbus> ModbusFromEntry(QStringView value) {
    const QList<QStringView> items = value.split(u',');
    if (items.size() < 9)
        return std::nullopt;
    const std::optional<qint64> slave = ParseSigned(items[0]);
    const std::optional<qint64> reg = ParseSigned(items[1]);
    const std::optional<qint64> reverse = ParseSigned(items[4]);
    const std::optional<qint64> paramP = ParseSigned(items[5]);
    if (!slave || !reg || !reverse || !paramP)
        return std::nullopt;
    return TModbus{quint8(*slave),
                   quint16(*reg),
                   FirstChar(items[2]),
                   FirstChar(items[3]),
                   quint8(*reverse),
                   quint8(*paramP),
                   FirstChar(items[6]),
                   FirstChar(items[7]),
                   WithoutTrailingBlanks(items[8].left(XdrIDLength)).toString(),
                   ModbusStatusUnknown};
}

// A value as it is written, built on the stack: the file is written key by key, and a string
// made for every number and every piece of an entry cost more than the rest of the writing.
class TValueText {
public:
    TValueText& Add(QStringView text) {
        buffer.append(text.utf16(), text.size());
        return *this;
    }
    TValueText& Add(char16_t c) {
        buffer.append(c);
        return *this;
    }
    // A character field; none for 0.
    TValueText& Char(char c) {
        if (c != 0)
            buffer.append(QChar::fromLatin1(c).unicode());
        return *this;
    }
    // Decimal, or upper-case hexadecimal, with leading zeros up to minDigits.
    TValueText& Unsigned(quint64 value, int base = 10, int minDigits = 1) {
        char digits[24];
        const qsizetype length =
            std::to_chars(digits, digits + sizeof digits, value, base).ptr - digits;
        for (qsizetype i = length; i < minDigits; ++i)
            buffer.append(u'0');
        for (qsizetype i = 0; i < length; ++i)
            buffer.append(char16_t(QChar::toUpper(char32_t(digits[i]))));
        return *this;
    }
    TValueText& Signed(qint64 value) {
        if (value < 0)
            Add(u'-');
        return Unsigned(value < 0 ? 0 - quint64(value) : quint64(value));
    }
    QStringView View() const { return {buffer.constData(), buffer.size()}; }

private:
    QVarLengthArray<char16_t, 96> buffer;
};

TValueText RouteEntry(const TRoute& route) {
    TValueText text;
    text.Add(route.Sentence).Add(u',').Unsigned(route.Inputs, 16, 4).Add(u',');
    text.Unsigned(route.Divisor, 10, 2).Add(u',').Unsigned(route.Outputs, 16, 2).Add(u',');
    text.Unsigned(route.SourceName, 16, 16);
    return text;
}

TValueText ModbusEntry(const TModbus& entry) {
    TValueText text;
    text.Unsigned(entry.Slave).Add(u',').Unsigned(entry.Register).Add(u',');
    text.Char(entry.RegType).Add(u',').Char(entry.DataType).Add(u',');
    text.Unsigned(entry.Reverse).Add(u',').Unsigned(entry.ParamP).Add(u',');
    text.Char(entry.XdrType).Add(u',').Char(entry.XdrUnit).Add(u',').Add(entry.XdrID);
    return text;
}

} // namespace

void TMuxConfig::LoadFromFile(const QString& fileName) {
    LoadFromIni(TIniFile::ReadFile(fileName));
}

void TMuxConfig::LoadFromIni(const TIniFile& ini) {
    ClearRoutes();
    ClearModbus();

    // A hexadecimal value that does not convert ends its group: the keys from there on keep
    // what the model held before.
    bool hex4Stopped = false;
    bool hex8Stopped = false;
    ForEachConfigurationKey(*this, [&](const TKeyRef& key) {
        const std::optional<QStringView> value = ini.ValueView(ConfigurationSection, key.Key);
        switch (key.Form) {
        case kfInteger: {
            const std::optional<qint32> number = value ? ReadInteger(*value) : std::nullopt;
            *key.Int = number.value_or(key.Default);
            break;
        }
        case kfHex4:
        case kfHex8: {
            bool& stopped = key.Form == kfHex4 ? hex4Stopped : hex8Stopped;
            if (stopped)
                break;
            const std::optional<quint32> number =
                value ? ParseHex32(*value) : std::optional<quint32>(0);
            if (number)
                *key.Mask = *number;
            else
                stopped = true;
            break;
        }
        case kfText:
            *key.Text =
                value ? WithoutTrailingBlanks(value->left(key.Length)).toString() : QString();
            break;
        }
    });

    const QList<TIniFile::TEntryView> routes = ini.EntryViews(RoutingSection);
    for (const TIniFile::TEntryView& entry : routes) {
        if (std::optional<TRoute> route = RouteFromEntry(entry.second))
            Routes.append(std::move(*route));
    }
    if (!routes.isEmpty())
        RoutesChanged();

    const QList<TIniFile::TEntryView> maps = ini.EntryViews(ModbusSection);
    for (const TIniFile::TEntryView& entry : maps) {
        if (std::optional<TModbus> map = ModbusFromEntry(entry.second))
            ModbusMaps.append(std::move(*map));
    }
    if (!maps.isEmpty())
        ModbusChanged();
}

void TMuxConfig::SaveToFile(const QString& fileName, const QString& toolText,
                            const QString& deviceName, const QString& firmwareVersion,
                            const QString& serialNumber) const {
    if (fileName.isEmpty())
        return;
    // Other sections of an existing file are kept, so one that cannot be read is not
    // overwritten either.
    TIniFile ini;
    if (QFileInfo::exists(fileName)) {
        bool readable = false;
        ini = TIniFile::ReadFile(fileName, &readable);
        if (!readable)
            throw EInOutError(UnableToWriteMessage(fileName));
    }
    SaveToIni(ini, toolText, deviceName, firmwareVersion, serialNumber);
    ini.WriteFile(fileName);
}

void TMuxConfig::SaveToIni(TIniFile& ini, const QString& toolText, const QString& deviceName,
                           const QString& firmwareVersion, const QString& serialNumber) const {
    for (const QString& section :
         {InformationSection, ConfigurationSection, RoutingSection, ModbusSection})
        ini.RemoveSection(section);

    ini.SetValue(InformationSection, QStringLiteral("Tidewright"), toolText);
    ini.SetValue(InformationSection, QStringLiteral("Device"), deviceName);
    ini.SetValue(InformationSection, QStringLiteral("Firmware Version"), firmwareVersion);
    ini.SetValue(InformationSection, QStringLiteral("Serial Number"), serialNumber);

    ini.SetValue(ConfigurationSection, QStringLiteral("Config Version"), QStringLiteral("1"));
    // The keys bind to a model they may change; writing works on a copy.
    TMuxSettings copy = *this;
    ForEachConfigurationKey(copy, [&](const TKeyRef& key) {
        TValueText value;
        switch (key.Form) {
        case kfInteger:
            value.Signed(*key.Int);
            break;
        case kfHex4:
            value.Unsigned(*key.Mask, 16, 4);
            break;
        case kfHex8:
            value.Unsigned(*key.Mask, 16, 8);
            break;
        case kfText:
            value.Add(*key.Text);
            break;
        }
        ini.SetValue(ConfigurationSection, key.Key, value.View());
    });

    for (qsizetype i = 0; i < Routes.size(); ++i) {
        ini.SetValue(RoutingSection, TValueText().Add(u'R').Unsigned(quint64(i) + 1, 10, 2).View(),
                     RouteEntry(Routes.at(i)).View());
    }
    for (qsizetype i = 0; i < ModbusMaps.size(); ++i) {
        ini.SetValue(ModbusSection, TValueText().Add(u'R').Unsigned(quint64(i) + 1).View(),
                     ModbusEntry(ModbusMaps.at(i)).View());
    }
}
