#include "firmware/FwUpdate.h"

#include "comms/Comms.h"
#include "firmware/FwBackup.h"
#include "nmea/Errors.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "session/User.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>

namespace {

const QString MsgUpdateFailed = QStringLiteral("The firmware update failed");

// How long a wait for a bootloader reply blocks before the window gets painted.
constexpr int PaintSliceMs = 50;
// A bootloader that answers the synchronisation packet does so at once; that answer is dropped.
constexpr int SyncSettleMs = 50;
// A whole configuration dump takes far less.
constexpr int ConfigReadTimeoutMs = 30000;

constexpr quint8 ReplyDone = 0xC0;

// Paints the windows and runs timers; what the user does waits until the packets are through.
void KeepPainted() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Waits for the reply to the command just sent, in slices so that the windows stay painted.
int AwaitReply(TComm& comm, TPacket& reply) {
    const QDeadlineTimer deadline(BootReplyTimeoutMs, Qt::PreciseTimer);
    for (;;) {
        const qint64 left = deadline.remainingTime();
        const bool last = left <= PaintSliceMs;
        const int result =
            comm.ReceivePacket(reply, int(last ? std::max<qint64>(left, 0) : PaintSliceMs), !last);
        if (result != PacketTimeout || last)
            return result;
        KeepPainted();
    }
}

QByteArray Exchange(TComm& comm, const QByteArray& command, const QString& timeoutMessage) {
    // Anything that came unasked (an answer to the synchronisation packet, a reply sent twice)
    // must not pass for the answer to this command.
    comm.DiscardPacket();
    comm.SendPacket(TPacket::FromBytes(command));
    TPacket reply;
    switch (AwaitReply(comm, reply)) {
    case PacketReceived:
        return reply.Bytes().toByteArray();
    case PacketTimeout:
        throw ECommError(timeoutMessage);
    default:
        // The session tells the user that the link went; the update only stops.
        throw ELinkLost(QStringLiteral("The link to the multiplexer was closed"));
    }
}

void CheckReply(quint8 command, QByteArrayView reply) {
    if (reply.size() == 1 && quint8(reply[0]) == ReplyDone)
        return;
    throw ECommError(BootCommandName(command) + BootReplyText(reply));
}

QString Hex(quint32 value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QChar(u'0')).toUpper();
}

quint32 VersionNumber(const std::array<int, 3>& version) {
    return quint32(version[0]) * 65536 + quint32(version[1]) * 256 + quint32(version[2]);
}

} // namespace

QString BootCommandName(quint8 code) {
    switch (code) {
    case bcErase:
        return QStringLiteral("Erase application command:\n");
    case bcErasePage:
        return QStringLiteral("Erase application page command:\n");
    case bcProgramPage:
        return QStringLiteral("Programm application page command:\n");
    case bcEraseProgramPage:
        return QStringLiteral("Erase/program application page command:\n");
    case bcCrc:
        return QStringLiteral("Calculate CRC command:\n");
    case bcEncryption:
        return QStringLiteral("Encryption command:\n");
    case bcProgramUsr:
        return QStringLiteral("Program USR command:\n");
    case bcReadUsr:
        return QStringLiteral("Read USR command:\n");
    case bcReadId:
        return QStringLiteral("Read Multiplexer ID command:\n");
    default:
        return {};
    }
}

QString BootReplyText(QByteArrayView reply) {
    if (reply.size() != 1)
        return QStringLiteral("Response has wrong size");
    switch (quint8(reply[0])) {
    case 0xE0:
        return QStringLiteral("Frame size error");
    case 0xE1:
        return QStringLiteral("Unknown command");
    case 0xE2:
        return QStringLiteral("Unknown decryption method");
    default:
        return QStringLiteral("Unknown response");
    }
}

void RunBootloader(TComm& comm, const TFirmwareImage& image, IUser* progress) {
    comm.SetPacketMode();
    struct TLineModeOnExit {
        TComm& comm;
        ~TLineModeOnExit() { comm.SetLineMode(); }
    } lineMode{comm};

    static constexpr char sync[] = {char(0xF0), char(0xF1), char(0xF2), char(0xF3)};
    comm.SendPacket(TPacket::FromBytes(QByteArrayView(sync, 4)));
    TPacket stray;
    comm.ReceivePacket(stray, SyncSettleMs);

    const int pages = image.PageCount();
    if (progress) {
        progress->SetProgressRange(0, std::max(0, pages - 1));
        progress->SetProgressTask(QStringLiteral("Erasing..."));
    }
    KeepPainted();

    CheckReply(bcErase, Exchange(comm, QByteArray(1, char(bcErase)),
                                 QStringLiteral("Bootloader: Erase command timeout")));

    QByteArray encryption(1, char(bcEncryption));
    encryption += char(2); // the decryption method of the maker's images
    encryption += image.DecryptionParameters().toByteArray();
    CheckReply(bcEncryption, Exchange(comm, encryption,
                                      QStringLiteral("Bootloader: Encryption command timeout")));

    if (progress)
        progress->SetProgressTask(QStringLiteral("Programming..."));
    QByteArray command(3 + FwPageSize, '\0');
    command[0] = char(bcProgramPage);
    for (int page = 0; page < pages; ++page) {
        command[1] = char(page & 0xFF);
        command[2] = char(page >> 8);
        const QByteArrayView data = image.Page(page);
        std::copy(data.begin(), data.end(), command.begin() + 3);
        CheckReply(bcProgramPage,
                   Exchange(comm, command, QStringLiteral("Bootloader: Programming timeout")));
        if (progress)
            progress->SetProgressPosition(page);
        KeepPainted();
    }

    const QByteArray crc = Exchange(comm, QByteArray(1, char(bcCrc)),
                                    QStringLiteral("Bootloader: CRC command timeout"));
    if (crc.size() == 5 && (quint8(crc[0]) == 0x05 || quint8(crc[0]) == 0x85)) {
        const quint32 device = quint32(quint8(crc[1])) | quint32(quint8(crc[2])) << 8 |
                               quint32(quint8(crc[3])) << 16 | quint32(quint8(crc[4])) << 24;
        if (device != image.DeviceCrc())
            throw ECommError(QStringLiteral("Bootloader: CRC error\nFile CRC: %1\nMult.CRC: %2")
                                 .arg(Hex(image.DeviceCrc(), 8), Hex(device, 8)));
        return;
    }
    CheckReply(bcCrc, crc);
}

// --- the job -------------------------------------------------------------------------------

TFwUpdate::TFwUpdate(TSession& aSession, QObject* parent)
    : QObject(parent)
    , session(aSession)
    , user(aSession.User()) {}

TFwUpdate::~TFwUpdate() = default;

void TFwUpdate::SetState(TFwState newState) {
    state = newState;
    emit StateChanged(state);
}

QString TFwUpdate::LinkRefusal() const {
    const int selector = session.Selector();
    switch (session.DeviceModel()) {
    case 2:
    case 4:
        if (selector != SelectorTcp)
            return QStringLiteral("The Corvanta must be set to TCP mode\nbefore updating");
        break;
    case 3:
        if (selector < SelectorFirstSerial)
            return QStringLiteral("The Corvanta firmware cannot be updated via\nWiFi. Connect via "
                                  "USB first before updating");
        break;
    default:
        break;
    }
    // Bootloader packets travel on serial and TCP links only.
    if (selector == SelectorUdp || selector == SelectorUdpAll)
        return QStringLiteral("The firmware cannot be updated over UDP.\nConnect by TCP or via "
                              "USB before updating");
    return {};
}

bool TFwUpdate::Run(const QString& source, TRestore restore) {
    return Run([source] { return source; }, restore);
}

bool TFwUpdate::Run(const std::function<QString()>& chooseFile, TRestore restore) {
    // One update at a time, on an open link.
    if (session.FirmwareUpdateRunning || !session.IsOpen())
        return false;
    const QString refusal = LinkRefusal();
    if (!refusal.isEmpty()) {
        user.ShowMessage(refusal);
        return false;
    }
    const QString source = chooseFile();
    if (source.isEmpty())
        return false;

    session.FirmwareUpdateRunning = true;
    struct TRunning {
        TFwUpdate& job;
        ~TRunning() {
            // Whatever ended the job, nothing stays held.
            job.ReleaseLink();
            job.session.FirmwareUpdateRunning = false;
        }
    } running{*this};
    return Update(source, restore);
}

void TFwUpdate::HoldLink() {
    holding = true;
    session.LinkHeld = true;
    emit session.ConfigControlsEnabled(false);
    emit session.StateChanged();
    user.SetBusy(true);
    user.ShowProgress(QStringLiteral("Updating Corvanta Firmware"));
    user.SetProgressTask(QStringLiteral("Starting bootloader..."));
    user.SetProgressRange(0, 10);
    user.SetProgressPosition(0);
    KeepPainted();
}

void TFwUpdate::ReleaseLink() {
    if (!holding)
        return;
    holding = false;
    session.Comm().SetLineMode();
    user.HideProgress();
    user.SetBusy(false);
    session.LinkHeld = false;
    emit session.ConfigControlsEnabled(session.IsOpen());
    emit session.StateChanged();
}

bool TFwUpdate::Failed(const QString& message) {
    ReleaseLink();
    session.SetActivity(acIdle);
    SetState(fwFailed);
    emit session.StateChanged();
    if (!message.isEmpty())
        user.ShowMessage(message);
    if (!backupFile.isEmpty())
        user.ShowMessage(QStringLiteral("The configuration read before the update is saved in\n%1")
                             .arg(backupFile));
    return false;
}

bool TFwUpdate::Update(const QString& source, TRestore restore) {
    SetState(fwLoadingImage);
    const TFirmwareImage* image = nullptr;
    try {
        image = &LoadFirmwareImage(source);
    } catch (const EInOutError& e) {
        user.HideProgress();
        user.ShowMessage(e.Message());
        SetState(fwIdle);
        return false;
    }
    if (VersionNumber(session.Identification().Firmware) > image->Version() &&
        !user.AskYesNo(QStringLiteral("The version of this firmware file is lower than the "
                                      "version\nof the multiplexer. Do you really want to "
                                      "proceed?"))) {
        SetState(fwIdle);
        return false;
    }

    TConfigBackup backup(session);
    if (backup.Possible()) {
        SetState(fwBackingUp);
        backupFile = backup.Save();
        if (!session.IsOpen())
            return Failed(QString());
        if (backupFile.isEmpty() &&
            !user.AskYesNo(QStringLiteral("The configuration could not be read before the "
                                          "update.\nUpdate without keeping it?"))) {
            SetState(fwIdle);
            return false;
        }
    }

    // Reset into the bootloader and wait for its announcement. A time-out of an earlier
    // identification must not end this wait.
    session.TimeOutTimer.stop();
    SetState(fwWaitLoader);
    session.SetActivity(acFwWaitLoader);
    // The window is made ready first: once the reset has gone, nothing may run before the wait
    // for the announcement has begun, or a quick bootloader's announcement would pass unseen.
    HoldLink();
    // A send that fails has closed the link and said so.
    if (!session.SendSentence(QStringLiteral("$PZRQRESET")))
        return Failed(MsgUpdateFailed);
    try {
        try {
            session.WaitForReply(nkLDR, LoaderTimeoutMs);
        } catch (const ETimeOut&) {
            return Failed(session.IsOpen() ? QStringLiteral("Bootloader: Initialisation failed")
                                           : MsgUpdateFailed);
        }
        session.SetActivity(acFwWaitRestart);
        SetState(fwProgramming);
        if (image->MuxType() != 0 && image->MuxType() != session.LoaderType)
            throw ECommError(
                QStringLiteral("Firmware file does not match with the multiplexer type"));
        RunBootloader(session.Comm(), *image, &user);
    } catch (const ECancelled&) {
        // The program is closing: nothing more to say.
        return Failed(QString());
    } catch (const ELinkLost&) {
        // The link closed under a wait; whoever closed it has said why.
        return Failed(MsgUpdateFailed);
    } catch (const std::exception& e) {
        // Whatever failed, also a socket that broke while writing: clean up, then say it.
        ReleaseLink();
        const auto* error = dynamic_cast<const EError*>(&e);
        user.ShowMessage(error ? error->Message() : QString::fromLocal8Bit(e.what()));
        // A bootloader that failed stays in it; an application that restarted anyway still
        // reports its version.
        QString versionLine;
        if (session.IsOpen() && WaitForRestart(versionLine)) {
            Succeeded(versionLine, rsNever);
            return true;
        }
        return Failed(MsgUpdateFailed);
    }

    ReleaseLink();
    QString versionLine;
    if (!WaitForRestart(versionLine))
        return Failed(MsgUpdateFailed);
    Succeeded(versionLine, restore);
    return true;
}

bool TFwUpdate::WaitForRestart(QString& versionLine) {
    SetState(fwWaitRestart);
    session.SetActivity(acFwWaitRestart);
    try {
        session.WaitForReply(nkVER, RestartTimeoutMs, &versionLine);
        return true;
    } catch (const ETimeOut&) {
        return false;
    } catch (const ELinkLost&) {
        // The link went while the multiplexer restarted (it has been reported as it went).
        return false;
    }
}

void TFwUpdate::Succeeded(const QString& versionLine, TRestore restore) {
    session.SetActivity(acIdle);
    user.ShowMessage(QStringLiteral("The firmware update was successful"));
    // The new firmware is identified afresh and its configuration read.
    session.Config.ClearRoutes();
    session.Config.ClearModbus();
    session.HandleVersion(TSentence(versionLine, session.Config.UniqueID));
    emit session.StateChanged();
    SetState(fwSucceeded);

    if (backupFile.isEmpty() || restore == rsNever) {
        if (!backupFile.isEmpty())
            user.ShowMessage(
                QStringLiteral("The configuration read before the update is saved in\n%1")
                    .arg(backupFile));
        return;
    }
    TConfigBackup backup(session);
    if (!backup.WaitForRead(ConfigReadTimeoutMs)) {
        user.ShowMessage(QStringLiteral("The configuration was not restored. The one read before "
                                        "the update is saved in\n%1")
                             .arg(backupFile));
        return;
    }
    if (restore == rsAsk &&
        !user.AskYesNo(QStringLiteral("Restore the configuration read before the update?")))
        return;
    SetState(fwRestoring);
    const bool restored = backup.Restore(backupFile);
    SetState(fwSucceeded);
    if (!restored)
        user.ShowMessage(QStringLiteral("The configuration read before the update is saved in\n%1")
                             .arg(backupFile));
}
