#include "n2k/N2KGrid.h"

#include "n2k/N2K.h"
#include "n2k/N2KView.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

const QColor ProductColumns(224, 240, 248); // manufacturer to load equivalency
const QColor AddressColumns(Qt::white);     // source address and instances
const QColor CellText(Qt::black);
const QColor GridLines(192, 192, 192);
constexpr int ProductColumnCount = 5;

// Paints a cell as the grid wants it: the selection only while the grid shows it, and a
// silver line along the cell's right and bottom edges.
class TN2KCellDelegate : public QStyledItemDelegate {
public:
    explicit TN2KCellDelegate(TN2KGrid& owner)
        : QStyledItemDelegate(&owner)
        , grid(owner) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        cell.state &= ~QStyle::State_HasFocus;
        if (!grid.ShowSelection())
            cell.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, cell, index);
        painter->save();
        painter->setPen(GridLines);
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        if (index.column() == 0)
            painter->drawLine(r.topLeft(), r.bottomLeft());
        painter->restore();
    }

private:
    TN2KGrid& grid;
};

} // namespace

TN2KGrid::TN2KGrid(const TN2KDeviceList& aList, QWidget* parent)
    : QTableWidget(parent)
    , list(aList) {
    setObjectName(QStringLiteral("grdDevices"));
    setAccessibleName(QStringLiteral("NMEA 2000 devices"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    setColumnCount(int(N2KColumns.size()));
    int width = 0;
    QStringList headers;
    for (int i = 0; i < int(N2KColumns.size()); ++i) {
        headers.append(QLatin1StringView(N2KColumns[size_t(i)].Header));
        setColumnWidth(i, N2KColumns[size_t(i)].Width);
        width += N2KColumns[size_t(i)].Width;
    }
    setHorizontalHeaderLabels(headers);

    QHeaderView* header = horizontalHeader();
    header->setFixedHeight(RowHeight);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // White text on the hot-track colour, in grey frames.
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: %1; color: "
                                         "white; border: 1px solid rgb(128, 128, 128); "
                                         "padding-left: 2px; }")
                              .arg(palette().color(QPalette::Link).name()));
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(RowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWordWrap(false);
    setItemDelegate(new TN2KCellDelegate(*this));
    setGeometry(8, 8, width + 21, 212);
}

void TN2KGrid::UpdateRows() {
    const int keep = currentRow();
    setRowCount(list.Count());
    for (int row = 0; row < list.Count(); ++row) {
        const TN2KDevice& device = list.Device(row);
        for (int column = 0; column < columnCount(); ++column) {
            QTableWidgetItem* cell = item(row, column);
            if (!cell) {
                cell = new QTableWidgetItem;
                setItem(row, column, cell);
            }
            cell->setText(N2KCellText(list, device, column));
            cell->setBackground(column < ProductColumnCount ? ProductColumns : AddressColumns);
            // Dark text on the light cells, whatever the desktop's palette: a dark theme's light
            // text would vanish on them.
            cell->setForeground(CellText);
        }
    }
    if (keep >= 0 && keep < rowCount())
        setCurrentCell(keep, 0);
    viewport()->update();
}

const TN2KDevice* TN2KGrid::RowDevice(int row) const {
    return row >= 0 && row < list.Count() ? &list.Device(row) : nullptr;
}

int TN2KGrid::RowOfName(quint64 name) const {
    for (int row = list.Count() - 1; row >= 0; --row) {
        if (list.Device(row).Name == name)
            return row;
    }
    return -1;
}

void TN2KGrid::SetShowSelection(bool show) {
    showSelection = show;
    viewport()->update();
}
