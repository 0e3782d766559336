// The device-server commands of tidewright-cli: the checks and jobs of the network dialogs.
#include "cli/CliTool.h"

#include "cli/ConsoleUser.h"
#include "network/NetworkJobs.h"
#include "network/NetworkSettings.h"
#include "nmea/Errors.h"

namespace {

// network-get prints these, network-set takes them.
void Print(QTextStream& out, const TNetworkFields& fields) {
    out << "ip=" << fields.IP << "\n"
        << "netmask=" << fields.Mask << "\n"
        << "gateway=" << fields.Gateway << "\n"
        << "port=" << fields.Port << "\n"
        << "protocol=" << (fields.Udp ? "udp" : "tcp") << "\n"
        << "udp-mode=" << (fields.UdpMode == umDirected ? "directed" : "broadcast") << "\n"
        << "destination=" << fields.Destination << Qt::endl;
}

// Applies KEY=VALUE; the problem's text, or empty.
QString Apply(const QString& setting, TNetworkFields& fields, bool& ipGiven) {
    const qsizetype equals = setting.indexOf(u'=');
    const QString key = setting.left(equals);
    const QString value = setting.mid(equals + 1);
    if (equals < 0)
        return QStringLiteral("%1 is no KEY=VALUE.").arg(setting);
    if (key == u"ip") {
        fields.IP = value;
        ipGiven = true;
    } else if (key == u"netmask") {
        fields.Mask = value;
    } else if (key == u"gateway") {
        fields.Gateway = value;
    } else if (key == u"port") {
        fields.Port = value;
    } else if (key == u"destination") {
        fields.Destination = value;
    } else if (key == u"protocol" && (value == u"tcp" || value == u"udp")) {
        fields.Udp = value == u"udp";
    } else if (key == u"udp-mode" && (value == u"broadcast" || value == u"directed")) {
        fields.UdpMode = value == u"directed" ? umDirected : umBroadcast;
    } else if (key == u"protocol" || key == u"udp-mode") {
        return QStringLiteral("%1 cannot be %2.").arg(key, value);
    } else {
        return QStringLiteral("Unknown setting %1.").arg(key);
    }
    return {};
}

const char* FieldKey(TNetworkField field) {
    switch (field) {
    case nfIP:
        return "ip";
    case nfMask:
        return "netmask";
    case nfGateway:
        return "gateway";
    case nfPort:
        return "port";
    case nfDestination:
        return "destination";
    case nfNone:
        break;
    }
    return "";
}

} // namespace

int TCliTool::CmdNetwork(const TOptions& cliOptions) {
    // The command table has checked the number of arguments.
    const QString& command = cliOptions.Command;
    const QStringList& args = cliOptions.Positional;
    const QHostAddress& target = cliOptions.Target;
    const quint16 port = cliOptions.Port;

    // Everything is checked before anything is sent.
    TNetworkFields edits;
    QStringList settings = command == u"network-set" ? args.mid(1) : QStringList();
    TAssignRequest request;
    if (command == u"assign-ip" && CheckAssignInput(args[0], args[1], request) != afNone) {
        err << InvalidMacOrIPText << Qt::endl;
        return ExitUsage;
    }
    {
        bool ipGiven = false;
        for (const QString& setting : settings) {
            const QString problem = Apply(setting, edits, ipGiven);
            if (!problem.isEmpty())
                return Usage(problem);
        }
    }

    TXPortOptions options;
    options.Target = target;
    options.Port = port;
    try {
        TXPort xport(options);
        if (command == u"discover") {
            if (xport.Discover() == 0) {
                err << NoDeviceFoundText << Qt::endl;
                return ExitFailed;
            }
            for (const QString& line : xport.Results())
                out << line << "\n";
            out.flush();
            return ExitOk;
        }
        if (command == u"assign-ip") {
            RunAssignIP(xport, *user, request);
            out << "Assigned " << args[1] << " to " << args[0] << Qt::endl;
            return ExitOk;
        }

        const QString& host = args[0];
        TXPortSetup setup;
        if (!xport.GetSetup(host, setup)) {
            err << CannotConnectText << Qt::endl;
            return ExitFailed;
        }
        TNetworkFields fields = NetworkFieldsOf(setup);
        if (command == u"network-get") {
            Print(out, fields);
            return ExitOk;
        }
        bool ipChanged = false;
        for (const QString& setting : settings)
            Apply(setting, fields, ipChanged);
        const TNetworkField failing = StoreNetworkFields(fields, setup);
        if (failing != nfNone) {
            err << InvalidSettingsText << " (" << FieldKey(failing) << ")" << Qt::endl;
            return ExitFailed;
        }
        const TWriteOutcome outcome = WriteNetworkSettings(xport, *user, host, setup, ipChanged);
        if (outcome == woFailed)
            return ExitFailed;
        Print(out, fields);
        return outcome == woVerified ? ExitOk : ExitFailed;
    } catch (const EError& e) {
        err << e.Message() << Qt::endl;
        return ExitFailed;
    }
}
