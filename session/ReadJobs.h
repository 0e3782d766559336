#pragma once

#include "session/Jobs.h"

#include <QObject>

class IUser;
class TSession;

// The jobs that read from the multiplexer when a link opens: the identification that
// connecting starts and the configuration read that follows it. Each sleeps in the event loop
// on the session's signals until its part has ended, has told the user what went wrong,
// exactly once, and returns how it ended. Make it before connecting: it watches the session's
// time-outs from the start of the identification.
class TReadJobs {
public:
    TReadJobs(TSession& session, IUser& user);
    TReadJobs(const TReadJobs&) = delete;
    TReadJobs& operator=(const TReadJobs&) = delete;

    // The identification: done once a supported multiplexer has said what it is. Fails when it
    // does not answer, when "UDP All" cannot identify anything, when its firmware cannot be
    // used (the update has been offered) or it is waiting in its bootloader, and when its
    // capabilities are missing or not supported; link lost when the link closed.
    TJobOutcome AwaitIdentification();
    // The configuration read that a successful identification starts: done with its closing
    // "$PZRQRDY". Fails when the dump goes silent; partial when it ended but some reports could
    // not be used (the model holds the rest); link lost when the link closed. Call it once the
    // identification has succeeded.
    TJobOutcome AwaitConfigurationRead();
    // What connecting started has ended, without judging the identification: for jobs that
    // take the device as it comes (a device waiting in its bootloader answers no
    // identification, yet can be updated). A configuration read under way is awaited as
    // AwaitConfigurationRead does; a partial one counts as ended.
    TJobOutcome AwaitConnectionSettled();

private:
    // Tells the user and fails with the text.
    TJobOutcome Fail(const QString& text);

    TSession& session;
    IUser& user;
    QObject watch;                 // the context of the connections below: they end with the jobs
    bool identifyTimedOut = false; // the session's time-out ended the identification
    bool loaderAnnounced = false;  // a device waiting in its bootloader answered instead
    bool dumpWentSilent = false;   // the session's dump watch ended the read
};
