#pragma once

#include "nmea/Nmea.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>

class TIniFile;

inline constexpr int InputCount = 8;  // In1 to In8
inline constexpr int OutputCount = 4; // Out1 to Out4
inline constexpr int TalkerCount = 9; // In1 to In8, then the conversions
inline constexpr int TalkerConv = 8;
inline constexpr int DeviceCount = 10; // virtual NMEA 2000 devices: Host, In1 to In8, Conv
inline constexpr int DeviceHost = 0;
inline constexpr int DeviceConv = 9;

inline constexpr int MaxRoutes = 50;
inline constexpr int MaxModbusMaps = 30;
inline constexpr int TalkerIDLength = 2;
inline constexpr int UniqueIDLength = 12;
inline constexpr int RouteSentenceLength = 5;
inline constexpr int XdrIDLength = 15;

inline constexpr quint8 NoSourceAddress = 255;     // a port or route without an NMEA 2000 address
inline constexpr quint8 ModbusStatusUnknown = 240; // not reported by the multiplexer yet
inline constexpr quint16 RouteToHost = 0x40;       // outputs of a captured route
inline constexpr quint16 RouteFromN2K = 0x8000;    // input bit of NMEA 2000 sources

// One rule of the multiplexer's routing table.
struct TRoute {
    QString Sentence;                    // address without start character, at most 5 characters
    quint16 Inputs = 0;                  // bits 0-7 In1-In8, 8 conversions, 9 host, 15 NMEA 2000
    quint8 Divisor = 0;                  // 0 = none
    quint16 Outputs = 0;                 // bits 0-3 Out1-Out4, 4 SeaTalk, 6 host
    quint64 SourceName = 0;              // ISO NAME of the chosen NMEA 2000 source, 0 = none
    quint8 SourceAddr = NoSourceAddress; // only merges captured sentences; never saved or sent

    bool operator==(const TRoute&) const = default;
};

// One register of a Modbus slave, reported by the multiplexer as an XDR measurement.
// Character fields hold 0 for "none".
struct TModbus {
    quint8 Slave = 0;
    quint16 Register = 0;
    char RegType = 0;  // 'H' holding, 'I' input
    char DataType = 0; // 'I', 'U', 'L', 'F'
    quint8 Reverse = 0;
    quint8 ParamP = 0;
    char XdrType = 0;
    char XdrUnit = 0;
    QString XdrID; // at most 15 characters
    quint8 Status = ModbusStatusUnknown;

    bool operator==(const TModbus&) const = default;
};

// The settings part of the model: everything the configuration sentences carry. Kept apart
// from the tables and notifications so that it can be copied and compared freely.
struct TMuxSettings {
    std::array<qint32, InputCount> BaudIn{}; // In3 is also the speed of Out3
    qint32 BaudOut1 = 0;
    qint32 BaudOut2 = 0;
    qint32 BaudOut4 = 0;
    qint32 PrioTimeout = 0;
    std::array<QString, TalkerCount> TalkerID;
    QString UniqueID;
    std::array<quint32, OutputCount> RouteOut{};
    std::array<qint32, InputCount> ModeIn{};
    std::array<qint32, OutputCount> ModeOut{};
    std::array<qint32, InputCount> PrioIn{};
    qint32 PrioN2K = 0;
    quint32 Options = 0;
    quint32 Conversions = 0;
    quint32 N2KOptions = 0;
    std::array<qint32, DeviceCount> DevFunc{};
    std::array<qint32, DeviceCount> SrcAddr{}; // 255 = the port holds no address
    std::array<qint32, DeviceCount> DevInst{};

    bool operator==(const TMuxSettings&) const = default;
};

// The NAME that the NMEA 2000 device list holds for a source address, 0 when none is known.
using TNameLookup = std::function<quint64(quint8 sourceAddress)>;

// Input bits of a captured sentence's source: NMEA 2000 devices give bit 15, inputs 1 to 16
// their own bit, anything else (no source, port 0) nothing.
quint16 CaptureInputBits(TSourceKind kind, quint8 port);

// The configuration of the connected multiplexer as the program knows it. It sends and shows
// nothing; handlers, controls and grids read and change it. There is one instance, so it is
// neither copied nor moved (the notifications point back into its owner).
class TMuxConfig : public TMuxSettings {
public:
    TMuxConfig() = default;
    ~TMuxConfig();
    TMuxConfig(const TMuxConfig&) = delete;
    TMuxConfig& operator=(const TMuxConfig&) = delete;

    // The tables. Grids change records in place and delete them directly, without notifying.
    QList<TRoute> Routes;
    QList<TModbus> ModbusMaps;

    // Called after every change of a table made through the operations below.
    std::function<void()> OnRoutesChange;
    std::function<void()> OnModbusChange;

    void ClearRoutes();
    void ClearModbus();

    // 0, or -1 when the table already holds MaxRoutes routes. The sentence is cut to 5
    // characters.
    int AddRoute(QStringView sentence, quint16 inputs, quint8 divisor, quint16 outputs,
                 quint64 sourceName, quint8 sourceAddr);
    // Index of the first route of that sentence (first 5 characters, case-sensitive) captured
    // from that source address, -1 when there is none.
    int FindRoute(QStringView sentence, quint8 sourceAddr) const;
    // Merges one observed sentence: the input bits join an existing route of the same sentence
    // and source address, or a new route to the host is added. 0, or -1 when the table is full.
    int CaptureRoute(QStringView sentence, quint16 inputBits, quint8 sourceAddr,
                     const TNameLookup& nameLookup = {});
    // The same with the arguments taken from a received sentence.
    int CaptureSentence(const TSentence& sentence, const TNameLookup& nameLookup = {});

    // 0, or -2 when the table already holds MaxModbusMaps entries. The ID is cut to 15
    // characters.
    int AddModbus(quint8 slave, quint16 reg, char regType, char dataType, quint8 reverse,
                  quint8 paramP, char xdrType, char xdrUnit, QStringView xdrID, quint8 status);
    void ResetModbusStatus();

    // Replaces settings and tables with the file's content. Never fails: a missing file or key
    // gives defaults, a malformed table entry is passed over.
    void LoadFromFile(const QString& fileName);
    // Writes the model, keeping the file's other sections. The file is replaced as a whole or
    // not at all; raises EInOutError "Unable to write to <file>" on failure. An empty file
    // name does nothing.
    void SaveToFile(const QString& fileName, const QString& toolText, const QString& deviceName,
                    const QString& firmwareVersion, const QString& serialNumber) const;

    // The same on an INI document already in memory.
    void LoadFromIni(const TIniFile& ini);
    void SaveToIni(TIniFile& ini, const QString& toolText, const QString& deviceName,
                   const QString& firmwareVersion, const QString& serialNumber) const;

private:
    void RoutesChanged() const;
    void ModbusChanged() const;
};

// "Corvanta-PX Configuration Tool V" and the program version: the tool text of saved files.
QString ToolText();
