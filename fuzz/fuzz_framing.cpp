// The byte stream of the host link: arbitrary bytes through the line framer (fed in pieces of
// varying size), every framed line through the sentence parser, and the same bytes through the
// packet framer. Lines must keep their shape; packets their limit.
#include "comms/Framing.h"
#include "nmea/Nmea.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    TLineFramer lines;
    size_t offset = 0;
    // The first byte chooses the piece size, so that lines cross read boundaries.
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    while (offset < size) {
        const size_t n = std::min(piece, size - offset);
        lines.Feed(bytes + offset, qsizetype(n), [](QByteArray line) {
            if (line.isEmpty() || line.size() > MaxLineLength || line.contains('\r'))
                std::abort();
            if (line[0] != '$' && line[0] != '!' && line[0] != '\\')
                std::abort();
            const TSentence sentence(QString::fromLatin1(line), QStringLiteral("CVZ1"));
            if (sentence.TagBlock.size() + sentence.Text.size() != line.size())
                std::abort();
            for (qsizetype i = 0; i < sentence.FieldCount(); ++i)
                (void)sentence.Field(i);
        });
        offset += n;
    }

    TPacketFramer packets;
    if (packets.Feed(bytes, qsizetype(size))) {
        const TPacket& packet = packets.Packet();
        if (packet.Length == 0 || packet.Length > MaxPacketData)
            std::abort();
        // A complete packet survives framing and reading back.
        TPacketFramer again;
        const QByteArray frame = FramePacket(packet.Bytes());
        if (!again.Feed(frame) || again.Packet().Bytes() != packet.Bytes())
            std::abort();
    }
    return 0;
}
