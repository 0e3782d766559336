#pragma once

#include "sim/SimBoot.h"
#include "sim/SimConfig.h"
#include "sim/SimFaults.h"
#include "sim/SimN2K.h"
#include "sim/SimOptions.h"
#include "sim/SimTraffic.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>

#include <array>

class QTimer;
class TSimChannel;
class TSimLinks;

// The simulated multiplexer itself: what it answers to each line and packet, what it sends
// unasked, and the faults it shows. Lives in the simulator's thread; TSimulator is the
// thread-safe face.
//
// Incoming lines are taken with or without checksum; a line whose checksum is wrong is
// ignored, as is everything that is not one of the multiplexer's own sentences. Every line it
// sends ends with a checksum and CR LF. While the TAG Blocks option is on, its lines carry a
// TAG block naming the unique ID and where they come from: "s:ID-0" for the multiplexer's own
// sentences, "s:ID-1" to "-8" for the inputs, "s:ID-9" for conversions, "s:ID#hex" for
// NMEA 2000 sources. Product information always carries its NMEA 2000 source.
class TSimEngine : public QObject {
    Q_OBJECT
public:
    explicit TSimEngine(const TSimOptions& settings, QObject* parent = nullptr);
    ~TSimEngine() override;

    QString Start(); // empty, or why the links did not open
    void Stop();

    void SetFault(TSimFault fault, const TSimFaultValue& value);
    void ClearFaults();
    void SetTrafficRate(int linesPerSecond);
    void SendUnasked(const QByteArray& text);

    TSimLinks& Links() { return *links; }
    TSimConfig& Config() { return config; }
    const TSimN2KNetwork& Network() const { return network; }
    const TSimBootloader& Bootloader() const { return bootloader; }
    bool InBootloader() const { return mode == mdBootloader; }
    QString Firmware() const { return firmware; }
    bool StatisticsRunning() const { return statistics; }
    const QStringList& Received() const { return received; }
    const QList<QByteArray>& Packets() const { return packets; }
    // Lines that came while the bootloader was taking packets: after the synchronisation
    // packet, before the CRC command.
    const QStringList& LinesDuringTransfer() const { return transferLines; }
    void ClearReceived() {
        received.clear();
        packets.clear();
        transferLines.clear();
    }

private:
    enum TMode : quint8 { mdApplication = 0, mdBootloader = 1 };

    void Receive(TSimChannel& channel, QByteArrayView bytes);
    void HandleLine(const QByteArray& line);
    void HandlePacket(const QByteArray& packet);
    void Dispatch(const QString& name, const QStringList& fields);

    void ConfigCommand(const QString& name, const QStringList& fields);
    void TableCommand(const QString& name, const QStringList& fields);
    // Answers a burst of table lines whose answer is still due.
    void FinishBurst();
    void Statistics(const QStringList& fields);
    void Request(const QStringList& fields);
    void CommandAddress(const QStringList& fields);
    void CommandInstances(const QStringList& fields);
    QList<QByteArray> ResolveOwnAddresses(int keep);

    void EnterBootloader();
    void Announce();
    void RestartApplication();
    void ResetFraming();

    // Output: texts without checksum become wire lines; answers honour the delay fault.
    QByteArray Wire(const QByteArray& text, int port = 0, quint8 n2kAddress = 255);
    void Answer(const QList<QByteArray>& texts);
    void Unasked(const QByteArray& text) { Write({Wire(text)}); }
    void Deliver(const QList<QByteArray>& wires, bool answer);
    void Write(const QList<QByteArray>& wires);
    void WritePacket(const QByteArray& frame);

    void StatisticsTick();
    void TrafficTick();
    TSimTrafficContext TrafficContext() const;
    QByteArray VersionText() const;

    TSimOptions options;
    TSimConfig config;
    TSimN2KNetwork network;
    TSimBootloader bootloader;
    TSimTraffic traffic;
    TSimLinks* links;
    std::array<TSimFaultValue, sfCount> faults{};
    TMode mode = mdApplication;
    quint64 generation = 0; // advances with every restart; stale scheduled steps check it
    QString firmware;
    bool statistics = false;
    QTimer* statsTimer;
    QTimer* trafficTimer;
    QTimer* burstTimer;    // runs while a burst of table lines may go on
    qint64 tableLines = 0; // table lines received since the drop fault was set
    QElapsedTimer trafficClock;
    double owed = 0;
    std::array<double, 4> queueFill{}; // characters waiting per output
    quint8 overflowFlags = 0;
    QElapsedTimer overflowClock;
    QStringList received;
    QList<QByteArray> packets;
    QStringList transferLines;
    bool transferring = false; // between the synchronisation packet and the CRC command
    QRandomGenerator noise;
};
