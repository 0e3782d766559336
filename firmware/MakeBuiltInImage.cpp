// Makes the firmware image that is built into Tidewright (resource "FIRMWARE"), at build time.
//
//     tw-make-firmware OUTPUT
//
// The real image belongs to the multiplexer's maker, who enciphers its payload for the
// bootloader; it is not ours to ship. The program carries this stand-in instead, so that
// "Automatic Update" and the incompatible-firmware offer work end to end against the simulated
// multiplexer. It has the header values of the real one:
//
//   format 1, firmware 3.14.0 (the oldest version the identification accepts), multiplexer
//   type 148, a payload of 159,744 bytes (312 pages of 512 bytes).
//
// Payload and decryption parameters are bytes of a fixed pseudo-random sequence (xorshift32,
// seed 0x54574657), so every build makes the same file and every byte value, the packet
// framing's reserved 0xFD to 0xFF included, occurs in the pages. The device CRC in the header
// is what the simulated bootloader reports after programming these pages (CRC-32 of the payload
// padded with 0xFF to whole pages), and the file checksum is FirmwareChecksum as the loader
// checks it. A real device rejects the stand-in: its bootloader cannot decipher it.
#include "firmware/FwImage.h"
#include "sim/SimBoot.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr qsizetype PayloadBytes = 312 * FwPageSize;

class TSequence {
public:
    quint8 Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return quint8(state >> 24);
    }

private:
    quint32 state = 0x54574657;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw-make-firmware OUTPUT\n");
        return 2;
    }
    TSequence sequence;
    QByteArray payload(PayloadBytes, '\0');
    for (char& byte : payload)
        byte = char(sequence.Next());

    TFirmwareFileInfo info;
    info.FormatVersion = 1;
    info.Major = 3;
    info.Minor = 14;
    info.Build = 0;
    info.MuxType = 148;
    info.DeviceCrc = FirmwareDeviceCrc(payload);
    for (char& byte : info.DecryptionParameters)
        byte = char(sequence.Next());

    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(MakeFirmwareFile(info, payload)) < 0 ||
        !file.commit()) {
        std::fprintf(stderr, "tw-make-firmware: cannot write %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
