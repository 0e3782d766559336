// The firmware update job against the simulated multiplexer over loopback TCP: the bootloader
// exchange byte by byte, progress, every failure and its clean-up, the refusals that send
// nothing, the recovery of a device left in its bootloader, and the configuration kept across.
#include "FwReleased.h"
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "firmware/FwBackup.h"
#include "firmware/FwImage.h"
#include "firmware/FwUpdate.h"
#include "n2k/N2K.h"
#include "nmea/Errors.h"
#include "session/LinkUrl.h"
#include "session/Session.h"
#include "sim/Simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

constexpr int Timeout = 10000;
const QString Success = QStringLiteral("The firmware update was successful");
const QString Failed = QStringLiteral("The firmware update failed");
const QString SavedIn = QStringLiteral("The configuration read before the update is saved in\n");
const QString RestoreQuestion = QStringLiteral("Restore the configuration read before the update?");
const QByteArray Parameters = QByteArray::fromHex("F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");

QByteArray Payload(qsizetype size, quint32 seed = 7) {
    QByteArray bytes(size, '\0');
    for (char& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = char(seed >> 16);
    }
    return bytes;
}

QByteArray Padded(const QByteArray& payload) {
    const qsizetype pages = (payload.size() + FwPageSize - 1) / FwPageSize;
    return payload + QByteArray(pages * FwPageSize - payload.size(), char(0xFF));
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

struct TImage {
    QByteArray Payload;
    quint32 Type = 0x94;
    quint8 Major = 3;
    quint8 Minor = 14;
    quint32 DeviceCrc = 0; // 0: what the simulated bootloader will report
};

// A simulator and a session connected to it over TCP with its configuration read.
struct TRig {
    explicit TRig(TSimulator::TOptions options = {}, bool connect = true) {
        sim = std::make_unique<TSimulator>(options);
        sim->Start();
        session = std::make_unique<TSession>(user);
        if (connect)
            ConnectTcp();
    }
    ~TRig() {
        session.reset();
        sim.reset();
    }
    void ConnectTcp() {
        QSignalSpy read(session.get(), &TSession::ReadFinished);
        QVERIFY(session->Connect(SelectorTcp, QStringLiteral("127.0.0.1"),
                                 QString::number(sim->TcpPort())));
        QVERIFY(read.wait(Timeout));
        mark = sim->ReceivedLines().size();
    }

    // The lines the simulator received since the mark, without the keep-alive.
    QStringList LinesSinceMark() const {
        QStringList lines = sim->ReceivedLines().mid(mark);
        lines.removeAll(QStringLiteral("$PZRQCF,A*61"));
        return lines;
    }
    // Nothing was sent since the mark: a query sent now is the first thing that arrives.
    void VerifyNothingSent() {
        session->SendAndWait(QStringLiteral("$PZRQVER"), nkVER);
        QCOMPARE(LinesSinceMark(), QStringList{"$PZRQVER*48"});
        QVERIFY(sim->ReceivedPackets().isEmpty());
    }
    // The session and the user as every way out of an update leaves them.
    void VerifyReleased() { VerifyUpdateReleased(*session, user, Timeout); }

    TScriptedUser user;
    std::unique_ptr<TSimulator> sim;
    std::unique_ptr<TSession> session;
    qsizetype mark = 0;
};

} // namespace

class TestFwUpdate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void ReplyTexts_data();
    void ReplyTexts();
    void BootloaderWire_data();
    void BootloaderWire();
    void FullUpdate_data();
    void FullUpdate();
    void BuiltInImage();
    void ImmediateAnnouncementIsSeen();
    void ErrorReplies_data();
    void ErrorReplies();
    void ReplyTimeouts_data();
    void ReplyTimeouts();
    void CrcMismatch();
    void SilentBootloader();
    void NoVersionAfterRestart();
    void TypeMismatch();
    void RefusedBeforeAnythingIsSent_data();
    void RefusedBeforeAnythingIsSent();
    void OlderImageAsksFirst();
    void StalePacketIsDiscarded();
    void NoKeepAliveBetweenPackets();
    void NetworkScanEndsForTheUpdate();
    void EventsRunWhileWaitingForReplies();
    void LostLinkCleansUp_data();
    void LostLinkCleansUp();
    void DeviceLeftInBootloaderIsRecovered();
    void ConfigurationKept_data();
    void ConfigurationKept();

private:
    QString WriteImage(const TImage& image);

    QTemporaryDir dir;
    int images = 0;
};

void TestFwUpdate::initTestCase() {
    QVERIFY(dir.isValid());
    // Backups go to a data folder of this test's own.
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
}

QString TestFwUpdate::WriteImage(const TImage& image) {
    TFirmwareFileInfo info;
    info.Major = image.Major;
    info.Minor = image.Minor;
    info.MuxType = image.Type;
    info.DeviceCrc = image.DeviceCrc ? image.DeviceCrc : FirmwareDeviceCrc(image.Payload);
    info.DecryptionParameters = Parameters;
    const QString path = dir.filePath(QStringLiteral("image%1.cvz").arg(++images));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(MakeFirmwareFile(info, image.Payload));
    return path;
}

void TestFwUpdate::ReplyTexts_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::newRow("erase E1") << 1 << Bytes({0xE1})
                              << "Erase application command:\nUnknown command";
    QTest::newRow("page erase E0")
        << 2 << Bytes({0xE0}) << "Erase application page command:\nFrame size error";
    QTest::newRow("program E2") << 3 << Bytes({0xE2})
                                << "Programm application page command:\nUnknown decryption method";
    QTest::newRow("erase/program 00")
        << 4 << Bytes({0x00}) << "Erase/program application page command:\nUnknown response";
    QTest::newRow("CRC two bytes")
        << 5 << Bytes({0xC0, 0xC0}) << "Calculate CRC command:\nResponse has wrong size";
    QTest::newRow("encryption empty")
        << 6 << QByteArray() << "Encryption command:\nResponse has wrong size";
    QTest::newRow("USR write C1") << 7 << Bytes({0xC1}) << "Program USR command:\nUnknown response";
    QTest::newRow("USR read E1") << 8 << Bytes({0xE1}) << "Read USR command:\nUnknown command";
    QTest::newRow("ID E1") << 9 << Bytes({0xE1}) << "Read Multiplexer ID command:\nUnknown command";
}

void TestFwUpdate::ReplyTexts() {
    QFETCH(int, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QCOMPARE(BootCommandName(quint8(command)) + BootReplyText(reply), message);
}

namespace {

// A bootloader written out by hand on a loopback socket: it keeps every byte it receives and
// answers each command packet after the first (the synchronisation) with the next reply frame.
class THandBootloader : public QObject {
public:
    explicit THandBootloader(QList<QByteArray> replyFrames)
        : replies(std::move(replyFrames)) {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this] { Receive(); });
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QByteArray Received;

private:
    void Receive() {
        Received += socket->readAll();
        // Count the frames: each ends with an end byte that no escape byte precedes.
        int frames = 0;
        for (qsizetype i = 0; i < Received.size(); ++i) {
            if (quint8(Received[i]) == 0xFF)
                ++i;
            else if (quint8(Received[i]) == 0xFD)
                ++frames;
        }
        for (; answered < frames; ++answered) {
            if (answered > 0 && !replies.isEmpty())
                socket->write(replies.takeFirst());
        }
    }

    QTcpServer server;
    QTcpSocket* socket = nullptr;
    QList<QByteArray> replies;
    int answered = 0;
};

} // namespace

void TestFwUpdate::BootloaderWire_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("failure");
    const QByteArray done = Bytes({0xFE, 0xC0, 0xFD});
    const QByteArray sync = Bytes({0xFE, 0xF0, 0xF1, 0xF2, 0xF3, 0xFD});
    const QByteArray erase = Bytes({0xFE, 0x01, 0xFD});
    const QByteArray encryption = Bytes({0xFE, 0x06, 0x02}) + QByteArray(16, 0x11) + '\xFD';
    // One page: the data byte 0xFE and 511 bytes of padding, every one escaped.
    QByteArray page = Bytes({0xFE, 0x03, 0x00, 0x00, 0xFF, 0xFE});
    for (int i = 0; i < 511; ++i)
        page += Bytes({0xFF, 0xFF});
    page += '\xFD';
    const QByteArray crc = Bytes({0xFE, 0x05, 0xFD});
    const QByteArray crcOk = Bytes({0xFE, 0x05, 0xEF, 0xCD, 0xAB, 0x00, 0xFD});

    QTest::newRow("one page, CRC right")
        << QByteArray(1, char(0xFE)) << QList<QByteArray>{done, done, done, crcOk}
        << sync + erase + encryption + page + crc << "";
    QTest::newRow("CRC reply 0x85")
        << QByteArray(1, char(0xFE))
        << QList<QByteArray>{done, done, done, Bytes({0xFE, 0x85, 0xEF, 0xCD, 0xAB, 0x00, 0xFD})}
        << sync + erase + encryption + page + crc << "";
    QTest::newRow("CRC command done")
        << QByteArray(1, char(0xFE)) << QList<QByteArray>{done, done, done, done}
        << sync + erase + encryption + page + crc << "";
    QTest::newRow("CRC differs")
        << QByteArray(1, char(0xFE))
        << QList<QByteArray>{done, done, done, Bytes({0xFE, 0x05, 0xEF, 0xCD, 0xAB, 0x01, 0xFD})}
        << sync + erase + encryption + page + crc
        << "Bootloader: CRC error\nFile CRC: 00ABCDEF\nMult.CRC: 01ABCDEF";
    QTest::newRow("empty image: no page") << QByteArray() << QList<QByteArray>{done, done, crcOk}
                                          << sync + erase + encryption + crc << "";
    QTest::newRow("reply of two bytes")
        << QByteArray(1, char(0xFE)) << QList<QByteArray>{Bytes({0xFE, 0xC0, 0xC0, 0xFD})}
        << sync + erase << "Erase application command:\nResponse has wrong size";
    QTest::newRow("escaped reply byte")
        << QByteArray(1, char(0xFE)) << QList<QByteArray>{done, Bytes({0xFE, 0xFF, 0xFE, 0xFD})}
        << sync + erase + encryption << "Encryption command:\nUnknown response";
}

void TestFwUpdate::BootloaderWire() {
    QFETCH(QByteArray, payload);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QByteArray, wire);
    QFETCH(QString, failure);
    TFirmwareFileInfo info;
    info.DeviceCrc = 0x00ABCDEF;
    info.DecryptionParameters = QByteArray(16, 0x11);
    const TFirmwareImage& image = LoadBuiltInImage(MakeFirmwareFile(info, payload));

    THandBootloader peer(replies);
    TComm comm;
    comm.Open(lkTcp, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), 0);
    QCOMPARE(comm.Mode(), mdTcp);
    QString error;
    try {
        RunBootloader(comm, image, nullptr);
    } catch (const ECommError& e) {
        error = e.Message();
    }
    QCOMPARE(error, failure);
    QVERIFY(!comm.InPacketMode());
    QTRY_COMPARE_WITH_TIMEOUT(peer.Received, wire, Timeout);
    comm.Close();
}

void TestFwUpdate::FullUpdate_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<quint32>("type");
    QTest::newRow("3 pages") << Payload(1500) << 0x94u;
    QTest::newRow("513 bytes: 2 pages") << Payload(513) << 0x94u;
    QTest::newRow("empty payload") << QByteArray() << 0x94u;
    QTest::newRow("type 0 fits any") << Payload(512) << 0u;
}

void TestFwUpdate::FullUpdate() {
    QFETCH(QByteArray, payload);
    QFETCH(quint32, type);
    TSimulator::TOptions options;
    options.updatedFirmware = QStringLiteral("3.15.0");
    TRig rig(options);
    const QString file = WriteImage({payload, type});
    rig.user.Answers = {false}; // no restore

    TFwUpdate update(*rig.session);
    QSignalSpy states(&update, &TFwUpdate::StateChanged);
    QVERIFY(update.Run(file));

    QCOMPARE(rig.user.Messages, QStringList{Success});
    QCOMPARE(rig.user.Questions, QStringList{RestoreQuestion});
    rig.VerifyReleased();
    QVERIFY(!rig.sim->InBootloader());
    QCOMPARE(rig.sim->ProgrammedMemory(), Padded(payload));
    QCOMPARE(rig.sim->DecryptionParameters(), Parameters);

    // On the wire: the reset, then sync, erase, encryption, the pages in order, CRC.
    QVERIFY(rig.LinesSinceMark().contains("$PZRQRESET*5C"));
    const int pages = int((payload.size() + 511) / 512);
    const QList<QByteArray> packets = rig.sim->ReceivedPackets();
    QCOMPARE(packets.size(), 4 + pages);
    QCOMPARE(packets[0], Bytes({0xF0, 0xF1, 0xF2, 0xF3}));
    QCOMPARE(packets[1], Bytes({0x01}));
    QCOMPARE(packets[2], Bytes({0x06, 0x02}) + Parameters);
    for (int page = 0; page < pages; ++page)
        QCOMPARE(packets[3 + page],
                 Bytes({0x03, page & 0xFF, page >> 8}) + Padded(payload).mid(page * 512, 512));
    QCOMPARE(packets.last(), Bytes({0x05}));

    // Progress: the window comes up, the bar spans the pages, and it goes again.
    QCOMPARE(rig.user.ProgressSteps,
             (QStringList{"show Updating Corvanta Firmware", "task Starting bootloader...",
                          "range 0..10", QStringLiteral("range 0..%1").arg(std::max(0, pages - 1)),
                          "task Erasing...", "task Programming...", "hide"}));
    QList<int> positions{0}; // as the window comes up
    for (int page = 0; page < pages; ++page)
        positions.append(page);
    QCOMPARE(rig.user.Positions, positions);
    QCOMPARE(states.first().first().value<TFwState>(), fwLoadingImage);
    QCOMPARE(update.State(), fwSucceeded);

    // The restarted multiplexer is identified afresh and its configuration read.
    QCOMPARE(rig.session->Identification().FirmwareText, QStringLiteral("3.15.0"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.session->Activity(), acIdle, Timeout);
}

void TestFwUpdate::BuiltInImage() {
    TRig rig;
    rig.user.Answers = {false};
    QVERIFY(TFwUpdate(*rig.session).Run(BuiltInImageSource));
    QCOMPARE(rig.user.Messages, QStringList{Success});
    const TFirmwareImage& image = LoadFirmwareImage(BuiltInImageSource);
    QCOMPARE(rig.sim->ProgrammedMemory(), image.PayloadBuffer().first(159744).toByteArray());
    const QList<QByteArray> packets = rig.sim->ReceivedPackets();
    QCOMPARE(packets.size(), 4 + 312);
    // Page 300 goes out as 0x2C 0x01.
    QCOMPARE(packets[3 + 300].left(3), Bytes({0x03, 0x2C, 0x01}));
    QVERIFY(rig.user.ProgressSteps.contains("range 0..311"));
    QCOMPARE(rig.user.Positions.size(), 1 + 312);
    QCOMPARE(rig.user.Positions.last(), 311);
}

void TestFwUpdate::ImmediateAnnouncementIsSeen() {
    // A bootloader that announces itself the moment the reset arrives.
    TSimulator::TOptions options;
    options.bootDelayMs = 0;
    TRig rig(options);
    rig.user.Answers = {false};
    QVERIFY(TFwUpdate(*rig.session).Run(WriteImage({Payload(600)})));
    QCOMPARE(rig.user.Messages, QStringList{Success});
}

void TestFwUpdate::ErrorReplies_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("packetsSent");
    QTest::newRow("erase: unknown command")
        << 1 << 0xE1 << "Erase application command:\nUnknown command" << 2;
    QTest::newRow("encryption: unknown method")
        << 6 << 0xE2 << "Encryption command:\nUnknown decryption method" << 3;
    QTest::newRow("program: frame size")
        << 3 << 0xE0 << "Programm application page command:\nFrame size error" << 4;
    QTest::newRow("CRC: unknown response")
        << 5 << 0x55 << "Calculate CRC command:\nUnknown response" << 7;
}

void TestFwUpdate::ErrorReplies() {
    QFETCH(int, command);
    QFETCH(int, reply);
    QFETCH(QString, message);
    QFETCH(int, packetsSent);
    TRig rig;
    rig.sim->SetFault(sfBootErrorReply, reply);
    rig.sim->SetFault(sfBootErrorCommand, command);
    TFwUpdate update(*rig.session);
    QVERIFY(!update.Run(WriteImage({Payload(1500)})));

    // The reason, then, once no version report came, the failure; the configuration read
    // before is kept and its place named.
    QCOMPARE(rig.user.Messages.size(), 3);
    QCOMPARE(rig.user.Messages[0], message);
    QCOMPARE(rig.user.Messages[1], Failed);
    QCOMPARE(rig.user.Messages[2], SavedIn + update.BackupFile());
    QVERIFY(QFile::exists(update.BackupFile()));
    // Nothing after the failed command.
    QCOMPARE(rig.sim->ReceivedPackets().size(), packetsSent);
    QCOMPARE(update.State(), fwFailed);
    rig.VerifyReleased();
    QVERIFY(rig.sim->InBootloader());
}

void TestFwUpdate::ReplyTimeouts_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("erase") << 1 << "Bootloader: Erase command timeout";
    QTest::newRow("encryption") << 6 << "Bootloader: Encryption command timeout";
    QTest::newRow("program") << 3 << "Bootloader: Programming timeout";
    QTest::newRow("CRC") << 5 << "Bootloader: CRC command timeout";
}

void TestFwUpdate::ReplyTimeouts() {
    QFETCH(int, command);
    QFETCH(QString, message);
    TRig rig;
    rig.sim->SetFault(sfBootNoReply, command);
    QElapsedTimer clock;
    qint64 timedOut = -1;
    qint64 gaveUp = -1;
    rig.user.OnSay = [&](const QString& text) {
        if (text == message)
            timedOut = clock.elapsed();
        if (text == Failed)
            gaveUp = clock.elapsed();
    };
    TFwUpdate update(*rig.session);
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        if (state == fwProgramming)
            clock.start();
    });
    QVERIFY(!update.Run(WriteImage({Payload(1024)})));
    QCOMPARE(rig.user.Messages.mid(0, 2), (QStringList{message, Failed}));
    // 2000 ms for the reply; then 4000 ms for a version report that does not come.
    QVERIFY2(timedOut >= 1950 && timedOut < 3500, qPrintable(QString::number(timedOut)));
    QVERIFY2(gaveUp - timedOut >= 3950 && gaveUp - timedOut < 5500,
             qPrintable(QString::number(gaveUp - timedOut)));
    rig.VerifyReleased();
}

void TestFwUpdate::CrcMismatch() {
    // The header says 00ABCDEF; the bootloader reports EF CD AB 01.
    const QByteArray payload = Payload(700);
    TRig rig;
    rig.sim->SetFault(sfCrcMismatch, int(FirmwareDeviceCrc(payload) ^ 0x01ABCDEFu));
    QVERIFY(!TFwUpdate(*rig.session).Run(WriteImage({payload, 0x94, 3, 14, 0x00ABCDEF})));
    QCOMPARE(
        rig.user.Messages.mid(0, 2),
        (QStringList{"Bootloader: CRC error\nFile CRC: 00ABCDEF\nMult.CRC: 01ABCDEF", Failed}));
    rig.VerifyReleased();
}

void TestFwUpdate::SilentBootloader() {
    TRig rig;
    rig.sim->SetFault(sfSilentBootloader);
    QElapsedTimer clock;
    qint64 shown = -1;
    rig.user.OnSay = [&](const QString&) {
        if (shown < 0)
            shown = clock.elapsed();
    };
    TFwUpdate update(*rig.session);
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        if (state == fwWaitLoader)
            clock.start();
    });
    QVERIFY(!update.Run(WriteImage({Payload(600)})));
    QCOMPARE(rig.user.Messages.first(), QStringLiteral("Bootloader: Initialisation failed"));
    QVERIFY(!rig.user.Messages.contains(Failed));
    QVERIFY2(shown >= 3950 && shown < 5500, qPrintable(QString::number(shown)));
    QVERIFY(rig.sim->ReceivedPackets().isEmpty());
    rig.VerifyReleased();
}

void TestFwUpdate::NoVersionAfterRestart() {
    TSimulator::TOptions options;
    options.restartDelayMs = 8000;
    TRig rig(options);
    QElapsedTimer clock;
    qint64 shown = -1;
    rig.user.OnSay = [&](const QString& text) {
        if (text == Failed)
            shown = clock.elapsed();
    };
    TFwUpdate update(*rig.session);
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        if (state == fwWaitRestart)
            clock.start();
    });
    QVERIFY(!update.Run(WriteImage({Payload(600)})));
    // Programming went through; no version report within 4000 ms.
    QCOMPARE(rig.sim->ReceivedPackets().last(), Bytes({0x05}));
    QCOMPARE(rig.user.Messages.first(), Failed);
    QVERIFY2(shown >= 3950 && shown < 5500, qPrintable(QString::number(shown)));
    rig.VerifyReleased();
}

void TestFwUpdate::TypeMismatch() {
    TRig rig;
    QVERIFY(!TFwUpdate(*rig.session).Run(WriteImage({Payload(600), 0x95})));
    QCOMPARE(rig.user.Messages.mid(0, 2),
             (QStringList{"Firmware file does not match with the multiplexer type", Failed}));
    QVERIFY(rig.sim->ReceivedPackets().isEmpty());
    rig.VerifyReleased();
}

void TestFwUpdate::RefusedBeforeAnythingIsSent_data() {
    QTest::addColumn<int>("capabilities");
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("source"); // "good", "missing", "bad magic"
    QTest::addColumn<QString>("message");
    const QString udp = "The firmware cannot be updated over UDP.\nConnect by TCP or via USB "
                        "before updating";
    const QString tcpMode = "The Corvanta must be set to TCP mode\nbefore updating";
    const QString wifi = "The Corvanta firmware cannot be updated via\nWiFi. Connect via USB "
                         "first before updating";
    QTest::newRow("UDP") << 0xA010 << SelectorUdp << "good" << udp;
    QTest::newRow("Ethernet model over UDP") << 0xA012 << SelectorUdp << "good" << tcpMode;
    QTest::newRow("other Ethernet model over UDP") << 0xA014 << SelectorUdp << "good" << tcpMode;
    QTest::newRow("WiFi model over TCP") << 0xA013 << SelectorTcp << "good" << wifi;
    QTest::newRow("WiFi model over UDP") << 0xA013 << SelectorUdp << "good" << wifi;
    QTest::newRow("missing file") << 0xA010 << SelectorTcp << "missing"
                                  << "File not found";
    QTest::newRow("not an image") << 0xA010 << SelectorTcp << "bad magic"
                                  << "Not a valid firmware file";
    QTest::newRow("cancelled file dialog") << 0xA010 << SelectorTcp << ""
                                           << "";
}

void TestFwUpdate::RefusedBeforeAnythingIsSent() {
    QFETCH(int, capabilities);
    QFETCH(int, selector);
    QFETCH(QString, source);
    QFETCH(QString, message);
    TSimulator::TOptions options;
    options.capabilities = quint16(capabilities);
    options.tcp = selector == SelectorTcp;
    options.udp = selector == SelectorUdp;
    // UDP binds the same port number on every address: the simulator keeps to an address of
    // its own so that it never hears itself.
    options.listen = QHostAddress(QStringLiteral("127.0.0.2"));
    TRig rig(options, false);
    QSignalSpy read(rig.session.get(), &TSession::ReadFinished);
    QVERIFY(rig.session->Connect(
        selector, QStringLiteral("127.0.0.2"),
        QString::number(selector == SelectorTcp ? rig.sim->TcpPort() : rig.sim->UdpPort())));
    QVERIFY(read.wait(Timeout));
    rig.mark = rig.sim->ReceivedLines().size();

    QString file;
    if (source == "good") {
        file = WriteImage({Payload(600)});
    } else if (source == "missing") {
        file = dir.filePath("missing.cvz");
    } else if (source == "bad magic") {
        file = dir.filePath("bad.cvz");
        QFile bad(file);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(40, 'x'));
    }
    bool chosen = false;
    QVERIFY(!TFwUpdate(*rig.session).Run([&] {
        chosen = true;
        return file;
    }));
    QCOMPARE(rig.user.Messages, message.isEmpty() ? QStringList() : QStringList{message});
    // A link that cannot carry the update is refused before the file is chosen.
    QCOMPARE(chosen, source != "good");
    QVERIFY(rig.user.ProgressSteps.isEmpty());
    rig.VerifyNothingSent();
    rig.VerifyReleased();
}

void TestFwUpdate::OlderImageAsksFirst() {
    TSimulator::TOptions options;
    options.firmware = QStringLiteral("3.15.0.");
    TRig rig(options);
    const QString older = WriteImage({Payload(600), 0x94, 3, 14});
    TFwUpdate update(*rig.session);
    rig.user.Answers = {false};
    QVERIFY(!update.Run(older));
    QCOMPARE(rig.user.Questions,
             QStringList{"The version of this firmware file is lower than the version\nof the "
                         "multiplexer. Do you really want to proceed?"});
    QVERIFY(rig.user.Messages.isEmpty());
    rig.VerifyNothingSent();

    // The same version goes ahead without a question.
    rig.user.Questions.clear();
    rig.user.Answers = {false}; // no restore
    QVERIFY(update.Run(WriteImage({Payload(600), 0x94, 3, 15})));
    QCOMPARE(rig.user.Questions, QStringList{RestoreQuestion});
}

void TestFwUpdate::StalePacketIsDiscarded() {
    // A bootloader that answers the synchronisation packet: the answer is not taken for the
    // reply to the erase command.
    TRig rig;
    rig.sim->SetFault(sfSyncReply, 0xE1);
    rig.user.Answers = {false};
    QVERIFY(TFwUpdate(*rig.session).Run(WriteImage({Payload(1024)})));
    QCOMPARE(rig.user.Messages, QStringList{Success});
}

void TestFwUpdate::NoKeepAliveBetweenPackets() {
    TRig rig;
    // Keep-alives as often as the timer goes, and a bootloader slow enough for many of them.
    rig.session->ConfigTimer.setInterval(5);
    rig.sim->SetFault(sfDelay, 15);
    rig.user.Answers = {false};
    QVERIFY(TFwUpdate(*rig.session).Run(WriteImage({Payload(8 * 512)})));
    QVERIFY2(rig.sim->LinesDuringTransfer().isEmpty(),
             qPrintable(rig.sim->LinesDuringTransfer().join(u' ')));
    // The keep-alive went on before and after.
    QVERIFY(rig.LinesSinceMark().size() < rig.sim->ReceivedLines().size() - rig.mark);
}

void TestFwUpdate::NetworkScanEndsForTheUpdate() {
    // The NMEA 2000 scan that follows the identification asks devices that never answer, so it
    // still runs, ticking every 500 ms, all through a bootloader slow enough for several ticks.
    TSimulator::TOptions options;
    for (TSimN2KDevice& device : options.n2kDevices)
        device.noProductInfo = true;
    TRig rig(options, false);
    TN2KDeviceList list(*rig.session);
    rig.ConnectTcp();
    QVERIFY(list.ScanState() != nsIdle);
    rig.sim->SetFault(sfDelay, 150);
    rig.user.Answers = {false};
    TFwUpdate update(*rig.session);
    bool scanDuringTransfer = false;
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        if (state == fwProgramming || state == fwWaitRestart)
            scanDuringTransfer = scanDuringTransfer || list.ScanState() != nsIdle;
    });
    QVERIFY2(update.Run(WriteImage({Payload(8 * 512)})), qPrintable(rig.user.Messages.join(u'|')));
    QVERIFY2(rig.sim->LinesDuringTransfer().isEmpty(),
             qPrintable(rig.sim->LinesDuringTransfer().join(u' ')));
    QVERIFY(!scanDuringTransfer);
    QVERIFY(rig.user.Errors.isEmpty());
}

void TestFwUpdate::EventsRunWhileWaitingForReplies() {
    // Each reply takes 300 ms; timers (and the window's painting) still run every few ms.
    TRig rig;
    rig.sim->SetFault(sfDelay, 300);
    rig.user.Answers = {false};
    TFwUpdate update(*rig.session);
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    bool programming = false;
    QTimer tick;
    tick.setInterval(5);
    connect(&tick, &QTimer::timeout, this, [&] {
        if (programming)
            longestGap = std::max(longestGap, sinceTick.restart());
    });
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        programming = state == fwProgramming;
        sinceTick.start();
    });
    tick.start();
    QVERIFY(update.Run(WriteImage({Payload(1024)})));
    QVERIFY2(longestGap > 0 && longestGap < 150, qPrintable(QString::number(longestGap)));
}

void TestFwUpdate::LostLinkCleansUp_data() {
    QTest::addColumn<bool>("writeFails");
    QTest::newRow("link closes instead of a reply") << false;
    QTest::newRow("writing to a broken link") << true;
}

void TestFwUpdate::LostLinkCleansUp() {
    QFETCH(bool, writeFails);
    TRig rig;
    if (writeFails) {
        // Right before the first page the multiplexer goes, and the receive side has seen it
        // go when the page is written.
        rig.user.OnProgressStep = [&](const QString& step) {
            if (step == "task Programming...") {
                rig.sim.reset();
                QThread::msleep(300);
            }
        };
    } else {
        rig.sim->SetFault(sfBootDrop, 3); // the link goes with the first page
    }
    TFwUpdate update(*rig.session);
    QVERIFY(!update.Run(WriteImage({Payload(2048)})));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.session->IsOpen(), Timeout);
    QVERIFY(rig.user.Messages.contains(Failed));
    if (writeFails)
        QVERIFY2(rig.user.Messages.first().startsWith("TCP write failed"),
                 qPrintable(rig.user.Messages.join(u'|')));
    QTRY_VERIFY_WITH_TIMEOUT(rig.user.Messages.contains(QStringLiteral("TCP Connection lost")),
                             Timeout);
    QVERIFY(rig.user.ProgressSteps.contains("hide"));
    QVERIFY(rig.user.Errors.isEmpty());
    QCOMPARE(update.State(), fwFailed);
    rig.VerifyReleased();
}

void TestFwUpdate::DeviceLeftInBootloaderIsRecovered() {
    TRig rig;
    rig.sim->SetFault(sfCrcMismatch, 1);
    QVERIFY(!TFwUpdate(*rig.session).Run(WriteImage({Payload(1000)})));
    QVERIFY(rig.sim->InBootloader());
    rig.sim->ClearFaults();
    rig.user.Messages.clear();
    rig.user.Questions.clear();

    // The bootloader announces itself while nothing runs: the update is offered, and the one
    // asked for runs with the built-in image once the announcement has been dispatched.
    int requests = 0;
    bool insideDispatch = false;
    connect(rig.session.get(), &TSession::FirmwareUpdateRequested, this, [&] { ++requests; });
    connect(
        rig.session.get(), &TSession::FirmwareUpdateRequested, this,
        [&] {
            insideDispatch = rig.session->Refreshing;
            TFwUpdate(*rig.session).Run(BuiltInImageSource, TFwUpdate::rsNever);
        },
        Qt::QueuedConnection);
    QSignalSpy announced(rig.session.get(), &TSession::LoaderAnnounced);
    rig.user.Answers = {true};
    rig.sim->SendUnasked("$PZRQLDR,94");
    QVERIFY(announced.wait(Timeout));
    QCOMPARE(rig.user.Questions, QStringList{"The multiplexer is waiting in its bootloader.\n\n"
                                             "Would you like to update its firmware now?"});
    QTRY_VERIFY_WITH_TIMEOUT(rig.user.Messages.contains(Success), Timeout);
    QCOMPARE(requests, 1);
    QVERIFY(!insideDispatch);
    QVERIFY(!rig.sim->InBootloader());
    QCOMPARE(rig.sim->ProgrammedMemory(),
             LoadFirmwareImage(BuiltInImageSource).PayloadBuffer().first(159744).toByteArray());
    rig.VerifyReleased();
}

void TestFwUpdate::ConfigurationKept_data() {
    QTest::addColumn<int>("restore");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("restored");
    QTest::newRow("asked, Yes") << int(TFwUpdate::rsAsk) << true << true;
    QTest::newRow("asked, No") << int(TFwUpdate::rsAsk) << false << false;
    QTest::newRow("always") << int(TFwUpdate::rsAlways) << false << true;
    QTest::newRow("never") << int(TFwUpdate::rsNever) << false << false;
}

void TestFwUpdate::ConfigurationKept() {
    QFETCH(int, restore);
    QFETCH(bool, answer);
    QFETCH(bool, restored);
    TSimulator::TOptions options;
    TRig rig(options, false);
    QVERIFY(rig.sim->SetConfigFields("OP", {"000000A5"}));
    TSimRoute route;
    route.sentence = "GPRMC";
    route.inputs = 3;
    route.outputs = 0x41;
    rig.sim->SetTables({route}, {});
    rig.ConnectTcp();
    const QStringList options0 = rig.sim->ConfigFields("OP");

    // The update leaves the multiplexer with its settings lost.
    TFwUpdate update(*rig.session);
    connect(&update, &TFwUpdate::StateChanged, this, [&](TFwState state) {
        if (state == fwWaitLoader) {
            rig.sim->SetConfigFields("OP", {"00000000"});
            rig.sim->SetTables({}, {});
        }
    });
    rig.user.Answers = {answer};
    QVERIFY(update.Run(WriteImage({Payload(600)}), TFwUpdate::TRestore(restore)));

    // Saved before, in the user's data folder, named after device, serial number and time.
    const QString backup = update.BackupFile();
    QCOMPARE(QFileInfo(backup).absolutePath(), QDir(TConfigBackup::Folder()).absolutePath());
    QVERIFY2(QFileInfo(backup).fileName().contains(
                 QRegularExpression("^Corvanta-PX_24070193_\\d{8}-\\d{6}(-\\d+)?\\.ini$")),
             qPrintable(backup));
    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("Device=Corvanta-PX\r\n"));
    QVERIFY(text.contains("GPRMC"));

    QCOMPARE(rig.user.Questions.contains(RestoreQuestion), restore == TFwUpdate::rsAsk);
    if (restored) {
        QCOMPARE(rig.sim->ConfigFields("OP"), options0);
        QCOMPARE(rig.sim->Routes().size(), 1);
        QCOMPARE(rig.sim->Routes().first().sentence, QStringLiteral("GPRMC"));
    } else {
        QCOMPARE(rig.sim->ConfigFields("OP"), QStringList{"00000000"});
        QVERIFY(rig.sim->Routes().isEmpty());
    }
    // Kept without being restored, the user learns where it is (unless they said No).
    QCOMPARE(rig.user.Messages.contains(SavedIn + backup), restore == TFwUpdate::rsNever);
}

QTEST_GUILESS_MAIN(TestFwUpdate)
#include "tst_fwupdate.moc"
