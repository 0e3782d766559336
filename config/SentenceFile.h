#pragma once

#include <QString>

class IUser;
class TSession;

// Sends a text file of sentences, as dropped on the window: every line as it stands, in file
// order, without waiting for answers (the port adds checksum and line end). A line too long for
// the port is skipped and named, file and line, and the others still go out. Empty lines are
// passed over. False when the file cannot be read or a send failed (the user has been told).
bool SendSentenceFile(TSession& session, IUser& user, const QString& fileName);
