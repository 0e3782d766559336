#include "n2k/N2K.h"

#include "nmea/Nmea.h"
#include "nmea/Numbers.h"
#include "session/Session.h"

namespace {

constexpr int MaxTextLength = 32;
constexpr int MaxVersionLength = 5;
constexpr quint32 PgnAddressClaim = 60928;
constexpr quint32 PgnProductInfo = 126996;

QString RequestText(quint32 pgn, quint8 destination) {
    return QStringLiteral("$PZRQNR,%1,%2").arg(pgn).arg(destination);
}

QString DeviceText(const QString& field) {
    return field.trimmed().left(MaxTextLength);
}

// A number of the product information, or the value for unknown.
template <typename T>
T NumberOr(const TSentence& sentence, qsizetype index, T unknown) {
    if (index >= sentence.FieldCount())
        return unknown;
    const std::optional<quint64> value = ParseUnsigned(sentence.Fields.at(index));
    return value && *value <= std::numeric_limits<T>::max() ? T(*value) : unknown;
}

// Some makers send a part number as model ID ("E12345") and the model's name as model version.
bool IsPartNumber(const QString& text) {
    if (text.size() < 4 || text[0] < u'A' || text[0] > u'Z')
        return false;
    qsizetype i = 1;
    while (i < text.size() && text[i] != u' ') {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        ++i;
    }
    for (; i < text.size(); ++i) {
        if (text[i] != u' ')
            return false;
    }
    return true;
}

} // namespace

quint64 N2KNameWithInstances(quint64 name, quint8 deviceInstance, quint8 systemInstance) {
    name &= ~(quint64(0xFF) << 32 | quint64(0xF) << 56);
    return name | quint64(deviceInstance) << 32 | quint64(systemInstance & 0xF) << 56;
}

TN2KDeviceList::TN2KDeviceList(TSession& aSession, QObject* parent)
    : QObject(parent)
    , session(aSession)
    , manufacturers(TN2KManufacturers::Builtin()) {
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &TN2KDeviceList::TimerTick);
    connect(&session, &TSession::ProprietarySentence, this, &TN2KDeviceList::ProcessSentence);
    connect(&session, &TSession::Identified, this, [this](quint16 capabilities) {
        Clear();
        // Bit 0x10: the multiplexer has an NMEA 2000 interface.
        if (capabilities & 0x10)
            Scan();
    });
}

TN2KDeviceList::~TN2KDeviceList() = default;

void TN2KDeviceList::Clear() {
    devices.fill(TN2KDevice());
    complete.clear();
    emit Changed();
}

void TN2KDeviceList::Scan() {
    state = nsAddressClaim;
    scanIndex = 0;
    Clear();
    Send(RequestText(PgnAddressClaim, 255));
    timer.start(StepMs);
}

const TN2KDevice* TN2KDeviceList::FindByName(quint64 name) const {
    for (const TN2KDevice* device : complete) {
        if (device->Name == name)
            return device;
    }
    return nullptr;
}

void TN2KDeviceList::Send(const QString& text) {
    session.SendUnlogged(text);
}

void TN2KDeviceList::RequestProductInfo() {
    Send(RequestText(PgnProductInfo, current));
}

bool TN2KDeviceList::ChooseNextDevice() {
    for (int address = scanIndex + (state == nsAddressClaim ? 0 : 1); address < AddressCount;
         ++address) {
        if (devices[size_t(address)].Name != 0) {
            // The search goes on after this address, so every device is asked once and the
            // scan always ends.
            current = quint8(address);
            scanIndex = address;
            return true;
        }
    }
    state = nsIdle;
    return false;
}

void TN2KDeviceList::TimerTick() {
    if (!session.IsOpen() || state == nsIdle || session.LinkHeld) {
        // A closed link ends the scan, and so does a firmware update: the bootloader answers
        // no requests, and the restarted multiplexer is scanned afresh once identified.
        timer.stop();
        state = nsIdle;
        current = 255;
        emit Changed();
        return;
    }
    switch (state) {
    case nsAddressClaim:
    case nsProductInfo:
        if (state == nsProductInfo && retries > 0) {
            --retries;
            RequestProductInfo();
        } else if (ChooseNextDevice()) {
            retries = Retries;
            RequestProductInfo();
            timer.setInterval(StepMs);
            state = nsProductInfo;
        }
        break;
    case nsNextDevice:
        retries = Retries;
        RequestProductInfo();
        timer.setInterval(StepMs);
        state = nsProductInfo;
        break;
    case nsIdle:
    case nsChanged:
        break;
    }
    if (state == nsIdle)
        timer.stop();
    emit Changed();
}

void TN2KDeviceList::ProcessSentence(const TSentence& sentence) {
    if (sentence.Kind == nkNC)
        HandleAddressClaim(sentence);
    else if (sentence.Kind == nkNP)
        HandleProductInfo(sentence);
}

void TN2KDeviceList::HandleAddressClaim(const TSentence& sentence) {
    if (sentence.FieldCount() < 4 || sentence.Fields.at(1) != u"R" ||
        sentence.Fields.at(2).size() != 16)
        return;
    const std::optional<quint64> address = ParseUnsigned(sentence.Fields.at(3));
    if (!address || *address >= AddressCount)
        return;
    const std::optional<quint64> name = ParseHex(sentence.Fields.at(2));
    if (!name)
        return;
    TN2KDevice& record = devices[size_t(*address)];
    if (record.Name == *name)
        return;
    if (quint32(record.Name) != quint32(*name) && state == nsIdle)
        state = nsChanged;
    record.Address = quint8(*address);
    record.Name = *name;
    emit Changed();
}

void TN2KDeviceList::HandleProductInfo(const TSentence& sentence) {
    if (state != nsProductInfo || sentence.FieldCount() < 2 || sentence.Fields.at(1).isEmpty())
        return;
    const QChar letter = sentence.Fields.at(1).at(0);
    // The device is named by the TAG block's source only; a reply without one (address 255)
    // belongs to no record.
    const quint8 address = sentence.SourceAddress;
    if (address >= AddressCount)
        return;
    const auto field = [&](qsizetype i) -> const QString* {
        return i < sentence.FieldCount() ? &sentence.Fields.at(i) : nullptr;
    };

    if (address == current) {
        TN2KDevice& record = devices[address];
        if (letter == u'A') {
            if (const QString* version = field(3)) {
                record.N2KVersion = version->left(MaxVersionLength);
                record.ProductCode = NumberOr<quint16>(sentence, 4, 0xFFFF);
                record.CertificationLevel = NumberOr<quint8>(sentence, 5, 255);
                record.LoadEquivalency = NumberOr<quint8>(sentence, 6, 255);
            }
        } else if (letter == u'B') {
            if (const QString* model = field(2)) {
                record.ModelID = DeviceText(*model);
                if (const QString* serial = field(3))
                    record.SerialCode = DeviceText(*serial);
            }
        } else if (letter == u'C') {
            timer.stop();
            if (const QString* software = field(2)) {
                record.SoftwareVersion = DeviceText(*software);
                if (const QString* model = field(3))
                    record.ModelVersion = DeviceText(*model);
            }
            if (record.ManufacturerCode() == ConverterManufacturer && IsPartNumber(record.ModelID))
                record.ModelID = record.ModelVersion;
            complete.append(&record);
            emit Changed();
        }
    }

    if (letter != u'C')
        return;
    const TN2KDevice& replied = devices[address];
    const bool converter = replied.ManufacturerCode() == ConverterManufacturer &&
                           replied.ProductCode == ConverterProductCode;
    if (ChooseNextDevice()) {
        timer.start(NextDeviceMs);
        state = nsNextDevice;
    } else {
        timer.stop();
    }
    emit Changed();
    // The session changes input 1 and waits for the multiplexer's answer. It does so once this
    // sentence's dispatch has ended: the receive pump, which must deliver that answer, does
    // not run again while it is still dispatching.
    if (converter)
        QTimer::singleShot(0, this, [this] { session.ConverterFound(); });
}

QStringList TN2KDeviceList::SendDeviceChange(const TN2KDevice& device, quint8 sourceAddress,
                                             quint8 deviceInstance, quint8 systemInstance) {
    const bool newAddress = sourceAddress != device.Address;
    const bool newInstances =
        deviceInstance != device.DeviceInstance() || systemInstance != device.SystemInstance();
    QStringList sent;
    // The instances go first, to the address the device holds now: once it has moved, that
    // address would reach nobody. Its NAME changes with them, so the address command names
    // the device by its new NAME.
    quint64 name = device.Name;
    if (newInstances) {
        sent.append(QStringLiteral("$PZRQNI,%1,%2,%3")
                        .arg(device.Address)
                        .arg(deviceInstance)
                        .arg(systemInstance));
        name = N2KNameWithInstances(name, deviceInstance, systemInstance);
    }
    if (newAddress)
        sent.append(QStringLiteral("$PZRQNC,C,%1,%2").arg(HexText(name, 16)).arg(sourceAddress));
    for (const QString& text : sent)
        Send(text);
    return sent;
}
