#include "firmware/FwBackup.h"

#include "config/ConfigJobs.h"

#include "nmea/Errors.h"
#include "session/Session.h"
#include "session/User.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace {

// A full dump takes far less; the identification's own time-out ends a silent one sooner.
constexpr int ReadTimeoutMs = 30000;

bool ReadUnderWay(const TSession& session) {
    return session.IsOpen() &&
           (session.Activity() == acIdentify || session.Activity() == acReadConfig);
}

QString FilePart(const QString& text, const QString& fallback) {
    // Only what every file system takes.
    QString part = text.trimmed();
    part.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]+")), QStringLiteral("-"));
    return part.isEmpty() ? fallback : part;
}

} // namespace

TConfigBackup::TConfigBackup(TSession& aSession)
    : session(aSession) {}

bool TConfigBackup::Possible() const {
    return session.IsOpen() && session.Identification().Received && session.DeviceModel() >= 0 &&
           IsFirmwareSupported(session.Identification().Firmware);
}

QString TConfigBackup::Folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tidewright/Backups");
}

QString TConfigBackup::FileNameFor(const QString& device, const QString& serial,
                                   const QDateTime& time) {
    return FilePart(device, QStringLiteral("Corvanta")) + u'_' +
           FilePart(serial, QStringLiteral("unknown")) + u'_' +
           time.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".ini");
}

bool TConfigBackup::WaitForRead(int timeoutMs) {
    bool finished = false;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::ReadFinished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    // Every end of a read, also a time-out or a lost link, changes the state.
    QObject::connect(&session, &TSession::StateChanged, &loop, &QEventLoop::quit);
    const QDeadlineTimer until(timeoutMs);
    while (!finished && ReadUnderWay(session) && !until.hasExpired()) {
        deadline.start(int(std::max<qint64>(1, until.remainingTime())));
        loop.exec();
    }
    return finished ||
           (!ReadUnderWay(session) && session.IsOpen() && session.Identification().Received &&
            session.Activity() == acIdle && IsFirmwareSupported(session.Identification().Firmware));
}

QString TConfigBackup::Save() {
    session.ReadConfiguration();
    bool finished = false;
    {
        // Only a read that ends with its closing report is a whole configuration.
        bool closed = false;
        const QMetaObject::Connection watch =
            QObject::connect(&session, &TSession::ReadFinished, [&] { closed = true; });
        WaitForRead(ReadTimeoutMs);
        QObject::disconnect(watch);
        finished = closed && session.IsOpen();
    }
    if (!finished)
        return {};

    const QString folder = Folder();
    if (!QDir().mkpath(folder)) {
        session.User().ShowMessage(QStringLiteral("Unable to create the folder %1").arg(folder));
        return {};
    }
    const QString stem =
        FileNameFor(session.Identification().DeviceName, session.Identification().SerialNumber,
                    QDateTime::currentDateTime())
            .chopped(4);
    QString file = QDir(folder).filePath(stem + QStringLiteral(".ini"));
    for (int i = 2; QFileInfo::exists(file) && i < 100; ++i)
        file = QDir(folder).filePath(stem + QStringLiteral("-%1.ini").arg(i));
    // The job tells the user why a save failed.
    if (!TConfigJobs(session, session.User()).SaveConfiguration(file).Done())
        return {};
    return file;
}

bool TConfigBackup::Restore(const QString& fileName) {
    // The job has told the user what went wrong, a lost link included.
    return TConfigJobs(session, session.User()).LoadConfiguration(fileName).Done();
}
