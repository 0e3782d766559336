#include "cli/CliTool.h"

#include "cli/ConsoleUser.h"
#include "comms/Comms.h"
#include "config/ConfigDiff.h"
#include "config/ConfigJobs.h"
#include "firmware/FwUpdate.h"
#include "n2k/N2K.h"
#include "nmea/Numbers.h"
#include "session/ReadJobs.h"
#include "session/Session.h"
#include "session/Texts.h"
#include "sim/Simulator.h"
#include "windows/Database.h"

#include "Version.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace {

// Set by Ctrl+C (or SIGTERM): the monitor ends as if its time were up.
std::atomic<bool> interrupted{false};
// The handler also writes a byte here, which wakes the sleeping event loop.
int interruptPipe[2] = {-1, -1};

extern "C" void OnInterrupt(int) {
    interrupted = true;
    if (interruptPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(interruptPipe[1], &byte, 1);
    }
}

// Catches Ctrl+C and SIGTERM for as long as it lives, and wakes the event loop on them.
class TInterruptWatch {
public:
    TInterruptWatch() {
        interrupted = false;
        if (pipe(interruptPipe) == 0) {
            notifier = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
                char byte = 0;
                [[maybe_unused]] const ssize_t got = read(interruptPipe[0], &byte, 1);
            });
        }
        previousInt = std::signal(SIGINT, OnInterrupt);
        previousTerm = std::signal(SIGTERM, OnInterrupt);
    }
    ~TInterruptWatch() {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
        notifier.reset();
        for (int& fd : interruptPipe) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
    }
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier;
    void (*previousInt)(int) = nullptr;
    void (*previousTerm)(int) = nullptr;
};

// A configuration read that ran to its end serves a job that overwrites or ignores the
// settings it could not read (the reports have been named on standard error).
bool ReadEnded(const TJobOutcome& read) {
    return read.Done() || read.Result == jrPartial;
}

} // namespace

namespace {

using TOptions = TCliTool::TOptions;

// Reads an option's value into the options; returns an error text, empty when all is well.
using TOptionParser = QString (*)(TOptions& options, const QString& name, const QString& value);

// One row per option. Options that belong to commands are listed in their commands' rows.
struct TOptionRow {
    const char* Name;
    const char* Value; // the value's name in the help, nullptr for a switch
    const char* Help;
    TOptionParser Parse;
};

QString ParseConnect(TOptions& options, const QString&, const QString& value) {
    try {
        options.Link = ParseLinkUrl(value);
    } catch (const EError& e) {
        return e.Message();
    }
    options.HaveLink = true;
    return {};
}

QString ParseSeconds(TOptions& options, const QString&, const QString& value) {
    const std::optional<quint64> seconds = ParseUnsigned(value);
    if (!seconds || *seconds > 1000000)
        return QStringLiteral("--seconds needs a number of seconds.");
    options.Seconds = int(*seconds);
    return {};
}

QString ParseFilter(TOptions& options, const QString&, const QString& value) {
    const qsizetype item = TViewer::FilterItems().indexOf(value, 0);
    if (item < 0)
        return QStringLiteral("Unknown source \"%1\"; use one of: %2.")
            .arg(value, TViewer::FilterItems().join(QStringLiteral(", ")));
    options.Filter = TViewer::FilterOfItem(int(item));
    return {};
}

QString ParseLog(TOptions& options, const QString& name, const QString& value) {
    if (!options.LogFile.isEmpty())
        return QStringLiteral("Only one log at a time.");
    if (value.isEmpty())
        return name + QStringLiteral(" needs a file name.");
    options.LogFile = value;
    options.DiagnosticLog = name == u"--diag-log";
    return {};
}

QString ParseTarget(TOptions& options, const QString&, const QString& value) {
    if (!options.Target.setAddress(value) ||
        options.Target.protocol() != QAbstractSocket::IPv4Protocol)
        return QStringLiteral("--target needs an IPv4 address.");
    return {};
}

QString ParsePort(TOptions& options, const QString&, const QString& value) {
    const std::optional<quint64> port = ParseUnsigned(value);
    if (!port || *port < 1 || *port > 65535)
        return QStringLiteral("--port needs a port number from 1 to 65535.");
    options.Port = quint16(*port);
    return {};
}

const TOptionRow OptionTable[] = {
    {"--connect", "URL", "the link to the multiplexer (see Links)", ParseConnect},
    {"--simulator", nullptr, "a simulated multiplexer inside this program",
     [](TOptions& o, const QString&, const QString&) {
         o.Simulator = true;
         return QString();
     }},
    {"--yes", nullptr, "answer Yes to questions (otherwise No)",
     [](TOptions& o, const QString&, const QString&) {
         o.Yes = true;
         return QString();
     }},
    {"--seconds", "N", "stop after N seconds (else run until interrupted)", ParseSeconds},
    {"--filter", "SOURCE", "All, Input 1 .. Input 8, Conversions, NMEA 2000 or Multiplexer",
     ParseFilter},
    {"--tag-blocks", nullptr, "show TAG blocks",
     [](TOptions& o, const QString&, const QString&) {
         o.TagBlocks = true;
         return QString();
     }},
    {"--log", "FILE", "log the traffic as an NMEA log", ParseLog},
    {"--diag-log", "FILE", "log the traffic as a diagnostic log", ParseLog},
    {"--target", "ADDRESS", "where discovery and assignment go [255.255.255.255]", ParseTarget},
    {"--port", "PORT", "the device-server port [30718]", ParsePort},
    {"--built-in", nullptr, "the image built into this program instead of a file",
     [](TOptions& o, const QString&, const QString&) {
         o.BuiltIn = true;
         return QString();
     }},
    {"--restore", nullptr, "write the configuration saved before the update back after it",
     [](TOptions& o, const QString&, const QString&) {
         o.Restore = true;
         return QString();
     }},
    {"--csv", nullptr, "comma-separated values under a header line",
     [](TOptions& o, const QString&, const QString&) {
         o.Csv = true;
         return QString();
     }},
    {"--names", nullptr, "add each device's NAME, as n2k-address and n2k-instance take it",
     [](TOptions& o, const QString&, const QString&) {
         o.Names = true;
         return QString();
     }},
};

// Options that every command takes; the others belong to the commands that list them.
const QStringList GlobalOptions{"--connect", "--simulator", "--yes"};

const TOptionRow* FindOption(const QString& name) {
    for (const TOptionRow& row : OptionTable)
        if (name == QLatin1StringView(row.Name))
            return &row;
    return nullptr;
}

} // namespace

// One row per command: parsing, usage errors and --help all come from this table, so a new
// command is a new row and a method.
struct TCliTool::TCommand {
    const char* Name;
    const char* Arguments; // as the help shows them
    int MinArgs;
    int MaxArgs;         // -1: no limit
    bool NeedsLink;      // talks to a multiplexer: --connect or --simulator
    const char* Options; // the command's own options, separated by spaces
    const char* Help;
    const char* Example;
    int (TCliTool::*Run)(const TOptions& options);
};

const TCliTool::TCommand TCliTool::Commands[] = {
    {"identify", "", 0, 0, true, "",
     "print device name, firmware, serial number, capabilities, model",
     "tidewright-cli --simulator identify", &TCliTool::CmdIdentify},
    {"read-config", "FILE", 1, 1, true, "",
     "read the whole configuration and save it as a configuration file",
     "tidewright-cli --connect tcp:192.168.1.5 read-config boat.ini", &TCliTool::CmdReadConfig},
    {"write-config", "FILE", 1, 1, true, "",
     "load a configuration file and send it to the multiplexer",
     "tidewright-cli --connect serial:/dev/ttyUSB0 write-config boat.ini",
     &TCliTool::CmdWriteConfig},
    {"diff", "FILE", 1, 1, true, "",
     "read the configuration and print each setting a configuration file would change",
     "tidewright-cli --connect tcp:192.168.1.5 diff boat.ini", &TCliTool::CmdDiff},
    {"monitor", "", 0, 0, true, "--seconds --filter --tag-blocks --log --diag-log",
     "print the received traffic as the viewer shows it",
     "tidewright-cli --simulator monitor --seconds 10 --filter \"Input 1\"", &TCliTool::CmdMonitor},
    {"send", "SENTENCE...", 1, -1, true, "",
     "send sentences as the Send box does (\"$\" and checksum added)",
     "tidewright-cli --connect tcp:192.168.1.5 send PZRQVER", &TCliTool::CmdSend},
    {"firmware", "[FILE]", 0, 1, true, "--built-in --restore",
     "update the firmware with an image file (.cvz) or the built-in image, showing progress on "
     "standard error; the configuration is read and saved first (the file is named at the end)",
     "tidewright-cli --connect serial:/dev/ttyUSB0 firmware cpx-3.15.0.cvz",
     &TCliTool::CmdFirmware},
    {"n2k", "", 0, 0, true, "--csv --names",
     "scan the NMEA 2000 network and print its devices as the device list shows them",
     "tidewright-cli --simulator n2k --csv", &TCliTool::CmdN2K},
    {"n2k-address", "NAME ADDRESS", 2, 2, true, "",
     "give the NMEA 2000 device with that NAME a new source address (0..251)",
     "tidewright-cli --simulator n2k-address C078820010E1B7F3 40", &TCliTool::CmdN2KAddress},
    {"n2k-instance", "NAME DEVICE SYSTEM", 3, 3, true, "",
     "give it a new device instance (0..255) and system instance (0..15)",
     "tidewright-cli --simulator n2k-instance C078820010E1B7F3 1 0", &TCliTool::CmdN2KInstance},
    // The device servers' own settings: no link to the multiplexer.
    {"discover", "", 0, 0, false, "--target --port",
     "list the device servers that answer a broadcast", "tidewright-cli discover",
     &TCliTool::CmdNetwork},
    {"network-get", "HOST", 1, 1, false, "--target --port",
     "print a device server's network settings as KEY=VALUE lines",
     "tidewright-cli network-get 192.168.1.20", &TCliTool::CmdNetwork},
    {"network-set", "HOST KEY=VALUE...", 2, -1, false, "--target --port",
     "change its settings (keys ip, netmask, gateway, port, protocol tcp|udp, udp-mode "
     "broadcast|directed, destination)",
     "tidewright-cli network-set 192.168.1.20 protocol=tcp", &TCliTool::CmdNetwork},
    {"assign-ip", "MAC IP", 2, 2, false, "--target --port",
     "give the device server with that MAC an IP address",
     "tidewright-cli assign-ip 00-20-4A-C9-19-08 192.168.1.20", &TCliTool::CmdNetwork},
    {"stats", "", 0, 0, true, "--seconds --csv",
     "print the load statistics as they arrive, about once a second",
     "tidewright-cli --simulator stats --seconds 10 --csv", &TCliTool::CmdStats},
    {"navdb", "", 0, 0, true, "",
     "print the navigation database (parameter, value, source; tab-separated)",
     "tidewright-cli --connect tcp:192.168.1.5 navdb", &TCliTool::CmdNavDB},
};

const TCliTool::TCommand* TCliTool::FindCommand(const QString& name) {
    for (const TCommand& command : Commands)
        if (name == QLatin1StringView(command.Name))
            return &command;
    return nullptr;
}

TCliTool::TCliTool(QTextStream& aOut, QTextStream& aErr)
    : out(aOut)
    , err(aErr) {}

TCliTool::~TCliTool() {
    // The session closes its link before the simulator it may be talking to goes away.
    n2kList.reset();
    readJobs.reset();
    session.reset();
    simulator.reset();
}

QString TCliTool::HelpText() {
    constexpr int column = 24;
    const auto line = [](const QString& left, const QString& right, int indent = 2) {
        const QString head = QString(indent, u' ') + left;
        if (head.size() >= column - 1)
            return head + u'\n' + QString(column, u' ') + right + u'\n';
        return head.leftJustified(column) + right + u'\n';
    };
    const auto optionLine = [&](const TOptionRow& row, int indent) {
        QString left = QLatin1StringView(row.Name);
        if (row.Value)
            left += u' ' + QLatin1StringView(row.Value);
        return line(left, QLatin1StringView(row.Help), indent);
    };

    QString text = QStringLiteral(
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
        "\n"
        "Commands:\n");
    for (const TCommand& command : Commands) {
        QString left = QLatin1StringView(command.Name);
        if (*command.Arguments)
            left += u' ' + QLatin1StringView(command.Arguments);
        text += line(left, QLatin1StringView(command.Help));
        for (const QString& name :
             QString::fromLatin1(command.Options).split(u' ', Qt::SkipEmptyParts))
            text += optionLine(*FindOption(name), 6);
        text += QString(column, u' ') + QStringLiteral("e.g. ") +
                QLatin1StringView(command.Example) + u'\n';
    }
    text += QStringLiteral("\nOptions:\n");
    for (const QString& name : GlobalOptions)
        text += optionLine(*FindOption(name), 2);
    text += line(QStringLiteral("--help"), QStringLiteral("this text"));
    text += line(QStringLiteral("--version"), QStringLiteral("the program's version"));
    text += QStringLiteral(
        "\nExit codes: 0 success, 1 device, link or file error, 2 usage error, 3 the "
        "configuration differs from the file (diff).\n");
    return text;
}

int TCliTool::Usage(const QString& message) {
    err << message << "\n"
        << "Try tidewright-cli --help." << Qt::endl;
    return ExitUsage;
}

int TCliTool::Run(const QStringList& arguments) {
    TOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--help" || arg == u"-h") {
            out << HelpText();
            out.flush();
            return ExitOk;
        }
        if (arg == u"--version") {
            out << "tidewright-cli " << TW_VERSION_TEXT << "\n";
            out.flush();
            return ExitOk;
        }
        if (!arg.startsWith(u"--")) {
            options.Positional.append(arg);
            continue;
        }
        const TOptionRow* row = FindOption(arg);
        if (!row)
            return Usage(QStringLiteral("Unknown option %1.").arg(arg));
        QString value;
        if (row->Value) {
            if (i + 1 >= arguments.size())
                return Usage(
                    QStringLiteral("%1 needs %2.").arg(arg, QLatin1StringView(row->Value)));
            value = arguments[++i];
        }
        const QString error = row->Parse(options, arg, value);
        if (!error.isEmpty())
            return Usage(error);
        if (!GlobalOptions.contains(arg))
            options.Given.append(arg);
    }

    if (options.Positional.isEmpty())
        return Usage(QStringLiteral("No command given."));
    const QString name = options.Positional.takeFirst();
    options.Command = name;
    const TCommand* command = FindCommand(name);
    if (!command)
        return Usage(QStringLiteral("Unknown command %1.").arg(name));
    const qsizetype count = options.Positional.size();
    if (count < command->MinArgs || (command->MaxArgs >= 0 && count > command->MaxArgs))
        return Usage(QStringLiteral("Wrong arguments for %1.").arg(name));
    const QStringList own = QString::fromLatin1(command->Options).split(u' ', Qt::SkipEmptyParts);
    for (const QString& given : std::as_const(options.Given)) {
        if (own.contains(given))
            continue;
        QStringList owners;
        for (const TCommand& other : Commands)
            if (QString::fromLatin1(other.Options).split(u' ').contains(given))
                owners.append(QLatin1StringView(other.Name));
        return Usage(QStringLiteral("%1 is an option of %2, not of %3.")
                         .arg(given, owners.join(QStringLiteral(", ")), name));
    }
    if (command->NeedsLink && options.HaveLink == options.Simulator)
        return Usage(QStringLiteral("Give either --connect URL or --simulator."));
    if (!command->NeedsLink && (options.HaveLink || options.Simulator))
        return Usage(QStringLiteral("%1 needs no link to the multiplexer.").arg(name));

    user = std::make_unique<TConsoleUser>(err, options.Yes);
    return (this->*command->Run)(options);
}

bool TCliTool::Open(const TOptions& options) {
    TLinkTarget link = options.Link;
    if (options.Simulator) {
        try {
            simulator = StartBuiltInSimulator(link);
        } catch (const std::exception& e) {
            err << "Unable to start the simulator: " << e.what() << Qt::endl;
            return false;
        }
    }

    session = std::make_unique<TSession>(*user);
    // Made before connecting: the jobs watch the identification from its start.
    readJobs = std::make_unique<TReadJobs>(*session, *user);
    QObject::connect(session.get(), &TSession::FirmwareUpdateRequested,
                     [this] { updateRequested = true; });
    // The list must exist before the identification, which starts its scan.
    if (options.DeviceList)
        n2kList = std::make_unique<TN2KDeviceList>(*session);
    session->Viewer.ViewFilter = options.Filter;
    session->Viewer.TagBlocks = options.TagBlocks;
    if (!options.LogFile.isEmpty() && !session->StartLog(options.LogFile, options.DiagnosticLog)) {
        user->ShowMessage(MsgErrorCreating(options.LogFile));
        return false;
    }

    const int selector = link.IsSerial() ? session->AddSerialDevice(link.Device) : link.Selector;
    // Connecting resets the source filter, as a disconnect does; set it again afterwards.
    const bool open = session->Connect(selector, link.Host, link.Port);
    session->Viewer.ViewFilter = options.Filter;
    return open;
}

bool TCliTool::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    // Sleeps in the event loop until something happens (a line, a timer, the deadline, an
    // interrupt), then looks again: nothing polls, so an idle monitor costs no processor time.
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    QObject::connect(&alarm, &QTimer::timeout, [] {});
    alarm.start(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired() || interrupted)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool TCliTool::Identify() {
    // Whatever stood in the way has been told on standard error.
    return readJobs->AwaitIdentification().Done();
}

int TCliTool::CmdIdentify(const TOptions& options) {
    if (!Open(options))
        return ExitFailed;
    if (!Identify()) {
        if (!updateRequested)
            return ExitFailed;
        // Answered Yes (--yes) to the incompatible-firmware question: update, then say what
        // the multiplexer now is. The update has identified the new firmware.
        if (RunRequestedUpdate() != ExitOk || !Identify())
            return ExitFailed;
    }
    const TIdentification& id = session->Identification();
    out << "Device name: " << id.DeviceName << "\n"
        << "Firmware version: " << id.FirmwareText << "\n"
        << "Serial number: " << id.SerialNumber << "\n"
        << "Capabilities: "
        << QStringLiteral("%1").arg(id.Capabilities, 4, 16, QChar('0')).toUpper() << "\n"
        << "Model code: " << id.Model << Qt::endl;
    return ExitOk;
}

int TCliTool::CmdReadConfig(const TOptions& options) {
    const QString& fileName = options.Positional[0];
    if (!Open(options) || !Identify())
        return ExitFailed;
    const TJobOutcome read = readJobs->AwaitConfigurationRead();
    if (!ReadEnded(read))
        return ExitFailed;
    // A file that cannot be written has been named on standard error.
    if (!TConfigJobs(*session, *user).SaveConfiguration(fileName).Done())
        return ExitFailed;
    // Reports that could not be read were named on standard error; the file holds the rest.
    return read.Done() ? ExitOk : ExitFailed;
}

int TCliTool::CmdWriteConfig(const TOptions& options) {
    // A file that cannot be read must not be sent as an empty configuration.
    const QString& fileName = options.Positional[0];
    const QFileInfo file(fileName);
    if (!file.isFile() || !file.isReadable()) {
        err << QStringLiteral("Unable to read %1").arg(fileName) << Qt::endl;
        return ExitFailed;
    }
    if (!Open(options))
        return ExitFailed;
    // The dump that follows identification must be over, or its reports would answer the
    // commands' waits.
    if (!Identify() || !ReadEnded(readJobs->AwaitConfigurationRead()))
        return ExitFailed;
    // Refusals, silences and a lost link have been told on standard error.
    return TConfigJobs(*session, *user).LoadConfiguration(fileName).Done() ? ExitOk : ExitFailed;
}

int TCliTool::CmdDiff(const TOptions& options) {
    // An unreadable file would compare as all defaults.
    const QString& fileName = options.Positional[0];
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable()) {
        err << QStringLiteral("Unable to read %1").arg(fileName) << Qt::endl;
        return ExitFailed;
    }
    if (!Open(options) || !Identify())
        return ExitFailed;
    // Reports that could not be read leave the device's side incomplete.
    if (!readJobs->AwaitConfigurationRead().Done())
        return ExitFailed;
    TMuxConfig file;
    file.LoadFromFile(fileName);
    const QList<TSettingDifference> differences = CompareConfigurations(session->Config, file);
    for (const TSettingDifference& difference : differences)
        out << DifferenceLine(difference) << '\n';
    out.flush();
    return differences.isEmpty() ? ExitOk : ExitDifferent;
}

int TCliTool::CmdMonitor(const TOptions& options) {
    if (!Open(options))
        return ExitFailed;
    out.setEncoding(QStringConverter::Latin1);
    QObject::connect(session.get(), &TSession::SentenceShown,
                     [this](const QString& text) { out << text << '\n'; });
    // One write per pump tick rather than per line: a busy link costs a few writes a second.
    QObject::connect(session.get(), &TSession::ViewerChanged, [this] { out.flush(); });
    const TInterruptWatch watch;
    const int timeoutMs = options.Seconds >= 0 ? options.Seconds * 1000 : -1;
    // Runs until the time is up, the link is lost or the user interrupts.
    WaitUntil([this] { return !session->IsOpen(); },
              timeoutMs >= 0 ? timeoutMs : std::numeric_limits<int>::max());
    const bool lost = !session->IsOpen();
    session->NmeaReadTimerTimer(); // what arrived last is shown and logged too
    session->StopLog();
    return lost ? ExitFailed : ExitOk;
}

int TCliTool::CmdSend(const TOptions& options) {
    if (!Open(options))
        return ExitFailed;
    for (const QString& sentence : options.Positional) {
        try {
            // False when the link was lost, which the disconnect has said.
            if (!session->SendSentence(sentence))
                return ExitFailed;
        } catch (const EError& e) {
            err << e.Message() << Qt::endl;
            return ExitFailed;
        }
    }
    return ExitOk;
}

int TCliTool::CmdStats(const TOptions& options) {
    if (!Open(options))
        return ExitFailed;
    TStatsMonitor monitor(*session);
    if (options.Csv)
        out << StatsCsvHeader() << Qt::endl;
    QObject::connect(&monitor, &TStatsMonitor::Updated, [&] {
        const double seconds = monitor.LastReportSeconds();
        out << (options.Csv ? StatsCsvLine(seconds, monitor.Values())
                            : StatsTextLine(seconds, monitor.Values()))
            << Qt::endl;
    });
    const TInterruptWatch watch;
    monitor.Start();
    const int timeoutMs = options.Seconds >= 0 ? options.Seconds * 1000 : -1;
    // Runs until the time is up, the link is lost or the user interrupts.
    WaitUntil([this] { return !session->IsOpen(); },
              timeoutMs >= 0 ? timeoutMs : std::numeric_limits<int>::max());
    if (!session->IsOpen())
        return ExitFailed;
    monitor.Stop();
    return ExitOk;
}

int TCliTool::CmdNavDB(const TOptions& options) {
    // The query waits for the connection's own read, which the dump would otherwise cut short.
    if (!Open(options) || !Identify() || !ReadEnded(readJobs->AwaitConfigurationRead()))
        return ExitFailed;
    TNavDatabase database(*session);
    out << "Parameter\tValue\tSource\n";
    QObject::connect(&database, &TNavDatabase::EntryAdded, [this](const TNavDBEntry& entry) {
        out << entry.Parameter << '\t' << entry.Value << '\t' << entry.Source << '\n';
    });
    const TJobOutcome outcome = database.Read();
    out.flush();
    return outcome.Done() ? ExitOk : ExitFailed;
}

int TCliTool::RunRequestedUpdate() {
    updateRequested = false;
    user->SetProgressBars(true);
    TFwUpdate update(*session);
    return update.Run(BuiltInImageSource, TFwUpdate::rsNever) ? ExitOk : ExitFailed;
}

int TCliTool::CmdFirmware(const TOptions& options) {
    if (options.BuiltIn == !options.Positional.isEmpty())
        return Usage(QStringLiteral("firmware needs an image file or --built-in."));
    const QString source = options.BuiltIn ? BuiltInImageSource : options.Positional[0];
    const bool restore = options.Restore;
    if (!Open(options))
        return ExitFailed;
    // A device waiting in its bootloader answers no identification; the update still reaches
    // it. A configuration dump under way ends first, so its reports answer no wait of the update.
    if (!readJobs->AwaitConnectionSettled().Done())
        return ExitFailed;
    // This command names its image: an offer of the built-in one made on the way is moot.
    updateRequested = false;
    user->SetProgressBars(true);
    TFwUpdate update(*session);
    return update.Run(source, restore ? TFwUpdate::rsAlways : TFwUpdate::rsNever) ? ExitOk
                                                                                  : ExitFailed;
}
