#include "config/ConfigJobs.h"

#include "comms/Comms.h"
#include "config/ConfigDiff.h"
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"
#include "nmea/Nmea.h"
#include "session/Session.h"
#include "session/Texts.h"
#include "session/User.h"

#include <QFile>
#include <QThread>

namespace {

// "The multiplexer kept its own value of these settings:" and one line per setting, as the
// comparison with a file writes it: "Section.Key: kept -> sent".
QString SettingsRefusedMessage(const TMuxSettings& sent, const TMuxSettings& kept) {
    // The settings alone are compared: the tables go out as they stand.
    TMuxConfig sentConfig;
    TMuxConfig keptConfig;
    static_cast<TMuxSettings&>(sentConfig) = sent;
    static_cast<TMuxSettings&>(keptConfig) = kept;
    QString message = QStringLiteral("The multiplexer kept its own value of these settings:");
    for (const TSettingDifference& difference : CompareConfigurations(keptConfig, sentConfig))
        message += u'\n' + DifferenceLine(difference);
    return message;
}

// A multiplexer answers a stored table once, after its last line; one that answers every line
// has sent all its answers when none follows the last within this time.
constexpr int StoreSettleMs = 150;

} // namespace

TConfigJobs::TConfigJobs(TSession& aSession, IUser& aUser)
    : session(aSession)
    , user(aUser) {}

TJobOutcome TConfigJobs::WriteConfiguration() {
    session.EnableConfigControls(false);
    TJobOutcome outcome;
    // The multiplexer answers each command with the sentence as it now holds it: one that
    // differs from what was sent names settings the multiplexer refused and kept.
    const TMuxSettings wanted = session.Config;
    bool refused = false;
    try {
        for (const TSentenceKind kind : ConfigWriteOrder) {
            const QString command = FormatCommand(kind, session.Config);
            if (!session.SendSentence(command))
                session.LinkLost();
            QString reply;
            session.WaitForReply(kind, 1000, &reply);
            // The model keeps what the multiplexer holds, not what it was asked to hold. An
            // answer that cannot be read tells nothing: the fields before the fault are kept.
            try {
                HandleConfigReport(session.Config, TSentence(reply, session.Config.UniqueID));
            } catch (const EParameterError&) {
            } catch (const ENmeaError&) {
            }
            refused = refused || FormatCommand(kind, session.Config) != command;
        }
        StoreRoutesOrRaise();
        StoreModbusOrRaise();
        if (refused) {
            session.NotifyStateChanged();
            const QString message = SettingsRefusedMessage(wanted, session.Config);
            user.ShowMessage(message);
            outcome = {jrFailed, message};
        }
    } catch (const ECancelled&) {
        throw;
    } catch (const ELinkLost& e) {
        // The disconnect has said so; the model is as the disconnect left it.
        user.SetBusy(false);
        outcome = {jrLinkLost, e.Message()};
    } catch (const EError& e) {
        user.SetBusy(false);
        user.ShowMessage(e.Message());
        outcome = {jrFailed, e.Message()};
    }
    // Controls come back for a link that is still there; a link lost on the way leaves them
    // off, as every other disconnect does.
    session.EnableConfigControls(session.IsOpen());
    return outcome;
}

template <typename TEntry>
void TConfigJobs::StoreTable(const QString& deleteCommand, const QList<TEntry> entries,
                             QString (*command)(const TEntry&)) {
    session.SendAndWait(deleteCommand, nkRDY);
    // The pump does not run while the lines go out, so every answer counted from here on
    // answers a line.
    const quint64 answered = session.ReadyAnswers();
    for (const TEntry& entry : entries) {
        if (!session.SendSentence(command(entry)))
            session.LinkLost();
        // The multiplexer stores each entry before it can take the next.
        QThread::msleep(5);
    }
    // The answer to the DELETE already confirms an empty table.
    if (entries.isEmpty())
        return;
    session.WaitForReply(nkRDY, 1000);
    // The multiplexer answers the last line. One that answers every line is done when it has
    // answered them all; its answers are taken here, so that none is left over to answer a
    // later wait.
    while (session.ReadyAnswers() - answered < quint64(entries.size()) &&
           session.AwaitReply(nkRDY, StoreSettleMs)) {
    }
}

void TConfigJobs::StoreRoutesOrRaise() {
    user.SetBusy(true);
    StoreTable(RouteDeleteCommand(), session.Config.Routes, RouteCommand);
    user.SetBusy(false);
}

void TConfigJobs::StoreModbusOrRaise() {
    user.SetBusy(true);
    StoreTable(ModbusDeleteCommand(), session.Config.ModbusMaps, ModbusCommand);
    session.Config.ResetModbusStatus();
    user.SetBusy(false);
}

QString IncompleteTableMessage(TTable table, bool canRepeat) {
    QString text = table == tbRoutes
                       ? QStringLiteral("The multiplexer's routing table may now be incomplete.")
                       : QStringLiteral("The multiplexer's Modbus table may now be incomplete.");
    if (canRepeat)
        text += QStringLiteral(" Press Store to send the table again.");
    return text;
}

template <typename F>
TJobOutcome TConfigJobs::Store(TTable table, F&& store) {
    try {
        store();
    } catch (const ECancelled&) {
        throw;
    } catch (const ELinkLost& e) {
        // The disconnect has said why; with the link gone, Store cannot be repeated yet.
        user.SetBusy(false);
        user.ShowMessage(IncompleteTableMessage(table, false));
        return {jrLinkLost, e.Message()};
    } catch (const EError& e) {
        // Started on its own, a store reports like any command nobody caught.
        user.SetBusy(false);
        user.ShowError(e.Message() + u'\n' + IncompleteTableMessage(table, session.IsOpen()));
        return {jrFailed, e.Message()};
    }
    return {};
}

TJobOutcome TConfigJobs::StoreRoutes() {
    return Store(tbRoutes, [this] { StoreRoutesOrRaise(); });
}

TJobOutcome TConfigJobs::StoreModbus() {
    return Store(tbModbus, [this] { StoreModbusOrRaise(); });
}

TJobOutcome TConfigJobs::LoadConfiguration(const QString& fileName) {
    // The dump of a read, or another write, would otherwise mix with this write.
    if (!session.CheckIdle())
        return {jrRefused, MsgBusy()};
    session.Config.LoadFromFile(fileName);
    session.NotifyStateChanged();
    return WriteConfiguration();
}

TJobOutcome TConfigJobs::SaveConfiguration(const QString& fileName) {
    const TIdentification& id = session.Identification();
    try {
        session.Config.SaveToFile(fileName, ToolText(), id.DeviceName, id.FirmwareText,
                                  id.SerialNumber);
    } catch (const EError& e) {
        user.ShowError(e.Message());
        return {jrFailed, e.Message()};
    }
    return {};
}

TJobOutcome TConfigJobs::RestoreFactorySettings() {
    if (!session.CheckIdle())
        return {jrRefused, MsgBusy()};
    TJobOutcome outcome{jrDeclined, QString()};
    if (user.AskYesNo(QStringLiteral("This will restore the factory settings\nof the multiplexer. "
                                     "Do you really want to proceed?"))) {
        if (session.SendSentence(QStringLiteral("$PZRQRESET,1")))
            outcome = {};
        else
            outcome = {jrLinkLost, QString()};
    }
    // Read again whatever the answer, so that the tabs show what the multiplexer now holds.
    session.ReadConfiguration();
    return outcome;
}

TJobOutcome TConfigJobs::SendSentenceFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString message = QStringLiteral("Unable to read %1").arg(fileName);
        user.ShowMessage(message);
        return {jrFailed, message};
    }
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++number;
        if (line.isEmpty())
            continue;
        const qsizetype length = NmeaLine(line).size(); // with checksum and CR LF
        if (length > MaxSendLength) {
            user.ShowMessage(QStringLiteral("%1, line %2: the sentence is too long to send (%3 "
                                            "characters with checksum and line end, at most %4 "
                                            "are possible) and was skipped.")
                                 .arg(fileName)
                                 .arg(number)
                                 .arg(length)
                                 .arg(MaxSendLength));
            continue;
        }
        try {
            session.Comm().SendLine(QString::fromLatin1(line));
        } catch (const EError& e) {
            user.ShowMessage(e.Message());
            return {jrFailed, e.Message()};
        }
    }
    return {};
}
