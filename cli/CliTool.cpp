#include "cli/CliTool.h"

#include "session/Session.h"
#include "cli/ConsoleUser.h"
#include "comms/Comms.h"
#include "firmware/FwUpdate.h"
#include "nmea/Numbers.h"
#include "sim/Simulator.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <csignal>

namespace {

// Set by Ctrl+C (or SIGTERM): the monitor ends as if its time were up.
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
    interrupted = true;
}

// The identification reply is watched for 4000 ms; give it a little more.
constexpr int IdentifyTimeoutMs = 6000;
// No timer guards the configuration dump itself; a full dump takes far less than this.
constexpr int ReadTimeoutMs = 60000;

} // namespace

struct TCliTool::TOptions {
    TLinkTarget Link;
    bool Simulator = false;
    bool Yes = false;
    int Seconds = -1;
    int Filter = -1;
    bool TagBlocks = false;
    QString LogFile;
    bool DiagnosticLog = false;
    bool BuiltIn = false;
    bool Restore = false;
    QStringList Positional;
};

TCliTool::TCliTool(QTextStream& aOut, QTextStream& aErr)
    : out(aOut)
    , err(aErr) {}

TCliTool::~TCliTool() {
    // The session closes its link before the simulator it may be talking to goes away.
    session.reset();
    simulator.reset();
}

QString TCliTool::HelpText() {
    return QStringLiteral(
        "Usage: tidewright-cli [--connect URL | --simulator] [--yes] COMMAND [ARGS]\n"
        "\n"
        "Links (URL):\n"
        "  tcp:HOST[:PORT]       TCP, port 10110 unless named   e.g. --connect tcp:192.168.1.5\n"
        "  udp:HOST[:PORT]       UDP from that host only        e.g. --connect "
        "udp:192.168.1.5:2000\n"
        "  udp-all:HOST[:PORT]   UDP from any sender            e.g. --connect "
        "udp-all:192.168.1.255\n"
        "  serial:DEVICE         serial port at 460800 bit/s    e.g. --connect "
        "serial:/dev/ttyUSB0\n"
        "  --simulator           a simulated multiplexer inside this program\n"
        "\n"
        "Commands:\n"
        "  identify              print device name, firmware, serial number, capabilities, model\n"
        "                        e.g. tidewright-cli --simulator identify\n"
        "  read-config FILE      read the whole configuration and save it as a configuration file\n"
        "                        e.g. tidewright-cli --connect tcp:192.168.1.5 read-config "
        "boat.ini\n"
        "  write-config FILE     load a configuration file and send it to the multiplexer\n"
        "                        e.g. tidewright-cli --connect serial:/dev/ttyUSB0 write-config "
        "boat.ini\n"
        "  monitor               print the received traffic as the viewer shows it\n"
        "      --seconds N         stop after N seconds (else run until interrupted)\n"
        "      --filter SOURCE     All, Input 1 .. Input 8, Conversions, NMEA 2000 or Multiplexer\n"
        "      --tag-blocks        show TAG blocks\n"
        "      --log FILE          log the traffic as an NMEA log\n"
        "      --diag-log FILE     log the traffic as a diagnostic log\n"
        "                        e.g. tidewright-cli --simulator monitor --seconds 10 --filter "
        "\"Input 1\"\n"
        "  send SENTENCE...      send sentences as the Send box does (\"$\" and checksum added)\n"
        "                        e.g. tidewright-cli --connect tcp:192.168.1.5 send PZRQVER\n"
        "  firmware FILE | --built-in\n"
        "                        update the firmware with an image file (.cvz) or the built-in\n"
        "                        image, showing progress on standard error; the configuration\n"
        "                        is read and saved first (the file is named at the end)\n"
        "      --restore           write the saved configuration back after the update\n"
        "                        e.g. tidewright-cli --connect serial:/dev/ttyUSB0 firmware "
        "cpx-3.15.0.cvz\n"
        "\n"
        "Options:\n"
        "  --yes                 answer Yes to questions (otherwise No)\n"
        "  --help                this text\n"
        "\n"
        "Exit codes: 0 success, 1 device, link or file error, 2 usage error.\n");
}

int TCliTool::Usage(const QString& message) {
    err << message << "\n"
        << "Try tidewright-cli --help." << Qt::endl;
    return ExitUsage;
}

int TCliTool::Run(const QStringList& arguments) {
    TOptions options;
    bool haveLink = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto value = [&](QString& target) {
            if (i + 1 >= arguments.size())
                return false;
            target = arguments[++i];
            return true;
        };
        QString text;
        if (arg == u"--help" || arg == u"-h") {
            out << HelpText();
            out.flush();
            return ExitOk;
        } else if (arg == u"--connect") {
            if (!value(text))
                return Usage(QStringLiteral("--connect needs a link."));
            try {
                options.Link = ParseLinkUrl(text);
            } catch (const EError& e) {
                return Usage(e.Message());
            }
            haveLink = true;
        } else if (arg == u"--simulator") {
            options.Simulator = true;
        } else if (arg == u"--yes") {
            options.Yes = true;
        } else if (arg == u"--seconds") {
            const std::optional<quint64> seconds = value(text) ? ParseUnsigned(text) : std::nullopt;
            if (!seconds || *seconds > 1000000)
                return Usage(QStringLiteral("--seconds needs a number of seconds."));
            options.Seconds = int(*seconds);
        } else if (arg == u"--filter") {
            if (!value(text))
                return Usage(QStringLiteral("--filter needs a source."));
            const qsizetype item = TViewer::FilterItems().indexOf(text, 0);
            if (item < 0)
                return Usage(QStringLiteral("Unknown source \"%1\"; use one of: %2.")
                                 .arg(text, TViewer::FilterItems().join(QStringLiteral(", "))));
            options.Filter = TViewer::FilterOfItem(int(item));
        } else if (arg == u"--built-in") {
            options.BuiltIn = true;
        } else if (arg == u"--restore") {
            options.Restore = true;
        } else if (arg == u"--tag-blocks") {
            options.TagBlocks = true;
        } else if (arg == u"--log" || arg == u"--diag-log") {
            if (!options.LogFile.isEmpty())
                return Usage(QStringLiteral("Only one log at a time."));
            if (!value(options.LogFile) || options.LogFile.isEmpty())
                return Usage(arg + QStringLiteral(" needs a file name."));
            options.DiagnosticLog = arg == u"--diag-log";
        } else if (arg.startsWith(u"--")) {
            return Usage(QStringLiteral("Unknown option %1.").arg(arg));
        } else {
            options.Positional.append(arg);
        }
    }

    if (options.Positional.isEmpty())
        return Usage(QStringLiteral("No command given."));
    if (haveLink == options.Simulator)
        return Usage(QStringLiteral("Give either --connect URL or --simulator."));

    const QString command = options.Positional.takeFirst();
    const QStringList& args = options.Positional;
    const auto expectArgs = [&](qsizetype count) { return args.size() == count; };
    const bool known =
        (command == u"identify" && expectArgs(0)) || (command == u"read-config" && expectArgs(1)) ||
        (command == u"write-config" && expectArgs(1)) || (command == u"monitor" && expectArgs(0)) ||
        (command == u"send" && !args.isEmpty()) ||
        (command == u"firmware" && expectArgs(options.BuiltIn ? 0 : 1));
    if (!known) {
        if (command == u"firmware")
            return Usage(QStringLiteral("firmware needs an image file or --built-in."));
        if (command == u"identify" || command == u"read-config" || command == u"write-config" ||
            command == u"monitor" || command == u"send")
            return Usage(QStringLiteral("Wrong arguments for %1.").arg(command));
        return Usage(QStringLiteral("Unknown command %1.").arg(command));
    }
    if (command != u"monitor" && (options.Seconds >= 0 || options.Filter != -1 ||
                                  options.TagBlocks || !options.LogFile.isEmpty()))
        return Usage(
            QStringLiteral("--seconds, --filter, --tag-blocks, --log and --diag-log belong "
                           "to monitor."));
    if (command != u"firmware" && (options.BuiltIn || options.Restore))
        return Usage(QStringLiteral("--built-in and --restore belong to firmware."));

    // A file that cannot be read must not be sent as an empty configuration.
    if (command == u"write-config") {
        const QFileInfo file(args[0]);
        if (!file.isFile() || !file.isReadable()) {
            err << QStringLiteral("Unable to read %1").arg(args[0]) << Qt::endl;
            return ExitFailed;
        }
    }

    user = std::make_unique<TConsoleUser>(err, options.Yes);
    if (!Open(options))
        return ExitFailed;

    if (command == u"identify")
        return CmdIdentify();
    if (command == u"read-config")
        return CmdReadConfig(args[0]);
    if (command == u"write-config")
        return CmdWriteConfig(args[0]);
    if (command == u"monitor")
        return CmdMonitor(options);
    if (command == u"firmware")
        return CmdFirmware(options.BuiltIn ? BuiltInImageSource : args[0], options.Restore);
    return CmdSend(args);
}

bool TCliTool::Open(const TOptions& options) {
    TLinkTarget link = options.Link;
    if (options.Simulator) {
        // A little traffic, so that monitor shows what a live link looks like.
        TSimulator::TOptions simOptions;
        simOptions.trafficRate = 10;
        simulator = std::make_unique<TSimulator>(simOptions);
        try {
            simulator->Start();
        } catch (const std::exception& e) {
            err << "Unable to start the simulator: " << e.what() << Qt::endl;
            return false;
        }
        link = ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(simulator->TcpPort()));
    }

    session = std::make_unique<TSession>(*user);
    QObject::connect(session.get(), &TSession::ReadFinished, [this] { readFinished = true; });
    QObject::connect(session.get(), &TSession::FirmwareUpdateRequested,
                     [this] { updateRequested = true; });
    session->Viewer.ViewFilter = options.Filter;
    session->Viewer.TagBlocks = options.TagBlocks;
    if (!options.LogFile.isEmpty() && !session->StartLog(options.LogFile, options.DiagnosticLog)) {
        user->ShowMessage(QStringLiteral("Error Creating \"%1\"").arg(options.LogFile));
        return false;
    }

    const int selector = link.IsSerial() ? session->AddSerialDevice(link.Device) : link.Selector;
    // Connecting resets the source filter, as a disconnect does; set it again afterwards.
    const bool open = session->Connect(selector, link.Host, link.Port);
    session->Viewer.ViewFilter = options.Filter;
    return open;
}

bool TCliTool::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start();
    while (!condition()) {
        if (deadline.hasExpired() || interrupted)
            return false;
        loop.exec();
    }
    return true;
}

bool TCliTool::Identify() {
    // The 4000 ms time-out of the session says "Multiplexer does not respond" itself.
    WaitUntil([this] { return session->Activity != acIdentify || !session->IsOpen(); },
              IdentifyTimeoutMs);
    if (!session->IsOpen())
        return false;
    if (session->Selector() == SelectorUdpAll) {
        err << "Nothing is identified over \"UDP All\": replies may come from any device."
            << Qt::endl;
        return false;
    }
    if (!session->VersionReceived)
        return false;
    if (!IsFirmwareSupported(session->FirmwareVersion))
        return false; // the incompatible-firmware question has been shown
    if (session->DeviceModel < 0) {
        if (user->MessagesShown() == 0)
            err << "The multiplexer did not report its capabilities." << Qt::endl;
        return false;
    }
    return true;
}

bool TCliTool::WaitForRead() {
    if (!WaitUntil([this] { return readFinished || !session->IsOpen(); }, ReadTimeoutMs) ||
        !readFinished) {
        if (session->IsOpen())
            err << "Multiplexer does not respond" << Qt::endl;
        return false;
    }
    return true;
}

int TCliTool::CmdIdentify() {
    if (!Identify()) {
        if (!updateRequested)
            return ExitFailed;
        // Answered Yes (--yes) to the incompatible-firmware question: update, then say what
        // the multiplexer now is.
        if (RunRequestedUpdate() != ExitOk)
            return ExitFailed;
        WaitUntil([this] { return session->Activity != acReadConfig || !session->IsOpen(); },
                  ReadTimeoutMs);
        if (session->DeviceModel < 0)
            return ExitFailed;
    }
    out << "Device name: " << session->DeviceName << "\n"
        << "Firmware version: " << session->FirmwareVersionText << "\n"
        << "Serial number: " << session->SerialNumber << "\n"
        << "Capabilities: "
        << QStringLiteral("%1").arg(session->Capabilities, 4, 16, QChar('0')).toUpper() << "\n"
        << "Model code: " << session->DeviceModel << Qt::endl;
    return ExitOk;
}

int TCliTool::CmdReadConfig(const QString& fileName) {
    if (!Identify())
        return ExitFailed;
    const int before = user->MessagesShown();
    if (!WaitForRead())
        return ExitFailed;
    try {
        session->SaveConfiguration(fileName);
    } catch (const EError& e) {
        err << e.Message() << Qt::endl;
        return ExitFailed;
    }
    // Reports that could not be read were named on standard error; the file holds the rest.
    return user->MessagesShown() == before ? ExitOk : ExitFailed;
}

int TCliTool::CmdWriteConfig(const QString& fileName) {
    // The dump that follows identification must be over, or its reports would answer the
    // commands' waits.
    if (!Identify() || !WaitForRead())
        return ExitFailed;
    return session->LoadConfiguration(fileName) ? ExitOk : ExitFailed;
}

int TCliTool::CmdMonitor(const TOptions& options) {
    out.setEncoding(QStringConverter::Latin1);
    QObject::connect(session.get(), &TSession::SentenceShown, [this](const QString& text) {
        out << text << '\n';
        out.flush();
    });
    interrupted = false;
    const auto previousInt = std::signal(SIGINT, OnInterrupt);
    const auto previousTerm = std::signal(SIGTERM, OnInterrupt);
    const int timeoutMs = options.Seconds >= 0 ? options.Seconds * 1000 : -1;
    // Runs until the time is up, the link is lost or the user interrupts.
    WaitUntil([this] { return !session->IsOpen(); },
              timeoutMs >= 0 ? timeoutMs : std::numeric_limits<int>::max());
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    const bool lost = !session->IsOpen();
    session->NmeaReadTimerTimer(); // what arrived last is shown and logged too
    session->StopLog();
    return lost ? ExitFailed : ExitOk;
}

int TCliTool::CmdSend(const QStringList& sentences) {
    for (const QString& sentence : sentences) {
        try {
            session->SendSentence(sentence);
        } catch (const EError& e) {
            err << e.Message() << Qt::endl;
            return ExitFailed;
        }
        if (!session->IsOpen())
            return ExitFailed; // the link was lost and said so
    }
    return ExitOk;
}

int TCliTool::RunRequestedUpdate() {
    updateRequested = false;
    TFwUpdate update(*session);
    return update.Run(BuiltInImageSource, TFwUpdate::rsNever) ? ExitOk : ExitFailed;
}

int TCliTool::CmdFirmware(const QString& source, bool restore) {
    // A device waiting in its bootloader answers no identification; the update still reaches
    // it. A configuration dump under way ends first, so its reports answer no wait of the update.
    WaitUntil([this] { return session->Activity != acIdentify || !session->IsOpen(); },
              IdentifyTimeoutMs);
    if (session->Activity == acReadConfig && !WaitForRead())
        return ExitFailed;
    if (!session->IsOpen())
        return ExitFailed;
    // This command names its image: an offer of the built-in one made on the way is moot.
    updateRequested = false;
    TFwUpdate update(*session);
    return update.Run(source, restore ? TFwUpdate::rsAlways : TFwUpdate::rsNever) ? ExitOk
                                                                                  : ExitFailed;
}
