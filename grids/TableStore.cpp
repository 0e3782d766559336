#include "grids/TableStore.h"

#include "session/Session.h"
#include "session/User.h"

QString IncompleteTableMessage(TTable table, bool canRepeat) {
    QString text = table == tbRoutes
                       ? QStringLiteral("The multiplexer's routing table may now be incomplete.")
                       : QStringLiteral("The multiplexer's Modbus table may now be incomplete.");
    if (canRepeat)
        text += QStringLiteral(" Press Store to send the table again.");
    return text;
}

bool StoreTable(TSession& session, IUser& user, TTable table) {
    if (!session.IsOpen() || !session.CheckIdle())
        return false;
    try {
        // The one place a grid stores its table.
        table == tbRoutes ? session.StoreRoutes() : session.StoreModbus();
        return true;
    } catch (const ECancelled&) {
        throw;
    } catch (const ELinkLost&) {
        // The disconnect has said why; the link is gone, and with it the model's tables.
        user.SetBusy(false);
        user.ShowMessage(IncompleteTableMessage(table, false));
    } catch (const EError& e) {
        user.SetBusy(false);
        user.ShowMessage(e.Message() + u'\n' + IncompleteTableMessage(table, session.IsOpen()));
    }
    return false;
}
