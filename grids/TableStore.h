#pragma once

#include "config/ConfigJobs.h"

// Store of a table, as its tab's Store button does it: the multiplexer's table is emptied and
// the model's sent, rule by rule. A failure part-way leaves the multiplexer's table incomplete;
// the user is told so (and that Store can be repeated while the link is up), and the grid
// keeps its rows. True when the table was stored. Refused (false, user told) while the session
// is busy with something else.
bool StoreTable(TSession& session, IUser& user, TTable table);
