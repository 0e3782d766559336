#pragma once

#include "sim/SimConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QStringList>

// The NMEA traffic of the simulated boat: one moving boat with GPS, wind, depth and heading
// instruments on the multiplexer's inputs and on NMEA 2000, a few AIS targets around it, the
// conversions the multiplexer makes and the XDR readings of its Modbus registers. The same
// state fills the navigation database.

struct TSimTrafficLine {
    QByteArray text; // without checksum
    quint8 port = 0; // 0 the multiplexer, 1..8 inputs, 9 conversions, 10 NMEA 2000
    quint8 n2kAddress = 255;
};

inline constexpr quint8 TrafficN2KPort = 10;

// What of the multiplexer's configuration shapes the traffic.
struct TSimTrafficContext {
    quint32 n2kOptions = 0;  // NO bits: what is generated from NMEA 2000 data
    quint32 conversions = 0; // CNV bits
    QStringList talkerIDs;   // In1..In8, Conv; empty: keep the sentence's own
    quint8 gpsAddress = 255; // NMEA 2000 sources, 255 when absent
    quint8 headingAddress = 255;
    quint8 depthAddress = 255;
    quint8 windAddress = 255;
    QList<TSimModbus> readings; // Modbus entries that poll well
};

class TSimTraffic {
public:
    explicit TSimTraffic(quint32 seed = 1);

    // Moves the boat and the targets on.
    void Advance(double seconds);
    // The next sentence of the rotation that the context enables.
    TSimTrafficLine Next(const TSimTrafficContext& context);
    // Navigation database entries: parameter, value, source.
    QList<QStringList> Database(const TSimTrafficContext& context) const;

    // AIS position report (message 1) as one "!AIVDM" sentence without checksum.
    static QByteArray AisPositionReport(quint32 mmsi, double latitude, double longitude, double sog,
                                        double cog, int heading, int second);

private:
    struct TTarget {
        quint32 mmsi;
        double latitude, longitude, sog, cog;
    };

    std::optional<TSimTrafficLine> Make(int slot, const TSimTrafficContext& context);
    double Heading() const; // true
    double Sog() const;
    double Depth() const;
    double Awa() const;
    double Aws() const;
    QByteArray Rmc(const char* talker) const;
    QByteArray Gga(const char* talker) const;
    QByteArray Vtg(const char* talker) const;

    QRandomGenerator random;
    double clock = 0; // seconds since start
    double latitude = 50.7915, longitude = -1.2838;
    QList<TTarget> targets;
    int nextSlot = 0;
    int nextTarget = 0;
    int nextReading = 0;
};
