#pragma once

#include "firmware/FwImage.h"

#include <QObject>
#include <QString>

#include <functional>

class IUser;
class TComm;
class TSession;

// Where a firmware update is; the job reports each change.
enum TFwState : quint8 {
    fwIdle,         // not started, or refused before anything was sent
    fwLoadingImage, // loading and checking the image
    fwBackingUp,    // reading and saving the configuration
    fwWaitLoader,   // "$PZRQRESET" sent, waiting for the bootloader to announce itself
    fwProgramming,  // talking to the bootloader in packets
    fwWaitRestart,  // waiting for the restarted application's version report
    fwRestoring,    // writing the saved configuration back
    fwSucceeded,
    fwFailed,
};

// Bootloader command codes.
enum TBootCommand : quint8 {
    bcErase = 1,
    bcErasePage = 2,
    bcProgramPage = 3,
    bcEraseProgramPage = 4,
    bcCrc = 5,
    bcEncryption = 6,
    bcProgramUsr = 7,
    bcReadUsr = 8,
    bcReadId = 9,
};

inline constexpr int BootReplyTimeoutMs = 2000;
inline constexpr int LoaderTimeoutMs = 4000;  // from "$PZRQRESET" to "$PZRQLDR"
inline constexpr int RestartTimeoutMs = 4000; // from the end of programming to "$PZRQVER"

// The name of a command in error messages, ending in a line break ("Erase application
// command:\n"); empty for an unknown code.
QString BootCommandName(quint8 code);
// What a reply other than "done" means ("Unknown command", "Response has wrong size"...).
QString BootReplyText(QByteArrayView reply);

// Talks to the bootloader in packets: synchronisation, erase, decryption parameters, every page
// of the image, CRC check. The link is in packet mode while it runs and back in line mode
// however it ends. Each reply is awaited for 2000 ms without spinning. With a progress user,
// the bar follows the pages and the window is kept painted (user input waits). Raises
// ECommError with the message to show on every failure; a link that closes raises ELinkLost
// (the session reports the closing) and a write to a broken link its own error.
void RunBootloader(TComm& comm, const TFirmwareImage& image, IUser* progress);

// The firmware update as one job on a connected session: checks the link, loads the image,
// compares versions, keeps the configuration, restarts the multiplexer into its bootloader,
// programs the image, and waits for the application to report its version. It blocks on its
// waits (the event loop runs on), reports progress and asks its questions through the session's
// user, and on every way out hides the progress, restores cursor and controls, leaves the link
// in line mode and says what happened. The window, its menu and the command-line tool start it.
class TFwUpdate : public QObject {
    Q_OBJECT

public:
    // What happens to the configuration read before the update once it has succeeded.
    enum TRestore { rsAsk, rsAlways, rsNever };

    explicit TFwUpdate(TSession& session, QObject* parent = nullptr);
    ~TFwUpdate() override;

    // Updates with a file or, for BuiltInImageSource, with the built-in image. True when the
    // multiplexer reported its version after programming.
    bool Run(const QString& source, TRestore restore = rsAsk);
    // The same with a file the user picks once the link has been found fit (empty: the user
    // cancelled, and nothing happens).
    bool Run(const std::function<QString()>& chooseFile, TRestore restore = rsAsk);

    // Empty when the link can carry the update, else why not (as shown to the user).
    QString LinkRefusal() const;

    TFwState State() const { return state; }
    // The configuration saved before the update; empty when none was saved.
    QString BackupFile() const { return backupFile; }

signals:
    void StateChanged(TFwState state);

private:
    bool Update(const QString& source, TRestore restore);
    void SetState(TFwState newState);
    // Holds or releases the link: progress, cursor, controls.
    void HoldLink();
    void ReleaseLink();
    bool WaitForRestart(QString& versionLine);
    void Succeeded(const QString& versionLine, TRestore restore);
    bool Failed(const QString& message);

    TSession& session;
    IUser& user;
    TFwState state = fwIdle;
    QString backupFile;
    bool holding = false;
};
