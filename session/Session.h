#pragma once

#include "config/MuxConfig.h"
#include "nmea/Nmea.h"
#include "session/NmeaLog.h"
#include "session/Viewer.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

class IUser;
class TComm;

// What the session with the multiplexer is engaged in; the dispatcher switches on it.
enum TActivity : quint8 {
    acIdle = 0,
    acRouteCapture = 1,
    acIdentify = 2,
    acReadConfig = 3,
    acReadNavDB = 4,
    acFwWaitLoader = 5,
    acFwWaitRestart = 6,
};

// The waits of a closing program end with this; callers let it pass silently.
class ECancelled : public EError {
public:
    using EError::EError;
};

// A command whose link closed under it (a send that failed, a disconnect during a wait) ends
// with this. Whoever closed the link has told the user; callers stop without a message.
class ELinkLost : public EError {
public:
    using EError::EError;
};

// Sets a Refreshing flag for as long as it lives and then restores the value it had before,
// however the filling or dispatching ends: a refresh nested in another one (controls filled
// while a report is dispatched) leaves the outer one refreshing.
class TRefreshingScope {
public:
    explicit TRefreshingScope(bool& refreshing)
        : flag(refreshing)
        , earlier(refreshing) {
        flag = true;
    }
    ~TRefreshingScope() { flag = earlier; }
    TRefreshingScope(const TRefreshingScope&) = delete;
    TRefreshingScope& operator=(const TRefreshingScope&) = delete;

private:
    bool& flag;
    const bool earlier;
};

// What the multiplexer's version reply said.
struct TIdentification {
    bool Received = false; // a version reply was handled since the last read started
    QString DeviceName;
    QString FirmwareText; // as the reply gave it
    std::array<int, 3> Firmware{};
    QString SerialNumber;
    quint16 Capabilities = 0;
    int Model = -1; // the model code; -1 until a supported capability word arrives
    // What the user was told about a capability word that could not be used; empty when the
    // word was usable or the reply carried none.
    QString Problem;
};

// The configuration read that a version reply starts, as far as it has gone.
struct TConfigRead {
    bool Complete = false; // its closing "$PZRQRDY" has come
    // Its reports that could not be used; each was shown as an error and the model lacks it.
    int RefusedReports = 0;
};

// Firmware version text to numbers: "3.14.2." gives 3, 14, 2; "3.14.2" gives 3, 14, 0; "3.14"
// gives 3, 0, 0. Reading stops at the first missing "." or non-number.
std::array<int, 3> ParseFirmwareVersion(const QString& text);
// Version 3.14 and later.
bool IsFirmwareSupported(const std::array<int, 3>& version);

// One connected multiplexer: the link, the configuration model, what the program is engaged in,
// the receive pump and dispatcher, sending and waiting for replies, identification, the
// viewer's content and the traffic log. Widget-free; the window and the command-line tool
// show it and turn user actions into its calls.
class TSession : public QObject {
    Q_OBJECT

public:
    explicit TSession(IUser& user, QObject* parent = nullptr);
    ~TSession() override;

    // --- link ---------------------------------------------------------------------------
    // Selector lists: "UDP All", "UDP", "TCP", then the serial ports.
    const QStringList& DeviceNames() const { return deviceNames; }
    const QStringList& DisplayNames() const { return displayNames; }
    // Adds a serial device that the port list does not show (a pseudo-terminal, a device
    // named on the command line); returns its selector index. With a description it is shown
    // as the port list shows its ports, "description (device)".
    int AddSerialDevice(const QString& device, const QString& description = QString());
    // Connect as the Connect button does; true when the link is open.
    bool Connect(int selector, const QString& host, const QString& port);
    // Disconnect as the Disconnect button does.
    void Disconnect();
    // The port selector changed: the link closes.
    void SelectorChanged();
    bool IsOpen() const;
    int Selector() const { return selector; }
    TComm& Comm() { return *comm; }

    // --- identification and reading -----------------------------------------------------
    // btnReadConfigClick; refused (false, and the user is told) while the session is busy.
    bool ReadConfiguration();
    void HandleVersion(const TSentence& sentence);
    void CheckCapabilities(const QString& text);
    // Asks for the firmware update with the image built into the program: the window and the
    // command-line tool run it once the dispatch that asked has ended (FirmwareUpdateRequested).
    void StartFirmwareUpdate();
    // Raymarine SeaTalk-STNG converter found on the NMEA 2000 network.
    void ConverterFound();

    // --- configuration controls ---------------------------------------------------------
    // The configuration controls go off (and are cleared) or come back (and are filled).
    void EnableConfigControls(bool enable) { emit ConfigControlsEnabled(enable); }
    // The model changed outside a read (a file was loaded): the window refreshes.
    void NotifyStateChanged() { emit StateChanged(); }

    // --- busy or idle -------------------------------------------------------------------
    // Nothing runs that a configuration read or write would disturb: no identification, no
    // configuration read, no other activity, and nobody waits for an answer.
    bool IsIdle() const { return activity == acIdle && waits.empty(); }
    // IsIdle, and when it is not, the user is told that the command has to wait.
    bool CheckIdle();

    // --- sending and waiting ------------------------------------------------------------
    // False when the sentence did not go out on an open link (a lost TCP connection has been
    // disconnected and reported).
    bool SendSentence(const QString& text);
    // Straight to the link without logging, for the NMEA 2000 device list's requests and
    // commands; false as for SendSentence, and while bootloader packets hold the link.
    bool SendUnlogged(const QString& text);
    // Raises ELinkLost when the sentence could not be sent or the link closed while waiting,
    // ETimeOut when no answer came in time.
    void SendAndWait(const QString& text, int kind = nkRDY, int timeoutMs = 1000);
    // reply, when given, receives the line that answered.
    void WaitForReply(int kind, int timeoutMs, QString* reply = nullptr);
    // WaitForReply without the time-out error: false when the time ran out.
    bool AwaitReply(int kind, int timeoutMs, QString* reply = nullptr);
    // Ends a command whose link has closed: raises ELinkLost.
    [[noreturn]] void LinkLost();
    // "$PZRQRDY" sentences received since the session was made: a job that stores a table
    // counts the answers to its lines with it.
    quint64 ReadyAnswers() const { return readyAnswers; }
    int WaitDepth() const { return int(waits.size()); }
    IUser& User() { return user; }
    // The kind the innermost unanswered wait expects; 0 when nothing is awaited.
    quint8 AwaitedKind() const;
    // Ends every running wait with ECancelled (the program is closing).
    void CancelWaits();

    // --- receiving ----------------------------------------------------------------------
    // One tick of the receive pump; true when lines were taken.
    bool NmeaReadTimerTimer();
    void DispatchLine(const QString& line);
    // Lines dispatched since the session was made.
    quint64 LinesReceived() const { return linesReceived; }

    // --- logging ------------------------------------------------------------------------
    bool StartLog(const QString& fileName, bool diagnostic);
    void StopLog();
    const TNmeaLog& Log() const { return log; }

    // --- state --------------------------------------------------------------------------
    TMuxConfig Config;
    TViewer Viewer;
    // What the session is engaged in; changes only through SetActivity, which announces it.
    TActivity Activity() const { return activity; }
    void SetActivity(TActivity newActivity);
    // Route capture: the table fills from the traffic while the configuration controls are off.
    // Start is refused (false) unless the session is idle; Stop ends a running capture only.
    bool StartRouteCapture();
    void StopRouteCapture();
    // The NAME the NMEA 2000 device list knows for a source address; captured routes from
    // NMEA 2000 take it. Unset: captured routes have no NAME.
    TNameLookup CaptureNames;
    const TIdentification& Identification() const { return identification; }
    int DeviceModel() const { return identification.Model; }
    // The last configuration read; starts afresh with every read.
    const TConfigRead& LastConfigRead() const { return lastRead; }
    bool Refreshing = false;
    QString TimeoutMessage;
    quint8 LoaderType = 0;     // multiplexer type from the last bootloader announcement
    quint8 OverflowLamps = 0;  // bit n: output n+1 overflowed lately
    bool ViewerGreyed = false; // identification found incompatible firmware

    // A firmware update job runs (one at a time).
    bool FirmwareUpdateRunning = false;
    // The update holds the link: connection and reading are off.
    bool LinkHeld = false;

    QTimer TimeOutTimer;  // 4000 ms, one shot: identification, bootloader announcement
    QTimer ConfigTimer;   // 4000 ms: keep-alive while connected
    QTimer OVTimer;       // 500 ms: overflow lamps go dark
    QTimer NmeaReadTimer; // 20 ms: the receive pump
    QTimer DumpTimer;     // 4000 ms, one shot: the configuration dump has gone silent

    void TimeOutTimerTimer();
    void ConfigTimerTimer();
    void OVTimerTimer();
    void DumpTimerTimer();
    void HandleOverflow(const TSentence& sentence);

signals:
    void ActivityChanged(TActivity activity);
    // Link, activity or identification changed: the window refreshes its controls.
    void StateChanged();
    // Configuration controls to be enabled (and filled) or disabled (and cleared).
    void ConfigControlsEnabled(bool enable);
    // The viewer's lines changed (once per pump tick).
    void ViewerChanged();
    // A sentence passed the source filter; the text as the viewer shows it.
    void SentenceShown(const QString& text);
    void OverflowChanged(quint8 lamps);
    void LogChanged();
    // The NMEA 2000 settings of the model changed (NA and ND reports).
    void Nmea2000Changed();
    // Every sentence of the multiplexer's own kinds, as it is dispatched.
    void ProprietarySentence(const TSentence& sentence);
    // A version reply identified the multiplexer (the NMEA 2000 list starts afresh).
    void Identified(quint16 capabilities);
    // A statistics report arrived.
    void StatisticsReport(const TSentence& sentence);
    // While the navigation database is read: one of its reports, or the "$PZRQRDY" that ends
    // the dump (after the activity has gone back to idle).
    void NavDBReport(const TSentence& sentence);
    // The bootloader announced itself: the update command becomes available.
    void LoaderAnnounced(quint8 type);
    // The user asked for the firmware update with the built-in image (incompatible firmware,
    // or a device waiting in its bootloader).
    void FirmwareUpdateRequested();
    // The configuration read ended with its closing "$PZRQRDY".
    void ReadFinished();
    // The outermost wait has ended.
    void WaitsFinished();
    // The first wait has started or the last one has ended: IsIdle may have changed.
    void BusyChanged();
    // A wait's reply arrived, or waits were dropped or cancelled: running waits look again.
    void ReplyArrived();

private:
    void OnConnectionLost();
    // Dispatches what is queued, for at most one tick's budget; true when lines were taken.
    bool DrainQueue();
    void HandleLoader(const TSentence& sentence);
    void HandleActivity(const TSentence& sentence);
    void EndConfigRead();
    // Identification and configuration read, as Read Configuration starts them.
    void StartIdentification();
    void LogOrStop(const QString& tagBlock, const QString& text, bool received);
    void FlushLog();

    IUser& user;
    TActivity activity = acIdle;
    TIdentification identification;
    TConfigRead lastRead;
    std::unique_ptr<TComm> comm;
    QStringList deviceNames;
    QStringList displayNames;
    int selector = -1;
    struct TWait {
        quint8 Kind = 0;
        bool Arrived = false;
        quint64 Serial = 0;
        QString Line = {}; // the reply
    };
    std::vector<TWait> waits; // outermost first
    quint64 waitSerial = 0;
    bool cancelWaits = false;
    quint64 readyAnswers = 0; // "$PZRQRDY" sentences received
    bool viewerDirty = false;
    quint64 linesReceived = 0;
    bool loaderOffered = false; // a device waiting in its bootloader was offered the update
    TNmeaLog log;
};
