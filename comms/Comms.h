#pragma once

#include "comms/Framing.h"
#include "nmea/Errors.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class QUdpSocket;
class TRXThread;

// What Open is asked to open.
enum TLinkKind : int { lkSerial = 1, lkUdp = 2, lkTcp = 3 };
// What is open.
enum TCommMode : quint8 { mdClosed = 0, mdSerial = 1, mdUdp = 2, mdTcp = 3 };
// Result of ReceivePacket.
enum TPacketResult : int { PacketNone = 0, PacketReceived = 3, PacketTimeout = 5 };

inline constexpr quint32 DefaultNetworkPort = 10110;
inline constexpr int TcpConnectTimeoutMs = 5000;
inline constexpr int DefaultSpeedIndex = 5; // 115200 bit/s, for an index outside the table
inline constexpr int UdpDatagramLimit = 8192;
inline constexpr qsizetype MaxSendLength = 255; // a sent line with checksum and CR LF

// Serial speed by index; an index outside the table gives 115200 bit/s.
qint32 SerialSpeed(int index);

// Splits "host:port" at the first colon. Without a colon the port is 10110. A port that is
// not a decimal number from 1 to 65535 raises ECommError.
std::pair<QString, quint32> SplitNetworkAddress(const QString& address);

// How the port selector names a serial port: its description followed by the port name in
// brackets, "USB Serial Port (COM3)", so that two alike adapters can be told apart; a
// description that already names the port stays as it is, and without one the port name is
// shown alone.
QString FriendlyPortName(const QString& description, const QString& portName);

// The port selector's lists: "UDP All", "UDP", "TCP", then the serial ports sorted without
// regard to case by friendly name (then port name). Each port is (description, port name).
struct TSelectorLists {
    QStringList DeviceNames;
    QStringList DisplayNames;
};
TSelectorLists MakeSelectorLists(std::vector<std::pair<QString, QString>> ports);

// The one link to the multiplexer: a serial port, a UDP socket or a TCP connection. It lives
// on the user-interface thread. Serial and TCP links are read by a receive thread of their
// own, UDP datagrams arrive on the user-interface thread; either way received bytes become
// lines on Queue (or, in packet mode, a packet for ReceivePacket).
// Added to the "Unable to open" message when the system refused a serial port for want of
// permission (TComm::SerialAccessDenied).
#if defined(Q_OS_LINUX)
inline constexpr char SerialPermissionHint[] =
    "\nPermission denied: to use serial ports, add your user to the dialout group\n"
    "(sudo usermod -aG dialout $USER), then log out and in again.";
#else
inline constexpr char SerialPermissionHint[] =
    "\nPermission denied: your user may not use this port.";
#endif

class TComm : public QObject {
    Q_OBJECT
public:
    explicit TComm(QObject* parent = nullptr);
    ~TComm() override;

    // Serial: option is the speed index, and a port that cannot be opened gives mdClosed.
    // UDP: option 1 takes datagrams from the host of the address only. TCP: option unused.
    // A bad port number, a UDP bind failure or a TCP connect failure raises ECommError.
    TCommMode Open(int kind, const QString& address, int option);
    // Stops and joins the receive thread, then closes the device. Queued lines stay.
    void Close();

    TCommMode Mode() const { return mode; }
    quint32 NetworkPort() const { return networkPort; }
    // The last serial port that could not be opened was refused for want of permission: the
    // user may not use the device (on Linux, not in the dialout group), or another program
    // holds its lock.
    bool SerialAccessDenied() const { return serialAccessDenied; }
    bool UdpFilter() const { return udpFilter; }

    // Completes the text with "*", checksum (unless it holds a "*") and CR LF, and writes it
    // as Latin-1. A line that would pass 255 characters raises ECommError and nothing is
    // sent, as does any line while the link is in packet mode; a failed TCP write raises
    // ESocketError.
    void SendLine(const QString& text);
    // Frames and writes a packet on a serial or TCP link.
    void SendPacket(const TPacket& packet);
    // Waits for one packet in packet mode, without spinning; PacketNone when the link is
    // neither serial nor TCP. A time-out drops a packet half received unless keepPartial is
    // set (a caller that waits in slices, to keep its window painted).
    int ReceivePacket(TPacket& packet, int timeoutMs = 2000, bool keepPartial = false);
    // Drops a packet that has arrived unasked, so that it is not taken as the next reply.
    void DiscardPacket();
    void SetPacketMode();
    void SetLineMode();
    // Set between SetPacketMode and SetLineMode (or Close).
    bool InPacketMode() const { return packetMode; }

    // The oldest received line; Lock is held for this one pop only.
    std::optional<QByteArray> PopLine();
    // PopLine for the one consumer that sleeps while the queue is empty: when nothing is
    // queued, the consumer is marked asleep, and the next line queued wakes it with
    // LinesQueued. While it is awake, lines are queued without a signal.
    std::optional<QByteArray> PopLineOrSleep();
    qsizetype QueuedLines() const;

    QStringList DeviceNames() const { return deviceNames; }
    QStringList DisplayNames() const { return displayNames; }
    void RefreshPortList();

signals:
    // The TCP peer closed or reset the connection; delivered on the user-interface thread.
    void ConnectionLost();
    // A line was queued while the consumer slept (it found the queue empty with
    // PopLineOrSleep, or has not drained it yet). Emitted on the thread that received it;
    // connect with a queued (or automatic) connection.
    void LinesQueued();

private:
    friend class TRXThread;

    TCommMode OpenSerial(const QString& address, int option);
    TCommMode OpenUdp(const QString& address, int option);
    TCommMode OpenTcp(const QString& address);
    // Starts the thread and keeps it when its device opened; a thread that failed stays with
    // the caller, who may ask it why.
    QString StartThread(std::unique_ptr<TRXThread>& thread);
    void WriteThroughThread(const QByteArray& bytes, bool failureIsError);
    void UDPRead();
    void RxLinkLost(quint64 link);

    quint32 networkPort = DefaultNetworkPort;
    TCommMode mode = mdClosed;
    bool udpFilter = false;
    bool packetMode = false;
    bool serialAccessDenied = false;
    QStringList deviceNames;
    QStringList displayNames;

    QUdpSocket* udp = nullptr;
    QHostAddress udpHost; // destination of every datagram, and the only sender taken when
                          // UdpFilter is set
    TLineFramer udpFramer;

    std::unique_ptr<TRXThread> rxThread;
    quint64 linkNumber = 0; // tells a stale lost-link report from one of the current link

    // Received lines, oldest first. Lock is held to push or pop, never while a line is used.
    // It also guards the receive thread's packet state, whose completion packetReady signals.
    mutable std::mutex Lock;
    std::deque<QByteArray> Queue;
    // Guarded by Lock. A busy link queues lines many times a second while the consumer is
    // awake and ticking anyway: only the first line after it fell asleep costs a signal, and
    // with it a wake-up of the consumer's thread.
    bool consumerAsleep = true;
    std::condition_variable packetReady;

    // Appends received lines to Queue and empties the batch.
    void PushLines(std::vector<QByteArray>& lines);
};
