#pragma once

#include "grids/GridModel.h"

class TN2KDeviceList;

// Columns of the route grid.
enum TRouteColumn : int {
    rcRow = 0,
    rcIn1 = 1, // rcIn1..rcIn1+7 inputs 1 to 8, then conversions and host
    rcConv = 9,
    rcHost = 10,
    rcN2K = 11,
    rcDevice = 12,
    rcSentence = 13,
    rcDivisor = 14,
    rcOut1 = 15, // rcOut1..rcOut1+3 outputs 1 to 4
    rcOut4 = 18,
    rcOutST = 19,
    rcOutHost = 20,
    rcCount = 21,
};

// Bits of the route grid's Flags.
inline constexpr quint8 rfSeaTalkIn1 = 1; // input 1 carries SeaTalk: "ST" caption, column 19 on
inline constexpr quint8 rfOut4 = 4;       // output 4 is free for NMEA (column 18 on)

inline const QString MsgRoutingTableFull = QStringLiteral("Routing table is full");

// The routing table as rows of the route grid. Input and output columns are check boxes of the
// route's bits; the device column names the NMEA 2000 source by the model ID that the device
// list holds for its NAME.
class TRouteModel : public TGridModel {
    Q_OBJECT

public:
    // devices may be null: a source device is then never found.
    TRouteModel(TMuxConfig& config, const TN2KDeviceList* devices, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    quint8 Flags() const { return flags_; }
    // Redraws only when the flags change.
    void SetFlags(quint8 flags);

    bool Editable(int column) const override;
    bool Click(const QModelIndex& index) override;
    bool DeleteKey(const QModelIndex& index) override;

    // "Add": an empty rule; false when the table is full (MsgRoutingTableFull).
    bool Add();
    quint64 SourceName(int row) const;
    // The route takes a device chosen from the device list as its source.
    void SetSource(int row, quint8 address, quint64 name);
    // The bit a check-box column stands for, in Inputs or Outputs; -1 for other columns.
    static int InputBit(int column);
    static int OutputBit(int column);
    // A check-box column that is drawn blank (but still toggles) under the current flags.
    bool Blank(int column) const;

protected:
    int RecordCount() const override;
    void RemoveRecord(int row) override;
    QString StoreText(int row, int column, const QString& text) override;

private:
    // The model ID of the row's source device; empty for none, nullopt-like "unknown" flagged.
    QString DeviceText(int row, bool* unknown) const;

    const TN2KDeviceList* devices;
    quint8 flags_ = rfOut4;
};

// A sentence address cell takes exactly five letters or digits; anything else would not come
// back from the multiplexer or would break the command line. Empty when fine, else the message.
QString CheckRouteSentence(const QString& text);
