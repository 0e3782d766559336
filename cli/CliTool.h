#pragma once

#include "session/LinkUrl.h"

#include <QHostAddress>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

class TConsoleUser;
class TSession;
class TSimulator;
class TN2KDeviceList;
class TReadJobs;

// tidewright-cli: the device jobs of the window from scripts and headless machines. It drives
// the same session object as the window and adds no protocol of its own.
class TCliTool {
public:
    enum TExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitDifferent = 3 };

    TCliTool(QTextStream& out, QTextStream& err);
    ~TCliTool();

    // Arguments without the program name; returns the exit code.
    int Run(const QStringList& arguments);

    static QString HelpText();

    struct TOptions {
        TLinkTarget Link;
        bool HaveLink = false;
        bool Simulator = false;
        bool Yes = false;
        int Seconds = -1;
        int Filter = -1;
        bool TagBlocks = false;
        QString LogFile;
        bool DiagnosticLog = false;
        bool Csv = false;
        bool BuiltIn = false;
        bool Restore = false;
        QStringList Given; // the command options named on the command line
        QStringList Positional;
        QString Command;
        QHostAddress Target = QHostAddress(QHostAddress::Broadcast); // device-server commands
        quint16 Port = 30718;
        bool Names = false;      // n2k: a NAME column
        bool DeviceList = false; // the command works with the NMEA 2000 device list
    };

private:
    struct TCommand;
    static const TCommand Commands[];
    static const TCommand* FindCommand(const QString& name);

    int Usage(const QString& message);
    bool Open(const TOptions& options);
    // The identification that connecting started; false when it failed (and said why).
    bool Identify();
    bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

    int CmdIdentify(const TOptions& options);
    int CmdReadConfig(const TOptions& options);
    int CmdWriteConfig(const TOptions& options);
    int CmdDiff(const TOptions& options);
    int CmdMonitor(const TOptions& options);
    int CmdSend(const TOptions& options);
    // The device-server commands (CliNetwork.cpp): no link to the multiplexer.
    int CmdNetwork(const TOptions& options);
    // The NMEA 2000 commands (CliN2K.cpp).
    int CmdN2K(const TOptions& options);
    int CmdN2KAddress(const TOptions& options);
    int CmdN2KInstance(const TOptions& options);
    bool ScanNetwork(const TOptions& options);
    int ChangeDevice(const TOptions& options, quint64 name, const QString& address,
                     const QString& deviceInstance, const QString& systemInstance);
    int CmdStats(const TOptions& options);
    int CmdNavDB(const TOptions& options);
    int CmdFirmware(const TOptions& options);
    // The firmware update with the built-in image the user asked for when identification found
    // incompatible firmware.
    int RunRequestedUpdate();

    QTextStream& out;
    QTextStream& err;
    std::unique_ptr<TConsoleUser> user;
    std::unique_ptr<TSimulator> simulator;
    std::unique_ptr<TSession> session;
    std::unique_ptr<TReadJobs> readJobs;
    std::unique_ptr<TN2KDeviceList> n2kList;
    bool updateRequested = false;
};
