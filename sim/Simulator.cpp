#include "sim/Simulator.h"

#include "nmea/Errors.h"
#include "sim/SimEngine.h"
#include "sim/SimLinks.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <type_traits>

namespace {

// Receives the wake-up for queued calls in the simulator's thread.
class TMailbox : public QObject {
    Q_OBJECT
public:
    explicit TMailbox(std::function<void()> onWake)
        : wake(std::move(onWake)) {}
    Q_INVOKABLE void Wake() { wake(); }

private:
    std::function<void()> wake;
};

} // namespace

template <class F>
auto TSimulator::Call(F&& function) const -> decltype(function()) {
    using TResult = decltype(function());
    if (std::this_thread::get_id() == worker.get_id())
        return function();
    bool done = false;
    std::conditional_t<std::is_void_v<TResult>, int, TResult> result{};
    std::unique_lock lock(mutex);
    calls.push_back({[&] {
                         if constexpr (std::is_void_v<TResult>)
                             function();
                         else
                             result = function();
                     },
                     &done});
    // Posted under the lock: the wake-up event, which the simulator's thread frees, was made
    // before the lock is released, and Drain takes the lock before anything else.
    QMetaObject::invokeMethod(mailbox, "Wake", Qt::QueuedConnection);
    finished.wait(lock, [&] { return done; });
    if constexpr (!std::is_void_v<TResult>)
        return result;
}

TSimulator::TSimulator(const TOptions& options) {
    // Without an application object the thread would get no event loop and never answer.
    if (!QCoreApplication::instance())
        throw ECommError(QStringLiteral("The simulator needs a QCoreApplication"));
    worker = std::thread([this, options] { Run(options); });
    std::unique_lock lock(mutex);
    finished.wait(lock, [this] { return ready; });
}

TSimulator::~TSimulator() {
    Call([this] { loop->quit(); });
    worker.join();
}

void TSimulator::Run(const TOptions& options) {
    // Everything of the simulator is made, used and destroyed in this thread.
    QEventLoop eventLoop; // gives the thread its event dispatcher
    TSimEngine simEngine(options);
    TMailbox wakeUp([this] { Drain(); });
    {
        std::lock_guard lock(mutex);
        engine = &simEngine;
        mailbox = &wakeUp;
        loop = &eventLoop;
        ready = true;
    }
    finished.notify_all();
    eventLoop.exec();
    simEngine.Stop();
    Drain(); // a call that raced with the end still returns
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TSimulator::Drain() {
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

void TSimulator::Start() {
    const QString error = Call([this] { return engine->Start(); });
    if (!error.isEmpty())
        throw ECommError(error);
}

quint16 TSimulator::TcpPort() const {
    return Call([this] { return engine->Links().TcpPort(); });
}
quint16 TSimulator::UdpPort() const {
    return Call([this] { return engine->Links().UdpPort(); });
}
QString TSimulator::PtyPath() const {
    return Call([this] { return engine->Links().PtyPath(); });
}

bool TSimulator::PtyListening() const {
    return Call([this] { return engine->Links().PtyListening(); });
}

int TSimulator::TcpConnections() const {
    return Call([this] { return engine->Links().TcpConnections(); });
}

void TSimulator::SetFault(TSimFault fault, int value) {
    TSimFaultValue setting;
    setting.Value = value;
    Call([&] { engine->SetFault(fault, setting); });
}

void TSimulator::SetFault(TSimFault fault, const QString& names) {
    TSimFaultValue setting;
    setting.Names = SimSentenceNames(names);
    setting.Value = setting.Names.isEmpty() ? 0 : 1;
    Call([&] { engine->SetFault(fault, setting); });
}

void TSimulator::ClearFaults() {
    Call([this] { engine->ClearFaults(); });
}

void TSimulator::SetTrafficRate(int linesPerSecond) {
    Call([&] { engine->SetTrafficRate(linesPerSecond); });
}

void TSimulator::SendUnasked(const QByteArray& text) {
    Call([&] { engine->SendUnasked(text); });
}

QStringList TSimulator::ConfigFields(const QString& name) const {
    return Call([&] { return engine->Config().Fields(name); });
}

bool TSimulator::SetConfigFields(const QString& name, const QStringList& fields) {
    return Call([&] { return engine->Config().Apply(name, fields); });
}

QList<TSimRoute> TSimulator::Routes() const {
    return Call([this] { return engine->Config().Routes(); });
}

QList<TSimModbus> TSimulator::ModbusEntries() const {
    return Call([this] { return engine->Config().ModbusEntries(); });
}

QList<quint8> TSimulator::ModbusStatuses() const {
    return Call([this] {
        QList<quint8> statuses;
        for (const TSimModbus& entry : engine->Config().ModbusEntries())
            statuses.append(engine->Config().ModbusStatus(entry));
        return statuses;
    });
}

void TSimulator::SetTables(const QList<TSimRoute>& routes, const QList<TSimModbus>& modbus) {
    Call([&] { engine->Config().SetTables(routes, modbus); });
}

QList<TSimN2KDevice> TSimulator::N2KDevices() const {
    return Call([this] { return engine->Network().Devices(); });
}

QString TSimulator::FirmwareVersion() const {
    return Call([this] { return engine->Firmware(); });
}
bool TSimulator::InBootloader() const {
    return Call([this] { return engine->InBootloader(); });
}

bool TSimulator::StatisticsRunning() const {
    return Call([this] { return engine->StatisticsRunning(); });
}

QByteArray TSimulator::ProgrammedMemory() const {
    return Call([this] { return engine->Bootloader().ProgrammedMemory(); });
}

QByteArray TSimulator::DecryptionParameters() const {
    return Call([this] { return engine->Bootloader().DecryptionParameters(); });
}

QStringList TSimulator::ReceivedLines() const {
    return Call([this] { return engine->Received(); });
}

QList<QByteArray> TSimulator::ReceivedPackets() const {
    return Call([this] { return engine->Packets(); });
}

QStringList TSimulator::LinesDuringTransfer() const {
    return Call([this] { return engine->LinesDuringTransfer(); });
}

void TSimulator::ClearReceived() {
    Call([this] { engine->ClearReceived(); });
}

#include "Simulator.moc"
