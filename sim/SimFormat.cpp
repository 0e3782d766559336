#include "sim/SimFormat.h"

#include "nmea/Nmea.h"

QByteArray HexText(quint64 value, int width) {
    QByteArray text = QByteArray::number(value, 16).toUpper();
    if (text.size() < width)
        text.prepend(QByteArray(width - text.size(), '0'));
    return text;
}

QByteArray TagBlock(QByteArrayView parameters) {
    const QByteArray body = '\\' + parameters.toByteArray();
    return body + '*' + HexText(NmeaChecksum(QByteArrayView(body), body.size()), 2) + '\\';
}
