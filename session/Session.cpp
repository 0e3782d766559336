#include "session/Session.h"

#include "comms/Comms.h"
#include "config/ConfigSentences.h"
#include "nmea/Numbers.h"
#include "session/LinkUrl.h"
#include "session/Texts.h"
#include "session/User.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>

namespace {

const QString MsgTcpLost = QStringLiteral("TCP Connection lost");

// A pump tick hands over the user-interface thread after this long, so a flood of lines
// cannot freeze the window; the rest waits for the next tick.
constexpr qint64 PumpBudgetMs = 15;

// Reports that belong to the configuration read.
bool IsConfigReadKind(int kind) {
    switch (kind) {
    case nkCF:
    case nkDR:
    case nkID:
    case nkSP:
    case nkRTE:
    case nkOP:
    case nkPR:
    case nkIN:
    case nkMB:
    case nkUI:
    case nkNF:
    case nkNO:
    case nkCNV:
        return true;
    default:
        return false;
    }
}

} // namespace

std::array<int, 3> ParseFirmwareVersion(const QString& text) {
    std::array<int, 3> version{};
    qsizetype start = 0;
    for (int& number : version) {
        const qsizetype dot = text.indexOf(u'.', start);
        if (dot < 0)
            break;
        const std::optional<qint32> value = ParseInt32(QStringView(text).mid(start, dot - start));
        if (!value)
            break;
        number = *value;
        start = dot + 1;
    }
    return version;
}

bool IsFirmwareSupported(const std::array<int, 3>& version) {
    return version[0] >= 4 || (version[0] == 3 && version[1] >= 14);
}

TSession::TSession(IUser& aUser, QObject* parent)
    : QObject(parent)
    , user(aUser)
    , comm(std::make_unique<TComm>()) {
    deviceNames = comm->DeviceNames();
    displayNames = comm->DisplayNames();

    // The waits never end early: a coarse timer may fire 5 % before its time, and a
    // multiplexer that answers within 4000 ms must not be reported as silent.
    TimeOutTimer.setInterval(4000);
    TimeOutTimer.setSingleShot(true);
    TimeOutTimer.setTimerType(Qt::PreciseTimer);
    ConfigTimer.setInterval(4000);
    ConfigTimer.setTimerType(Qt::PreciseTimer);
    OVTimer.setInterval(500);
    OVTimer.setSingleShot(true);
    OVTimer.setTimerType(Qt::PreciseTimer);
    NmeaReadTimer.setInterval(20);
    DumpTimer.setInterval(4000);
    DumpTimer.setSingleShot(true);
    DumpTimer.setTimerType(Qt::PreciseTimer);
    connect(&DumpTimer, &QTimer::timeout, this, &TSession::DumpTimerTimer);
    connect(&TimeOutTimer, &QTimer::timeout, this, &TSession::TimeOutTimerTimer);
    connect(&ConfigTimer, &QTimer::timeout, this, &TSession::ConfigTimerTimer);
    connect(&OVTimer, &QTimer::timeout, this, &TSession::OVTimerTimer);
    connect(&NmeaReadTimer, &QTimer::timeout, this, &TSession::NmeaReadTimerTimer);
    connect(comm.get(), &TComm::ConnectionLost, this, &TSession::OnConnectionLost);
    // The pump sleeps while nothing is queued. The first line queued wakes it, and what is
    // queued is taken at once: the link has gathered it meanwhile, an answer someone waits for
    // is not held back, and a tick later would cost a second wake-up. The 20 ms ticks go on
    // for as long as lines remain queued. Taken from a call of its own, since the signal may
    // come from inside the UDP socket's handler, which a dispatched line may close.
    connect(comm.get(), &TComm::LinesQueued, this, [this] {
        if (NmeaReadTimer.isActive())
            return;
        NmeaReadTimer.start();
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (NmeaReadTimer.isActive())
                    DrainQueue();
            },
            Qt::QueuedConnection);
    });
}

TSession::~TSession() {
    NmeaReadTimer.stop();
    ConfigTimer.stop();
    TimeOutTimer.stop();
    DumpTimer.stop();
    comm->Close();
}

void TSession::SetActivity(TActivity newActivity) {
    if (newActivity == activity)
        return;
    activity = newActivity;
    // The dump's watch ends with the dump, however it ends.
    if (activity != acReadConfig)
        DumpTimer.stop();
    emit ActivityChanged(activity);
}

// --- link --------------------------------------------------------------------------------

int TSession::AddSerialDevice(const QString& device, const QString& description) {
    const qsizetype known = deviceNames.indexOf(device, SelectorFirstSerial);
    if (known >= 0)
        return int(known);
    deviceNames.append(device);
    displayNames.append(FriendlyPortName(description, device));
    return int(deviceNames.size() - 1);
}

bool TSession::IsOpen() const {
    return comm->Mode() != mdClosed;
}

bool TSession::Connect(int newSelector, const QString& host, const QString& port) {
    selector = newSelector;
    const QString address = port.isEmpty() ? host : host + u':' + port;
    user.SetBusy(true);
    try {
        switch (selector) {
        case SelectorUdpAll:
            comm->Open(lkUdp, address, 0);
            break;
        case SelectorUdp:
            comm->Open(lkUdp, address, 1);
            break;
        case SelectorTcp:
            try {
                comm->Open(lkTcp, address, 0);
            } catch (const EError& e) {
                user.SetBusy(false);
                user.ShowMessage(e.Message());
            }
            break;
        default:
            if (selector >= SelectorFirstSerial && selector < deviceNames.size()) {
                // 460800 bit/s, the multiplexer's host speed.
                comm->Open(lkSerial, deviceNames[selector], 7);
                if (!IsOpen()) {
                    user.SetBusy(false);
                    QString message = QStringLiteral("Unable to open %1.\nThe port may be opened "
                                                     "by another application.")
                                          .arg(displayNames[selector]);
                    if (comm->SerialAccessDenied())
                        message += QString::fromLatin1(SerialPermissionHint);
                    user.ShowMessage(message);
                }
            }
            break;
        }
    } catch (const EError& e) {
        // Failures of the UDP open have no message of their own.
        user.SetBusy(false);
        user.ShowError(e.Message());
    }
    user.SetBusy(false);

    loaderOffered = false;
    if (IsOpen()) {
        ConfigTimer.start();
        SendSentence(QStringLiteral("$PZRQCF,A"));
        StartIdentification();
    } else {
        ConfigTimer.stop();
        TimeOutTimer.stop();
    }
    identification.Model = -1;
    emit StateChanged();
    return IsOpen();
}

bool TSession::StartRouteCapture() {
    if (!IsOpen() || !IsIdle())
        return false;
    SetActivity(acRouteCapture);
    emit ConfigControlsEnabled(false);
    return true;
}

void TSession::StopRouteCapture() {
    if (activity != acRouteCapture)
        return;
    SetActivity(acIdle);
    emit ConfigControlsEnabled(true);
}

void TSession::Disconnect() {
    StopRouteCapture();
    // Whatever the link was used for has ended with it: an identification or a read cut off
    // by a lost connection must not leave the session busy, nor report later that the
    // multiplexer stopped answering.
    SetActivity(acIdle);
    Viewer.ViewFilter = -1;
    comm->Close();
    Config.ClearRoutes();
    Config.ClearModbus();
    identification = TIdentification();
    emit ConfigControlsEnabled(false);
    if (!waits.empty()) {
        // Nothing will answer on a closed link: running waits end at once, unanswered.
        waits.clear();
        emit ReplyArrived();
    }
    ConfigTimer.stop();
    TimeOutTimer.stop();
    identification.Model = -1;
    emit StateChanged();
}

void TSession::SelectorChanged() {
    // Same bookkeeping as the Disconnect button: nothing is left waiting or keeping alive a
    // link that no longer exists.
    Disconnect();
}

void TSession::OnConnectionLost() {
    if (comm->Mode() != mdTcp)
        return;
    Disconnect();
    user.ShowMessage(MsgTcpLost);
}

// --- identification and reading ----------------------------------------------------------

bool TSession::ReadConfiguration() {
    // A read started during another read or a write would mix the dump's reports into the
    // model while commands are sent from it.
    if (!CheckIdle())
        return false;
    StartIdentification();
    return true;
}

void TSession::StartIdentification() {
    SetActivity(acIdentify);
    identification.Received = false;
    {
        const TRefreshingScope refreshing(Refreshing);
        Config.ClearRoutes();
        Config.ClearModbus();
        emit ConfigControlsEnabled(false);
    }
    TimeoutMessage = MsgNoResponse();
    TimeOutTimer.start();
    SendSentence(QStringLiteral("$PZRQVER"));
}

bool TSession::CheckIdle() {
    if (IsIdle())
        return true;
    user.ShowMessage(MsgBusy());
    return false;
}

void TSession::HandleVersion(const TSentence& sentence) {
    TimeOutTimer.stop();
    if (selector == SelectorUdpAll) {
        // Replies may come from any number of devices: nothing is identified.
        ViewerGreyed = false;
        SetActivity(acIdle);
        emit StateChanged();
        return;
    }

    // Each reply identifies afresh: what an earlier reply said does not carry over.
    identification.Capabilities = 0;
    identification.Model = -1;
    identification.Problem.clear();

    // A reply short of fields identifies what it names; the rest stays empty.
    const auto field = [&](qsizetype i) {
        return i < sentence.FieldCount() ? sentence.Fields.at(i) : QString();
    };
    identification.Received = true;
    identification.DeviceName = field(2);
    identification.SerialNumber = field(3);
    identification.FirmwareText = field(1);
    identification.Firmware = ParseFirmwareVersion(identification.FirmwareText);

    if (field(4).size() == 4)
        CheckCapabilities(field(4));
    emit Identified(identification.Capabilities);

    if (IsFirmwareSupported(identification.Firmware)) {
        ViewerGreyed = false;
        lastRead = TConfigRead();
        SetActivity(acReadConfig);
        emit StateChanged();
        DumpTimer.start();
        SendSentence(QStringLiteral("$PZRQCFQ"));
    } else {
        ViewerGreyed = true;
        SetActivity(acIdle);
        emit StateChanged();
        if (user.AskYesNo(QStringLiteral("Tidewright has detected incompatible firmware in\nyour "
                                         "Corvanta.\n\nWould you like to perform an automatic "
                                         "update?")))
            StartFirmwareUpdate();
    }
}

void TSession::StartFirmwareUpdate() {
    // Never run inside the dispatch of the line that led here: the update waits for lines of
    // its own.
    emit FirmwareUpdateRequested();
}

void TSession::CheckCapabilities(const QString& text) {
    const std::optional<quint32> value = ParseHex32(text);
    if (!value || *value > 0xFFFF) {
        identification.Problem = QStringLiteral("Unable to read Corvanta capabilities!");
        user.ShowMessage(identification.Problem);
        return;
    }
    identification.Capabilities = quint16(*value);
    if ((identification.Capabilities & 0xE000) != 0xA000) {
        identification.Problem = QStringLiteral(
            "This version of Tidewright does not support\nthe connected multiplexer.");
        user.ShowWarning(identification.Problem);
        return;
    }
    identification.Model = identification.Capabilities & 0x7;
}

void TSession::ConverterFound() {
    if (Config.ModeIn[0] != 7)
        return;
    user.ShowMessage(QStringLiteral("Raymarine SeaTalk-STNG Converter found.\nInput 1 is set from "
                                    "SeaTalk-STNG to\nSeaTalk to avoid a data-loop."));
    Config.ModeIn[0] = 6;
    emit StateChanged();
    // Nobody started this but the network: a multiplexer that does not answer is reported
    // here, as an error no command caught.
    try {
        SendAndWait(FormatCommand(nkIN, Config), nkIN);
    } catch (const ECancelled&) {
    } catch (const EError& e) {
        user.ShowError(e.Message());
    }
}

void TSession::EndConfigRead() {
    // Runs inside the dispatch of "$PZRQRDY", whose end clears Refreshing.
    lastRead.Complete = true;
    SetActivity(acIdle);
    if (identification.Model >= 0)
        emit ConfigControlsEnabled(true);
    emit StateChanged();
    emit ReadFinished();
}

// --- sending and waiting -----------------------------------------------------------------

bool TSession::SendSentence(const QString& text) {
    if (text.isEmpty())
        return IsOpen();
    QString sentence = text;
    if (!sentence.startsWith(u'!') && !sentence.startsWith(u'$') && !sentence.startsWith(u'\\'))
        sentence.prepend(u'$');
    if (log.Logging()) {
        LogOrStop(QString(), sentence, false);
        FlushLog();
        emit LogChanged();
    }
    if (!IsOpen())
        return false;
    try {
        comm->SendLine(sentence);
    } catch (const ESocketError&) {
        Disconnect();
        user.ShowMessage(MsgTcpLost);
        return false;
    }
    return true;
}

bool TSession::SendUnlogged(const QString& text) {
    // Background requests wait while bootloader packets hold the link.
    if (!IsOpen() || comm->InPacketMode())
        return false;
    try {
        comm->SendLine(text);
    } catch (const ESocketError&) {
        Disconnect();
        user.ShowMessage(MsgTcpLost);
        return false;
    }
    return true;
}

void TSession::SendAndWait(const QString& text, int kind, int timeoutMs) {
    if (!SendSentence(text))
        LinkLost();
    WaitForReply(kind, timeoutMs);
}

quint8 TSession::AwaitedKind() const {
    for (auto it = waits.rbegin(); it != waits.rend(); ++it) {
        if (!it->Arrived)
            return it->Kind;
    }
    return 0;
}

void TSession::LinkLost() {
    user.SetBusy(false);
    throw ELinkLost(MsgLinkClosed());
}

void TSession::WaitForReply(int kind, int timeoutMs, QString* reply) {
    if (!AwaitReply(kind, timeoutMs, reply)) {
        user.SetBusy(false);
        throw ETimeOut(MsgNoResponse());
    }
}

bool TSession::AwaitReply(int kind, int timeoutMs, QString* reply) {
    // Waits nest: a handler that runs inside one wait may start another. Each wait has its own
    // record, so an outer wait still ends only with its own reply or its own deadline.
    const size_t index = waits.size();
    waits.push_back({quint8(kind), false});
    const quint64 serial = ++waitSerial;
    waits.back().Serial = serial;
    if (waits.size() == 1)
        emit BusyChanged();

    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QEventLoop loop;
    QTimer deadlineTimer;
    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    connect(&deadlineTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &TSession::ReplyArrived, &loop, &QEventLoop::quit);

    const auto record = [&]() -> TWait* {
        // A disconnect drops every wait record; then this wait has nothing left to wait for.
        return index < waits.size() && waits[index].Serial == serial ? &waits[index] : nullptr;
    };
    while (record() && !record()->Arrived && !cancelWaits && !deadline.hasExpired()) {
        deadlineTimer.start(std::max<qint64>(1, deadline.remainingTime()));
        loop.exec();
    }

    const bool dropped = !record();
    const bool arrived = !dropped && record()->Arrived;
    if (arrived && reply)
        *reply = record()->Line;
    if (!dropped)
        waits.resize(index);
    const bool cancelled = cancelWaits;
    if (waits.empty()) {
        cancelWaits = false;
        emit WaitsFinished();
        emit BusyChanged();
    }
    if (cancelled)
        throw ECancelled(QStringLiteral("The command was cancelled because Tidewright is closing"));
    if (dropped)
        LinkLost();
    return arrived;
}

void TSession::CancelWaits() {
    if (waits.empty())
        return;
    cancelWaits = true;
    emit ReplyArrived();
}

// --- receiving ---------------------------------------------------------------------------

bool TSession::NmeaReadTimerTimer() {
    return DrainQueue();
}

bool TSession::DrainQueue() {
    bool took = false;
    QElapsedTimer budget;
    budget.start();
    while (!budget.hasExpired(PumpBudgetMs)) {
        const std::optional<QByteArray> line = comm->PopLineOrSleep();
        if (!line) {
            // Nothing left: sleep until the link queues the next line.
            NmeaReadTimer.stop();
            break;
        }
        took = true;
        try {
            DispatchLine(QString::fromLatin1(*line));
        } catch (const ECancelled&) {
            break;
        } catch (const ELinkLost&) {
            break; // the disconnect has said so
        } catch (const EError& e) {
            // The lines behind this one stay queued for the next tick.
            user.ShowError(e.Message());
            break;
        } catch (const std::exception& e) {
            user.ShowError(QString::fromLocal8Bit(e.what()));
            break;
        }
    }
    if (took) {
        FlushLog();
        if (log.Logging())
            emit LogChanged();
        if (viewerDirty) {
            viewerDirty = false;
            emit ViewerChanged();
        }
    }
    return took;
}

void TSession::DispatchLine(const QString& line) {
    const TSentence sentence(line, Config.UniqueID);
    ++linesReceived;
    const bool reading = activity == acReadConfig;

    // Cleared however the dispatch ends, so one bad report never leaves the change handlers
    // of the window switched off.
    const TRefreshingScope refreshing(Refreshing);

    try {
        if (log.Logging())
            LogOrStop(sentence.TagBlock, sentence.Text, true);

        if (sentence.Kind == nkRDY)
            ++readyAnswers;
        if (sentence.Kind != nkNone) {
            // The reply answers the oldest wait for its kind.
            for (TWait& wait : waits) {
                if (!wait.Arrived && wait.Kind == sentence.Kind) {
                    wait.Arrived = true;
                    wait.Line = line;
                    emit ReplyArrived();
                    break;
                }
            }
        }

        if (Viewer.Accepts(sentence) && Viewer.Add(sentence)) {
            viewerDirty = true;
            emit SentenceShown(Viewer.ShownText(sentence));
        }

        if (sentence.Kind != nkNone)
            emit ProprietarySentence(sentence);

        switch (sentence.Kind) {
        case nkLDR:
            HandleLoader(sentence);
            break;
        case nkOV:
            HandleOverflow(sentence);
            break;
        case nkSTAT:
            emit StatisticsReport(sentence);
            break;
        case nkNA:
        case nkND:
            try {
                HandleConfigReport(Config, sentence);
            } catch (...) {
                emit Nmea2000Changed();
                throw;
            }
            emit Nmea2000Changed();
            break;
        default:
            break;
        }

        HandleActivity(sentence);
    } catch (const ENmeaError&) {
        // Sentences that cannot be used are dropped quietly.
    } catch (const ECancelled&) {
        throw;
    } catch (const ELinkLost&) {
        throw;
    } catch (...) {
        // A report the read could not use: the pump shows the error, and the read, however it
        // ends, lacks what the report held.
        if (reading)
            ++lastRead.RefusedReports;
        throw;
    }
}

void TSession::HandleActivity(const TSentence& sentence) {
    switch (activity) {
    case acRouteCapture:
        if (sentence.Kind == nkNone)
            Config.CaptureSentence(sentence, CaptureNames);
        break;
    case acIdentify:
        if (sentence.Kind == nkVER)
            HandleVersion(sentence);
        break;
    case acReadConfig:
        if (sentence.Kind == nkRDY) {
            EndConfigRead();
        } else if (IsConfigReadKind(sentence.Kind)) {
            DumpTimer.start();
            HandleConfigReport(Config, sentence);
        }
        break;
    case acReadNavDB:
        if (sentence.Kind == nkDB) {
            // The first entry answers the query: its time-out must not go on to report a
            // multiplexer that does not respond.
            if (sentence.FieldCount() > 1 && sentence.Fields.at(1) == u"R")
                TimeOutTimer.stop();
            emit NavDBReport(sentence);
        } else if (sentence.Kind == nkRDY) {
            // An empty database is an answer too.
            TimeOutTimer.stop();
            SetActivity(acIdle);
            emit StateChanged();
            emit NavDBReport(sentence);
        }
        break;
    default:
        break;
    }
}

void TSession::HandleOverflow(const TSentence& sentence) {
    if (sentence.FieldCount() < 2 || sentence.Fields.at(1).isEmpty())
        return;
    const std::optional<quint32> flags = ParseHex32(sentence.Fields.at(1));
    if (!flags)
        return;
    OverflowLamps |= quint8(*flags & 0xF);
    OVTimer.start();
    emit OverflowChanged(OverflowLamps);
}

void TSession::HandleLoader(const TSentence& sentence) {
    const std::optional<quint32> type =
        sentence.FieldCount() > 1 ? ParseHex32(sentence.Fields.at(1)) : std::nullopt;
    LoaderType = quint8(type.value_or(0));
    TimeOutTimer.stop();
    // The application that was identified no longer runs.
    identification.Received = false;
    emit LoaderAnnounced(LoaderType);

    // A device left in its bootloader (an update that failed) answers nothing else: offer to
    // update it, once per link.
    if (FirmwareUpdateRunning || loaderOffered || (activity != acIdle && activity != acIdentify))
        return;
    loaderOffered = true;
    if (activity == acIdentify) {
        SetActivity(acIdle);
        emit StateChanged();
    }
    if (user.AskYesNo(QStringLiteral("The multiplexer is waiting in its bootloader.\n\nWould you "
                                     "like to update its firmware now?")))
        StartFirmwareUpdate();
}

// --- timers ------------------------------------------------------------------------------

void TSession::TimeOutTimerTimer() {
    SetActivity(acIdle);
    TimeOutTimer.stop();
    emit StateChanged();
    user.ShowMessage(TimeoutMessage);
}

void TSession::DumpTimerTimer() {
    // The dump stopped before its end. The model is incomplete, so the controls stay off (and
    // nothing is written from it) until a read completes.
    if (activity != acReadConfig)
        return;
    SetActivity(acIdle);
    emit StateChanged();
    user.ShowMessage(MsgNoResponse());
}

void TSession::ConfigTimerTimer() {
    // Between bootloader packets a sentence would only disturb the bootloader.
    if (comm->InPacketMode())
        return;
    SendSentence(QStringLiteral("$PZRQCF,A"));
}

void TSession::OVTimerTimer() {
    OverflowLamps = 0;
    emit OverflowChanged(OverflowLamps);
}

// --- logging -----------------------------------------------------------------------------

bool TSession::StartLog(const QString& fileName, bool diagnostic) {
    const bool started = log.Start(fileName, diagnostic);
    emit LogChanged();
    return started;
}

void TSession::StopLog() {
    log.Stop();
    emit LogChanged();
}

void TSession::LogOrStop(const QString& tagBlock, const QString& text, bool received) {
    try {
        log.LogLine(tagBlock, text, received);
    } catch (const EInOutError& e) {
        emit LogChanged();
        user.ShowMessage(e.Message());
    }
}

void TSession::FlushLog() {
    try {
        log.Flush();
    } catch (const EInOutError& e) {
        emit LogChanged();
        user.ShowMessage(e.Message());
    }
}
