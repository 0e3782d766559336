#include "config/ConfigControls.h"

#include <QHash>

namespace {

constexpr std::array<THandlerDesc, 17> Handlers{{
    // handler, name, sentence, guarded, whole sentence, refresh after
    {chSpeed, "cbBaudIOChange", nkSP, false, true, false},
    {chPriority, "cbPriorityChange", nkPR, true, true, true},
    {chTimeOut, "cbPrioTimeoutChange", nkCF, true, true, false},
    {chOption, "chbOptionClick", nkOP, true, false, true},
    {chTrueWind, "cbTrueWindSourceChange", nkOP, true, false, false},
    {chConversion, "chbConversionClick", nkCNV, true, false, true},
    {chGeneration, "chbGenerationClick", nkNO, true, false, false},
    {chAttitude, "cbAttitudeChange", nkNO, true, false, false},
    {chDepth, "cbDepthChange", nkNO, true, false, false},
    {chTrueHeading, "cbTrueHeadingChange", nkNO, true, false, false},
    {chDefaultRoute, "DefaultRouteChange", nkDR, true, true, true},
    {chInputMode, "cbInputModeChange", nkIN, false, true, true},
    {chDeviceType, "cbDeviceTypeChange", nkNF, false, true, true},
    {chTalkerID, "edtTalkerIDKeyPress", nkID, false, true, false},
    {chUniqueID, "edtUniqueIDKeyPress", nkUI, false, true, false},
    {chSourceAddress, "edtSrcAddrKeyPress", nkNA, false, true, false},
    {chDeviceInstance, "edtDevInstKeyPress", nkND, false, true, false},
}};

// The box or page a control of a bit table sits in, by the group the table names.
QString ContainerOf(const TOptionBit& bit) {
    static const QHash<QString, QString> containers{
        {QStringLiteral("General Options"), QStringLiteral("gbGeneralOptions")},
        {QStringLiteral("Output Settings"), QStringLiteral("gbOutputSettings")},
        {QStringLiteral("Priority Control"), QStringLiteral("gbPriority")},
        {QStringLiteral("Modbus"), QStringLiteral("tsModbus")},
        {QStringLiteral("Conversions"), QStringLiteral("gbConversions")},
        {QStringLiteral("Generate $MXPGN"), QStringLiteral("gbMxpgn")},
    };
    if (bit.Word == owConversions)
        return QStringLiteral("gbConversions");
    return containers.value(QString::fromLatin1(bit.Group), QStringLiteral("gbGeneration"));
}

TConfigPageId PageOf(const QString& container) {
    if (container == u"gbGeneralOptions" || container == u"gbGeneration")
        return cpOptions;
    if (container == u"gbConversions")
        return cpConversions;
    if (container == u"tsModbus")
        return cpModbus;
    if (container == u"gbMxpgn")
        return cpNmea2000;
    return cpInputsOutputs;
}

TChangeHandler HandlerOfBit(const TOptionBit& bit) {
    switch (bit.Word) {
    case owOptions:
        return bit.Bit == OptTrueWindFromSOG ? chTrueWind : chOption;
    case owConversions:
        return chConversion;
    case owN2KOptions:
        break;
    }
    switch (bit.Bit) {
    case 10:
        return chDepth;
    case 12:
        return chAttitude;
    case 16:
        return chTrueHeading;
    default:
        return chGeneration;
    }
}

TModelField FieldOfWord(TOptionWord word) {
    switch (word) {
    case owOptions:
        return mfOptions;
    case owConversions:
        return mfConversions;
    case owN2KOptions:
        break;
    }
    return mfN2KOptions;
}

QList<TControlDesc> BuildControls() {
    QList<TControlDesc> list;
    const auto number = [](const char* prefix, int n) {
        return QString::fromLatin1(prefix) + QString::number(n);
    };
    const auto inputLabel = [](int n) { return QStringLiteral("In %1:").arg(n); };
    const QString inputs = QStringLiteral("gbInputSettings");
    const QString outputs = QStringLiteral("gbOutputSettings");
    const QString devices = QStringLiteral("gbDeviceSettings");

    // "NMEA Inputs/Outputs": one row per input, then the conversions and NMEA 2000 rows.
    for (int i = 0; i < InputCount; ++i) {
        const int n = i + 1;
        list.append({number("cbBaudIn", n), ctList, cpInputsOutputs, inputs, inputLabel(n), chSpeed,
                     mfBaudIn, i, -1, SpeedCodes});
        list.append({number("edtTalkerID", n), ctEdit, cpInputsOutputs, inputs, inputLabel(n),
                     chTalkerID, mfTalkerID, i});
        list.append({number("cbPrioIn", n), ctList, cpInputsOutputs, inputs, inputLabel(n),
                     chPriority, mfPrioIn, i, -1, InputPriorityCodes});
        // SeaTalk is read on input 1 only.
        const TCodeList modes = i == 0 ? TCodeList(InputModeCodes)
                                       : TCodeList(InputModeCodes).first(InputModeCountOthers);
        list.append({number("cbModeIn", n), ctList, cpInputsOutputs, inputs, inputLabel(n),
                     chInputMode, mfModeIn, i, -1, modes});
    }
    list.append({QStringLiteral("edtTalkerIDConv"), ctEdit, cpInputsOutputs, inputs,
                 QStringLiteral("NMEA Conversions:"), chTalkerID, mfTalkerID, TalkerConv});
    list.append({QStringLiteral("cbPrioN2K"), ctList, cpInputsOutputs, inputs,
                 QStringLiteral("NMEA 2000:"), chPriority, mfPrioN2K, 0, -1, N2KPriorityCodes});

    // Outputs: speeds (output 3 runs at input 3's speed), host data, default routes.
    const std::array<TModelField, OutputCount> outSpeeds{mfBaudOut1, mfBaudOut2, mfBaudIn,
                                                         mfBaudOut4};
    for (int j = 0; j < OutputCount; ++j) {
        const int n = j + 1;
        list.append({number("cbBaudOut", n), ctList, cpInputsOutputs, outputs,
                     QStringLiteral("Out %1").arg(n), chSpeed, outSpeeds[j], j == 2 ? 2 : 0, -1,
                     SpeedCodes, j == 2});
        list.append({number("cbHostData", n), ctList, cpInputsOutputs, outputs,
                     QStringLiteral("Out %1").arg(n), chDefaultRoute, mfModeOut, j, -1,
                     HostDataModeCodes});
    }
    for (const TRouteRow& row : DefaultRouteRows) {
        const QString source = row.Bit < InputCount ? number("In", row.Bit + 1)
                               : row.Bit == 8       ? QStringLiteral("Conv")
                                                    : QStringLiteral("N2K");
        for (int j = 0; j < OutputCount; ++j)
            list.append({QStringLiteral("chbRoute%1Out%2").arg(source).arg(j + 1), ctCheck,
                         cpInputsOutputs, outputs, QString::fromLatin1(row.Text), chDefaultRoute,
                         mfRouteOut, j, row.Bit});
    }
    list.append({QStringLiteral("cbPrioTimeout"), ctList, cpInputsOutputs,
                 QStringLiteral("gbPriority"), QStringLiteral("Time out:"), chTimeOut,
                 mfPrioTimeout, 0, -1, PrioTimeoutCodes});

    // The option, conversion and generation bits, wherever they are shown. "No Match:" belongs
    // to the routing page and its table.
    for (const std::span<const TOptionBit> table :
         {std::span<const TOptionBit>(OptionBits), std::span<const TOptionBit>(ConversionBits),
          std::span<const TOptionBit>(N2KOptionBits)}) {
        for (const TOptionBit& bit : table) {
            if (bit.Word == owOptions && bit.Bit == OptNoMatchBlock)
                continue;
            const QString container = ContainerOf(bit);
            list.append({QString::fromLatin1(bit.Name), bit.Choices.empty() ? ctCheck : ctList,
                         PageOf(container), container, QString::fromLatin1(bit.Text),
                         HandlerOfBit(bit), FieldOfWord(bit.Word), 0, bit.Bit, bit.Choices});
        }
    }
    list.append({QStringLiteral("edtUniqueID"), ctEdit, cpOptions,
                 QStringLiteral("gbGeneralOptions"), QStringLiteral("Unique ID:"), chUniqueID,
                 mfUniqueID});

    // "NMEA 2000": the multiplexer's virtual devices, Host ("Main:"), In1 to In8, Conv.
    for (int d = 0; d < DeviceCount; ++d) {
        const QString suffix = d == DeviceHost   ? QStringLiteral("Main")
                               : d == DeviceConv ? QStringLiteral("Conv")
                                                 : number("In", d);
        const QString label = d == DeviceHost   ? QStringLiteral("Main:")
                              : d == DeviceConv ? QStringLiteral("Conv:")
                                                : inputLabel(d);
        list.append({QStringLiteral("cbDevFunc") + suffix, ctList, cpNmea2000, devices, label,
                     chDeviceType, mfDevFunc, d, -1, DeviceFunctions});
        list.append({QStringLiteral("edtSrcAddr") + suffix, ctEdit, cpNmea2000, devices, label,
                     chSourceAddress, mfSrcAddr, d});
        list.append({QStringLiteral("edtDevInst") + suffix, ctEdit, cpNmea2000, devices, label,
                     chDeviceInstance, mfDevInst, d});
    }
    return list;
}

// The value a control stands for, as a pointer into the model (const for a const model).
template <class S>
auto IntField(S& s, const TControlDesc& c) -> decltype(&s.BaudOut1) {
    switch (c.Field) {
    case mfBaudIn:
        return &s.BaudIn[c.Index];
    case mfBaudOut1:
        return &s.BaudOut1;
    case mfBaudOut2:
        return &s.BaudOut2;
    case mfBaudOut4:
        return &s.BaudOut4;
    case mfPrioTimeout:
        return &s.PrioTimeout;
    case mfModeIn:
        return &s.ModeIn[c.Index];
    case mfModeOut:
        return &s.ModeOut[c.Index];
    case mfPrioIn:
        return &s.PrioIn[c.Index];
    case mfPrioN2K:
        return &s.PrioN2K;
    case mfDevFunc:
        return &s.DevFunc[c.Index];
    case mfSrcAddr:
        return &s.SrcAddr[c.Index];
    case mfDevInst:
        return &s.DevInst[c.Index];
    default:
        return nullptr;
    }
}

template <class S>
auto MaskField(S& s, const TControlDesc& c) -> decltype(&s.Options) {
    switch (c.Field) {
    case mfRouteOut:
        return &s.RouteOut[c.Index];
    case mfOptions:
        return &s.Options;
    case mfConversions:
        return &s.Conversions;
    case mfN2KOptions:
        return &s.N2KOptions;
    default:
        return nullptr;
    }
}

template <class S>
auto TextField(S& s, const TControlDesc& c) -> decltype(&s.UniqueID) {
    switch (c.Field) {
    case mfTalkerID:
        return &s.TalkerID[c.Index];
    case mfUniqueID:
        return &s.UniqueID;
    default:
        return nullptr;
    }
}

} // namespace

const THandlerDesc& HandlerOf(TChangeHandler handler) {
    return Handlers[handler];
}

const QList<TControlDesc>& ConfigControls() {
    static const QList<TControlDesc> controls = BuildControls();
    return controls;
}

int FindControl(QStringView name) {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> map;
        const QList<TControlDesc>& controls = ConfigControls();
        for (qsizetype i = 0; i < controls.size(); ++i)
            map.insert(controls[i].Name, int(i));
        return map;
    }();
    return index.value(name.toString(), -1);
}

int ControlCode(const TMuxSettings& settings, const TControlDesc& control) {
    if (const quint32* mask = MaskField(settings, control))
        return TestBit(*mask, control.Bit) ? 1 : 0;
    if (const qint32* value = IntField(settings, control))
        return *value;
    return 0;
}

void SetControlCode(TMuxSettings& settings, const TControlDesc& control, int code) {
    if (quint32* mask = MaskField(settings, control))
        SetBit(*mask, control.Bit, code != 0);
    else if (qint32* value = IntField(settings, control))
        *value = code;
}

QString ControlText(const TMuxSettings& settings, const TControlDesc& control) {
    if (const QString* text = TextField(settings, control))
        return *text;
    const qint32 value = ControlCode(settings, control);
    if (control.Field == mfSrcAddr && value == NoSourceAddress)
        return NoAddressText;
    return QString::number(value);
}

void SetControlText(TMuxSettings& settings, const TControlDesc& control, const QString& text) {
    if (QString* field = TextField(settings, control))
        *field = text;
}

bool In1ReadsSeaTalk(const TMuxSettings& settings) {
    return settings.ModeIn[0] == ModeSeaTalk || settings.ModeIn[0] == ModeSeaTalkSTNG;
}

bool ModbusOn(const TMuxSettings& settings) {
    return TestBit(settings.Options, OptModbus);
}
