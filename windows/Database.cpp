#include "windows/Database.h"

#include "session/Session.h"
#include "session/Texts.h"
#include "session/User.h"

namespace {

// The session's 4000 ms time-out watches for the first entry; nothing watches the rest of
// the dump, so it gets as long as a configuration read.
constexpr int DumpLimitMs = 60000;

} // namespace

std::optional<TNavDBEntry> ParseNavDBReport(const TSentence& sentence) {
    if (sentence.Kind != nkDB || sentence.FieldCount() < 2 || sentence.Fields.at(1) != u"R")
        return std::nullopt;
    const auto field = [&](qsizetype i) {
        return i < sentence.FieldCount() ? sentence.Fields.at(i) : QString();
    };
    return TNavDBEntry{field(2), field(3), field(4)};
}

TNavDatabase::TNavDatabase(TSession& aSession, QObject* parent)
    : QObject(parent)
    , session(aSession) {
    connect(&session, &TSession::NavDBReport, this, &TNavDatabase::HandleReport);
}

void TNavDatabase::Query() {
    entries.clear();
    complete = false;
    emit Cleared();
    session.SetActivity(acReadNavDB);
    session.TimeoutMessage = MsgNoResponse();
    session.TimeOutTimer.start();
    session.SendSentence(QStringLiteral("$PZRQDB"));
}

TJobOutcome TNavDatabase::Read() {
    if (!session.IsOpen())
        return {jrLinkLost, MsgLinkClosed()};
    if (!session.CheckIdle())
        return {jrRefused, MsgBusy()};
    // The session tells the user of its time-out itself.
    bool timedOut = false;
    QObject watch;
    connect(&session.TimeOutTimer, &QTimer::timeout, &watch, [&] { timedOut = true; });
    Query();
    const bool ended = AwaitSession(
        session,
        [this] { return complete || !session.IsOpen() || session.Activity() != acReadNavDB; },
        DumpLimitMs);
    if (complete)
        return {};
    if (!session.IsOpen())
        return {jrLinkLost, MsgLinkClosed()};
    if (timedOut)
        return {jrFailed, session.TimeoutMessage};
    // A dump that never ends, or one that ended unseen: the session is free again either way.
    if (!ended) {
        session.TimeOutTimer.stop();
        session.SetActivity(acIdle);
    }
    session.User().ShowMessage(MsgNoResponse());
    return {jrFailed, MsgNoResponse()};
}

void TNavDatabase::HandleReport(const TSentence& sentence) {
    if (sentence.Kind == nkRDY) {
        complete = true;
        emit Finished();
        return;
    }
    if (const std::optional<TNavDBEntry> entry = ParseNavDBReport(sentence)) {
        entries.append(*entry);
        emit EntryAdded(*entry);
    }
}
