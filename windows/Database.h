#pragma once

#include "nmea/Nmea.h"
#include "session/Jobs.h"
#include "windows/Statistics.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class TSession;

// One entry of the multiplexer's navigation database.
struct TNavDBEntry {
    QString Parameter;
    QString Value;
    QString Source;
    bool operator==(const TNavDBEntry&) const = default;
};

// A "$PZRQDB" report with field 1 "R" is an entry: field 2 the parameter, field 3 the value,
// field 4 the source. Fields the report lacks stay empty, so a short report still shows what
// it has. Anything else is no entry.
std::optional<TNavDBEntry> ParseNavDBReport(const TSentence& sentence);

// Reads the multiplexer's navigation database: the query, the entries as they arrive, the
// "$PZRQRDY" that ends the dump. The session's 4000 ms time-out watches for the first entry.
class TNavDatabase : public QObject {
    Q_OBJECT

public:
    explicit TNavDatabase(TSession& session, QObject* parent = nullptr);

    // Forgets the entries and asks the multiplexer for its database.
    void Query();
    // The query as a job: asks and sleeps until the dump has ended. Done with the closing
    // "$PZRQRDY" (an empty database too); fails when the multiplexer does not answer or stops
    // in the middle; refused while the session is busy; link lost when the link closed.
    TJobOutcome Read();
    const QList<TNavDBEntry>& Entries() const { return entries; }
    // The last query's dump has ended with "$PZRQRDY".
    bool Complete() const { return complete; }

signals:
    void Cleared();
    void EntryAdded(const TNavDBEntry& entry);
    void Finished();

private:
    void HandleReport(const TSentence& sentence);

    TSession& session;
    QList<TNavDBEntry> entries;
    bool complete = false;
};
