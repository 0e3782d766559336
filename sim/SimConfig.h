#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The simulated multiplexer's configuration memory.
//
// Each configuration sentence is kept as the texts of its fields after field 1, exactly as the
// last accepted command gave them: a command "$PZRQSP,C,a,b,..." replaces the texts, and the
// report is "$PZRQSP,R,a,b,...". Only the source addresses are normalised: a number above 251
// is stored as "-" (no address). Every field is checked against the rule of its position
// before anything is stored: a command with the wrong number of fields or with one field out
// of form changes nothing, and the caller answers it with the unchanged report, so the program
// sees at once that its value did not take.
//
// The routing and Modbus tables are records. A rule or entry line that is out of form is not
// stored (and, by the caller, not answered); a line beyond a full table is dropped.

enum TSimFieldKind : quint8 {
    fkDecimal = 0, // unsigned decimal up to Max
    fkHex = 1,     // hexadecimal, any number of digits, value up to Max
    fkTalker = 2,  // empty, or two letters or digits
    fkIdent = 3,   // up to 12 letters or digits
    fkAddress = 4, // "-", or decimal up to 255 (above 251 means no address)
};

struct TSimFieldRule {
    TSimFieldKind Kind;
    quint32 Max;
};

// One routing/filter rule.
struct TSimRoute {
    QString sentence; // 0 to 5 characters
    quint16 inputs = 0;
    quint8 divisor = 0;
    quint8 outputs = 0;
    quint64 sourceName = 0;

    bool operator==(const TSimRoute&) const = default;
};

// One Modbus register reported as an XDR measurement. Character fields hold 0 when empty.
struct TSimModbus {
    quint8 slave = 0;
    quint16 reg = 0;
    char regType = 0;  // 'H' or 'I'
    char dataType = 0; // 'I', 'U', 'L' or 'F'
    bool reverse = false;
    quint8 paramP = 0;
    char xdrType = 0;
    char xdrUnit = 0;
    QString xdrID;

    bool operator==(const TSimModbus&) const = default;
};

// Modbus statuses as the multiplexer reports them.
inline constexpr quint8 ModbusOk = 0x00;
inline constexpr quint8 ModbusIllegalAddress = 0x02; // the slave's exception: no such register
inline constexpr quint8 ModbusNotPolled = 0xF0;      // Modbus is off
inline constexpr quint8 ModbusWrongSlave = 0xFB;     // not a slave address at all
inline constexpr quint8 ModbusNoResponse = 0xFF;     // nobody answers at that address

class TSimConfig {
public:
    static constexpr int MaxRoutes = 50;
    static constexpr int MaxModbus = 30;
    // Simulated Modbus slaves answer at these addresses, registers below 10000.
    static constexpr int FirstSlave = 1;
    static constexpr int LastSlave = 10;
    static constexpr int RegisterLimit = 10000;

    explicit TSimConfig(const QString& deviceID = QString());

    // Factory values of every sentence, empty tables.
    void FactoryReset();

    // The configuration sentence names ("CF", "SP", ...) in the order of a dump.
    static const QStringList& Names();
    static bool IsConfigSentence(const QString& name);

    // Field texts after field 1; empty for an unknown name.
    QStringList Fields(const QString& name) const;
    // Replaces the field texts when they are well-formed; false changes nothing.
    bool Apply(const QString& name, const QStringList& values);
    // "$PZRQ<name>,R,<fields>" without checksum.
    QByteArray Report(const QString& name) const;

    // Typed reads of what the simulator acts on.
    quint32 HexField(const QString& name, int index) const; // 0 when not a number
    std::optional<quint32> DecField(const QString& name, int index) const;
    QString UniqueID() const { return Fields(QStringLiteral("UI")).value(0); }
    quint32 Options() const { return HexField(QStringLiteral("OP"), 0); }
    bool TagBlocks() const { return Options() & (1u << 5); }
    bool ModbusOn() const { return Options() & (1u << 7); }

    // Own NMEA 2000 source addresses, Host, In1..In8, Conv; 255 for none.
    QList<quint8> SourceAddresses() const;
    void SetSourceAddresses(const QList<quint8>& addresses);

    const QList<TSimRoute>& Routes() const { return routes; }
    const QList<TSimModbus>& ModbusEntries() const { return modbus; }
    // Presets both tables, each cut to its capacity.
    void SetTables(const QList<TSimRoute>& routes, const QList<TSimModbus>& modbus);
    void ClearRoutes() { routes.clear(); }
    void ClearModbus() { modbus.clear(); }

    enum TStore : quint8 { stStored = 0, stFull = 1, stMalformed = 2 };
    // Values after field 1 of "$PZRQRTE,C,..." (five) and "$PZRQMB,C,..." (X and nine more).
    TStore StoreRoute(const QStringList& fields);
    TStore StoreModbus(const QStringList& fields);
    static std::optional<TSimRoute> ParseRoute(const QStringList& values);
    static std::optional<TSimModbus> ParseModbus(const QStringList& values);

    QByteArray RouteReport(const TSimRoute& route) const;
    QByteArray ModbusReport(const TSimModbus& entry) const;
    // What polling the entry's slave gives right now.
    quint8 ModbusStatus(const TSimModbus& entry) const;

private:
    QString uniqueID;
    QList<QStringList> values; // by position in Names()
    QList<TSimRoute> routes;
    QList<TSimModbus> modbus;
};
