#include "sim/SimThread.h"

#include "nmea/Errors.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {

// Receives the wake-up for queued calls in the thread.
class TSimThreadMailbox : public QObject {
    Q_OBJECT
public:
    explicit TSimThreadMailbox(std::function<void()> onWake)
        : wake(std::move(onWake)) {}
    Q_INVOKABLE void Wake() { wake(); }

private:
    std::function<void()> wake;
};

} // namespace

TSimThread::TSimThread() {
    if (!QCoreApplication::instance())
        throw ECommError(QStringLiteral("The simulator needs a QCoreApplication"));
    worker = std::thread([this] { Run(); });
    std::unique_lock lock(mutex);
    finished.wait(lock, [this] { return ready; });
}

TSimThread::~TSimThread() {
    Call([this] { loop->quit(); });
    worker.join();
}

void TSimThread::Post(TCall call, std::unique_lock<std::mutex>& lock) {
    (void)lock; // held: Drain takes it before anything else
    calls.push_back(std::move(call));
    QMetaObject::invokeMethod(mailbox, "Wake", Qt::QueuedConnection);
}

void TSimThread::Run() {
    QEventLoop eventLoop;
    TSimThreadMailbox wakeUp([this] { Drain(); });
    {
        std::lock_guard lock(mutex);
        mailbox = &wakeUp;
        loop = &eventLoop;
        ready = true;
    }
    finished.notify_all();
    eventLoop.exec();
    Drain(); // a call that raced with the end still returns
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TSimThread::Drain() {
    while (true) {
        TCall call;
        {
            std::lock_guard lock(mutex);
            if (calls.empty())
                return;
            call = std::move(calls.front());
            calls.pop_front();
        }
        call.function();
        {
            std::lock_guard lock(mutex);
            *call.done = true;
        }
        finished.notify_all();
    }
}

#include "SimThread.moc"
