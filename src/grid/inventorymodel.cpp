#include "grid/inventorymodel.h"

#include "grid/dataformat.h"
#include "grid/datagrid.h"
#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"

#include <QLocale>

#include <exception>

namespace tessivane {

InventoryModel::InventoryModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void InventoryModel::setTable(InventoryTable* table)
{
    beginResetModel();
    if (mTable)
        disconnect(mTable, nullptr, this, nullptr);
    mTable = table;
    mFormats.clear();
    if (mTable)
        connectTable();
    endResetModel();
}

void InventoryModel::connectTable()
{
    InventoryTable* table = mTable;
    connect(table, &InventoryTable::fieldsAboutToChange, this, [this] { beginResetModel(); });
    connect(table, &InventoryTable::fieldsChanged, this, [this] { endResetModel(); });
    connect(table, &InventoryTable::rowAboutToBeAppended, this,
        [this](int row) { beginInsertRows(QModelIndex(), row, row); });
    connect(table, &InventoryTable::rowAppended, this, [this] { endInsertRows(); });
    connect(table, &InventoryTable::rowAboutToBeRemoved, this,
        [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
    connect(table, &InventoryTable::rowRemoved, this, [this] { endRemoveRows(); });
    connect(table, &InventoryTable::valueChanged, this, [this](int row, int field) {
        const QModelIndex cell = index(row, field);
        emit dataChanged(cell, cell);
    });
    connect(table, &InventoryTable::rowsAboutToBeInserted, this,
        [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(table, &InventoryTable::rowsInserted, this, [this] { endInsertRows(); });
    connect(table, &InventoryTable::rowsAboutToBeRemoved, this,
        [this](int first, int last) { beginRemoveRows(QModelIndex(), first, last); });
    connect(table, &InventoryTable::rowsRemoved, this, [this] { endRemoveRows(); });
    connect(table, &InventoryTable::rowsRewritten, this, [this](int first, int last) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    });
    connect(table, &InventoryTable::aboutToBeDestroyed, this, [this] { forgetTable(); });
}

void InventoryModel::forgetTable()
{
    beginResetModel();
    if (mTable)
        disconnect(mTable, nullptr, this, nullptr);
    mTable = nullptr;
    mFormats.clear();
    endResetModel();
}

void InventoryModel::setColumnFormat(int column, DataFormat* format)
{
    if (column < 0 || column >= columnCount())
        return;
    if (mFormats.size() < columnCount())
        mFormats.resize(columnCount());
    mFormats[column] = format;
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}

DataFormat* InventoryModel::columnFormat(int column) const
{
    return column >= 0 && column < mFormats.size() ? mFormats[column].data() : nullptr;
}

int InventoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !mTable ? 0 : mTable->RecordCount();
}

int InventoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !mTable ? 0 : mTable->FieldCount();
}

QVariant InventoryModel::data(const QModelIndex& index, int role) const
{
    if (!mTable || !index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const FieldDef& field = mTable->Field(index.column());
    switch (role) {
    case Qt::AccessibleDescriptionRole:
        // The column headings are the window's labels: a screen reader learns a cell's from here.
        return QStringLiteral("%1, row %2").arg(QString::fromUtf8(field.name)).arg(index.row() + 1);
    case Qt::DisplayRole: {
        const QVariant value = mTable->ValueAt(index.row(), index.column());
        if (DataFormat* format = columnFormat(index.column())) {
            QVariant shown = value;
            try {
                shown = format->FormatValue(value);
            } catch (...) {
                // A failing format handler leaves the stored value to be shown.
            }
            if (shown.typeId() == QMetaType::QString)
                return shown;
            return editText(field, shown);
        }
        return editText(field, value);
    }
    case Qt::EditRole:
        return editText(field, mTable->ValueAt(index.row(), index.column()));
    case Qt::ToolTipRole:
        return DataGrid::HintText();
    case Qt::TextAlignmentRole:
        if (field.type == FieldType::Integer || field.type == FieldType::Currency)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool InventoryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!mTable || !index.isValid() || role != Qt::EditRole || mReadOnly)
        return false;
    try {
        const QVector<QVariant> before = mTable->RowValuesAt(index.row());
        checkEnteredValue(mTable->Field(index.column()), value);
        mTable->SetValueAt(index.row(), index.column(), value);
        emit valueEdited(index.row(), before);
        return true;
    } catch (const std::exception& e) {
        emit valueRefused(QString::fromUtf8(e.what()));
        return false;
    }
}

Qt::ItemFlags InventoryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return mReadOnly ? flags : flags | Qt::ItemIsEditable;
}

QVariant InventoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::AccessibleTextRole) || !mTable)
        return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < columnCount())
        return QString::fromUtf8(mTable->Field(section).name);
    // Row selectors carry no text; a screen reader hears the row's number.
    if (role == Qt::AccessibleTextRole && section >= 0 && section < rowCount())
        return QStringLiteral("Row %1").arg(section + 1);
    return QString();
}

QString InventoryModel::editText(const FieldDef& field, const QVariant& value)
{
    if (!value.isValid())
        return {};
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    switch (field.type) {
    case FieldType::Text:
        return value.toString();
    case FieldType::Integer:
        return locale.toString(value.toInt());
    case FieldType::Currency:
        return locale.toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case FieldType::Date:
        return localeDateText(value.toDateTime());
    }
    return value.toString();
}

} // namespace tessivane
