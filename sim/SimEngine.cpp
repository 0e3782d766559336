#include "sim/SimEngine.h"

#include "comms/Framing.h"
#include "nmea/Nmea.h"
#include "nmea/Numbers.h"
#include "sim/SimFormat.h"
#include "sim/SimLinks.h"

#include <QSet>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TrafficTickMs = 20;
constexpr int StatisticsMs = 1000;
constexpr int OverflowReportMs = 250;
constexpr double OutputQueue = 1024; // characters an output holds before it overflows
constexpr int LongLineLength = 300;
// A burst of table lines ends when no further line follows within this pause; the program
// sends its lines a few milliseconds apart.
constexpr int BurstPauseMs = 100;
constexpr std::array<int, 6> Speeds{4800, 9600, 19200, 38400, 57600, 115200};

// The sentence of a received line: the TAG block and the checksum taken off. Nothing when the
// line carries a checksum that does not match.
std::optional<QByteArray> Sentence(QByteArray line) {
    if (line.startsWith('\\')) {
        const qsizetype close = line.indexOf('\\', 1);
        if (close > 0)
            line.remove(0, close + 1);
    }
    const qsizetype star = line.lastIndexOf('*');
    if (star < 0)
        return line;
    const auto sum = ParseHex(QString::fromLatin1(line.mid(star + 1)));
    if (line.size() - star != 3 || !sum || *sum != NmeaChecksum(QByteArrayView(line), star))
        return std::nullopt;
    return line.left(star);
}

QByteArray LongLine() {
    // 300 characters from "$" to the checksum digits.
    QByteArray text = "$GPTXT,01,01,02,";
    text += QByteArray(LongLineLength - 3 - text.size(), 'X');
    return NmeaLine(text);
}

} // namespace

TSimEngine::TSimEngine(const TSimOptions& settings, QObject* parent)
    : QObject(parent)
    , options(settings)
    , config(settings.uniqueID)
    , network(settings.n2kDevices)
    , traffic(settings.seed)
    , links(new TSimLinks(
          [this](TSimChannel& channel, QByteArrayView bytes) { Receive(channel, bytes); }, this))
    , firmware(settings.firmware)
    , statsTimer(new QTimer(this))
    , trafficTimer(new QTimer(this))
    , burstTimer(new QTimer(this))
    , noise(settings.seed + 1) {
    statsTimer->setInterval(StatisticsMs);
    trafficTimer->setInterval(TrafficTickMs);
    connect(statsTimer, &QTimer::timeout, this, &TSimEngine::StatisticsTick);
    connect(trafficTimer, &QTimer::timeout, this, &TSimEngine::TrafficTick);
    burstTimer->setSingleShot(true);
    burstTimer->setTimerType(Qt::PreciseTimer);
    burstTimer->setInterval(BurstPauseMs);
    connect(burstTimer, &QTimer::timeout, this, [this] { Answer({"$PZRQRDY"}); });
}

TSimEngine::~TSimEngine() = default;

QString TSimEngine::Start() {
    const QString error = links->Open(options.listen, options.tcp, options.tcpPort, options.udp,
                                      options.udpPort, options.pty);
    if (!error.isEmpty())
        return error;
    SetTrafficRate(options.trafficRate);
    return {};
}

void TSimEngine::Stop() {
    statsTimer->stop();
    trafficTimer->stop();
    burstTimer->stop();
    ++generation;
    links->Close();
}

void TSimEngine::SetFault(TSimFault fault, const TSimFaultValue& value) {
    if (fault >= sfCount)
        return;
    faults[fault] = value;
    if (fault == sfDropAfter) {
        // The count starts now.
        for (TSimChannel* channel : links->Channels())
            channel->linesSent = 0;
    }
    if (fault == sfDropAfterTableLine)
        tableLines = 0;
}

void TSimEngine::ClearFaults() {
    faults.fill(TSimFaultValue());
}

void TSimEngine::SetTrafficRate(int linesPerSecond) {
    options.trafficRate = std::max(0, linesPerSecond);
    owed = 0;
    if (options.trafficRate > 0) {
        trafficClock.start();
        trafficTimer->start();
    } else {
        trafficTimer->stop();
    }
}

void TSimEngine::SendUnasked(const QByteArray& text) {
    Unasked(text);
}

void TSimEngine::Receive(TSimChannel& channel, QByteArrayView bytes) {
    auto onLine = [this, &channel](const QByteArray& line) {
        // Lines that came in one piece with the line that ended the connection are lost
        // with it.
        if (channel.Alive())
            HandleLine(line);
    };
    if (mode == mdApplication) {
        channel.lines.Feed(bytes, onLine);
        return;
    }
    // The bootloader takes packets; what arrives between them may still be a line (the
    // program's periodic sentences, or a new "$PZRQRESET").
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (channel.packets.State() == TPacketFramer::Idle && quint8(byte) != PacketStart) {
            channel.lines.Feed(&byte, 1, onLine);
            continue;
        }
        channel.lines.Reset();
        if (channel.packets.Feed(&byte, 1)) {
            const QByteArray packet = channel.packets.Packet().Bytes().toByteArray();
            channel.packets.Reset();
            HandlePacket(packet);
        }
    }
}

void TSimEngine::HandleLine(const QByteArray& line) {
    const QString text = QString::fromLatin1(line);
    received.append(text);
    if (mode == mdBootloader && transferring)
        transferLines.append(text);

    const std::optional<QByteArray> sentence = Sentence(line);
    if (!sentence)
        return;
    if (mode == mdBootloader) {
        if (*sentence == "$PZRQRESET" && !faults[sfSilentBootloader].Value)
            Announce();
        return;
    }
    const TSentence parsed(QString::fromLatin1(*sentence));
    if (!parsed.HasFields || !parsed.Fields.constFirst().startsWith(u"$PZRQ"))
        return;
    const QString name = parsed.Fields.constFirst().mid(5);
    if (faults[sfNoAnswer].Names.contains(name))
        return;
    Dispatch(name, parsed.Fields);
}

void TSimEngine::Dispatch(const QString& name, const QStringList& fields) {
    const qsizetype count = fields.size();
    if (name == u"VER") {
        Answer({VersionText()});
    } else if (name == u"CFQ") {
        QList<QByteArray> dump;
        for (const QString& sentence : TSimConfig::Names())
            dump.append(config.Report(sentence));
        for (const TSimRoute& route : config.Routes())
            dump.append(config.RouteReport(route));
        for (const TSimModbus& entry : config.ModbusEntries())
            dump.append(config.ModbusReport(entry));
        dump.append("$PZRQRDY");
        if (const int cut = faults[sfCutDump].Value; cut > 0)
            dump = dump.mid(0, std::min<qsizetype>(cut, dump.size() - 1));
        Answer(dump);
    } else if (TSimConfig::IsConfigSentence(name)) {
        ConfigCommand(name, fields);
    } else if (name == u"RTE" || name == u"MB") {
        TableCommand(name, fields);
    } else if (name == u"STAT") {
        Statistics(fields);
    } else if (name == u"DB" && count == 1) {
        QList<QByteArray> dump;
        for (const QStringList& entry : traffic.Database(TrafficContext()))
            dump.append("$PZRQDB,R," + entry.join(u',').toLatin1());
        dump.append("$PZRQRDY");
        Answer(dump);
    } else if (name == u"NR") {
        Request(fields);
    } else if (name == u"NC") {
        CommandAddress(fields);
    } else if (name == u"NI") {
        CommandInstances(fields);
    } else if (name == u"RESET") {
        if (count == 1) {
            EnterBootloader();
        } else if (count == 2 && fields[1] == u"1") {
            config.FactoryReset();
        }
    }
}

void TSimEngine::ConfigCommand(const QString& name, const QStringList& fields) {
    if (fields.size() == 1) { // a query of one sentence
        Answer({config.Report(name)});
        return;
    }
    if (fields[1] != u"C")
        return; // "$PZRQCF,A" keeps the link alive; reports from the host mean nothing
    const bool applied = config.Apply(name, fields.mid(2));
    QList<QByteArray> answer{config.Report(name)};
    if (applied && name == u"NA")
        answer += ResolveOwnAddresses(-1);
    Answer(answer);
}

void TSimEngine::TableCommand(const QString& name, const QStringList& fields) {
    const bool routes = name == u"RTE";
    if (fields.size() < 3 || fields[1] != u"C")
        return;
    if (fields.size() == 3 && fields[2] == u"DELETE") {
        FinishBurst();
        routes ? config.ClearRoutes() : config.ClearModbus();
        Answer({"$PZRQRDY"});
        return;
    }
    const QStringList values = fields.mid(2);
    const TSimConfig::TStore stored =
        routes ? config.StoreRoute(values) : config.StoreModbus(values);
    const int dropAt = faults[sfDropAfterTableLine].Value;
    if (dropAt > 0 && ++tableLines >= dropAt) {
        burstTimer->stop();
        for (TSimChannel* channel : links->Channels())
            channel->Drop();
        return;
    }
    // A line out of form is not answered; one beyond a full table is dropped but answered.
    // The answer comes after the DELETE and after the last line of the table: the program
    // waits for nothing in between.
    if (stored == TSimConfig::stMalformed)
        return;
    if (faults[sfAnswerEachTableLine].Value)
        Answer({"$PZRQRDY"});
    else
        burstTimer->start();
}

void TSimEngine::FinishBurst() {
    if (!burstTimer->isActive())
        return;
    burstTimer->stop();
    Answer({"$PZRQRDY"});
}

void TSimEngine::Statistics(const QStringList& fields) {
    if (fields.size() != 3 || fields[1] != u"C")
        return;
    if (fields[2] == u"1") {
        statistics = true;
        statsTimer->start();
        StatisticsTick(); // the first report at once, then about once a second
    } else if (fields[2] == u"0") {
        statistics = false;
        statsTimer->stop();
    }
}

void TSimEngine::Request(const QStringList& fields) {
    if (fields.size() != 3)
        return;
    const auto pgn = ParseUnsigned(fields[1]);
    const auto destination = ParseUnsigned(fields[2]);
    if (!pgn || !destination || *destination > 255)
        return;
    if (*pgn == 60928) {
        Answer(network.AddressClaims(quint8(*destination)));
    } else if (*pgn == 126996) {
        const QList<TSimN2KAnswer> answers = network.ProductInformation(
            quint8(*destination), config.UniqueID().toLatin1(), options.decimalTagSource);
        for (const TSimN2KAnswer& answer : answers) {
            if (answer.delayMs <= 0) {
                Answer(answer.lines);
                continue;
            }
            const quint64 expected = generation;
            QTimer::singleShot(answer.delayMs, this, [this, expected, lines = answer.lines] {
                if (generation == expected && mode == mdApplication)
                    Answer(lines);
            });
        }
    }
}

void TSimEngine::CommandAddress(const QStringList& fields) {
    if (fields.size() != 4 || fields[1] != u"C" || fields[2].size() != 16)
        return;
    const auto name = ParseHex(fields[2]);
    const auto address = ParseUnsigned(fields[3]);
    if (!name || !address || *address > 251)
        return;
    QSet<quint8> own;
    for (quint8 a : config.SourceAddresses())
        own.insert(a);
    QList<QByteArray> lines = network.CommandAddress(*name, quint8(*address), own);
    if (lines.isEmpty())
        return; // no device has that NAME
    // One of the multiplexer's own ports that held the address loses it.
    const QList<quint8> addresses = config.SourceAddresses();
    QList<quint8> moved = addresses;
    own.insert(quint8(*address));
    for (qsizetype i = 0; i < moved.size(); ++i) {
        if (moved[i] == *address)
            moved[i] = network.FreeAddress(quint8((*address + 1) % 252), own);
    }
    if (moved != addresses) {
        config.SetSourceAddresses(moved);
        lines.append(config.Report(QStringLiteral("NA")));
    }
    Answer(lines);
}

void TSimEngine::CommandInstances(const QStringList& fields) {
    if (fields.size() != 4)
        return;
    const auto address = ParseUnsigned(fields[1]);
    const auto device = ParseUnsigned(fields[2]);
    const auto system = ParseUnsigned(fields[3]);
    if (!address || *address > 251 || !device || *device > 255 || !system || *system > 15)
        return;
    const qsizetype port = config.SourceAddresses().indexOf(quint8(*address));
    if (port >= 0) {
        // One of the multiplexer's own ports: its device instance is part of its settings.
        QStringList instances = config.Fields(QStringLiteral("ND"));
        instances[port] = QString::number(*device);
        config.Apply(QStringLiteral("ND"), instances);
        Answer({config.Report(QStringLiteral("ND"))});
        return;
    }
    Answer(network.SetInstances(quint8(*address), quint8(*device), quint8(*system)));
}

QList<QByteArray> TSimEngine::ResolveOwnAddresses(int keep) {
    // Ports whose address a network device (or an earlier port) holds lose their claim and
    // take the next free address; the change is reported as a further NA report.
    const QList<quint8> addresses = config.SourceAddresses();
    QList<quint8> resolved = addresses;
    QSet<quint8> taken;
    for (quint8 a : addresses)
        taken.insert(a);
    QSet<quint8> held;
    for (qsizetype i = 0; i < resolved.size(); ++i) {
        const quint8 a = resolved[i];
        if (a == 255)
            continue;
        if (i != keep && (network.ByAddress(a) || held.contains(a))) {
            resolved[i] = network.FreeAddress(quint8((a + 1) % 252), taken + held);
            taken.insert(resolved[i]);
        }
        held.insert(resolved[i]);
    }
    if (resolved == addresses)
        return {};
    config.SetSourceAddresses(resolved);
    return {config.Report(QStringLiteral("NA"))};
}

void TSimEngine::ResetFraming() {
    for (TSimChannel* channel : links->Channels()) {
        channel->lines.Reset();
        channel->packets.Reset();
    }
}

void TSimEngine::EnterBootloader() {
    mode = mdBootloader;
    transferring = false;
    ++generation;
    statistics = false;
    statsTimer->stop();
    burstTimer->stop();
    ResetFraming();
    if (faults[sfSilentBootloader].Value)
        return;
    const quint64 expected = generation;
    QTimer::singleShot(options.bootDelayMs, Qt::PreciseTimer, this, [this, expected] {
        if (generation == expected && mode == mdBootloader)
            Announce();
    });
}

void TSimEngine::Announce() {
    Answer({"$PZRQLDR," + HexBytes(options.loaderType, 2)});
}

void TSimEngine::RestartApplication() {
    mode = mdApplication;
    ++generation;
    if (!options.updatedFirmware.isEmpty())
        firmware = options.updatedFirmware;
    ResetFraming();
    Unasked(VersionText());
}

void TSimEngine::HandlePacket(const QByteArray& packet) {
    packets.append(packet);
    const quint8 command = quint8(packet[0]);
    std::optional<QByteArray> reply = bootloader.Handle(packet);
    if (command == 5)
        transferring = false;
    if (!reply) {
        // The synchronisation packet.
        transferring = true;
        if (const int stale = faults[sfSyncReply].Value)
            WritePacket(FramePacket(QByteArray(1, char(stale))));
        return;
    }
    if (const int drop = faults[sfBootDrop].Value; drop && drop == command) {
        for (TSimChannel* channel : links->Channels())
            channel->Drop();
        return;
    }
    const int silent = faults[sfBootNoReply].Value;
    if (silent && (silent == 255 || silent == command))
        return;
    const int error = faults[sfBootErrorReply].Value;
    const int only = faults[sfBootErrorCommand].Value;
    if (error && (!only || only == command))
        reply = QByteArray(1, char(error));

    const bool crcReply =
        command == 5 && reply->size() == 5 && quint8(reply->at(0)) == BootCrcReply;
    const int mismatch = faults[sfCrcMismatch].Value;
    if (crcReply && mismatch) {
        for (int i = 0; i < 4; ++i)
            (*reply)[1 + i] = char(quint8(reply->at(1 + i)) ^ quint8(quint32(mismatch) >> (8 * i)));
    }
    const QByteArray frame = FramePacket(*reply);
    const int delay = faults[sfDelay].Value;
    const quint64 expected = generation;
    auto send = [this, frame, expected] {
        if (generation == expected)
            WritePacket(frame);
    };
    delay > 0 ? QTimer::singleShot(delay, Qt::PreciseTimer, this, send) : send();

    if (crcReply && !mismatch) {
        QTimer::singleShot(std::max(0, delay) + options.restartDelayMs, Qt::PreciseTimer, this,
                           [this, expected] {
                               if (generation == expected && mode == mdBootloader)
                                   RestartApplication();
                           });
    }
}

QByteArray TSimEngine::Wire(const QByteArray& text, int port, quint8 n2kAddress) {
    QByteArray tag;
    QByteArray sentence = text;
    if (sentence.startsWith('\\')) {
        const qsizetype close = sentence.indexOf('\\', 1);
        tag = sentence.left(close + 1);
        sentence.remove(0, close + 1);
    } else if (mode == mdApplication && config.TagBlocks()) {
        QByteArray source = "s:" + config.UniqueID().toLatin1();
        if (port == TrafficN2KPort) {
            source += options.decimalTagSource ? '=' + QByteArray::number(n2kAddress)
                                               : '#' + HexBytes(n2kAddress, 2);
        } else {
            source += '-' + QByteArray::number(port);
        }
        tag = TagBlock(source);
    }
    if (faults[sfMalformedReport].Value) {
        QList<QByteArray> fields = sentence.split(',');
        if (fields.size() > 2 && fields[1] == "R") {
            fields[fields.size() > 3 ? 3 : 2] = "?Z";
            sentence = fields.join(',');
        }
    }
    if (faults[sfBadChecksum].Value) {
        const quint8 wrong = NmeaChecksum(QByteArrayView(sentence), sentence.size()) ^ 0x55;
        return tag + sentence + '*' + HexBytes(wrong, 2) + "\r\n";
    }
    return tag + NmeaLine(sentence);
}

void TSimEngine::Answer(const QList<QByteArray>& texts) {
    QList<QByteArray> wires;
    for (const QByteArray& text : texts)
        wires.append(Wire(text));
    Deliver(wires, true);
}

void TSimEngine::Deliver(const QList<QByteArray>& wires, bool answer) {
    const int delay = faults[sfDelay].Value;
    if (!answer || delay <= 0 || wires.isEmpty()) {
        Write(wires);
        return;
    }
    // Precise, so that an answer delayed to just inside a time-out arrives inside it.
    QTimer::singleShot(delay, Qt::PreciseTimer, this, [this, wires] { Write(wires); });
}

void TSimEngine::Write(const QList<QByteArray>& wires) {
    const int garbage = faults[sfGarbage].Value;
    const bool longLines = faults[sfLongLines].Value != 0;
    const int dropAfter = faults[sfDropAfter].Value;
    for (TSimChannel* channel : links->Channels()) {
        for (const QByteArray& wire : wires) {
            QByteArray bytes;
            for (int i = 0; i < garbage; ++i) {
                // Noise that never starts a line, so the line behind it still arrives.
                char c;
                do {
                    c = char(noise.bounded(1, 127));
                } while (c == '$' || c == '!' || c == '\\');
                bytes.append(c);
            }
            if (longLines)
                bytes += LongLine();
            bytes += wire;
            channel->Write(bytes);
            if (dropAfter > 0 && ++channel->linesSent >= dropAfter) {
                channel->Drop();
                break;
            }
        }
    }
}

void TSimEngine::WritePacket(const QByteArray& frame) {
    for (TSimChannel* channel : links->Channels())
        channel->Write(frame);
}

QByteArray TSimEngine::VersionText() const {
    return "$PZRQVER," + firmware.toLatin1() + ',' + options.deviceName.toLatin1() + ',' +
           options.serialNumber.toLatin1() + ',' + HexBytes(options.capabilities, 4);
}

void TSimEngine::StatisticsTick() {
    if (!statistics || mode != mdApplication)
        return;
    const int rate = options.trafficRate;
    const int processing = std::min(20736, 2400 + 6 * rate + int(noise.bounded(600)));
    const int database = 36 + int(noise.bounded(4));
    const int rx = std::min(100, 3 * int(network.Devices().size()) + int(noise.bounded(4)));
    const int tx = 1 + int(noise.bounded(3));
    QByteArray text = "$PZRQSTAT,R," + QByteArray::number(processing) + ',' +
                      QByteArray::number(database) + ',' + QByteArray::number(rx) + ',' +
                      QByteArray::number(tx);
    int queued = 0;
    for (double fill : queueFill) {
        const int percent = int(std::lround(fill * 100 / OutputQueue));
        queued += percent;
        text += ',' + QByteArray::number(percent);
    }
    text += ',' + QByteArray::number(std::min(100, 12 + queued / 8));
    Unasked(text);
}

TSimTrafficContext TSimEngine::TrafficContext() const {
    TSimTrafficContext context;
    context.n2kOptions = config.HexField(QStringLiteral("NO"), 0);
    context.conversions = config.HexField(QStringLiteral("CNV"), 0);
    context.talkerIDs = config.Fields(QStringLiteral("ID"));
    auto address = [this](TSimN2KRole role) {
        const TSimN2KDevice* device = network.ByRole(role);
        return device ? device->address : quint8(255);
    };
    context.gpsAddress = address(nrGps);
    context.headingAddress = address(nrHeading);
    context.depthAddress = address(nrDepth);
    context.windAddress = address(nrWind);
    for (const TSimModbus& entry : config.ModbusEntries()) {
        if (config.ModbusStatus(entry) == ModbusOk)
            context.readings.append(entry);
    }
    return context;
}

void TSimEngine::TrafficTick() {
    if (mode != mdApplication || options.trafficRate <= 0)
        return;
    const double seconds = trafficClock.restart() / 1000.0;
    traffic.Advance(seconds);

    // Outputs: Out1, Out2, Out3 (at In3's speed), Out4 (not while it serves Modbus).
    const std::array<int, 4> speedField{8, 9, 2, 10};
    std::array<quint32, 4> masks{};
    for (int k = 0; k < 4; ++k) {
        const int code = int(config.DecField(QStringLiteral("SP"), speedField[k]).value_or(0));
        const double capacity = Speeds[size_t(std::clamp(code, 0, 5))] / 10.0;
        queueFill[k] = std::max(0.0, queueFill[k] - capacity * seconds);
        masks[k] = (k == 3 && config.ModbusOn()) ? 0 : config.HexField(QStringLiteral("DR"), 2 * k);
    }

    const int rate = options.trafficRate;
    owed = std::min(owed + rate * seconds, double(std::max(rate, 1)));
    const int count = int(owed);
    owed -= count;
    const TSimTrafficContext context = TrafficContext();
    for (int i = 0; i < count; ++i) {
        const TSimTrafficLine line = traffic.Next(context);
        const QByteArray wire = Wire(line.text, line.port, line.n2kAddress);
        Write({wire});
        const int bit = line.port == TrafficN2KPort ? 15 : line.port == 9 ? 8 : line.port - 1;
        if (bit < 0)
            continue; // the multiplexer's own sentences go to the host only
        for (int k = 0; k < 4; ++k) {
            if (!(masks[k] & (1u << bit)))
                continue;
            queueFill[k] += wire.size();
            if (queueFill[k] > OutputQueue) {
                queueFill[k] = OutputQueue; // the sentence is lost
                overflowFlags |= quint8(1 << k);
            }
        }
    }
    if (overflowFlags &&
        (!overflowClock.isValid() || overflowClock.elapsed() >= OverflowReportMs)) {
        Unasked("$PZRQOV," + HexBytes(overflowFlags, 1));
        overflowFlags = 0;
        overflowClock.start();
    }
}
