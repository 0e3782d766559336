#pragma once

#include "grids/GridModel.h"

#include <QStringList>

// Columns of the Modbus grid.
enum TModbusColumn : int {
    mcRow = 0,
    mcSlave = 1,
    mcRegister = 2,
    mcRegType = 3,
    mcDataType = 4,
    mcReverse = 5,
    mcParamP = 6,
    mcXdrType = 7,
    mcXdrID = 8,
    mcXdrUnit = 9,
    mcStatus = 10,
    mcCount = 11,
};

inline const QString MsgModbusTableFull = QStringLiteral("Modbus table is full");

// The choices of the two lists and the letters they stand for, entry n for letter n.
const QStringList& RegTypeItems();
const QStringList& DataTypeItems();
inline constexpr char RegTypeLetters[] = "HI";
inline constexpr char DataTypeLetters[] = "IULF";

// The status cell: its text and its background as 0xRRGGBB.
QString ModbusStatusText(quint8 status);
quint32 ModbusStatusColour(quint8 status);

// A transducer ID travels as a field of the command and as a value of the file: printable
// ASCII without the characters that delimit sentences and fields. Empty when fine, else the
// message.
QString CheckTransducerID(const QString& text);

// The Modbus table as rows of the Modbus grid.
class TModbusModel : public TGridModel {
    Q_OBJECT

public:
    explicit TModbusModel(TMuxConfig& config, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    bool Editable(int column) const override;
    bool Click(const QModelIndex& index) override;
    bool DeleteKey(const QModelIndex& index) override;

    // "Add": a new entry (slave 0, register 0, H, I, status unknown); false when the table is
    // full (MsgModbusTableFull).
    bool Add();
    // A choice of the register type or data type list: the letter of the entry.
    void ChooseListEntry(int row, int column, int entry);
    // The list entry of the record's letter; -1 when the letter is not among the choices.
    int ListEntry(int row, int column) const;
    // The Reverse box is shown (and clickable) for long and floating-point values.
    bool ReverseShown(int row) const;

protected:
    int RecordCount() const override;
    void RemoveRecord(int row) override;
    QString StoreText(int row, int column, const QString& text) override;
};
