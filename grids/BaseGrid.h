#pragma once

#include <QHeaderView>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>

class IUser;
class TGridModel;
class TBaseGrid;

// The header row: group captions on the upper line, spanning their columns, column captions on
// the lower one, grey on button face.
class TGridHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit TGridHeader(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// Draws every cell of a grid: row numbers, check-box images, text, status colours; makes the
// in-place editor and takes its text over only on Enter, Up or Down.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TGridDelegate(TBaseGrid& grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    // Leaving the editor any other way keeps the record as it was.
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TBaseGrid& grid;
};

// A grid of one table of the configuration model, with check-box cells and the tab's Delete
// button, which is enabled only while the row number of a record is the current cell.
class TBaseGrid : public QTableView {
    Q_OBJECT

public:
    TBaseGrid(IUser& user, QWidget* parent);

    void SetModel(TGridModel* model);
    TGridModel* Model() const { return records; }
    // The tab's Delete button; may stay unset.
    void SetDeleteButton(QPushButton* button);
    QPushButton* DeleteButton() const { return deleteButton; }

    // The configuration model's table changed: rows again, current cell in column 1.
    void UpdateRows();
    // Removes the record of the current row; nothing without a current record.
    void Delete();

    const QPixmap& CheckImage(bool checked) const { return checked ? bmCheck : bmUnCheck; }
    // Text centred in the column that starts at x.
    static void DrawCentered(QPainter& painter, int x, int y, int width, const QString& text);

    // The editor's text for its cell: stored, or refused with a message. True when stored.
    bool CommitEdit(const QModelIndex& index, const QString& text);
    // Editors of a subclass: nullptr for the delegate's line editor.
    virtual QWidget* CreateEditor(QWidget* parent, const QModelIndex& index);
    // A line editor's input rules for a column: the longest text and what may be typed.
    virtual void SetupLineEditor(class QLineEdit* editor, int column) = 0;
    // Columns drawn in the selection colours while they hold the current cell.
    virtual bool HighlightsSelection(int column) const = 0;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // The subclass's reaction to the newly current cell.
    virtual void CellSelected(const QModelIndex& current);
    void UpdateDeleteButton();
    // Sets widths from the model's columns and the width of the whole grid.
    void SizeToColumns();

    IUser& user;

private:
    TGridModel* records = nullptr;
    QPointer<QPushButton> deleteButton;
    QPixmap bmCheck;
    QPixmap bmUnCheck;
};
