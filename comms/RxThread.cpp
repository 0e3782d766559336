#include "comms/RxThread.h"
#include "comms/Comms.h"

#include <QNetworkProxy>
#include <QSerialPort>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>

namespace {

constexpr qsizetype ReadChunk = 64 * 1024;
constexpr int FinishTimeoutMs = 1000;

// A link that trickles lines in (a serial adapter hands over a few bytes at a time, a network
// device may send every line on its own) would wake this thread, and the pump behind it, for
// every one. After a light read the thread lets the next bytes collect for a moment (Pause)
// before it reads again, so a busy link is read in batches: a few wake-ups a second however
// the bytes come. Reads this large are not light: a flood is read as fast as it comes.
constexpr qint64 LightReadBytes = 16 * 1024;
// A network link collects at most this long: the viewer shows ten times a second anyway, and
// the system's receive buffer holds far more than the busiest link sends meanwhile.
constexpr auto NetworkPause = std::chrono::milliseconds(100);
// A serial link collects no more than fits well within the terminal driver's buffer (4 KB on
// Linux; a fuller one throttles the adapter, which may then lose bytes): 1 KB at the port's
// speed, 22 ms at the multiplexer's 460800 bit/s.
constexpr qint64 SerialPauseBytes = 1024;
// While the program is talking with the multiplexer (it wrote lately), an answer is awaited:
// bytes are read as soon as they come.
constexpr auto TalkingAfterWrite = std::chrono::milliseconds(250);

} // namespace

TRXThread::TRXThread(TComm& owner, quint64 linkNumber)
    : comm(owner)
    , link(linkNumber) {}

TRXThread::~TRXThread() {
    Stop();
}

QString TRXThread::Start() {
    std::future<QString> opened = started.get_future();
    // One step below normal, so reception never starves the user interface.
    start(QThread::LowPriority);
    if (!isRunning() && !isFinished())
        return QStringLiteral("The receive thread could not be started");
    QString error = opened.get();
    if (!error.isEmpty())
        Join();
    return error;
}

void TRXThread::Stop() {
    if (isRunning()) {
        stopRequested.store(true, std::memory_order_release);
        CutPause();
        quit();
    }
    Join();
}

void TRXThread::Join() {
    wait();
    // Pairs with the store that ends run(): everything the thread did is now visible here,
    // by an ordering the thread sanitizer can see as well as Qt's own.
    (void)ended.load(std::memory_order_acquire);
}

void TRXThread::run() {
    QString error;
    device = OpenDevice(error);
    if (!device) {
        ended.store(true, std::memory_order_release);
        started.set_value(error.isEmpty() ? QStringLiteral("Unknown error") : error);
        return;
    }
    buffer.resize(ReadChunk);
    worker = std::make_unique<TRXWorker>(*this);
    workerAddress = worker.get();
    connect(device.get(), &QIODevice::readyRead, worker.get(), &TRXWorker::Receive);
    WatchLink(*device, *worker);
    started.set_value(QString());

    exec();
    // Pairs with Stop: whatever the stopping thread did before is visible from here on.
    (void)stopRequested.load(std::memory_order_acquire);

    // The loop has ended, so nothing reads any more: only now is the device closed.
    if (!lost.load(std::memory_order_relaxed))
        Finish(*device);
    device.reset();
    worker.reset();
    lines.clear();
    ended.store(true, std::memory_order_release);
}

qint64 TRXThread::Receive() {
    if (lost.load(std::memory_order_relaxed))
        return 0;
    qint64 total = 0;
    for (;;) {
        const qint64 n = device->read(buffer.data(), qint64(buffer.size()));
        if (n <= 0)
            break;
        Feed(buffer.data(), n);
        total += n;
    }
    return total;
}

void TRXThread::Pace(qint64 bytesRead) {
    if (bytesRead <= 0 || bytesRead >= LightReadBytes ||
        std::chrono::steady_clock::now() - lastWrite < TalkingAfterWrite)
        return;
    {
        // Only a cut that comes from here on ends this pause.
        std::lock_guard guard(paceLock);
        pauseCut = false;
    }
    {
        // Bootloader packets are answered one by one: never held back.
        std::lock_guard guard(comm.Lock);
        if (PacketMode)
            return;
    }
    // The event loop waits meanwhile; the bytes wait in the system's buffer. A write to carry
    // out, a stop or a mode switch ends the pause at once.
    std::unique_lock lock(paceLock);
    paceWake.wait_for(lock, Pause(), [this] {
        return pauseCut || pendingWrite.load(std::memory_order_acquire) != nullptr ||
               stopRequested.load(std::memory_order_acquire);
    });
}

void TRXThread::CutPause() {
    {
        std::lock_guard guard(paceLock);
        pauseCut = true;
    }
    paceWake.notify_all();
}

void TRXThread::Feed(const char* data, qsizetype size) {
    {
        std::lock_guard guard(comm.Lock);
        if (lineReset) {
            lineFramer.Reset();
            lineReset = false;
        }
        if (PacketMode) {
            if (packetFramer.Feed(data, size))
                comm.packetReady.notify_all();
            return;
        }
    }
    // Lines are framed outside the lock and handed over in one push per read.
    lineFramer.Feed(data, size, [this](QByteArray line) { lines.push_back(std::move(line)); });
    if (!lines.empty())
        comm.PushLines(lines);
}

QString TRXThread::Write(const QByteArray& bytes) {
    if (lost.load(std::memory_order_acquire))
        return QStringLiteral("The connection is closed");
    TWriteRequest request{bytes, {}};
    std::future<QString> done = request.Done.get_future();
    pendingWrite.store(&request, std::memory_order_release);
    // Called by name: Qt builds the call inside its own library and the request itself
    // travels through pendingWrite.
    QMetaObject::invokeMethod(workerAddress, "WritePending", Qt::QueuedConnection);
    CutPause();
    return done.get();
}

void TRXThread::WritePending() {
    TWriteRequest* request = pendingWrite.exchange(nullptr, std::memory_order_acq_rel);
    if (request)
        request->Done.set_value(WriteNow(request->Bytes));
}

QString TRXThread::WriteNow(const QByteArray& bytes) {
    if (lost.load(std::memory_order_relaxed) || !device->isOpen())
        return QStringLiteral("The connection is closed");
    lastWrite = std::chrono::steady_clock::now();
    const qint64 written = device->write(bytes);
    if (written != bytes.size() || !Flush(*device))
        return device->errorString();
    return QString();
}

void TRXThread::LinkDown(bool report) {
    if (lost.load(std::memory_order_relaxed))
        return;
    // Whatever arrived before the end is still queued.
    Receive();
    lost.store(true, std::memory_order_release);
    // Nothing is read from a dead link any more, so nothing spins on it. A closed socket has
    // already let go of its descriptor; a failed serial device is closed here.
    QObject::disconnect(device.get(), nullptr, worker.get(), nullptr);
    if (report)
        emit LinkLost(link);
    else
        device->close();
}

void TRXThread::SetPacketMode(bool on) {
    {
        std::lock_guard guard(comm.Lock);
        PacketMode = on;
        packetFramer.Reset();
        lineReset = true;
    }
    CutPause();
}

int TRXThread::ReceivePacket(TPacket& packet, int timeoutMs, bool keepPartial) {
    std::unique_lock lock(comm.Lock);
    const bool complete = comm.packetReady.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                    [this] { return packetFramer.IsComplete(); });
    if (complete)
        packet = packetFramer.Packet();
    if (complete || !keepPartial)
        packetFramer.Reset();
    return complete ? PacketReceived : PacketTimeout;
}

// Serial ------------------------------------------------------------------------------------

TSerialThread::TSerialThread(TComm& owner, quint64 linkNumber, const QString& name,
                             qint32 bitsPerSecond)
    : TRXThread(owner, linkNumber)
    , portName(name)
    , speed(bitsPerSecond) {}

std::unique_ptr<QIODevice> TSerialThread::OpenDevice(QString& error) {
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(portName);
    // QSerialPort opens the device exclusively.
    if (!port->open(QIODevice::ReadWrite)) {
        error = port->errorString();
        permissionDenied = port->error() == QSerialPort::PermissionError;
        return nullptr;
    }
    if (!port->setBaudRate(speed) || !port->setDataBits(QSerialPort::Data8) ||
        !port->setParity(QSerialPort::NoParity) || !port->setStopBits(QSerialPort::OneStop) ||
        !port->setFlowControl(QSerialPort::NoFlowControl)) {
        error = port->errorString();
        return nullptr;
    }
    // Both modem control lines off. Devices without them (a pseudo-terminal, some adapters)
    // refuse this, which does not matter for a link without flow control.
    port->setDataTerminalReady(false);
    port->setRequestToSend(false);
    port->clearError();
    return port;
}

void TSerialThread::WatchLink(QIODevice& io, TRXWorker& receiver) {
    // A device that goes away (unplugged adapter, closed pseudo-terminal) would otherwise
    // keep reporting itself readable.
    connect(static_cast<QSerialPort*>(&io), &QSerialPort::errorOccurred, &receiver,
            [&receiver](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ResourceError)
                    receiver.DeviceFailed();
            });
}

bool TSerialThread::Flush(QIODevice& io) {
    static_cast<QSerialPort&>(io).flush();
    return true;
}

std::chrono::milliseconds TSerialThread::Pause() const {
    // Ten bits a byte: start, eight data bits, stop.
    const qint64 ms = SerialPauseBytes * 10 * 1000 / std::max<qint64>(speed, 1);
    return std::chrono::milliseconds(std::clamp<qint64>(ms, 1, NetworkPause.count()));
}

void TSerialThread::Finish(QIODevice& io) {
    if (io.bytesToWrite() > 0)
        io.waitForBytesWritten(FinishTimeoutMs);
}

// TCP ---------------------------------------------------------------------------------------

TTCPThread::TTCPThread(TComm& owner, quint64 linkNumber, const QString& hostName,
                       quint16 portNumber)
    : TRXThread(owner, linkNumber)
    , host(hostName)
    , port(portNumber) {}

std::unique_ptr<QIODevice> TTCPThread::OpenDevice(QString& error) {
    auto socket = std::make_unique<QTcpSocket>();
    // The multiplexer is reached directly, never through a proxy the desktop may name.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(host, port);
    if (!socket->waitForConnected(TcpConnectTimeoutMs)) {
        error = socket->errorString();
        return nullptr;
    }
    // Sentences are short and answered one by one: send each at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return socket;
}

void TTCPThread::WatchLink(QIODevice& io, TRXWorker& receiver) {
    auto* socket = static_cast<QTcpSocket*>(&io);
    connect(socket, &QAbstractSocket::disconnected, &receiver, &TRXWorker::LinkDown);
    connect(socket, &QAbstractSocket::errorOccurred, &receiver, [socket, &receiver] {
        if (socket->state() != QAbstractSocket::ConnectedState)
            receiver.LinkDown();
    });
}

bool TTCPThread::Flush(QIODevice& io) {
    auto& socket = static_cast<QTcpSocket&>(io);
    socket.flush();
    return socket.state() == QAbstractSocket::ConnectedState;
}

std::chrono::milliseconds TTCPThread::Pause() const {
    return NetworkPause;
}

void TTCPThread::Finish(QIODevice& io) {
    auto& socket = static_cast<QTcpSocket&>(io);
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(FinishTimeoutMs);
}
