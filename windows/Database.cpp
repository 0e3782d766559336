#include "windows/Database.h"

#include "session/Session.h"
#include "session/Texts.h"

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
