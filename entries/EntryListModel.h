#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "entries/Entry.h"

// The rows of the main window's list: the one copy of the entry list while the program runs.
// Column 0 is the label, column 1 the amount. Rows keep the order in which they were added.
class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit EntryListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    // Adds a column header ("Label", then "Number (Value)"); the list shows no column before.
    void addColumn(const QString& header);

    int count() const { return int(rows_.size()); }
    const Entry& at(int row) const { return rows_.at(size_t(row)); }
    EntryList entries() const;

    // Appends a row with `label` and an empty amount; returns its position (0-based).
    int append(const QString& label);
    // Appends many rows at once.
    void appendAll(const EntryList& entries);
    // Throws common::Failure when `row` is not a position of the list.
    void setLabel(int row, const QString& label);
    void setAmount(int row, const QString& amount);
    void remove(int row);
    void clear();

  private:
    void checkRow(int row) const;

    std::vector<Entry> rows_;
    QStringList headers_;
};
