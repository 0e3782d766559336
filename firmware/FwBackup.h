#pragma once

#include <QDateTime>
#include <QString>

class TSession;

// Keeps the multiplexer's configuration across a firmware update: read afresh and saved as a
// configuration file in the user's data folder before, written back after. This is the one
// place where the update reads, saves and writes configurations.
class TConfigBackup {
public:
    explicit TConfigBackup(TSession& session);

    // The multiplexer has been identified with a firmware whose configuration can be read.
    bool Possible() const;
    // Reads the whole configuration and saves it; the file, or empty when the read did not end
    // in time or the file could not be written (said to the user).
    QString Save();
    // Waits for a configuration read under way (identification included) to end; true when it
    // ended with the multiplexer's closing report.
    bool WaitForRead(int timeoutMs);
    // Loads the file into the model and writes it to the multiplexer; false when that did not
    // go through (said to the user).
    bool Restore(const QString& fileName);

    // Where backups go: "Tidewright/Backups" in the user's data folder.
    static QString Folder();
    // Device, serial number and time: "Corvanta-PX_24070193_20250614-093012.ini".
    static QString FileNameFor(const QString& device, const QString& serial, const QDateTime& time);

private:
    TSession& session;
};
