#include "grids/BaseGrid.h"

#include "grids/GridModel.h"
#include "session/User.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

namespace {

const QColor Grey(128, 128, 128);
const QColor Silver(192, 192, 192);
constexpr int HeaderHeight = 32;
constexpr int RowHeight = 16;

QFont SmallFont(const QFont& base) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    (void)base;
    return font;
}

} // namespace

// --- header ----------------------------------------------------------------------------------

TGridHeader::TGridHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
    setMinimumSectionSize(4);
    setFixedHeight(HeaderHeight);
}

QSize TGridHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(HeaderHeight);
    return size;
}

void TGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    painter->fillRect(rect, palette().color(QPalette::Button));
    painter->setFont(SmallFont(font()));
    const QVariant active = model()->headerData(logicalIndex, Qt::Horizontal, grActive);
    painter->setPen(active.isValid() && !active.toBool() ? Silver : Grey);
    const QString caption = model()->headerData(logicalIndex, Qt::Horizontal).toString();
    const QRect lower(rect.left(), rect.top() + 16, rect.width(), 16);
    painter->drawText(lower, Qt::AlignHCenter | Qt::AlignTop, caption);
    painter->setPen(Grey);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
}

void TGridHeader::paintEvent(QPaintEvent* event) {
    QHeaderView::paintEvent(event);
    // Group captions span their columns: drawn over the sections on the upper line.
    QPainter painter(viewport());
    painter.setFont(SmallFont(font()));
    for (int section = 0; section < count(); ++section) {
        const QVariant group = model()->headerData(section, Qt::Horizontal, grGroup);
        if (!group.isValid())
            continue;
        const int span = model()->headerData(section, Qt::Horizontal, grGroupSpan).toInt();
        const int left = sectionViewportPosition(section);
        int width = 0;
        for (int i = section; i < section + span && i < count(); ++i)
            width += sectionSize(i);
        const QRect upper(left, 0, width, 16);
        painter.fillRect(upper.adjusted(1, 1, -1, 0), palette().color(QPalette::Button));
        painter.setPen(Grey);
        painter.drawText(upper.adjusted(0, 1, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                         group.toString());
        painter.drawLine(upper.bottomLeft(), upper.bottomRight());
    }
}

// --- delegate --------------------------------------------------------------------------------

TGridDelegate::TGridDelegate(TBaseGrid& aGrid)
    : QStyledItemDelegate(&aGrid)
    , grid(aGrid) {}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    painter->save();
    const QRect cell = option.rect;
    const QPalette& palette = grid.palette();
    const bool current = grid.currentIndex() == index;
    const bool highlighted = current && grid.HighlightsSelection(index.column());
    QString text = index.data(Qt::DisplayRole).toString();

    if (index.column() == 0) {
        text = index.model()->headerData(index.row(), Qt::Vertical).toString();
        // The row number: grey on button face in a grey frame.
        painter->fillRect(cell, highlighted ? palette.color(QPalette::Highlight)
                                            : palette.color(QPalette::Button));
        painter->setPen(Grey);
        painter->drawRect(cell.adjusted(0, 0, -1, -1));
        painter->setFont(SmallFont(grid.font()));
        painter->setPen(highlighted ? palette.color(QPalette::HighlightedText) : Grey);
        painter->drawText(cell.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
        painter->restore();
        return;
    }

    QColor background = Qt::white;
    QColor foreground = palette.color(QPalette::WindowText);
    const QVariant colour = index.data(grStatusColour);
    if (colour.isValid())
        background = QColor::fromRgb(QRgb(colour.toUInt() | 0xFF000000u));
    if (index.data(grUnknown).toBool())
        background = palette.color(QPalette::Button);
    if (highlighted) {
        background = palette.color(QPalette::Highlight);
        foreground = palette.color(QPalette::HighlightedText);
    }
    painter->fillRect(cell, background);
    painter->setPen(Silver);
    painter->drawLine(cell.topRight(), cell.bottomRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());

    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid()) {
        painter->drawPixmap(cell.topLeft(), grid.CheckImage(check.toInt() == int(Qt::Checked)));
    } else if (!text.isEmpty()) {
        painter->setPen(foreground);
        const QVariant align = index.data(Qt::TextAlignmentRole);
        if (align.isValid()) {
            painter->setFont(SmallFont(grid.font()));
            TBaseGrid::DrawCentered(*painter, cell.left(), cell.top() + 1, cell.width(), text);
        } else {
            painter->setFont(grid.font());
            const QRect inner = cell.adjusted(2, 1, -2, 0);
            painter->drawText(
                inner, Qt::AlignLeft | Qt::AlignTop,
                painter->fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
        }
    }
    painter->restore();
}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                     const QModelIndex& index) const {
    QWidget* editor = grid.CreateEditor(parent, index);
    if (!editor) {
        auto* line = new QLineEdit(parent);
        line->setFrame(false);
        line->setFont(grid.font());
        grid.SetupLineEditor(line, index.column());
        editor = line;
    }
    editor->setProperty("gridRow", index.row());
    editor->setProperty("gridColumn", index.column());
    return editor;
}

void TGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(grid.Model()->EditText(index));
        return;
    }
    // Other editors are made with the record's value.
}

void TGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setGeometry(option.rect);
        return;
    }
    // A list lies over its cell, one pixel left of and above it, at its own width.
    (void)index;
    editor->setGeometry(QRect(option.rect.topLeft() - QPoint(1, 1),
                              QSize(editor->width(), editor->sizeHint().height())));
}

bool TGridDelegate::eventFilter(QObject* watched, QEvent* event) {
    auto* line = qobject_cast<QLineEdit*>(watched);
    if (!line)
        return QStyledItemDelegate::eventFilter(watched, event);
    const QModelIndex index = grid.Model()->index(line->property("gridRow").toInt(),
                                                  line->property("gridColumn").toInt());
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Up ||
            key == Qt::Key_Down) {
            if (!grid.CommitEdit(index, line->text())) {
                // Refused: the editor shows the record's value again.
                line->setText(grid.Model()->EditText(index));
                return true;
            }
            emit closeEditor(line, QAbstractItemDelegate::NoHint);
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                const int row = index.row() + (key == Qt::Key_Up ? -1 : 1);
                if (row >= 0 && row < grid.Model()->rowCount())
                    grid.setCurrentIndex(grid.Model()->index(row, index.column()));
            }
            return true;
        }
        if (key == Qt::Key_Escape) {
            emit closeEditor(line, QAbstractItemDelegate::RevertModelCache);
            return true;
        }
        return false;
    }
    default:
        return QStyledItemDelegate::eventFilter(watched, event);
    }
}

// --- grid ------------------------------------------------------------------------------------

TBaseGrid::TBaseGrid(IUser& aUser, QWidget* parent)
    : QTableView(parent)
    , user(aUser)
    , bmCheck(QStringLiteral(":/basegrid_checked.png"))
    , bmUnCheck(QStringLiteral(":/basegrid_unchecked.png")) {
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPixelSize(13);
    setFont(courier);
    setHorizontalHeader(new TGridHeader(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    verticalHeader()->setMinimumSectionSize(RowHeight);
    horizontalHeader()->setDefaultSectionSize(16);
    setShowGrid(false);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // Typing starts the editor at once: a click on the current cell would hold typed keys back
    // until the double-click time has passed.
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::DoubleClicked);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabKeyNavigation(false);
    setItemDelegate(new TGridDelegate(*this));
    setGeometry(8, 8, 80, 80);
}

void TBaseGrid::SetModel(TGridModel* model) {
    records = model;
    setModel(model);
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateDeleteButton(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { UpdateDeleteButton(); });
    SizeToColumns();
}

void TBaseGrid::SizeToColumns() {
    if (!records)
        return;
    int width = 0;
    for (int c = 0; c < records->Columns().size(); ++c) {
        setColumnWidth(c, records->Columns().at(c).Width);
        width += records->Columns().at(c).Width;
    }
    setFixedWidth(width + 21);
}

void TBaseGrid::SetDeleteButton(QPushButton* button) {
    deleteButton = button;
    UpdateDeleteButton();
}

void TBaseGrid::UpdateDeleteButton() {
    if (!deleteButton)
        return;
    const QModelIndex current = currentIndex();
    deleteButton->setEnabled(records && current.isValid() && current.column() == 0 &&
                             current.row() < records->rowCount());
}

void TBaseGrid::UpdateRows() {
    if (!records)
        return;
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    records->UpdateRows();
    const int rows = records->rowCount();
    if (rows > 0)
        setCurrentIndex(records->index(std::min(row, rows - 1), 1));
    UpdateDeleteButton();
    viewport()->update();
}

void TBaseGrid::Delete() {
    if (!records)
        return;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    records->Delete(current.row());
    UpdateDeleteButton();
    viewport()->update();
}

void TBaseGrid::DrawCentered(QPainter& painter, int x, int y, int width, const QString& text) {
    const int textWidth = painter.fontMetrics().horizontalAdvance(text);
    const int left = x + qRound(width / 2.0 - textWidth / 2.0);
    painter.drawText(QPoint(left, y + painter.fontMetrics().ascent()), text);
}

bool TBaseGrid::CommitEdit(const QModelIndex& index, const QString& text) {
    if (!records)
        return false;
    const QString refusal = records->CommitText(index, text);
    if (refusal.isEmpty())
        return true;
    user.ShowMessage(refusal);
    return false;
}

QWidget* TBaseGrid::CreateEditor(QWidget*, const QModelIndex&) {
    return nullptr;
}

void TBaseGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    UpdateDeleteButton();
    // The old and new current cells change their colours.
    viewport()->update();
    if (current.isValid())
        CellSelected(current);
}

void TBaseGrid::CellSelected(const QModelIndex&) {}

void TBaseGrid::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    if (records && records->rowCount() > 0 && current.isValid() && state() != EditingState) {
        if (event->key() == Qt::Key_Delete) {
            if (current.column() == 0)
                Delete();
            else
                records->DeleteKey(current);
            viewport()->update();
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            viewport()->update();
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void TBaseGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !records)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() >= 1 && currentIndex() == index)
        records->Click(index);
}
