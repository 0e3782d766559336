#include "config/SentenceFile.h"

#include "comms/Comms.h"
#include "nmea/Nmea.h"
#include "session/Session.h"
#include "session/User.h"

#include <QFile>

bool SendSentenceFile(TSession& session, IUser& user, const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        user.ShowMessage(QStringLiteral("Unable to read %1").arg(fileName));
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++number;
        if (line.isEmpty())
            continue;
        const qsizetype length = NmeaLine(line).size(); // with checksum and CR LF
        if (length > MaxSendLength) {
            user.ShowMessage(QStringLiteral("%1, line %2: the sentence is too long to send (%3 "
                                            "characters with checksum and line end, at most %4 "
                                            "are possible) and was skipped.")
                                 .arg(fileName)
                                 .arg(number)
                                 .arg(length)
                                 .arg(MaxSendLength));
            continue;
        }
        try {
            session.Comm().SendLine(QString::fromLatin1(line));
        } catch (const EError& e) {
            user.ShowMessage(e.Message());
            return false;
        }
    }
    return true;
}
