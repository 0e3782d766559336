#include "session/Jobs.h"

#include "session/Session.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

bool AwaitSession(TSession& session, const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QEventLoop loop;
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    QObject::connect(&alarm, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::ActivityChanged, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::StateChanged, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::ReadFinished, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::ReplyArrived, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TSession::NavDBReport, &loop, &QEventLoop::quit);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        alarm.start(int(std::max<qint64>(1, deadline.remainingTime())));
        loop.exec();
    }
    return true;
}
