#pragma once

#include "session/LinkUrl.h"
#include "sim/SimBoot.h"
#include "sim/SimConfig.h"
#include "sim/SimFaults.h"
#include "sim/SimN2K.h"
#include "sim/SimOptions.h"
#include "sim/SimThread.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QEventLoop;
class QObject;
class TSimEngine;

// A simulated Corvanta-PX multiplexer, started in-process by tests and by the program's
// --simulator switch, and by corvanta-sim.
//
// It runs its sockets, pseudo-terminal and timers on a thread of its own, so that a caller
// that blocks its own thread (waiting for a bootloader reply, say) still gets its answers.
// Every method may be called from any thread; each one waits until the simulator's thread has
// done it. It listens on 127.0.0.1 unless told otherwise. A QCoreApplication must exist.
//
class TSimulator {
public:
    using TOptions = TSimOptions;

    explicit TSimulator(const TOptions& options = TOptions());
    ~TSimulator(); // stops and joins its thread
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Opens the links; returns once they listen. Throws ECommError when one cannot be opened.
    void Start();
    quint16 TcpPort() const;
    quint16 UdpPort() const;
    QString PtyPath() const;   // the serial port to open, empty without --pty
    bool PtyListening() const; // someone has the pseudo-terminal open
    int TcpConnections() const;

    void SetFault(TSimFault fault, int value = 1);
    // For sfNoAnswer: the sentence names, comma-separated ("VER,CFQ").
    void SetFault(TSimFault fault, const QString& names);
    void ClearFaults();
    void SetTrafficRate(int linesPerSecond);
    // Sends a line as if the multiplexer had sent it unasked (checksum and CR LF added).
    void SendUnasked(const QByteArray& text);

    // Views of the device's state, copied out.
    QStringList ConfigFields(const QString& name) const; // fields after "R" of "CF", "SP"...
    bool SetConfigFields(const QString& name, const QStringList& fields);
    QList<TSimRoute> Routes() const;
    QList<TSimModbus> ModbusEntries() const;
    QList<quint8> ModbusStatuses() const;
    void SetTables(const QList<TSimRoute>& routes, const QList<TSimModbus>& modbus);
    QList<TSimN2KDevice> N2KDevices() const;
    QString FirmwareVersion() const;
    bool InBootloader() const;
    bool StatisticsRunning() const;
    QByteArray ProgrammedMemory() const;
    QByteArray DecryptionParameters() const;

    // Every line received (TAG block and checksum as they came, CR LF taken off), and every
    // bootloader packet.
    QStringList ReceivedLines() const;
    QList<QByteArray> ReceivedPackets() const;
    // Lines received while the bootloader took packets (after the synchronisation packet,
    // before the CRC command).
    QStringList LinesDuringTransfer() const;
    void ClearReceived();

private:
    // Runs a function in the simulator's thread and waits for its result.
    template <class F>
    auto Call(F&& function) const -> decltype(function()) {
        return thread->Call(std::forward<F>(function));
    }

    std::unique_ptr<TSimThread> thread;
    TSimEngine* engine = nullptr; // made, used and destroyed in the simulator's thread
};

// The simulated multiplexer that --simulator starts, in the program and in tidewright-cli alike:
// a little traffic, so that a live link shows what it looks like. Throws ECommError when it
// cannot listen. The link to it is written to link.
std::unique_ptr<TSimulator> StartBuiltInSimulator(TLinkTarget& link);
