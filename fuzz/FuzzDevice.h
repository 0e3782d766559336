#pragma once

// A stand-in multiplexer at the far end of a pseudo-terminal, for the fuzz targets that need a
// connected session: the session opens the terminal as its serial port, so that what it sends
// really goes out, without any network. The device answers only the input setting that a
// session may wait for while it dispatches (the SeaTalk converter's "$PZRQIN"), by sending the
// line back, and drops everything else; the fuzz input is what the session "receives".
#include "comms/Framing.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

class TFuzzDevice {
public:
    TFuzzDevice() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
        reader = std::thread([this] { Run(); });
    }
    ~TFuzzDevice() {
        stop = true;
        if (reader.joinable())
            reader.join();
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    TFuzzDevice(const TFuzzDevice&) = delete;
    TFuzzDevice& operator=(const TFuzzDevice&) = delete;

    // The serial port for the session; empty when no terminal could be opened.
    const QString& Path() const { return path; }

private:
    void Run() {
        TLineFramer framer;
        char buffer[4096];
        while (!stop) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            framer.Feed(buffer, qsizetype(n), [this](const QByteArray& line) {
                if (line.startsWith("$PZRQIN,"))
                    Write(line + "\r\n");
            });
        }
    }
    void Write(const QByteArray& bytes) {
        qsizetype sent = 0;
        // Bounded: a session that stopped reading does not hold the device forever.
        for (int tries = 0; sent < bytes.size() && tries < 100 && !stop; ++tries) {
            const ssize_t n =
                ::write(master, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (n > 0) {
                sent += n;
            } else {
                pollfd fd{master, POLLOUT, 0};
                ::poll(&fd, 1, 10);
            }
        }
    }

    int master = -1;
    int slave = -1;
    QString path;
    std::atomic<bool> stop{false};
    std::thread reader;
};
