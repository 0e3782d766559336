#include "sim/XPortSim.h"

#include "nmea/Errors.h"
#include "nmea/Numbers.h"
#include "sim/XPortSimNet.h"

std::optional<std::pair<TXPortSimFault, int>> ParseXPortSimFault(const QString& text) {
    const qsizetype equals = text.indexOf(u'=');
    const QString name = equals < 0 ? text : text.left(equals);
    for (const TXPortSimFaultInfo& info : XPortSimFaults) {
        if (name != QLatin1StringView(info.Name))
            continue;
        if (equals < 0)
            return std::pair{info.Fault, 1};
        const QString number = text.mid(equals + 1);
        const std::optional<quint64> code = number.startsWith(u"0x", Qt::CaseInsensitive)
                                                ? ParseHex(QStringView(number).mid(2))
                                                : ParseUnsigned(number);
        if (!code || *code < 1 || *code > 0xFF)
            return std::nullopt;
        return std::pair{info.Fault, int(*code)};
    }
    return std::nullopt;
}

QByteArray XPortSimSetup(const QHostAddress& address) {
    QByteArray bytes(124, '\0');
    const quint32 ip = address.toIPv4Address();
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = char(ip >> (24 - 8 * i));
    bytes[10] = 24;   // 255.0.0.0
    bytes[11] = 0x2D; // bytes the device server keeps for itself
    bytes[16] = 127;  // gateway 127.0.0.1
    bytes[19] = 1;
    bytes[20] = 0x4C;
    bytes[21] = 0x0B;
    bytes[22] = 2;
    for (int offset : {24, 26}) { // 10110
        bytes[offset] = char(0x7E);
        bytes[offset + 1] = char(0x27);
    }
    bytes[32] = char(0xC0); // TCP
    bytes[36] = 0x0D;
    bytes[37] = 0x0A;
    bytes[38] = char(0xF7);
    bytes[100] = 0x5A; // and something in the tail that nobody may lose
    bytes[123] = char(0xA5);
    return bytes;
}

QList<TXPortSimServer> XPortSimServers(int count, const QHostAddress& first) {
    QList<TXPortSimServer> servers;
    for (int i = 0; i < count; ++i) {
        TXPortSimServer server;
        server.Address = QHostAddress(first.toIPv4Address() + quint32(i));
        server.Mac = {0x00, 0x20, 0x4A, 0xC9, 0x19, quint8(0x08 + i)};
        server.Setup = XPortSimSetup(server.Address);
        server.Extended = QByteArray(130, '\0');
        for (int b = 4; b < 130; ++b)
            server.Extended[b] = char(b * 7 + i);
        server.Extended[120] = 0x25; // bit 0x20 set, bit 0x80 clear
        servers.append(server);
    }
    return servers;
}

TXPortSimulator::TXPortSimulator(const TXPortSimOptions& options) {
    thread.Call([&] { net = new TXPortSimNet(options); });
}

TXPortSimulator::~TXPortSimulator() {
    thread.Call([this] {
        delete net;
        net = nullptr;
    });
}

void TXPortSimulator::Start() {
    const QString error = thread.Call([this] { return net->Start(); });
    if (!error.isEmpty())
        throw ECommError(error);
}

quint16 TXPortSimulator::Port() const {
    return thread.Call([this] { return net->Port(); });
}

QHostAddress TXPortSimulator::Hub() const {
    return thread.Call([this] { return net->Hub(); });
}

int TXPortSimulator::Count() const {
    return thread.Call([this] { return net->Count(); });
}

QHostAddress TXPortSimulator::Address(int server) const {
    return thread.Call([&] { return net->Server(server).state.Address; });
}

bool TXPortSimulator::Listening(int server) const {
    return thread.Call([&] { return net->Server(server).Listening(); });
}

int TXPortSimulator::Restarts(int server) const {
    return thread.Call([&] { return net->Server(server).restarts; });
}

QByteArray TXPortSimulator::Setup(int server) const {
    return thread.Call([&] { return net->Server(server).state.Setup; });
}

void TXPortSimulator::SetSetup(int server, const QByteArray& setup) {
    thread.Call([&] { net->Server(server).state.Setup = setup; });
}

QByteArray TXPortSimulator::Extended(int server) const {
    return thread.Call([&] { return net->Server(server).state.Extended; });
}

int TXPortSimulator::DefaultCommands(int server) const {
    return thread.Call([&] { return net->Server(server).defaultCommands; });
}

QList<QByteArray> TXPortSimulator::Received(int server) const {
    return thread.Call([&] { return net->Server(server).received; });
}

void TXPortSimulator::ClearReceived() {
    thread.Call([this] {
        for (int i = 0; i < net->Count(); ++i)
            net->Server(i).received.clear();
    });
}

void TXPortSimulator::SetFault(int server, TXPortSimFault fault, int value) {
    thread.Call([&] {
        for (int i = 0; i < net->Count(); ++i) {
            if (server < 0 || server == i)
                net->Server(i).faults[fault] = value;
        }
    });
}

void TXPortSimulator::ClearFaults() {
    thread.Call([this] {
        for (int i = 0; i < net->Count(); ++i)
            net->Server(i).faults.fill(0);
    });
}
