// The firmware image loader on arbitrary bytes, as a file and as the built-in image: it loads
// or raises EInOutError, never reads or writes outside its area, and a loaded image holds
// exactly the bytes given, padded with 0xFF.
#include "firmware/FwImage.h"
#include "nmea/Errors.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(const TFirmwareImage& image, QByteArrayView bytes) {
    const qsizetype payload = std::min<qsizetype>(bytes.size() - FwHeaderSize, FwPayloadSize);
    if (image.PayloadLength != payload || image.PageCount() > FwPayloadSize / FwPageSize)
        std::abort();
    const QByteArrayView buffer = image.PayloadBuffer();
    if (buffer.first(payload) != bytes.sliced(FwHeaderSize, payload))
        std::abort();
    for (qsizetype i = payload; i < FwPayloadSize; ++i) {
        if (quint8(buffer[i]) != 0xFF)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        Check(LoadBuiltInImage(bytes), bytes);
    } catch (const EInOutError&) {
    }

    static QTemporaryFile file;
    if (!file.isOpen() && !file.open())
        std::abort();
    file.resize(0);
    file.seek(0);
    file.write(bytes.data(), bytes.size());
    file.flush();
    try {
        Check(LoadFirmwareImage(file.fileName()), bytes);
    } catch (const EInOutError&) {
    }
    return 0;
}
