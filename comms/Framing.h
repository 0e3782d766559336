#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstring>

// The byte-level framing of the host link, shared by every receiver (serial and TCP threads,
// the UDP socket, the simulator): NMEA lines ending in CR LF, and the bootloader's binary
// packets between reserved start and end bytes.

inline constexpr qsizetype MaxLineLength = 255; // characters of a line, CR LF excluded
inline constexpr qsizetype MaxPacketData = 1024;

// One binary packet: Length valid bytes of Data.
struct TPacket {
    quint16 Length = 0;
    std::array<quint8, MaxPacketData> Data{};

    // Never reaches past Data, whatever Length a caller has set.
    QByteArrayView Bytes() const {
        return {reinterpret_cast<const char*>(Data.data()),
                std::min<qsizetype>(Length, MaxPacketData)};
    }
    // Copies at most MaxPacketData bytes.
    static TPacket FromBytes(QByteArrayView bytes);
};

inline constexpr quint8 PacketStart = 0xFE;
inline constexpr quint8 PacketEnd = 0xFD;
inline constexpr quint8 PacketEscape = 0xFF;

// The frame of a packet: start byte, the data with the three reserved values escaped, end byte.
QByteArray FramePacket(QByteArrayView data);

// Assembles lines from a byte stream. A line starts with "$", "!" or "\" (anything before is
// dropped), ends with CR LF, and holds at most 255 characters: a longer one is abandoned, and
// a CR not followed by LF discards the line. Lines are handed out without CR LF.
class TLineFramer {
public:
    enum : quint8 { Idle = 0, InLine = 1, AfterCR = 2 };

    template <class Sink>
    void Feed(const char* data, qsizetype size, Sink&& onLine);
    template <class Sink>
    void Feed(QByteArrayView bytes, Sink&& onLine) {
        Feed(bytes.data(), bytes.size(), onLine);
    }

    void Reset() {
        state = Idle;
        length = 0;
    }
    quint8 State() const { return state; }

private:
    quint8 state = Idle;
    qsizetype length = 0;
    char line[MaxLineLength];
};

// Assembles bootloader packets. After a complete packet every byte is dropped until Reset:
// the reader takes the packet and resets, or a mode switch does.
class TPacketFramer {
public:
    enum : quint8 { Idle = 0, InPacket = 1, Complete = 3, Escaped = 4 };

    // Returns true once a packet is complete.
    bool Feed(const char* data, qsizetype size);
    bool Feed(QByteArrayView bytes) { return Feed(bytes.data(), bytes.size()); }

    void Reset() {
        state = Idle;
        fill = 0;
    }
    quint8 State() const { return state; }
    bool IsComplete() const { return state == Complete; }
    // The complete packet; meaningful only while IsComplete().
    const TPacket& Packet() const { return packet; }

private:
    void Store(quint8 byte) {
        // Over-long packets are cut: bytes beyond the buffer are dropped silently.
        if (fill < MaxPacketData)
            packet.Data[fill++] = byte;
    }

    quint8 state = Idle;
    quint16 fill = 0;
    TPacket packet;
};

template <class Sink>
void TLineFramer::Feed(const char* data, qsizetype size, Sink&& onLine) {
    qsizetype i = 0;
    while (i < size) {
        switch (state) {
        case Idle: {
            const char c = data[i++];
            if (c == '$' || c == '!' || c == '\\') {
                line[0] = c;
                length = 1;
                state = InLine;
            }
            break;
        }
        case InLine: {
            // Copy up to the CR in one go, but never past the room left in the line.
            const qsizetype room = MaxLineLength - length;
            const qsizetype window = std::min(size - i, room);
            const void* cr = std::memchr(data + i, '\r', size_t(window));
            if (cr) {
                const qsizetype n = static_cast<const char*>(cr) - (data + i);
                std::memcpy(line + length, data + i, size_t(n));
                length += n;
                i += n + 1;
                state = AfterCR;
            } else {
                std::memcpy(line + length, data + i, size_t(window));
                length += window;
                i += window;
                if (i < size) {
                    // The line is full and the next byte is no CR: abandon it, dropping the byte.
                    if (data[i] == '\r') {
                        state = AfterCR;
                    } else {
                        state = Idle;
                        length = 0;
                    }
                    ++i;
                }
            }
            break;
        }
        case AfterCR: {
            // Whatever follows CR ends the line; only LF completes it.
            if (data[i++] == '\n')
                onLine(QByteArray(line, length));
            state = Idle;
            length = 0;
            break;
        }
        }
    }
}
