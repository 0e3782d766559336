#include "grids/RouteModel.h"

#include "config/MuxConfig.h"
#include "n2k/N2K.h"
#include "nmea/Numbers.h"

namespace {

const QList<TGridColumn> RouteColumns{
    {17, nullptr, 0, ""},        {16, "Inputs", 10, "1"},      {16, nullptr, 0, "2"},
    {16, nullptr, 0, "3"},       {16, nullptr, 0, "4"},        {16, nullptr, 0, "5"},
    {16, nullptr, 0, "6"},       {16, nullptr, 0, "7"},        {16, nullptr, 0, "8"},
    {16, nullptr, 0, "C"},       {16, nullptr, 0, "H"},        {16, "NMEA 2000 Sources", 2, "N"},
    {120, nullptr, 0, "Device"}, {55, nullptr, 0, "Sentence"}, {21, nullptr, 0, "Div"},
    {16, "Outputs", 6, "1"},     {16, nullptr, 0, "2"},        {16, nullptr, 0, "3"},
    {16, nullptr, 0, "4"},       {16, nullptr, 0, "ST"},       {16, nullptr, 0, "H"},
};

} // namespace

QString CheckRouteSentence(const QString& text) {
    bool valid = text.size() == RouteSentenceLength;
    for (const QChar c : text)
        valid = valid && c.unicode() < 128 && c.isLetterOrNumber();
    if (valid)
        return {};
    return QStringLiteral("'%1' is not a valid sentence address: it takes five letters or digits, "
                          "as GPRMC")
        .arg(text);
}

TRouteModel::TRouteModel(TMuxConfig& aConfig, const TN2KDeviceList* aDevices, QObject* parent)
    : TGridModel(aConfig, parent)
    , devices(aDevices) {
    columns = RouteColumns;
    if (devices) {
        // Names resolve as the device list learns the devices.
        connect(devices, &TN2KDeviceList::Changed, this, [this] {
            if (RecordCount() > 0)
                emit dataChanged(index(0, rcDevice), index(RecordCount() - 1, rcDevice));
        });
    }
}

int TRouteModel::RecordCount() const {
    return int(config.Routes.size());
}

void TRouteModel::RemoveRecord(int row) {
    config.Routes.removeAt(row);
}

int TRouteModel::InputBit(int column) {
    if (column >= rcIn1 && column <= rcHost)
        return column - rcIn1;
    if (column == rcN2K)
        return 15;
    return -1;
}

int TRouteModel::OutputBit(int column) {
    if (column >= rcOut1 && column <= rcOut4)
        return column - rcOut1;
    if (column == rcOutST)
        return 4;
    if (column == rcOutHost)
        return 6;
    return -1;
}

bool TRouteModel::Blank(int column) const {
    return (column == rcOut4 && !(flags_ & rfOut4)) ||
           (column == rcOutST && !(flags_ & rfSeaTalkIn1));
}

void TRouteModel::SetFlags(quint8 flags) {
    if (flags == flags_)
        return;
    flags_ = flags;
    emit headerDataChanged(Qt::Horizontal, rcIn1, rcOutST);
    if (RecordCount() > 0)
        emit dataChanged(index(0, rcOut4), index(RecordCount() - 1, rcOutST));
}

QString TRouteModel::DeviceText(int row, bool* unknown) const {
    const TRoute& route = config.Routes.at(row);
    *unknown = false;
    if (route.SourceName == 0)
        return {};
    const TN2KDevice* device = devices ? devices->FindByName(route.SourceName) : nullptr;
    if (!device) {
        *unknown = true;
        return QStringLiteral("???");
    }
    return device->ModelID;
}

QVariant TRouteModel::data(const QModelIndex& index, int role) const {
    if (!ValidCell(index))
        return {};
    const int column = index.column();
    const TRoute& route = config.Routes.at(index.row());
    if (role == Qt::CheckStateRole) {
        const int in = InputBit(column);
        const int out = OutputBit(column);
        if (in < 0 && (out < 0 || Blank(column)))
            return {};
        const bool set = in >= 0 ? (route.Inputs >> in) & 1 : (route.Outputs >> out) & 1;
        return set ? Qt::Checked : Qt::Unchecked;
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (column) {
        case rcDevice: {
            bool unknown = false;
            return role == Qt::DisplayRole ? QVariant(DeviceText(index.row(), &unknown))
                                           : QVariant();
        }
        case rcSentence:
            return route.Sentence;
        case rcDivisor:
            return route.Divisor == 0 ? QString() : QString::number(route.Divisor);
        default:
            return {};
        }
    }
    if (role == grUnknown && column == rcDevice) {
        bool unknown = false;
        DeviceText(index.row(), &unknown);
        return unknown;
    }
    if (role == Qt::ToolTipRole && column == rcDevice) {
        // The hint: the device's model ID, nothing for no device or one not found.
        bool unknown = false;
        const QString text = DeviceText(index.row(), &unknown);
        return unknown ? QString() : text;
    }
    return {};
}

QVariant TRouteModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section == rcIn1 && (flags_ & rfSeaTalkIn1))
            return QStringLiteral("ST");
        if (role == grActive && (section == rcOut4 || section == rcOutST))
            return !Blank(section);
    }
    return TGridModel::headerData(section, orientation, role);
}

bool TRouteModel::Editable(int column) const {
    return column == rcSentence || column == rcDivisor;
}

bool TRouteModel::Click(const QModelIndex& index) {
    if (!ValidCell(index))
        return false;
    TRoute& route = config.Routes[index.row()];
    const int in = InputBit(index.column());
    const int out = OutputBit(index.column());
    if (in >= 0) {
        route.Inputs ^= quint16(1u << in);
        // A route that is no longer fed by NMEA 2000 has no source device.
        if (!(route.Inputs & RouteFromN2K)) {
            route.SourceName = 0;
            route.SourceAddr = NoSourceAddress;
        }
    } else if (out >= 0) {
        // Blank columns toggle too: the bit is kept for when the output comes back.
        route.Outputs ^= quint16(1u << out);
    } else {
        return false;
    }
    RowChanged(index.row());
    return true;
}

bool TRouteModel::DeleteKey(const QModelIndex& index) {
    if (!ValidCell(index))
        return false;
    TRoute& route = config.Routes[index.row()];
    switch (index.column()) {
    case rcDevice:
        route.SourceName = 0;
        route.SourceAddr = NoSourceAddress;
        break;
    case rcDivisor:
        route.Divisor = 0;
        break;
    default:
        return false;
    }
    RowChanged(index.row());
    return true;
}

bool TRouteModel::Add() {
    return config.AddRoute(QString(), 0, 0, 0, 0, 0) == 0;
}

quint64 TRouteModel::SourceName(int row) const {
    return row >= 0 && row < RecordCount() ? config.Routes.at(row).SourceName : 0;
}

void TRouteModel::SetSource(int row, quint8 address, quint64 name) {
    if (row < 0 || row >= RecordCount())
        return;
    TRoute& route = config.Routes[row];
    route.SourceAddr = address;
    route.SourceName = name;
    route.Inputs |= RouteFromN2K;
    RowChanged(row);
}

QString TRouteModel::StoreText(int row, int column, const QString& text) {
    TRoute& route = config.Routes[row];
    if (column == rcSentence) {
        const QString sentence = text.toUpper();
        const QString refusal = CheckRouteSentence(sentence);
        if (!refusal.isEmpty())
            return refusal;
        route.Sentence = sentence;
        return {};
    }
    if (column == rcDivisor) {
        // The editor takes two digits; what is no number is no divisor.
        const std::optional<quint64> value = ParseUnsigned(text.trimmed());
        route.Divisor = value && *value <= 255 ? quint8(*value) : 0;
        return {};
    }
    return {};
}
