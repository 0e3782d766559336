#include "sim/SimBoot.h"

#include <array>

namespace {

const std::array<quint32, 256>& CrcTable() {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

QByteArray Reply(quint8 code) {
    return QByteArray(1, char(code));
}

} // namespace

quint32 Crc32(QByteArrayView data, quint32 previous) {
    const auto& table = CrcTable();
    quint32 crc = ~previous;
    for (char c : data)
        crc = table[(crc ^ quint8(c)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

quint32 FirmwareDeviceCrc(QByteArrayView payload) {
    const qsizetype tail = payload.size() % BootPageSize;
    quint32 crc = Crc32(payload);
    if (tail)
        crc = Crc32(QByteArray(BootPageSize - tail, char(0xFF)), crc);
    return crc;
}

TSimBootloader::TSimBootloader()
    : memory(BootPageCount * BootPageSize, char(0xFF)) {}

std::optional<QByteArray> TSimBootloader::Handle(QByteArrayView packet) {
    static constexpr char sync[] = {char(0xF0), char(0xF1), char(0xF2), char(0xF3)};
    if (packet == QByteArrayView(sync, 4))
        return std::nullopt;
    if (packet.isEmpty())
        return Reply(BootFrameError);

    const quint8 command = quint8(packet[0]);
    auto page = [&]() { return quint8(packet[1]) | quint8(packet[2]) << 8; };
    switch (command) {
    case 1:
        if (packet.size() != 1)
            return Reply(BootFrameError);
        memory.fill(char(0xFF));
        extent = 0;
        return Reply(BootDone);
    case 2:
        if (packet.size() != 3 || page() >= BootPageCount)
            return Reply(BootFrameError);
        memory.replace(page() * BootPageSize, BootPageSize, QByteArray(BootPageSize, char(0xFF)));
        return Reply(BootDone);
    case 3:
    case 4:
        if (packet.size() != 3 + BootPageSize || page() >= BootPageCount)
            return Reply(BootFrameError);
        memory.replace(page() * BootPageSize, BootPageSize, packet.sliced(3).toByteArray());
        extent = std::max(extent, page() + 1);
        ++pagesWritten;
        return Reply(BootDone);
    case 5: {
        if (packet.size() != 1)
            return Reply(BootFrameError);
        const quint32 crc = Crc();
        QByteArray reply(1, char(BootCrcReply));
        for (int i = 0; i < 4; ++i)
            reply.append(char(crc >> (8 * i)));
        return reply;
    }
    case 6:
        if (packet.size() != 18)
            return Reply(BootFrameError);
        if (quint8(packet[1]) != 2)
            return Reply(BootUnknownMethod);
        parameters = packet.sliced(2).toByteArray();
        return Reply(BootDone);
    default:
        return Reply(BootUnknownCommand);
    }
}

quint32 TSimBootloader::Crc() const {
    return Crc32(QByteArrayView(memory).first(extent * BootPageSize));
}

QByteArray TSimBootloader::ProgrammedMemory() const {
    return memory.first(extent * BootPageSize);
}
