#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The simulated multiplexer's bootloader: it takes the command packets of a firmware update
// and keeps the programmed application memory.
//
// Application memory is 256 KiB, 512 pages of 512 bytes, erased to 0xFF. The CRC that the
// "Calculate CRC" command reports is CRC-32 as zlib and Ethernet compute it (reflected
// polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF) over the memory from page 0
// up to and including the highest page programmed since the last erase, in page order; with
// no page programmed it covers nothing and is 0. An update that programs the pages
// 0..n-1 of a payload therefore gets FirmwareDeviceCrc(payload): the CRC-32 of the payload
// padded with 0xFF to a whole number of pages. Pages are taken as sent: the simulator does not
// decipher them.
//
// Commands (first data byte) and replies (one byte unless noted):
//   F0 F1 F2 F3  synchronisation: no reply
//   01           erase the whole application memory: C0
//   02 lo hi     erase one page: C0
//   03 lo hi d*512, 04 lo hi d*512   (erase and) program one page: C0
//   05           calculate the CRC: 05 and the CRC, least significant byte first
//   06 02 p*16   decryption method 2 with its parameters: C0; another method: E2
//   07, 08, 09 and unknown codes: E1 (this bootloader offers no user memory or ID)
// A command of the wrong length, or for a page beyond the memory, is answered E0.

inline constexpr int BootPageSize = 512;
inline constexpr int BootPageCount = 512;

inline constexpr quint8 BootDone = 0xC0;
inline constexpr quint8 BootFrameError = 0xE0;
inline constexpr quint8 BootUnknownCommand = 0xE1;
inline constexpr quint8 BootUnknownMethod = 0xE2;
inline constexpr quint8 BootCrcReply = 0x05;

// CRC-32 (zlib) of data, continuing from an earlier result.
quint32 Crc32(QByteArrayView data, quint32 previous = 0);

// The CRC the bootloader reports after the payload was programmed page by page.
quint32 FirmwareDeviceCrc(QByteArrayView payload);

class TSimBootloader {
public:
    TSimBootloader();

    // The reply to one packet; nothing for the synchronisation packet.
    std::optional<QByteArray> Handle(QByteArrayView packet);

    quint32 Crc() const;
    // Pages 0 up to the highest programmed page.
    QByteArray ProgrammedMemory() const;
    QByteArray DecryptionParameters() const { return parameters; }
    int PagesProgrammed() const { return pagesWritten; }

private:
    QByteArray memory;
    QByteArray parameters;
    int extent = 0; // pages from 0 that the CRC covers
    int pagesWritten = 0;
};
