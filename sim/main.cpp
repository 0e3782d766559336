// corvanta-sim: a simulated Corvanta-PX multiplexer on TCP, UDP or a pseudo-terminal, for
// trying the program without hardware.
#include "nmea/Errors.h"
#include "nmea/Numbers.h"
#include "sim/Simulator.h"
#include "sim/XPortSim.h"

#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

QString FaultHelp() {
    QString text = QStringLiteral("\nFaults for --fault NAME[=VALUE] (VALUE decimal or 0x hex):\n");
    for (const TSimFaultInfo& info : SimFaults) {
        text += QStringLiteral("  %1  %2")
                    .arg(QLatin1StringView(info.Name), -20)
                    .arg(QLatin1StringView(info.Help));
        if (info.DefaultValue)
            text += QStringLiteral(" [%1]").arg(info.DefaultValue);
        text += u'\n';
    }
    text += QStringLiteral("\nDevice-server faults for --xport-fault [SERVER:]NAME[=CODE] (without "
                           "CODE every reply, with it only replies of that code):\n");
    for (const TXPortSimFaultInfo& info : XPortSimFaults)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QLatin1StringView(info.Name), -20)
                    .arg(QLatin1StringView(info.Help));
    return text;
}

[[noreturn]] void Fail(const QString& message) {
    std::fprintf(stderr, "corvanta-sim: %s\n", qPrintable(message));
    std::exit(2);
}

quint16 Port(const QString& text, const char* what) {
    const auto value = ParseUnsigned(text);
    if (!value || *value > 65535)
        Fail(QStringLiteral("%1 port is no number: %2").arg(QLatin1StringView(what), text));
    return quint16(*value);
}

void QuitOnSignal(QCoreApplication& app) {
    if (::pipe(signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
}

// --xport: device servers at 127.0.0.2 onwards, discovery and IP assignment through the
// listening address. Faults: [SERVER:]NAME[=CODE], SERVER counted from 1.
int RunXPort(QCoreApplication& app, const QString& countText, const QHostAddress& hub,
             const QString& portText, const QStringList& faults) {
    const auto count = ParseUnsigned(countText);
    if (!count || *count < 1 || *count > 100)
        Fail(QStringLiteral("--xport needs a number of device servers from 1 to 100"));
    TXPortSimOptions options;
    options.Hub = hub;
    options.Port = Port(portText, "device-server");
    options.Servers = XPortSimServers(int(*count));
    TXPortSimulator simulator(options);
    for (const QString& text : faults) {
        const qsizetype colon = text.indexOf(u':');
        const auto server = colon < 0 ? std::optional<quint64>(0) : ParseUnsigned(text.left(colon));
        const auto fault = ParseXPortSimFault(text.mid(colon + 1));
        if (!server || *server > *count || !fault)
            Fail(QStringLiteral("unknown device-server fault or bad value: %1").arg(text));
        simulator.SetFault(int(*server) - 1, fault->first, fault->second);
    }
    try {
        simulator.Start();
    } catch (const EError& error) {
        Fail(error.Message());
    }
    std::printf("XPORT HUB %s:%u\n", qPrintable(hub.toString()), simulator.Port());
    for (const TXPortSimServer& server : options.Servers) {
        QString mac;
        for (quint8 byte : server.Mac)
            mac += QStringLiteral("%1").arg(byte, 2, 16, QChar(u'0')).toUpper() + u'-';
        mac.chop(1);
        std::printf("XPORT %s  (%s)\n", qPrintable(server.Address.toString()), qPrintable(mac));
    }
    std::fflush(stdout);
    QuitOnSignal(app);
    return app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanta-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TW_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated Corvanta-PX multiplexer. Without --tcp, --udp or --pty it "
                       "listens on TCP port 10110.") +
        FaultHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption tcp(QStringLiteral("tcp"), QStringLiteral("Listen on TCP PORT."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption udp(QStringLiteral("udp"),
                                 QStringLiteral("Listen on UDP PORT; answers the last sender."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("Open a pseudo-terminal to use as serial port."));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Listen on ADDRESS [127.0.0.1]."),
                                    QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Firmware version to report [3.14.0]."),
                                      QStringLiteral("X.Y.Z"), QStringLiteral("3.14.0"));
    const QCommandLineOption updated(
        QStringLiteral("updated-firmware"),
        QStringLiteral("Version after a firmware update [3.14.0]; empty keeps the version."),
        QStringLiteral("X.Y.Z"), QStringLiteral("3.14.0"));
    const QCommandLineOption capabilities(QStringLiteral("capabilities"),
                                          QStringLiteral("Capability word [A010]."),
                                          QStringLiteral("HEX"), QStringLiteral("A010"));
    const QCommandLineOption loaderType(QStringLiteral("loader-type"),
                                        QStringLiteral("Multiplexer type of the bootloader [94]."),
                                        QStringLiteral("HEX"), QStringLiteral("94"));
    const QCommandLineOption uniqueID(QStringLiteral("unique-id"),
                                      QStringLiteral("Unique ID, up to 12 letters or digits."),
                                      QStringLiteral("ID"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Device name."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption serial(QStringLiteral("serial"), QStringLiteral("Serial number."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption traffic(QStringLiteral("traffic"),
                                     QStringLiteral("Send RATE NMEA sentences per second."),
                                     QStringLiteral("RATE"), QStringLiteral("0"));
    const QCommandLineOption decimal(
        QStringLiteral("tag-decimal"),
        QStringLiteral("Name NMEA 2000 sources as s:ID=28, not s:ID#1C."));
    const QCommandLineOption n2kDevices(
        QStringLiteral("n2k-devices"),
        QStringLiteral("COUNT generated NMEA 2000 devices instead of the usual four."),
        QStringLiteral("COUNT"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Misbehave as NAME says (repeatable; faults above)."),
        QStringLiteral("NAME[=VALUE]"));
    const QCommandLineOption xport(
        QStringLiteral("xport"),
        QStringLiteral("Simulate COUNT Ethernet device servers instead of a multiplexer, at "
                       "127.0.0.2 onwards; discovery goes to the --listen address."),
        QStringLiteral("COUNT"));
    const QCommandLineOption xportPort(QStringLiteral("xport-port"),
                                       QStringLiteral("Device-server port [30718]."),
                                       QStringLiteral("PORT"), QStringLiteral("30718"));
    const QCommandLineOption xportFault(
        QStringLiteral("xport-fault"),
        QStringLiteral("Device-server misbehaviour (repeatable; faults above)."),
        QStringLiteral("[SERVER:]NAME[=CODE]"));
    parser.addOptions({tcp, udp, pty, listen, firmware, updated, capabilities, loaderType, uniqueID,
                       name, serial, traffic, decimal, n2kDevices, fault, xport, xportPort,
                       xportFault});
    parser.process(app);

    TSimulator::TOptions options;
    if (!options.listen.setAddress(parser.value(listen)))
        Fail(QStringLiteral("not an address: %1").arg(parser.value(listen)));
    if (parser.isSet(xport))
        return RunXPort(app, parser.value(xport), options.listen, parser.value(xportPort),
                        parser.values(xportFault));
    options.tcp = parser.isSet(tcp) || (!parser.isSet(udp) && !parser.isSet(pty));
    options.tcpPort = parser.isSet(tcp) ? Port(parser.value(tcp), "TCP") : 10110;
    options.udp = parser.isSet(udp);
    options.udpPort = options.udp ? Port(parser.value(udp), "UDP") : 0;
    options.pty = parser.isSet(pty);
    options.firmware = parser.value(firmware);
    options.updatedFirmware = parser.value(updated);
    const auto caps = ParseHex(parser.value(capabilities));
    if (!caps || *caps > 0xFFFF)
        Fail(QStringLiteral("capabilities are no 16-bit hexadecimal number"));
    options.capabilities = quint16(*caps);
    const auto type = ParseHex(parser.value(loaderType));
    if (!type || *type > 0xFF)
        Fail(QStringLiteral("loader type is no 8-bit hexadecimal number"));
    options.loaderType = quint8(*type);
    if (parser.isSet(uniqueID))
        options.uniqueID = parser.value(uniqueID);
    if (parser.isSet(name))
        options.deviceName = parser.value(name);
    if (parser.isSet(serial))
        options.serialNumber = parser.value(serial);
    const auto rate = ParseUnsigned(parser.value(traffic));
    if (!rate || *rate > 100000)
        Fail(QStringLiteral("traffic rate is no number up to 100000"));
    options.trafficRate = int(*rate);
    options.decimalTagSource = parser.isSet(decimal);
    if (parser.isSet(n2kDevices)) {
        const auto count = ParseUnsigned(parser.value(n2kDevices));
        if (!count || *count > 200)
            Fail(QStringLiteral("NMEA 2000 device count is no number up to 200"));
        options.n2kDevices = ManyN2KDevices(int(*count));
    }

    TSimulator simulator(options);
    for (const QString& text : parser.values(fault)) {
        const auto parsed = ParseSimFault(text);
        if (!parsed)
            Fail(QStringLiteral("unknown fault or bad value: %1").arg(text));
        if (parsed->first == sfNoAnswer)
            simulator.SetFault(sfNoAnswer, parsed->second.Names.join(u','));
        else
            simulator.SetFault(parsed->first, parsed->second.Value);
    }
    if (!simulator.SetConfigFields(QStringLiteral("UI"), {options.uniqueID}))
        Fail(QStringLiteral("unique ID must be up to 12 letters or digits"));
    try {
        simulator.Start();
    } catch (const EError& error) {
        Fail(error.Message());
    }

    const QString host = options.listen.toString();
    if (options.tcp)
        std::printf("TCP %s:%u\n", qPrintable(host), simulator.TcpPort());
    if (options.udp)
        std::printf("UDP %s:%u\n", qPrintable(host), simulator.UdpPort());
    if (options.pty)
        std::printf("PTY %s\n", qPrintable(simulator.PtyPath()));
    std::fflush(stdout);

    QuitOnSignal(app);
    return app.exec();
}
