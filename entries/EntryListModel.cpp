#include "entries/EntryListModel.h"

#include "common/Failure.h"

EntryListModel::EntryListModel(QObject* parent) : QAbstractTableModel(parent) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headers_.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return QVariant();
    // Rows give no tooltip of their own: the list's tooltip shows over them too.
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return QVariant();
    const Entry& e = rows_[size_t(index.row())];
    const QString& text = index.column() == 0 ? e.label : e.amount;
    // A screen reader reads a cell with its column's name: "Number (Value): 25000".
    if (role == Qt::AccessibleTextRole && index.column() < headers_.size())
        return headers_[index.column()] + ": " + text;
    return text;
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headers_.size())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool EntryListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                   int role) {
    if (orientation != Qt::Horizontal || role != Qt::EditRole || section < 0 ||
        section >= headers_.size())
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void EntryListModel::addColumn(const QString& header) {
    const int column = int(headers_.size());
    beginInsertColumns(QModelIndex(), column, column);
    headers_.append(header);
    endInsertColumns();
}

EntryList EntryListModel::entries() const {
    EntryList list;
    list.reserve(qsizetype(rows_.size()));
    for (const Entry& e : rows_) list.append(e);
    return list;
}

int EntryListModel::append(const QString& label) {
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back({label, QString("")});
    endInsertRows();
    return row;
}

void EntryListModel::appendAll(const EntryList& entries) {
    if (entries.isEmpty()) return;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    rows_.insert(rows_.end(), entries.begin(), entries.end());
    endInsertRows();
}

void EntryListModel::checkRow(int row) const {
    if (row < 0 || row >= count())
        throw common::Failure(
            QString("There is no entry at position %1 of the list.").arg(row + 1));
}

void EntryListModel::setLabel(int row, const QString& label) {
    checkRow(row);
    rows_[size_t(row)].label = label;
    emit dataChanged(index(row, 0), index(row, 0));
}

void EntryListModel::setAmount(int row, const QString& amount) {
    checkRow(row);
    rows_[size_t(row)].amount = amount;
    emit dataChanged(index(row, 1), index(row, 1));
}

void EntryListModel::remove(int row) {
    checkRow(row);
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void EntryListModel::clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}
