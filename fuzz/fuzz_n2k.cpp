// The NMEA 2000 device list on arbitrary received lines during a scan: address claims, product
// information in its three parts, TAG block sources, and the scan's timer steps in between (a
// line that is only "$" stands for one step). The session is connected through a
// pseudo-terminal, so that the scan's requests go out as they would.
//
// After each input the scan must come to its end within the steps its retries allow, the
// complete list holds each record once, and no text is longer
// than a device may send.
#include "FuzzDevice.h"

#include "comms/Comms.h"
#include "comms/Framing.h"
#include "n2k/N2K.h"
#include "session/Session.h"
#include "session/User.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <set>

struct TN2KScanStepper {
    static void Step(TN2KDeviceList& list) { list.TimerTick(); }
};

namespace {

class TQuietUser : public IUser {
public:
    void ShowMessage(const QString&) override {}
    void ShowWarning(const QString&) override {}
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString&) override {}
};

struct TRig {
    TRig() {
        static int argc = 1;
        static char name[] = "fuzz_n2k";
        static char* argv[] = {name, nullptr};
        app = new QCoreApplication(argc, argv);
        device = new TFuzzDevice;
        session = new TSession(user);
        list = new TN2KDeviceList(*session);
        const int selector = session->AddSerialDevice(device->Path());
        if (device->Path().isEmpty() || !session->Connect(selector, QString(), QString()))
            std::abort();
        // As after an "$PZRQUI" report: TAG block sources of the multiplexer are recognised.
        session->Config.UniqueID = QStringLiteral("CPX7A31F");
        // The identification is not part of this target.
        session->SetActivity(acIdle);
        session->TimeOutTimer.stop();
    }

    QCoreApplication* app = nullptr;
    TFuzzDevice* device = nullptr;
    TQuietUser user;
    TSession* session = nullptr;
    TN2KDeviceList* list = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TRig* rig = new TRig; // never destroyed: see fuzz_session
    TSession& session = *rig->session;
    TN2KDeviceList& list = *rig->list;

    list.Scan();
    TLineFramer framer;
    framer.Feed(reinterpret_cast<const char*>(data), qsizetype(size), [&](const QByteArray& line) {
        if (line == "$") {
            TN2KScanStepper::Step(list);
            return;
        }
        try {
            session.DispatchLine(QString::fromLatin1(line));
        } catch (const EError&) {
            // A report the model refuses; the receive pump shows it and goes on.
        }
    });
    QCoreApplication::processEvents();

    // Every claimed address is asked at most 1 + Retries times, one step each, plus the step
    // that ends the address claims and the one that finds no further device; the device being
    // asked may have lost its NAME meanwhile, and is asked to its end all the same.
    int claimed = 0;
    for (int address = 0; address < TN2KDeviceList::AddressCount; ++address)
        claimed += list.Record(quint8(address)).Name != 0 ? 1 : 0;
    // A claim after the scan leaves it idle with news (nsChanged).
    const auto over = [&list] {
        return list.ScanState() == nsIdle || list.ScanState() == nsChanged;
    };
    const int steps = (claimed + 1) * (TN2KDeviceList::Retries + 2) + 3;
    for (int i = 0; i < steps && !over(); ++i)
        TN2KScanStepper::Step(list);
    if (!over())
        std::abort();

    std::set<const TN2KDevice*> seen;
    for (int i = 0; i < list.Count(); ++i) {
        const TN2KDevice& device = list.Device(i);
        if (!seen.insert(&device).second)
            std::abort();
        if (device.ModelID.size() > 32 || device.SoftwareVersion.size() > 32 ||
            device.ModelVersion.size() > 32 || device.SerialCode.size() > 32 ||
            device.N2KVersion.size() > 5)
            std::abort();
        (void)list.ManufacturerOf(device);
    }
    while (session.Comm().PopLine()) {
    }
    return 0;
}
