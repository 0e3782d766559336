#include "n2k/N2KView.h"

#include "n2k/N2K.h"
#include "nmea/Numbers.h"

#include <algorithm>

namespace {

QString CsvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QList<QStringList> Rows(const TN2KDeviceList& list, bool withName) {
    QList<QStringList> rows;
    QStringList header;
    for (const TN2KColumn& column : N2KColumns)
        header.append(QLatin1StringView(column.Header));
    if (withName)
        header.append(QStringLiteral("NAME"));
    rows.append(header);
    for (int i = 0; i < list.Count(); ++i) {
        QStringList row;
        for (int column = 0; column < int(N2KColumns.size()); ++column)
            row.append(N2KCellText(list, list.Device(i), column));
        if (withName)
            row.append(HexText(list.Device(i).Name, 16));
        rows.append(row);
    }
    return rows;
}

// A whole number entered by the user, or the message of the failed conversion.
std::optional<quint64> EnteredNumber(const QString& text, QStringList& messages) {
    const std::optional<quint64> value = ParseUnsigned(text.trimmed());
    if (!value)
        messages.append(QStringLiteral("'%1' is not a valid integer value").arg(text.trimmed()));
    return value;
}

} // namespace

QString N2KCellText(const TN2KDeviceList& list, const TN2KDevice& device, int column) {
    switch (column) {
    case 0:
        return list.ManufacturerOf(device);
    case 1:
        return device.ModelID;
    case 2:
        return device.SerialCode;
    case 3:
        return device.SoftwareVersion;
    case 4:
        // 255 means unknown, as in the device information window.
        return device.LoadEquivalency == 255 ? QStringLiteral("n/a")
                                             : QString::number(device.LoadEquivalency * 50);
    case 5:
        return QString::number(device.Address);
    case 6:
        return QString::number(device.DeviceInstance());
    case 7:
        return QString::number(device.SystemInstance());
    default:
        return {};
    }
}

QString N2KDeviceListCsv(const TN2KDeviceList& list, bool withName) {
    QString text;
    for (const QStringList& row : Rows(list, withName)) {
        QStringList fields;
        for (const QString& field : row)
            fields.append(CsvField(field));
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return text;
}

QString N2KDeviceListText(const TN2KDeviceList& list, bool withName) {
    const QList<QStringList> rows = Rows(list, withName);
    QList<qsizetype> widths(rows.constFirst().size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < widths.size(); ++i)
            line += row[i].leftJustified(widths[i] + 2);
        // No blanks at the line's end.
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

QString N2KProductCodeText(quint16 code) {
    return code == 0xFFFF ? QStringLiteral("n/a") : QString::number(code);
}

QString N2KCertificationText(quint8 level) {
    switch (level) {
    case 0:
        return QStringLiteral("A");
    case 1:
        return QStringLiteral("B");
    default:
        return QStringLiteral("n/a");
    }
}

QString N2KLoadEquivalencyText(quint8 load) {
    return load == 255 ? QStringLiteral("n/a") : QStringLiteral("%1 mA").arg(load * 50);
}

QStringList CheckDeviceEntry(const QString& sourceAddress, const QString& deviceInstance,
                             const QString& systemInstance, TN2KDeviceEntry& entry) {
    QStringList messages;
    if (const auto value = EnteredNumber(sourceAddress, messages)) {
        if (*value <= 251)
            entry.SourceAddress = quint8(*value);
        else
            messages.append(QStringLiteral("Illegal Source Address entered (0..251)"));
    }
    if (const auto value = EnteredNumber(deviceInstance, messages)) {
        // A device instance is one byte; a larger number is refused, never cut.
        if (*value <= 255)
            entry.DeviceInstance = quint8(*value);
        else
            messages.append(QStringLiteral("Illegal Device Instance entered (0..255)"));
    }
    if (const auto value = EnteredNumber(systemInstance, messages)) {
        if (*value <= 15)
            entry.SystemInstance = quint8(*value);
        else
            messages.append(QStringLiteral("Illegal Device Instance entered (0..15)"));
    }
    return messages;
}
