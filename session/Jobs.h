#pragma once

#include <QString>

#include <functional>

class TSession;

// How a device job ended. Whatever went wrong has been told to the user by the time the job
// returns; the text is kept for callers that report the end in their own way (the
// command-line tool's exit code).
enum TJobResult : quint8 {
    jrDone,     // completed
    jrRefused,  // not started: the multiplexer is busy with another command
    jrDeclined, // the user answered No
    jrFailed,   // the multiplexer stopped answering, or a file could not be read or written
    jrLinkLost, // the link closed under the job; the disconnect has told the user
    jrPartial,  // ran to its end, but some of what it read could not be used (each was shown)
};

struct TJobOutcome {
    TJobResult Result = jrDone;
    QString Message; // the failure's text; empty when done

    bool Done() const { return Result == jrDone; }
};

// Sleeps in the event loop until done() holds, looking again whenever the session announces a
// change: its activity, its state (a closed link among them), the end of a read, a reply or a
// report of the navigation database. False when the time ran out first. Nothing polls: an
// idle link costs no processor time while a job waits.
bool AwaitSession(TSession& session, const std::function<bool()>& done, int timeoutMs);
