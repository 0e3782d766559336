#include "sim/SimTraffic.h"

#include "sim/SimFormat.h"

#include <cmath>

namespace {

constexpr double Variation = -1.2; // degrees, west negative
constexpr double Pi = 3.14159265358979323846;

QByteArray Fixed(double value, int decimals) {
    return QByteArray::number(value, 'f', decimals);
}

double Wrap360(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    return degrees < 0 ? degrees + 360.0 : degrees;
}

// "ddmm.mmmm,N" or "dddmm.mmmm,W".
QByteArray Angle(double degrees, int degreeDigits, char positive, char negative) {
    const char hemisphere = degrees < 0 ? negative : positive;
    degrees = std::fabs(degrees);
    int whole = int(degrees);
    double minutes = (degrees - whole) * 60.0;
    if (minutes >= 59.99995) {
        minutes = 0;
        ++whole;
    }
    QByteArray text = QByteArray::number(whole).rightJustified(degreeDigits, '0');
    text += Fixed(minutes, 4).rightJustified(7, '0');
    return text + ',' + hemisphere;
}

QByteArray UtcTime(const QDateTime& now) {
    return now.time().toString(QStringLiteral("HHmmss")).toLatin1() + '.' +
           QByteArray::number(now.time().msec() / 10).rightJustified(2, '0');
}

// Appends bits to an AIS payload, most significant first.
class TBitWriter {
public:
    void Put(quint64 value, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            data.append(((value >> i) & 1) != 0);
    }
    QByteArray Armoured() const {
        QByteArray text;
        for (qsizetype i = 0; i < data.size(); i += 6) {
            int value = 0;
            for (int j = 0; j < 6; ++j)
                value = value << 1 | ((i + j < data.size() && data[i + j]) ? 1 : 0);
            text.append(char(value < 40 ? value + 48 : value + 56));
        }
        return text;
    }

private:
    QList<bool> data;
};

QByteArray Talker(const QByteArray& text, const QStringList& ids, int port) {
    // The configured talker ID of the port takes the place of the sentence's own.
    const QString id = ids.value(port - 1);
    if (id.size() != 2 || !text.startsWith('$') || text.size() < 3)
        return text;
    QByteArray result = text;
    result.replace(1, 2, id.toLatin1());
    return result;
}

} // namespace

TSimTraffic::TSimTraffic(quint32 seed)
    : random(seed) {
    targets = {
        {235009876, 50.8021, -1.2695, 11.4, 152.0},
        {244630512, 50.7788, -1.3102, 6.8, 63.5},
        {538004417, 50.7650, -1.2501, 14.2, 287.0},
    };
}

double TSimTraffic::Heading() const {
    return Wrap360(225.0 + 12.0 * std::sin(clock / 60.0));
}
double TSimTraffic::Sog() const {
    return 6.2 + 0.6 * std::sin(clock / 23.0);
}
double TSimTraffic::Depth() const {
    return 12.4 + 3.1 * std::sin(clock / 41.0);
}
double TSimTraffic::Awa() const {
    return 34.0 + 6.0 * std::sin(clock / 29.0);
}
double TSimTraffic::Aws() const {
    return 14.2 + 2.3 * std::sin(clock / 17.0);
}

void TSimTraffic::Advance(double seconds) {
    if (seconds <= 0)
        return;
    clock += seconds;
    auto move = [seconds](double& lat, double& lon, double sog, double cog) {
        const double miles = sog * seconds / 3600.0;
        lat += miles * std::cos(cog * Pi / 180.0) / 60.0;
        lon += miles * std::sin(cog * Pi / 180.0) / 60.0 / std::cos(lat * Pi / 180.0);
    };
    move(latitude, longitude, Sog(), Heading());
    for (TTarget& target : targets)
        move(target.latitude, target.longitude, target.sog, target.cog);
}

QByteArray TSimTraffic::Rmc(const char* talker) const {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return QByteArray("$") + talker + "RMC," + UtcTime(now) + ",A," + Angle(latitude, 2, 'N', 'S') +
           ',' + Angle(longitude, 3, 'E', 'W') + ',' + Fixed(Sog(), 1) + ',' + Fixed(Heading(), 1) +
           ',' + now.date().toString(QStringLiteral("ddMMyy")).toLatin1() + ',' +
           Fixed(std::fabs(Variation), 1) + ',' + (Variation < 0 ? 'W' : 'E') + ",A";
}

QByteArray TSimTraffic::Gga(const char* talker) const {
    return QByteArray("$") + talker + "GGA," + UtcTime(QDateTime::currentDateTimeUtc()) + ',' +
           Angle(latitude, 2, 'N', 'S') + ',' + Angle(longitude, 3, 'E', 'W') +
           ",1,09,0.9,12.3,M,47.0,M,,";
}

QByteArray TSimTraffic::Vtg(const char* talker) const {
    return QByteArray("$") + talker + "VTG," + Fixed(Heading(), 1) + ",T," +
           Fixed(Wrap360(Heading() - Variation), 1) + ",M," + Fixed(Sog(), 1) + ",N," +
           Fixed(Sog() * 1.852, 1) + ",K,A";
}

QByteArray TSimTraffic::AisPositionReport(quint32 mmsi, double latitude, double longitude,
                                          double sog, double cog, int heading, int second) {
    TBitWriter bits;
    bits.Put(1, 6); // message type
    bits.Put(0, 2); // repeat indicator
    bits.Put(mmsi, 30);
    bits.Put(0, 4);    // under way using engine
    bits.Put(0x80, 8); // rate of turn not available
    bits.Put(quint64(std::lround(sog * 10)) & 0x3FF, 10);
    bits.Put(1, 1); // position accuracy high
    bits.Put(quint64(std::llround(longitude * 600000.0)) & 0xFFFFFFF, 28);
    bits.Put(quint64(std::llround(latitude * 600000.0)) & 0x7FFFFFF, 27);
    bits.Put(quint64(std::lround(cog * 10)) & 0xFFF, 12);
    bits.Put(quint64(heading) & 0x1FF, 9);
    bits.Put(quint64(second) & 0x3F, 6);
    bits.Put(0, 2);  // no special manoeuvre
    bits.Put(0, 3);  // spare
    bits.Put(0, 1);  // RAIM
    bits.Put(0, 19); // radio status
    return "!AIVDM,1,1,,A," + bits.Armoured() + ",0";
}

std::optional<TSimTrafficLine> TSimTraffic::Make(int slot, const TSimTrafficContext& c) {
    auto input = [&](int port, const QByteArray& text) {
        return TSimTrafficLine{Talker(text, c.talkerIDs, port), quint8(port), 255};
    };
    auto n2k = [&](quint8 address, const QByteArray& text) -> std::optional<TSimTrafficLine> {
        if (address == 255)
            return std::nullopt;
        return TSimTrafficLine{text, TrafficN2KPort, address};
    };
    auto converted = [&](int bit, const QByteArray& text) -> std::optional<TSimTrafficLine> {
        if (!(c.conversions & (1u << bit)))
            return std::nullopt;
        return TSimTrafficLine{Talker(text, c.talkerIDs, 9), 9, 255};
    };
    auto generated = [&](int bit) { return (c.n2kOptions & (1u << bit)) != 0; };
    const double jitter = random.bounded(10) / 100.0;

    switch (slot) {
    case 0:
        return input(1, Rmc("GP"));
    case 1:
        return input(2, "$IIMWV," + Fixed(Awa() + jitter, 1) + ",R," + Fixed(Aws(), 1) + ",N,A");
    case 2:
        return input(3, "$SDDBT," + Fixed(Depth() * 3.2808, 1) + ",f," + Fixed(Depth(), 1) + ",M," +
                            Fixed(Depth() * 0.5468, 1) + ",F");
    case 3:
        return input(4, "$HCHDG," + Fixed(Wrap360(Heading() - Variation) + jitter, 1) + ",,,1.2,W");
    case 4:
    case 11: {
        const TTarget& target = targets[nextTarget++ % targets.size()];
        const int second = QDateTime::currentDateTimeUtc().time().second();
        return input(5, AisPositionReport(target.mmsi, target.latitude, target.longitude,
                                          target.sog, target.cog, int(target.cog), second));
    }
    case 5:
        return input(1, Gga("GP"));
    case 6:
        return generated(0) ? n2k(c.gpsAddress, Rmc("GP")) : std::nullopt;
    case 7:
        return n2k(c.headingAddress,
                   "$IIHDG," + Fixed(Wrap360(Heading() - Variation), 1) + ",,,1.2,W");
    case 8:
        return generated(10) ? n2k(c.depthAddress, "$SDDBT," + Fixed(Depth() * 3.2808, 1) + ",f," +
                                                       Fixed(Depth(), 1) + ",M," +
                                                       Fixed(Depth() * 0.5468, 1) + ",F")
                             : n2k(c.depthAddress, "$SDDPT," + Fixed(Depth(), 1) + ",0.5,");
    case 9:
        return n2k(c.windAddress, "$WIMWV," + Fixed(Awa(), 1) + ",R," + Fixed(Aws(), 1) + ",N,A");
    case 10:
        return converted(0, "$IIHDT," + Fixed(Heading(), 1) + ",T");
    case 12:
        return input(1, Vtg("GP"));
    case 13:
        return generated(1) ? n2k(c.gpsAddress, Gga("GP")) : std::nullopt;
    case 14:
        return generated(3) ? n2k(c.gpsAddress, Vtg("GP")) : std::nullopt;
    case 15: {
        // True wind from apparent wind and boat speed.
        const double awa = Awa() * Pi / 180.0;
        const double x = Aws() * std::cos(awa) - Sog();
        const double y = Aws() * std::sin(awa);
        const double tws = std::hypot(x, y);
        const double twd = Wrap360(Heading() + std::atan2(y, x) * 180.0 / Pi);
        return converted(5, "$IIMWD," + Fixed(twd, 1) + ",T," + Fixed(Wrap360(twd - Variation), 1) +
                                ",M," + Fixed(tws, 1) + ",N," + Fixed(tws * 0.5144, 1) + ",M");
    }
    case 16:
        return converted(7, "$IIVHW," + Fixed(Heading(), 1) + ",T," +
                                Fixed(Wrap360(Heading() - Variation), 1) + ",M," + Fixed(Sog(), 1) +
                                ",N," + Fixed(Sog() * 1.852, 1) + ",K");
    case 17: {
        if (c.readings.isEmpty())
            return std::nullopt;
        const TSimModbus& entry = c.readings[nextReading++ % c.readings.size()];
        const double value = 40.0 + 0.1 * entry.reg + 2.0 * std::sin(clock / 13.0 + entry.slave);
        return TSimTrafficLine{"$IIXDR," + QByteArray(1, entry.xdrType ? entry.xdrType : 'G') +
                                   ',' + Fixed(value, 1) + ',' +
                                   (entry.xdrUnit ? QByteArray(1, entry.xdrUnit) : QByteArray()) +
                                   ',' + entry.xdrID.toLatin1(),
                               0, 255};
    }
    }
    return std::nullopt;
}

TSimTrafficLine TSimTraffic::Next(const TSimTrafficContext& context) {
    constexpr int slotCount = 18;
    for (int tries = 0; tries < slotCount; ++tries) {
        const int slot = nextSlot;
        nextSlot = (nextSlot + 1) % slotCount;
        if (auto line = Make(slot, context))
            return *line;
    }
    return {Rmc("GP"), 1, 255}; // unreachable: slot 0 is always on
}

QList<QStringList> TSimTraffic::Database(const TSimTrafficContext& c) const {
    auto n2kOr = [](quint8 address, const QString& input) {
        return address == 255 ? input
                              : QStringLiteral("N2K %1").arg(address, 2, 16, QChar(u'0')).toUpper();
    };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString gps = n2kOr(c.gpsAddress, QStringLiteral("In1"));
    auto text = [](const QByteArray& bytes) { return QString::fromLatin1(bytes); };
    return {
        {QStringLiteral("Latitude"), text(Angle(latitude, 2, 'N', 'S')).replace(u',', u' '), gps},
        {QStringLiteral("Longitude"), text(Angle(longitude, 3, 'E', 'W')).replace(u',', u' '), gps},
        {QStringLiteral("SOG"), text(Fixed(Sog(), 1)) + QStringLiteral(" kn"), gps},
        {QStringLiteral("COG"), text(Fixed(Heading(), 1)) + QStringLiteral(" T"), gps},
        {QStringLiteral("Heading"),
         text(Fixed(Wrap360(Heading() - Variation), 1)) + QStringLiteral(" M"),
         n2kOr(c.headingAddress, QStringLiteral("In4"))},
        {QStringLiteral("Variation"), QStringLiteral("1.2 W"), QStringLiteral("In1")},
        {QStringLiteral("Depth"), text(Fixed(Depth(), 1)) + QStringLiteral(" m"),
         n2kOr(c.depthAddress, QStringLiteral("In3"))},
        {QStringLiteral("AWA"), text(Fixed(Awa(), 1)) + QStringLiteral(" R"),
         n2kOr(c.windAddress, QStringLiteral("In2"))},
        {QStringLiteral("AWS"), text(Fixed(Aws(), 1)) + QStringLiteral(" kn"),
         n2kOr(c.windAddress, QStringLiteral("In2"))},
        {QStringLiteral("Date"), now.date().toString(QStringLiteral("dd.MM.yyyy")), gps},
        {QStringLiteral("Time"), now.time().toString(QStringLiteral("HH:mm:ss")), gps},
        {QStringLiteral("AIS targets"), QString::number(targets.size()), QStringLiteral("In5")},
    };
}
