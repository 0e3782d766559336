// A whole connected session receiving arbitrary bytes: the link's framer, the dispatcher, every
// always-active handler, the NMEA 2000 list, the statistics and navigation database readers,
// the viewer and the diagnostic log, in whichever activity the first byte chooses. The link is
// a pseudo-terminal to a stand-in device, so that what the handlers send really goes out.
//
// After each input: no wait is left running, the dispatcher is not left refreshing, the model
// stays within its limits and formats again, and everything said to the user has a text.
#include "FuzzDevice.h"

#include "comms/Comms.h"
#include "comms/Framing.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "n2k/N2K.h"
#include "session/Session.h"
#include "session/User.h"
#include "windows/Database.h"
#include "windows/Statistics.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

// Says No to every question, so that no job beyond the dispatch starts; checks every text.
class TFuzzUser : public IUser {
public:
    void ShowMessage(const QString& text) override { Check(text); }
    void ShowWarning(const QString& text) override { Check(text); }
    bool AskYesNo(const QString& text) override {
        Check(text);
        return false;
    }
    void ShowError(const QString& text) override { Check(text); }

private:
    static void Check(const QString& text) {
        if (text.trimmed().isEmpty())
            std::abort();
    }
};

struct TRig {
    TRig() {
        static int argc = 1;
        static char name[] = "fuzz_session";
        static char* argv[] = {name, nullptr};
        app = new QCoreApplication(argc, argv);
        device = new TFuzzDevice;
        session = new TSession(user);
        n2k = new TN2KDeviceList(*session);
        stats = new TStatsMonitor(*session);
        // A clock that moves on a second per reading keeps the minute's history short.
        stats->SetClock([] {
            static qint64 now = 0;
            return now += 1000;
        });
        navDB = new TNavDatabase(*session);
        const int selector = session->AddSerialDevice(device->Path());
        if (device->Path().isEmpty() || !session->Connect(selector, QString(), QString()))
            std::abort();
        session->StartLog(QStringLiteral("/dev/null"), true);
    }

    QCoreApplication* app = nullptr;
    TFuzzDevice* device = nullptr;
    TFuzzUser user;
    TSession* session = nullptr;
    TN2KDeviceList* n2k = nullptr;
    TStatsMonitor* stats = nullptr;
    TNavDatabase* navDB = nullptr;
};

void CheckModel(const TMuxConfig& config) {
    if (config.Routes.size() > MaxRoutes || config.ModbusMaps.size() > MaxModbusMaps)
        std::abort();
    for (const TRoute& route : config.Routes) {
        if (route.Sentence.size() > RouteSentenceLength || !RouteCommand(route).startsWith('$'))
            std::abort();
    }
    for (const TModbus& entry : config.ModbusMaps) {
        if (entry.XdrID.size() > XdrIDLength || !ModbusCommand(entry).startsWith('$'))
            std::abort();
    }
    for (const TSentenceKind kind : ConfigWriteOrder) {
        if (FormatCommand(kind, config).isEmpty())
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Never destroyed: the session's receive thread would otherwise be stopped after exit()
    // has begun tearing the program down.
    static TRig* rig = new TRig;
    TSession& session = *rig->session;
    if (size == 0)
        return 0;

    // Byte 0: the activity (low three bits) and which timers fire after the lines (the
    // identification or bootloader time-out, the dump's silence, the keep-alive, the lamps).
    const quint8 control = data[0];
    static_cast<TMuxSettings&>(session.Config) = TMuxSettings();
    session.Config.ClearRoutes();
    session.Config.ClearModbus();
    // As after an "$PZRQUI" report: TAG block sources of the multiplexer are recognised.
    session.Config.UniqueID = QStringLiteral("CPX7A31F");
    session.SetActivity(acIdle);
    switch (control & 7) {
    case acIdentify:
        session.ReadConfiguration();
        break;
    case acReadNavDB:
        rig->navDB->Query();
        break;
    case 7:
        rig->stats->Start();
        break;
    default:
        session.SetActivity(TActivity(control & 7));
        break;
    }

    TLineFramer framer;
    framer.Feed(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1),
                [&](const QByteArray& line) {
                    try {
                        session.DispatchLine(QString::fromLatin1(line));
                    } catch (const EError& e) {
                        // What the pump would show as an uncaught error: it must say something.
                        if (e.Message().trimmed().isEmpty())
                            std::abort();
                    }
                });

    // Handlers that run once the dispatch is over (the converter's input change).
    QCoreApplication::processEvents();
    if (control & 0x08)
        session.TimeOutTimerTimer();
    if (control & 0x10)
        session.DumpTimerTimer();
    if (control & 0x20)
        session.ConfigTimerTimer();
    if (control & 0x40)
        session.OVTimerTimer();

    if (session.Refreshing || session.WaitDepth() != 0 || session.Activity() > acFwWaitRestart)
        std::abort();
    if (!session.IsOpen())
        std::abort();
    CheckModel(session.Config);
    if (rig->n2k->Count() > TN2KDeviceList::AddressCount)
        std::abort();
    if (session.Viewer.Lines.size() > TViewer::MaxScrollLines)
        std::abort();

    // What the device sent back is not part of the next input.
    while (session.Comm().PopLine()) {
    }
    return 0;
}
