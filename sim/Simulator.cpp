#include "sim/Simulator.h"

#include "nmea/Errors.h"
#include "sim/SimEngine.h"
#include "sim/SimLinks.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <type_traits>

TSimulator::TSimulator(const TOptions& options)
    : thread(std::make_unique<TSimThread>()) {
    engine = Call([&options] { return new TSimEngine(options); });
}

TSimulator::~TSimulator() {
    Call([this] {
        engine->Stop();
        delete engine;
        engine = nullptr;
    });
    thread.reset();
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

std::unique_ptr<TSimulator> StartBuiltInSimulator(TLinkTarget& link) {
    TSimulator::TOptions options;
    options.trafficRate = 10;
    auto simulator = std::make_unique<TSimulator>(options);
    simulator->Start();
    link = ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(simulator->TcpPort()));
    return simulator;
}
