// What device servers send: discovery datagrams of any size and setup records of any content.
// Nothing may be read beyond the bytes given, and a record the settings dialog shows and stores
// again unchanged must show the same.
#include "network/NetworkSettings.h"
#include "network/XportLib.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copied, so that the sanitizer sees any read past the end.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const auto device =
        TXPort::ParseDiscoveryReply(bytes, QHostAddress(QStringLiteral("192.168.1.20")));
    if (device.has_value() != (size == 30 && data[3] == 0xF7))
        std::abort();
    if (device && device->Text().size() != 33)
        std::abort();

    if (const auto setup = TXPortSetup::FromBytes(bytes)) {
        const TNetworkFields fields = NetworkFieldsOf(*setup);
        TXPortSetup stored = *setup;
        if (StoreNetworkFields(fields, stored) == nfNone && NetworkFieldsOf(stored) != fields)
            std::abort();
    }
    return 0;
}
