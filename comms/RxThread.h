#pragma once

#include "comms/Framing.h"

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <vector>

class TComm;
class TRXWorker;

// The receive thread of a serial or TCP link. It creates and opens the device itself, so the
// device belongs to it, and runs an event loop that frames every byte that arrives: into
// lines for the owner's Queue, or, in packet mode, into one packet for ReceivePacket.
// Writes from the user-interface thread are carried out on this thread (see Write).
class TRXThread : public QThread {
    Q_OBJECT
public:
    TRXThread(TComm& comm, quint64 link);
    // Stops and joins the thread. Each subclass stops it in its own destructor too, since
    // the thread calls its overrides until it ends.
    ~TRXThread() override;

    // Starts the thread and returns once the device is open (an empty text) or could not be
    // opened (the reason; the thread has then ended).
    QString Start();
    // Ends the event loop; the device is then flushed briefly and closed on the thread, and
    // the thread is joined.
    void Stop();

    // Writes on the receive thread and waits for the outcome: an empty text, or why the
    // write failed. The receive thread never waits for the caller, so this cannot deadlock.
    QString Write(const QByteArray& bytes);

    // Packet mode switch and packet hand-over. They take the owner's Lock.
    void SetPacketMode(bool on);
    int ReceivePacket(TPacket& packet, int timeoutMs, bool keepPartial);

signals:
    // The connection is gone; nothing more will be received. Emitted from the receive thread.
    void LinkLost(quint64 link);

protected:
    // Creates the device on the receive thread and opens it; nullptr and the reason when it
    // cannot be opened.
    virtual std::unique_ptr<QIODevice> OpenDevice(QString& error) = 0;
    // Watches the device for the end of the link; calls worker's LinkDown when it ends.
    virtual void WatchLink(QIODevice& io, TRXWorker& receiver) = 0;
    // Hands buffered output to the system without blocking; false when the link is broken.
    virtual bool Flush(QIODevice& io) = 0;
    // Gives buffered output a moment to go out before the device is closed.
    virtual void Finish(QIODevice& io) = 0;
    // How long bytes may collect after a light read before they are read (see Pace).
    virtual std::chrono::milliseconds Pause() const = 0;

    void run() override;

private:
    friend class TRXWorker;

    struct TWriteRequest {
        QByteArray Bytes;
        std::promise<QString> Done;
    };

    void Join();
    // Reads everything the device holds; returns the number of bytes read.
    qint64 Receive();
    // After a light read, lets the next bytes collect for a moment before reading again.
    void Pace(qint64 bytesRead);
    // Ends a pause of Pace early.
    void CutPause();
    void Feed(const char* data, qsizetype size);
    void WritePending();
    QString WriteNow(const QByteArray& bytes);
    void LinkDown(bool report);

    TComm& comm;
    const quint64 link;
    std::promise<QString> started;

    // Owned by the receive thread, between opening and closing.
    std::unique_ptr<QIODevice> device;
    std::unique_ptr<TRXWorker> worker;
    TLineFramer lineFramer;
    std::vector<char> buffer;
    std::vector<QByteArray> lines;

    // Guarded by the owner's Lock.
    bool PacketMode = false;
    bool lineReset = false; // the line framer must start afresh (after a mode switch)
    TPacketFramer packetFramer;

    // Set last by run(), and by Stop before it ends the loop.
    std::atomic<bool> ended{false};
    std::atomic<bool> stopRequested{false};
    // Set by the receive thread when the link has ended.
    std::atomic<bool> lost{false};
    // The one write in flight: the user-interface thread waits for its outcome.
    std::atomic<TWriteRequest*> pendingWrite{nullptr};
    // Pace's pause: a write, a stop or a mode switch ends it early.
    std::mutex paceLock;
    std::condition_variable paceWake;
    bool pauseCut = false; // guarded by paceLock
    // When the receive thread last wrote (its own clock; nobody else reads it).
    std::chrono::steady_clock::time_point lastWrite{};
    // Published before Start returns; stays valid until the thread ends.
    TRXWorker* workerAddress = nullptr;
};

// The receive thread's own object: it lives on that thread, so queued calls made to it by
// name run there.
class TRXWorker : public QObject {
    Q_OBJECT
public:
    explicit TRXWorker(TRXThread& thread)
        : rx(thread) {}

public slots:
    void Receive() { rx.Pace(rx.Receive()); }
    void WritePending() { rx.WritePending(); }
    // The link ended: take what is still buffered, then stop reading.
    void LinkDown() { rx.LinkDown(true); }
    // A serial device failed: stop reading without telling anyone.
    void DeviceFailed() { rx.LinkDown(false); }

private:
    TRXThread& rx;
};

class TSerialThread : public TRXThread {
    Q_OBJECT
public:
    TSerialThread(TComm& comm, quint64 link, const QString& portName, qint32 speed);
    ~TSerialThread() override { Stop(); }
    // The port could not be opened for want of permission (or another program's lock). Valid
    // once Start has returned.
    bool PermissionDenied() const { return permissionDenied; }

protected:
    std::unique_ptr<QIODevice> OpenDevice(QString& error) override;
    void WatchLink(QIODevice& io, TRXWorker& receiver) override;
    bool Flush(QIODevice& io) override;
    void Finish(QIODevice& io) override;
    std::chrono::milliseconds Pause() const override;

private:
    const QString portName;
    const qint32 speed;
    bool permissionDenied = false;
};

class TTCPThread : public TRXThread {
    Q_OBJECT
public:
    TTCPThread(TComm& comm, quint64 link, const QString& host, quint16 port);
    ~TTCPThread() override { Stop(); }

protected:
    std::unique_ptr<QIODevice> OpenDevice(QString& error) override;
    void WatchLink(QIODevice& io, TRXWorker& receiver) override;
    bool Flush(QIODevice& io) override;
    void Finish(QIODevice& io) override;
    std::chrono::milliseconds Pause() const override;

private:
    const QString host;
    const quint16 port;
};
