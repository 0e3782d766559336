#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <functional>

class TMuxConfig;

// Roles beyond Qt's own that the grid windows read.
enum TGridRole : int {
    grGroup = Qt::UserRole + 1, // header: the group caption that starts at this column
    grGroupSpan,                // header: how many columns that group caption spans
    grActive,                   // header: false for a column whose caption is drawn silver
    grStatusColour,             // cell: background as 0xRRGGBB (no GUI type in the core)
    grUnknown,                  // cell: a value that cannot be shown ("???" on button face)
};

// A column of a grid: its width in pixels and its two header lines.
struct TGridColumn {
    int Width;
    const char* Group; // nullptr when no group caption starts here
    int GroupSpan;
    const char* Caption;
};

// One table of the configuration model as rows of a grid: row r is record r (Qt's header takes
// the place of the grid's fixed header row). Column 0 shows the row number, which is the
// vertical header's text: it belongs to the position, not to the record. Cells hold text or a
// check state. The model changes records in place; the configuration model's own operations
// (Add, Clear, reports, capture) end in UpdateRows.
//
// Edits arrive as text through CommitText (the in-place editor's Enter, Up or Down); a text
// that the field cannot take is refused with a message for the user and changes nothing.
class TGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TGridModel(TMuxConfig& config, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    const QList<TGridColumn>& Columns() const { return columns; }
    // Whether a cell takes typed text, and the mask that its editor applies as the user types.
    virtual bool Editable(int column) const = 0;
    // The text the editor starts with: the record's value.
    QString EditText(const QModelIndex& index) const {
        return data(index, Qt::EditRole).toString();
    }
    // Stores an edited text; empty on success, else the message for the user (field unchanged).
    QString CommitText(const QModelIndex& index, const QString& text);
    // A left click on the cell (check boxes toggle); true when the record changed.
    virtual bool Click(const QModelIndex& index) = 0;
    // The Delete key on a cell other than the row number; true when the record changed.
    virtual bool DeleteKey(const QModelIndex& index) = 0;

    // The table changed through the configuration model: all rows again.
    void UpdateRows();
    // Removes the record of a row; false (nothing changed) for a row that does not exist.
    bool Delete(int row);

    // Where a record's view needs no more than a redraw after a change in place.
    void RowChanged(int row, int first = 0, int last = -1);

protected:
    virtual int RecordCount() const = 0;
    virtual void RemoveRecord(int row) = 0;
    virtual QString StoreText(int row, int column, const QString& text) = 0;
    bool ValidCell(const QModelIndex& index) const;

    TMuxConfig& config;
    QList<TGridColumn> columns;
};

// "'%1' is not a valid integer value"
QString InvalidIntegerMessage(const QString& text);
