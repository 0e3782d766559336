#pragma once

#include "network/NetworkSettings.h"
#include "network/XportLib.h"

class IUser;

// The network setup's long jobs, shared by the dialogs and the command-line tool. Each shows the
// hourglass and its progress through the user, keeps the program's events flowing while it
// waits, and hides the progress on every way out.

// Sends the assignment once (no reply comes) and gives the device server the ten seconds it
// needs to take the address.
void RunAssignIP(TXPort& xport, IUser& user, const TAssignRequest& request);

enum TWriteOutcome { woFailed, woVerified, woUnverified };

// After a write: waits for the device server to come back with its new settings, at the new
// address after an IP change; says "Unable to verify network settings!" when it does not.
bool VerifyNetworkSettings(TXPort& xport, IUser& user, const QString& host,
                           const TXPortSetup& setup, bool ipChanged);

// Writes the edited record and waits for the device server to come back, at the new address
// after an IP change. A failed write says "Cannot connect to Corvanta", an unverified one
// "Unable to verify network settings!".
TWriteOutcome WriteNetworkSettings(TXPort& xport, IUser& user, const QString& host,
                                   const TXPortSetup& setup, bool ipChanged);

// Asks first; restores the factory network settings and waits for the device server to restart.
// False when the user said No or the device server refused ("Cannot connect to Corvanta");
// raises ECommError when the connection fails.
bool RunFactoryReset(TXPort& xport, IUser& user, const QString& host);
