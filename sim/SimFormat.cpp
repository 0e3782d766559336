#include "sim/SimFormat.h"

#include "nmea/Nmea.h"
#include "nmea/Numbers.h"

QByteArray HexBytes(quint64 value, int width) {
    return HexText(value, width).toLatin1();
}

QByteArray TagBlock(QByteArrayView parameters) {
    const QByteArray body = '\\' + parameters.toByteArray();
    return body + '*' + HexBytes(NmeaChecksum(QByteArrayView(body), body.size()), 2) + '\\';
}
