#include "sim/SimThread.h"

#include "nmea/Errors.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

TSimThread::TSimThread() {
    if (!QCoreApplication::instance())
        throw ECommError(QStringLiteral("The simulator needs a QCoreApplication"));
    worker = std::thread([this] { Run(); });
    std::unique_lock lock(mutex);
    finished.wait(lock, [this] { return ready; });
}

TSimThread::~TSimThread() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        // Under the lock: the thread cannot leave its loop, and take its dispatcher with it,
        // before the wake-up is given.
        dispatcher->wakeUp();
    }
    worker.join();
}

void TSimThread::Post(TCall call, std::unique_lock<std::mutex>& lock) {
    (void)lock; // held: Drain takes it before anything else
    calls.push_back(std::move(call));
    // A wake-up given before the thread waits again is kept, so none is lost.
    dispatcher->wakeUp();
}

void TSimThread::Run() {
    QEventLoop eventLoop; // gives the thread its event dispatcher
    {
        std::lock_guard lock(mutex);
        dispatcher = QAbstractEventDispatcher::instance();
        ready = true;
    }
    finished.notify_all();
    while (true) {
        Drain();
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
        }
        eventLoop.processEvents(QEventLoop::WaitForMoreEvents);
    }
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
