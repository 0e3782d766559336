// The NMEA 2000 commands of tidewright-cli: the device list window's scan, list and device
// changes, with the checks of the device information window.
#include "cli/CliTool.h"

#include "cli/ConsoleUser.h"
#include "n2k/N2K.h"
#include "n2k/N2KView.h"
#include "nmea/Numbers.h"
#include "session/Session.h"

namespace {

// The scan ends by itself: at worst 2 s for each of 255 addresses.
constexpr int ScanTimeoutMs = 600000;
// A device claims its new address or NAME within a fraction of this.
constexpr int ClaimTimeoutMs = 2000;
// Bit of the capability word: the multiplexer has an NMEA 2000 interface.
constexpr quint16 CapabilityN2K = 0x10;

// A NAME as the address claims and --names show it: 16 hexadecimal digits.
std::optional<quint64> ParseName(const QString& text) {
    if (text.size() != 16)
        return std::nullopt;
    return ParseHex(text);
}

} // namespace

bool TCliTool::ScanNetwork(const TOptions& options) {
    TOptions withList = options;
    withList.DeviceList = true;
    if (!Open(withList) || !Identify())
        return false;
    if (!(session->Identification().Capabilities & CapabilityN2K)) {
        err << "The multiplexer reports no NMEA 2000 interface." << Qt::endl;
        return false;
    }
    // The identification has started the scan.
    WaitUntil(
        [this] {
            const TN2KScanState state = n2kList->ScanState();
            return state == nsIdle || state == nsChanged || !session->IsOpen();
        },
        ScanTimeoutMs);
    return session->IsOpen();
}

int TCliTool::CmdN2K(const TOptions& options) {
    if (!ScanNetwork(options))
        return ExitFailed;
    if (options.Csv)
        out << N2KDeviceListCsv(*n2kList, options.Names);
    else if (n2kList->Count() == 0)
        out << "No NMEA 2000 devices found\n";
    else
        out << N2KDeviceListText(*n2kList, options.Names);
    out.flush();
    return ExitOk;
}

int TCliTool::CmdN2KAddress(const TOptions& options) {
    const std::optional<quint64> name = ParseName(options.Positional[0]);
    if (!name)
        return Usage(
            QStringLiteral("NAME must be 16 hexadecimal digits, as n2k --names shows it."));
    return ChangeDevice(options, *name, options.Positional[1], {}, {});
}

int TCliTool::CmdN2KInstance(const TOptions& options) {
    const std::optional<quint64> name = ParseName(options.Positional[0]);
    if (!name)
        return Usage(
            QStringLiteral("NAME must be 16 hexadecimal digits, as n2k --names shows it."));
    return ChangeDevice(options, *name, {}, options.Positional[1], options.Positional[2]);
}

// Empty texts keep what the device has.
int TCliTool::ChangeDevice(const TOptions& options, quint64 name, const QString& address,
                           const QString& deviceInstance, const QString& systemInstance) {
    // The checks of the information window, before anything is sent.
    TN2KDeviceEntry entry;
    const QStringList messages =
        CheckDeviceEntry(address.isNull() ? QStringLiteral("0") : address,
                         deviceInstance.isNull() ? QStringLiteral("0") : deviceInstance,
                         systemInstance.isNull() ? QStringLiteral("0") : systemInstance, entry);
    if (!messages.isEmpty())
        return Usage(messages.join(u'\n'));

    if (!ScanNetwork(options))
        return ExitFailed;
    const TN2KDevice* found = n2kList->FindByName(name);
    if (!found) {
        err << QStringLiteral("No NMEA 2000 device with NAME %1 answered the scan.")
                   .arg(HexText(name, 16))
            << Qt::endl;
        return ExitFailed;
    }
    const TN2KDevice device = *found;
    if (address.isNull())
        entry.SourceAddress = device.Address;
    if (deviceInstance.isNull()) {
        entry.DeviceInstance = device.DeviceInstance();
        entry.SystemInstance = device.SystemInstance();
    }

    const QStringList sent = n2kList->SendDeviceChange(device, entry.SourceAddress,
                                                       entry.DeviceInstance, entry.SystemInstance);
    if (sent.isEmpty()) {
        out << "Nothing to change: the device has these settings already." << Qt::endl;
        return ExitOk;
    }
    for (const QString& sentence : sent)
        out << "Sent " << sentence << "\n";
    out.flush();

    // The commands are not answered; the device's new address claim shows that it took them.
    const quint64 claimed =
        N2KNameWithInstances(device.Name, entry.DeviceInstance, entry.SystemInstance);
    const quint8 at = entry.SourceAddress;
    if (!WaitUntil([&] { return n2kList->Record(at).Name == claimed || !session->IsOpen(); },
                   ClaimTimeoutMs) ||
        n2kList->Record(at).Name != claimed) {
        err << QStringLiteral("The device did not claim address %1 with NAME %2 within %3 s.")
                   .arg(at)
                   .arg(HexText(claimed, 16))
                   .arg(ClaimTimeoutMs / 1000)
            << Qt::endl;
        return ExitFailed;
    }
    out << QStringLiteral("The device claims address %1 with NAME %2.")
               .arg(at)
               .arg(HexText(claimed, 16))
        << Qt::endl;
    return ExitOk;
}
