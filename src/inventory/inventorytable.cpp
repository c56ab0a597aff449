#include "inventory/inventorytable.h"

#include "inventory/fieldconversion.h"

#include <stdexcept>

namespace tessivane {

namespace {

constexpr const char* kNoCurrentRow = "Either BOF or EOF is True, or the current record has been "
                                      "deleted. Requested operation requires a current record.";

[[noreturn]] void fail(const QString& sentence)
{
    throw std::runtime_error(sentence.toStdString());
}

} // namespace

InventoryTable::InventoryTable(QObject* parent)
    : QObject(parent)
{ }

InventoryTable::~InventoryTable()
{
    emit aboutToBeDestroyed();
}

void InventoryTable::AppendField(const FieldDef& def)
{
    if (mOpen)
        fail(QStringLiteral("Fields cannot be added to the inventory table once it is open."));
    if (def.name == nullptr || *def.name == '\0' || def.size < 0)
        fail(QStringLiteral("The field definition is not valid."));
    for (const FieldDef& field : mFields) {
        if (qstrcmp(field.name, def.name) == 0)
            fail(QStringLiteral("The inventory table already has a field \"%1\".")
                     .arg(QString::fromUtf8(def.name)));
    }
    emit fieldsAboutToChange();
    mFields.append(def);
    emit fieldsChanged();
}

void InventoryTable::SetCursorType(int type)
{
    if (mOpen)
        fail(QStringLiteral("The cursor type cannot be changed while the table is open."));
    if (type < 0 || type > 3)
        fail(QStringLiteral("%1 is not a cursor type (0 to 3).").arg(type));
    mCursorType = type;
}

void InventoryTable::Open()
{
    if (mOpen)
        fail(QStringLiteral("The inventory table is already open."));
    mOpen = true;
    setPosition(-1, false);
}

void InventoryTable::AddNew()
{
    requireOpen();
    commitPending();
    const int row = RecordCount();
    emit rowAboutToBeAppended(row);
    mRows.append(Row {mNextBookmark++, QVector<QVariant>(FieldCount())});
    if (!mRowIndexDirty)
        mRowOfBookmark.insert(mRows.last().bookmark, row);
    mPendingAdd = true;
    emit rowAppended(row);
    setPosition(row, false);
}

void InventoryTable::Update()
{
    requireCurrent();
    commitPending();
}

void InventoryTable::Delete()
{
    const int row = requireCurrent();
    commitPending();
    emit rowAboutToBeRemoved(row);
    mRows.remove(row);
    mRowIndexDirty = true;
    emit rowRemoved(row);
    setPosition(row, true);
}

void InventoryTable::MoveFirst()
{
    requireOpen();
    if (mRows.isEmpty())
        fail(QString::fromLatin1(kNoCurrentRow));
    commitPending();
    setPosition(0, false);
}

void InventoryTable::MoveNext()
{
    requireOpen();
    if (IsEOF())
        fail(QString::fromLatin1(kNoCurrentRow));
    commitPending();
    setPosition(mOnDeleted ? mPosition : mPosition + 1, false);
}

void InventoryTable::Move(int n)
{
    requireOpen();
    if (n == 0) {
        requireCurrent();
        return;
    }
    if ((n > 0 && IsEOF()) || (n < 0 && IsBOF()))
        fail(QString::fromLatin1(kNoCurrentRow));
    commitPending();
    // From a deleted row the rows around it are one step closer going forward.
    qint64 target = qint64(mPosition) + n - ((mOnDeleted && n > 0) ? 1 : 0);
    if (target < 0)
        target = -1;
    if (target > RecordCount())
        target = RecordCount();
    setPosition(int(target), false);
}

bool InventoryTable::IsBOF() const
{
    return !mOnDeleted && (mPosition < 0 || mRows.isEmpty());
}

bool InventoryTable::IsEOF() const
{
    return !mOnDeleted && (mPosition >= RecordCount() || mRows.isEmpty());
}

const FieldDef& InventoryTable::Field(int field) const
{
    checkField(field);
    return mFields[field];
}

QVariant InventoryTable::Value(int field) const
{
    checkField(field);
    return mRows[requireCurrent()].values[field];
}

void InventoryTable::SetValue(int field, const QVariant& value)
{
    checkField(field);
    SetValueAt(requireCurrent(), field, value);
}

InventoryTable::Bookmark InventoryTable::GetBookmark() const
{
    return mRows[requireCurrent()].bookmark;
}

void InventoryTable::SetBookmark(Bookmark bookmark)
{
    requireOpen();
    const int row = RowOf(bookmark);
    if (row < 0)
        fail(QStringLiteral("The bookmark does not refer to a row of the inventory table."));
    SetCurrentRow(row);
}

int InventoryTable::CurrentRow() const
{
    if (!mOpen || mOnDeleted || mPosition < 0 || mPosition >= RecordCount())
        return -1;
    return mPosition;
}

void InventoryTable::SetCurrentRow(int row)
{
    requireOpen();
    checkRow(row);
    commitPending();
    setPosition(row, false);
}

QVariant InventoryTable::ValueAt(int row, int field) const
{
    checkRow(row);
    checkField(field);
    return mRows[row].values[field];
}

QVector<QVariant> InventoryTable::RowValuesAt(int row) const
{
    checkRow(row);
    return mRows[row].values;
}

void InventoryTable::SetValueAt(int row, int field, const QVariant& value)
{
    checkRow(row);
    checkField(field);
    const QVariant stored = convertForField(mFields[field], value);
    QVariant& slot = mRows[row].values[field];
    if (slot.typeId() == stored.typeId() && slot == stored)
        return;
    slot = stored;
    emit valueChanged(row, field);
}

InventoryTable::Bookmark InventoryTable::BookmarkAt(int row) const
{
    checkRow(row);
    return mRows[row].bookmark;
}

int InventoryTable::RowOf(Bookmark bookmark) const
{
    if (mRowIndexDirty) {
        mRowOfBookmark.clear();
        mRowOfBookmark.reserve(mRows.size());
        for (int row = 0; row < mRows.size(); ++row)
            mRowOfBookmark.insert(mRows[row].bookmark, row);
        mRowIndexDirty = false;
    }
    return mRowOfBookmark.value(bookmark, -1);
}

QVector<QVector<QVariant>> InventoryTable::AllRowValues() const
{
    QVector<QVector<QVariant>> rows;
    rows.reserve(mRows.size());
    for (const Row& row : mRows)
        rows.append(row.values);
    return rows;
}

void InventoryTable::SpliceRows(int first, int count, const QVector<QVector<QVariant>>& rows)
{
    requireOpen();
    if (first < 0 || count < 0 || first + count > RecordCount())
        fail(QStringLiteral("The inventory table has no rows %1 to %2.")
                 .arg(first + 1)
                 .arg(first + count));
    for (const QVector<QVariant>& values : rows) {
        if (values.size() != FieldCount())
            fail(QStringLiteral("A row of %1 values does not fit the inventory table.")
                     .arg(values.size()));
    }
    commitPending();
    const int shared = qMin(count, int(rows.size()));
    for (int i = 0; i < shared; ++i)
        mRows[first + i].values = rows[i];
    if (shared > 0)
        emit rowsRewritten(first, first + shared - 1);
    if (count > shared) {
        emit rowsAboutToBeRemoved(first + shared, first + count - 1);
        mRows.remove(first + shared, count - shared);
        mRowIndexDirty = true;
        emit rowsRemoved();
    } else if (rows.size() > shared) {
        const int at = first + shared;
        const int added = int(rows.size()) - shared;
        emit rowsAboutToBeInserted(at, at + added - 1);
        mRows.insert(at, added, Row());
        for (int i = 0; i < added; ++i)
            mRows[at + i] = Row {mNextBookmark++, rows[shared + i]};
        mRowIndexDirty = true;
        emit rowsInserted();
    }
    const int position = mRows.isEmpty() ? -1 : qBound(0, mPosition, RecordCount() - 1);
    setPosition(position, false);
}

void InventoryTable::requireOpen() const
{
    if (!mOpen)
        fail(QStringLiteral("The operation is not allowed while the inventory table is closed."));
}

int InventoryTable::requireCurrent() const
{
    requireOpen();
    const int row = CurrentRow();
    if (row < 0)
        fail(QString::fromLatin1(kNoCurrentRow));
    return row;
}

void InventoryTable::checkField(int field) const
{
    if (field < 0 || field >= FieldCount())
        fail(QStringLiteral("The inventory table has no field %1.").arg(field));
}

void InventoryTable::checkRow(int row) const
{
    if (row < 0 || row >= RecordCount())
        fail(QStringLiteral("The inventory table has no row %1.").arg(row + 1));
}

void InventoryTable::commitPending()
{
    mPendingAdd = false;
}

void InventoryTable::setPosition(int position, bool onDeleted)
{
    mPosition = position;
    mOnDeleted = onDeleted;
    emit currentRowChanged();
}

} // namespace tessivane
