#pragma once

#include <QFile>
#include <QString>

// The traffic log: a plain NMEA log of sentence texts, or a diagnostic log whose lines carry a
// TAG block telling received from sent and keep the sentence's own TAG block.
class TNmeaLog {
public:
    ~TNmeaLog() { Stop(); }

    // Creates the file anew; false when it cannot be created.
    bool Start(const QString& fileName, bool diagnostic);
    void Stop();
    // Appends one line. A write failure stops the log and raises EInOutError.
    void LogLine(const QString& tagBlock, const QString& text, bool received);
    // Pushes buffered lines to the file; a failure stops the log and raises EInOutError.
    void Flush();

    bool Logging() const { return file.isOpen(); }
    bool Diagnostic() const { return diagnostic; }
    int LogLines() const { return lines; }
    QString FileName() const { return file.fileName(); }

    // The prefix of diagnostic lines: "\t:rx*44\" or "\t:tx*42\".
    static QString DiagnosticPrefix(bool received);

private:
    [[noreturn]] void Fail();

    QFile file;
    bool diagnostic = false;
    int lines = 0;
};
