#pragma once

#include "session/Jobs.h"

#include <QList>
#include <QString>

class IUser;
class TSession;

// The multiplexer's two tables, as their Store buttons name them.
enum TTable : quint8 { tbRoutes, tbModbus };

// "The multiplexer's routing table may now be incomplete." and the like, with the hint that
// Store can be repeated when the link is still up.
QString IncompleteTableMessage(TTable table, bool canRepeat);

// The configuration jobs that write to the multiplexer or to a file: sending the whole model,
// storing the routing and Modbus tables, Load, Save, Restore Factory Settings and sending a file
// of sentences. Each runs to its end on the calling thread, blocking on the session's waits
// (which keep the receive pump going), tells the user what went wrong and returns how it ended.
// Only a closing program (ECancelled) and errors nobody expects leave a job as exceptions.
// The window and the command-line tool call them alike.
class TConfigJobs {
public:
    TConfigJobs(TSession& session, IUser& user);

    // Sends the whole model: the configuration sentences, each awaited, then the routing and
    // the Modbus table. The configuration controls are off meanwhile and come back for a link
    // that is still open. The first unanswered command ends it with "Multiplexer does not
    // respond". The model takes each answer, which carries what the multiplexer now holds; a
    // value it did not take fails the write at its end, naming every such setting.
    TJobOutcome WriteConfiguration();
    // Replace the multiplexer's routing or Modbus table with a copy of the model's: a link lost
    // on the way empties the model, so the lines still to go come from the copy. A Modbus
    // store marks every entry's status as unknown once the multiplexer has answered. A missing
    // answer is shown as an error no command caught and ends the store.
    TJobOutcome StoreRoutes();
    TJobOutcome StoreModbus();
    // Loads a configuration file into the model and sends it, as the Load command does; refused
    // while the multiplexer is busy.
    TJobOutcome LoadConfiguration(const QString& fileName);
    // Saves the model with the identification of the connected multiplexer.
    TJobOutcome SaveConfiguration(const QString& fileName);
    // Asks first; on Yes the multiplexer restores its factory settings. Either way the
    // configuration is read again. Refused while the multiplexer is busy.
    TJobOutcome RestoreFactorySettings();
    // Sends a text file of sentences, as dropped on the window: every line as it stands, in file
    // order, without waiting for answers (the port adds checksum and line end). A line too long
    // for the port is skipped and named, file and line, and the others still go out. Empty
    // lines are passed over. Fails when the file cannot be read or a send failed.
    TJobOutcome SendSentenceFile(const QString& fileName);

private:
    // The stores without their own reporting, for WriteConfiguration, which reports once for
    // all its steps. Raise ETimeOut or ELinkLost.
    void StoreRoutesOrRaise();
    void StoreModbusOrRaise();
    // Runs a store and turns its errors into the outcome. A store that fails part-way has
    // left the multiplexer's table emptied or partial, and the user is told so.
    template <typename F>
    TJobOutcome Store(TTable table, F&& store);
    // Empties a table on the multiplexer, then sends one command per entry.
    template <typename TEntry>
    void StoreTable(const QString& deleteCommand, const QList<TEntry> entries,
                    QString (*command)(const TEntry&));

    TSession& session;
    IUser& user;
};
