#include "session/NmeaLog.h"

#include "nmea/Errors.h"
#include "nmea/Nmea.h"

QString TNmeaLog::DiagnosticPrefix(bool received) {
    const QString tag = received ? QStringLiteral("\\t:rx") : QStringLiteral("\\t:tx");
    const QString sum =
        QStringLiteral("%1").arg(NmeaChecksum(tag, tag.size()), 2, 16, QChar('0')).toUpper();
    return tag + u'*' + sum + u'\\';
}

bool TNmeaLog::Start(const QString& fileName, bool asDiagnostic) {
    Stop();
    lines = 0;
    diagnostic = asDiagnostic;
    file.setFileName(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void TNmeaLog::Stop() {
    if (file.isOpen())
        file.close();
}

void TNmeaLog::LogLine(const QString& tagBlock, const QString& text, bool received) {
    if (!file.isOpen())
        return;
    ++lines;
    QByteArray line;
    if (diagnostic) {
        line = DiagnosticPrefix(received).toLatin1();
        if (received)
            line += tagBlock.toLatin1();
    }
    line += text.toLatin1();
    line += "\r\n";
    if (file.write(line) != line.size())
        Fail();
}

void TNmeaLog::Flush() {
    if (file.isOpen() && !file.flush())
        Fail();
}

void TNmeaLog::Fail() {
    const QString message = file.errorString();
    file.close();
    throw EInOutError(message);
}
