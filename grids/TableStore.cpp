#include "grids/TableStore.h"

#include "session/Session.h"

bool StoreTable(TSession& session, IUser& user, TTable table) {
    if (!session.IsOpen() || !session.CheckIdle())
        return false;
    // The one place a grid stores its table; the job tells the user how a failure left it.
    TConfigJobs jobs(session, user);
    return (table == tbRoutes ? jobs.StoreRoutes() : jobs.StoreModbus()).Done();
}
