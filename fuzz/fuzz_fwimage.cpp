// The firmware image loader on arbitrary files, and on arbitrary bytes in place of the image
// built into the program. Loading either succeeds with an image whose payload fits its buffer,
// whose checksum is the one its header names and whose padding is 0xFF, or fails with one of
// the messages the user is shown; never anything else.
//
// Byte 0 of the input: bit 0 writes the right checksum into the header first, so that inputs
// get past the checksum to what follows it; bit 1 loads the bytes as the built-in image.
#include "firmware/FwImage.h"
#include "nmea/Errors.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void CheckLoaded(const TFirmwareImage& image) {
    if (image.PayloadLength < 0 || image.PayloadLength > FwPayloadSize)
        std::abort();
    if (image.PageCount() > FwPayloadSize / FwPageSize)
        std::abort();
    if (image.FileChecksum() != FirmwareChecksum(image.PayloadBuffer()))
        std::abort();
    // Compared in blocks: a byte-wise loop over the 256 KiB, every comparison traced by the
    // fuzzer, was most of the time of a run.
    static const QByteArray padding(4096, char(0xFF));
    for (size_t i = size_t(FwHeaderSize + image.PayloadLength); i < image.Area.size();
         i += size_t(padding.size())) {
        const size_t n = std::min(size_t(padding.size()), image.Area.size() - i);
        if (std::memcmp(image.Area.data() + i, padding.constData(), n) != 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The file lives in memory; the loader opens it by name as it would a file on disk.
    static const int fd = memfd_create("fwimage", 0);
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (fd < 0 || size == 0)
        return 0;
    const quint8 control = data[0];
    QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if ((control & 1) && file.size() >= FwHeaderSize) {
        // One buffer for every run: a fresh 256 KiB allocation per run cost more than the rest.
        static QByteArray buffer(FwPayloadSize, char(0xFF));
        buffer.fill(char(0xFF));
        const qsizetype payload = std::min(file.size() - FwHeaderSize, FwPayloadSize);
        std::memcpy(buffer.data(), file.constData() + FwHeaderSize, size_t(payload));
        const quint32 sum = FirmwareChecksum(buffer);
        for (int i = 0; i < 4; ++i)
            file[16 + i] = char(i < 3 ? sum >> (8 * i) : 0);
    }

    try {
        if (control & 2) {
            CheckLoaded(LoadBuiltInImage(file));
        } else {
            if (ftruncate(fd, 0) != 0 ||
                pwrite(fd, file.constData(), size_t(file.size()), 0) != ssize_t(file.size()))
                return 0;
            CheckLoaded(LoadFirmwareImage(path));
        }
    } catch (const EInOutError& e) {
        if (e.Message().trimmed().isEmpty())
            std::abort();
    }
    return 0;
}
