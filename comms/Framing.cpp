#include "comms/Framing.h"

#include <algorithm>

TPacket TPacket::FromBytes(QByteArrayView bytes)
{
    TPacket packet;
    packet.Length = quint16(std::min<qsizetype>(bytes.size(), MaxPacketData));
    std::copy_n(reinterpret_cast<const quint8*>(bytes.data()), packet.Length, packet.Data.begin());
    return packet;
}

QByteArray FramePacket(QByteArrayView data)
{
    QByteArray frame;
    frame.reserve(2 * data.size() + 2);
    frame.append(char(PacketStart));
    for (char c : data) {
        const quint8 byte = quint8(c);
        if (byte == PacketStart || byte == PacketEnd || byte == PacketEscape)
            frame.append(char(PacketEscape));
        frame.append(c);
    }
    frame.append(char(PacketEnd));
    return frame;
}

bool TPacketFramer::Feed(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        const quint8 byte = quint8(data[i]);
        switch (state) {
        case Idle:
            if (byte == PacketStart) {
                fill = 0;
                state = InPacket;
            }
            break;
        case InPacket:
            if (byte < PacketEnd) {
                Store(byte);
            } else if (byte == PacketEnd) {
                // An empty frame completes nothing.
                if (fill > 0) {
                    packet.Length = fill;
                    state = Complete;
                } else {
                    state = Idle;
                }
            } else if (byte == PacketStart) {
                fill = 0;
            } else {
                state = Escaped;
            }
            break;
        case Escaped:
            Store(byte);
            state = InPacket;
            break;
        case Complete:
        default:
            break;
        }
    }
    return state == Complete;
}
