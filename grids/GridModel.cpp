#include "grids/GridModel.h"

#include "config/MuxConfig.h"

TGridModel::TGridModel(TMuxConfig& aConfig, QObject* parent)
    : QAbstractTableModel(parent)
    , config(aConfig) {}

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RecordCount();
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns.size());
}

bool TGridModel::ValidCell(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() >= 0 &&
           index.row() < RecordCount() && index.column() >= 0 && index.column() < columns.size();
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && section >= 0 && section < RecordCount())
            return section + 1;
        return {};
    }
    if (section < 0 || section >= columns.size())
        return {};
    const TGridColumn& column = columns.at(section);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(column.Caption);
    case grGroup:
        return column.Group ? QVariant(QString::fromLatin1(column.Group)) : QVariant();
    case grGroupSpan:
        return column.Group ? QVariant(column.GroupSpan) : QVariant();
    case grActive:
        return true;
    default:
        return {};
    }
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const {
    if (!ValidCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (Editable(index.column()))
        result |= Qt::ItemIsEditable;
    return result;
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !ValidCell(index) || !Editable(index.column()))
        return false;
    return CommitText(index, value.toString()).isEmpty();
}

QString TGridModel::CommitText(const QModelIndex& index, const QString& text) {
    if (!ValidCell(index) || !Editable(index.column()))
        return {};
    const QString refusal = StoreText(index.row(), index.column(), text);
    if (refusal.isEmpty())
        RowChanged(index.row());
    return refusal;
}

void TGridModel::UpdateRows() {
    beginResetModel();
    endResetModel();
}

bool TGridModel::Delete(int row) {
    // A row from a missing selection is no record at all.
    if (row < 0 || row >= RecordCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    RemoveRecord(row);
    endRemoveRows();
    // The row numbers below it move up.
    if (row < RecordCount())
        emit headerDataChanged(Qt::Vertical, row, RecordCount() - 1);
    return true;
}

void TGridModel::RowChanged(int row, int first, int last) {
    if (row < 0 || row >= RecordCount())
        return;
    if (last < 0)
        last = int(columns.size()) - 1;
    emit dataChanged(index(row, first), index(row, last));
}

QString InvalidIntegerMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}
