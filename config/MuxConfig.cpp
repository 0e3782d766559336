#include "config/MuxConfig.h"

#include "Version.h"

quint16 CaptureInputBits(TSourceKind kind, quint8 port) {
    if (kind == skN2K)
        return RouteFromN2K;
    if (kind == skPort && port >= 1 && port <= 16)
        return quint16(1u << (port - 1));
    return 0;
}

TMuxConfig::~TMuxConfig() {
    // The receivers may already be gone when the owner tears the model down.
    OnRoutesChange = nullptr;
    OnModbusChange = nullptr;
    Routes.clear();
    ModbusMaps.clear();
}

void TMuxConfig::RoutesChanged() const {
    if (OnRoutesChange)
        OnRoutesChange();
}

void TMuxConfig::ModbusChanged() const {
    if (OnModbusChange)
        OnModbusChange();
}

void TMuxConfig::ClearRoutes() {
    Routes.clear();
    RoutesChanged();
}

void TMuxConfig::ClearModbus() {
    ModbusMaps.clear();
    ModbusChanged();
}

int TMuxConfig::AddRoute(QStringView sentence, quint16 inputs, quint8 divisor, quint16 outputs,
                         quint64 sourceName, quint8 sourceAddr) {
    if (Routes.size() >= MaxRoutes)
        return -1;
    Routes.append(TRoute{sentence.left(RouteSentenceLength).toString(), inputs, divisor, outputs,
                         sourceName, sourceAddr});
    RoutesChanged();
    return 0;
}

int TMuxConfig::FindRoute(QStringView sentence, quint8 sourceAddr) const {
    const QStringView name = sentence.left(RouteSentenceLength);
    for (qsizetype i = 0; i < Routes.size(); ++i) {
        const TRoute& route = Routes.at(i);
        if (route.SourceAddr == sourceAddr && route.Sentence == name)
            return int(i);
    }
    return -1;
}

int TMuxConfig::CaptureRoute(QStringView sentence, quint16 inputBits, quint8 sourceAddr,
                             const TNameLookup& nameLookup) {
    if (Routes.size() >= MaxRoutes)
        return -1;
    const int found = FindRoute(sentence, sourceAddr);
    if (found >= 0) {
        Routes[found].Inputs |= inputBits;
        RoutesChanged();
        return 0;
    }
    // The NAME is looked up before the route is added, so that the one notification already
    // sees the complete record.
    quint64 name = 0;
    if (sourceAddr != NoSourceAddress && nameLookup)
        name = nameLookup(sourceAddr);
    return AddRoute(sentence, inputBits, 0, RouteToHost, name, sourceAddr);
}

int TMuxConfig::CaptureSentence(const TSentence& sentence, const TNameLookup& nameLookup) {
    return CaptureRoute(sentence.Address,
                        CaptureInputBits(sentence.SourceKind, sentence.SourcePort),
                        sentence.SourceAddress, nameLookup);
}

int TMuxConfig::AddModbus(quint8 slave, quint16 reg, char regType, char dataType, quint8 reverse,
                          quint8 paramP, char xdrType, char xdrUnit, QStringView xdrID,
                          quint8 status) {
    if (ModbusMaps.size() >= MaxModbusMaps)
        return -2;
    ModbusMaps.append(TModbus{slave, reg, regType, dataType, reverse, paramP, xdrType, xdrUnit,
                              xdrID.left(XdrIDLength).toString(), status});
    ModbusChanged();
    return 0;
}

void TMuxConfig::ResetModbusStatus() {
    for (TModbus& entry : ModbusMaps)
        entry.Status = ModbusStatusUnknown;
    ModbusChanged();
}

QString ToolText() {
    return QStringLiteral("Corvanta-PX Configuration Tool V") +
           QString::asprintf("%d.%d.%d", TW_VERSION_MAJOR, TW_VERSION_MINOR, TW_VERSION_PATCH);
}
