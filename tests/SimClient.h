#pragma once

// The host end of the simulator tests: a real loopback TCP connection that keeps the raw bytes
// it receives, so that tests compare whole wire lines and frames.
#include "nmea/Nmea.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>

class TSimClient {
public:
    bool Connect(quint16 port) {
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }

    void Write(const QByteArray& bytes) {
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
    }
    // As the program writes on TCP: checksum, CR LF, then one more CR LF.
    void Send(const QByteArray& text) { Write(NmeaLine(text) + "\r\n"); }

    // The next line as it came, CR LF and any noise before it included; empty after the
    // time-out.
    QByteArray Line(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (true) {
            const qsizetype end = buffer.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray line = buffer.left(end + 2);
                buffer.remove(0, end + 2);
                return line;
            }
            if (!Fill(deadline) && buffer.indexOf("\r\n") < 0)
                return {};
        }
    }

    // Lines up to and including the first whose text (TAG block skipped) starts with prefix;
    // empty when it does not come in time.
    QList<QByteArray> Until(const QByteArray& prefix, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        QList<QByteArray> lines;
        for (int i = 0; i < 100000; ++i) {
            const QByteArray line = Line(int(std::max<qint64>(1, deadline.remainingTime())));
            if (line.isEmpty())
                return {};
            lines.append(line);
            if (Text(line).startsWith(prefix))
                return lines;
        }
        return {};
    }

    // Exactly count bytes; fewer after the time-out.
    QByteArray Bytes(qsizetype count, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (buffer.size() < count && Fill(deadline)) {
        }
        const QByteArray bytes = buffer.left(count);
        buffer.remove(0, bytes.size());
        return bytes;
    }

    // A raw frame from the start byte to the unescaped end byte.
    QByteArray Frame(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (true) {
            const qsizetype start = buffer.indexOf(char(0xFE));
            if (start >= 0) {
                for (qsizetype i = start + 1; i < buffer.size(); ++i) {
                    if (quint8(buffer[i]) == 0xFF) {
                        ++i;
                    } else if (quint8(buffer[i]) == 0xFD) {
                        const QByteArray frame = buffer.mid(start, i + 1 - start);
                        buffer.remove(0, i + 1);
                        return frame;
                    }
                }
            }
            if (!Fill(deadline))
                return {};
        }
    }

    // True when the connection ends within the time.
    bool Closed(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
            Fill(deadline);
        return socket.state() != QAbstractSocket::ConnectedState;
    }

    // The sentence of a wire line: TAG block, checksum and CR LF taken off.
    static QByteArray Text(QByteArray line) {
        if (line.startsWith('\\'))
            line.remove(0, line.indexOf('\\', 1) + 1);
        const qsizetype star = line.lastIndexOf('*');
        return star < 0 ? line.trimmed() : line.left(star);
    }
    static QByteArray Tag(const QByteArray& line) {
        return line.startsWith('\\') ? line.left(line.indexOf('\\', 1) + 1) : QByteArray();
    }
    // The line has "*", a matching checksum of its sentence and CR LF at its end.
    static bool ChecksumOk(const QByteArray& line) {
        const QByteArray sentence =
            line.startsWith('\\') ? line.mid(line.indexOf('\\', 1) + 1) : line;
        const qsizetype star = sentence.lastIndexOf('*');
        if (star < 0 || !sentence.endsWith("\r\n") || sentence.size() != star + 5)
            return false;
        bool ok = false;
        const int sum = sentence.mid(star + 1, 2).toInt(&ok, 16);
        return ok && sum == NmeaChecksum(QByteArrayView(sentence), star) &&
               sentence.mid(star + 1, 2) == sentence.mid(star + 1, 2).toUpper();
    }

    // The TAG block ends with "*", the two-digit checksum of what lies between the leading
    // backslash and the "*", and the closing backslash.
    static bool TagChecksumOk(const QByteArray& tag) {
        const qsizetype star = tag.lastIndexOf('*');
        if (!tag.startsWith('\\') || !tag.endsWith('\\') || star != tag.size() - 4)
            return false;
        quint8 sum = 0;
        for (qsizetype i = 1; i < star; ++i)
            sum ^= quint8(tag[i]);
        return tag.mid(star + 1, 2) == QByteArray::number(sum, 16).rightJustified(2, '0').toUpper();
    }

    QTcpSocket socket;
    QByteArray buffer;

private:
    bool Fill(const QDeadlineTimer& deadline) {
        if (socket.bytesAvailable() == 0) {
            const qint64 left = deadline.remainingTime();
            if (left == 0 || !socket.waitForReadyRead(int(std::max<qint64>(1, left)))) {
                buffer += socket.readAll();
                return false;
            }
        }
        buffer += socket.readAll();
        return true;
    }
};
