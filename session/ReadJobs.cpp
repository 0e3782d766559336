#include "session/ReadJobs.h"

#include "session/LinkUrl.h"
#include "session/Session.h"
#include "session/Texts.h"
#include "session/User.h"

namespace {

// The session's own 4000 ms time-out ends a silent identification; this only bounds one whose
// time-out never came.
constexpr int IdentifyLimitMs = 6000;
// The session ends a dump that goes silent for 4000 ms; this only bounds one that never stops.
constexpr int ReadLimitMs = 60000;

} // namespace

TReadJobs::TReadJobs(TSession& aSession, IUser& aUser)
    : session(aSession)
    , user(aUser) {
    QObject::connect(&session, &TSession::ActivityChanged, &watch, [this](TActivity activity) {
        if (activity == acIdentify) {
            identifyTimedOut = false;
            loaderAnnounced = false;
        } else if (activity == acReadConfig) {
            dumpWentSilent = false;
        }
    });
    // The session tells the user of either time-out itself; the flags keep the jobs from
    // saying it a second time.
    QObject::connect(&session.TimeOutTimer, &QTimer::timeout, &watch,
                     [this] { identifyTimedOut = true; });
    QObject::connect(&session.DumpTimer, &QTimer::timeout, &watch,
                     [this] { dumpWentSilent = true; });
    QObject::connect(&session, &TSession::LoaderAnnounced, &watch,
                     [this] { loaderAnnounced = true; });
}

TJobOutcome TReadJobs::Fail(const QString& text) {
    user.ShowMessage(text);
    return {jrFailed, text};
}

TJobOutcome TReadJobs::AwaitIdentification() {
    const bool ended = AwaitSession(
        session, [this] { return !session.IsOpen() || session.Activity() != acIdentify; },
        IdentifyLimitMs);
    if (!session.IsOpen())
        return {jrLinkLost, MsgLinkClosed()};
    if (!ended) {
        // Nothing will answer any more; a late time-out must not say so a second time.
        session.TimeOutTimer.stop();
        session.SetActivity(acIdle);
        return Fail(MsgNoResponse());
    }
    if (session.Selector() == SelectorUdpAll)
        return Fail(QStringLiteral(
            "Nothing is identified over \"UDP All\": replies may come from any device."));
    const TIdentification& id = session.Identification();
    if (!id.Received) {
        // The bootloader's offer of an update, or the time-out, has been shown.
        if (loaderAnnounced)
            return {jrFailed, QStringLiteral("The multiplexer is waiting in its bootloader.")};
        if (identifyTimedOut)
            return {jrFailed, session.TimeoutMessage};
        return Fail(MsgNoResponse());
    }
    if (!IsFirmwareSupported(id.Firmware)) {
        // The question whether to update has been asked.
        return {jrFailed, QStringLiteral("The multiplexer runs firmware %1, which cannot be used.")
                              .arg(id.FirmwareText)};
    }
    if (id.Model < 0) {
        if (!id.Problem.isEmpty())
            return {jrFailed, id.Problem};
        return Fail(QStringLiteral("The multiplexer did not report its capabilities."));
    }
    return {};
}

TJobOutcome TReadJobs::AwaitConfigurationRead() {
    const bool ended = AwaitSession(
        session, [this] { return !session.IsOpen() || session.Activity() != acReadConfig; },
        ReadLimitMs);
    if (!session.IsOpen())
        return {jrLinkLost, MsgLinkClosed()};
    if (!ended) {
        // A dump that never stops: the model is incomplete, and the session is free again.
        session.SetActivity(acIdle);
        return Fail(MsgNoResponse());
    }
    const TConfigRead& read = session.LastConfigRead();
    if (!read.Complete) {
        if (dumpWentSilent)
            return {jrFailed, MsgNoResponse()};
        return Fail(MsgNoResponse());
    }
    if (read.RefusedReports > 0) {
        const QString text =
            read.RefusedReports == 1
                ? QStringLiteral("1 report of the configuration could not be read.")
                : QStringLiteral("%1 reports of the configuration could not be read.")
                      .arg(read.RefusedReports);
        return {jrPartial, text};
    }
    return {};
}

TJobOutcome TReadJobs::AwaitConnectionSettled() {
    AwaitSession(
        session, [this] { return !session.IsOpen() || session.Activity() != acIdentify; },
        IdentifyLimitMs);
    if (session.IsOpen() && session.Activity() == acReadConfig) {
        const TJobOutcome read = AwaitConfigurationRead();
        if (read.Result != jrPartial)
            return read;
    }
    if (!session.IsOpen())
        return {jrLinkLost, MsgLinkClosed()};
    return {};
}
