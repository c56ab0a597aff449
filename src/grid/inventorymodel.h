#pragma once

#include "inventory/inventorytable.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

namespace tessivane {

class DataFormat;

/// The grid's view of the bound inventory table: one row per table row, one column per field,
/// read and written in place. Every call is constant time in the number of rows.
class InventoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit InventoryModel(QObject* parent = nullptr);

    void setTable(InventoryTable* table);
    InventoryTable* Table() const { return mTable; }

    void setColumnFormat(int column, DataFormat* format);
    DataFormat* columnFormat(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// The text a cell shows when not formatted, and the text its editor starts with.
    static QString editText(const FieldDef& field, const QVariant& value);

    /// While read-only no cell can be edited.
    void setReadOnly(bool readOnly) { mReadOnly = readOnly; }

signals:
    /// The table refused a value the user entered; the message names the column.
    void valueRefused(const QString& message);
    /// The user changed a cell of row; before holds the row as it was.
    void valueEdited(int row, const QVector<QVariant>& before);

private:
    void connectTable();
    void forgetTable();

    QPointer<InventoryTable> mTable;
    QVector<QPointer<DataFormat>> mFormats;
    bool mReadOnly = false;
};

} // namespace tessivane
