#pragma once

#include "session/LinkUrl.h"

#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

class TConsoleUser;
class TSession;
class TSimulator;

// tidewright-cli: the device jobs of the window from scripts and headless machines. It drives
// the same session object as the window and adds no protocol of its own.
class TCliTool {
public:
    enum TExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

    TCliTool(QTextStream& out, QTextStream& err);
    ~TCliTool();

    // Arguments without the program name; returns the exit code.
    int Run(const QStringList& arguments);

    static QString HelpText();

private:
    struct TOptions;

    int Usage(const QString& message);
    bool Open(const TOptions& options);
    bool Identify();
    bool WaitForRead();
    bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

    int CmdIdentify();
    int CmdReadConfig(const QString& fileName);
    int CmdWriteConfig(const QString& fileName);
    int CmdMonitor(const TOptions& options);
    int CmdSend(const QStringList& sentences);
    int CmdFirmware(const QString& source, bool restore);
    // The firmware update with the built-in image the user asked for when identification found
    // incompatible firmware.
    int RunRequestedUpdate();

    QTextStream& out;
    QTextStream& err;
    std::unique_ptr<TConsoleUser> user;
    std::unique_ptr<TSimulator> simulator;
    std::unique_ptr<TSession> session;
    bool readFinished = false;
    bool updateRequested = false;
};
