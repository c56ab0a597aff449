#include "grid/listhistory.h"

#include "grid/datagrid.h"

#include <QItemSelectionModel>
#include <QUndoStack>

#include <stdexcept>

namespace tessivane {

namespace {

qint64 bytesOf(const ListRows& rows)
{
    qint64 bytes = 0;
    for (const QVector<QVariant>& row : rows) {
        bytes += 64 + row.size() * qint64(sizeof(QVariant));
        for (const QVariant& value : row) {
            if (value.typeId() == QMetaType::QString)
                bytes += 32 + value.toString().size() * 2;
        }
    }
    return bytes;
}

InventoryTable& tableOf(const DataGrid& grid)
{
    InventoryTable* table = grid.DataSource();
    if (!table)
        throw std::runtime_error("The grid shows no inventory table.");
    return *table;
}

} // namespace

ListChange::ListChange(DataGrid& grid, const QString& text, int first, ListRows removed,
    ListRows inserted, GridPlace before, GridPlace after)
    : QUndoCommand(text)
    , mGrid(grid)
    , mFirst(first)
    , mRemoved(std::move(removed))
    , mInserted(std::move(inserted))
    , mBefore(std::move(before))
    , mAfter(std::move(after))
    , mCost(256 + bytesOf(mRemoved) + bytesOf(mInserted))
{ }

void ListChange::undo()
{
    apply(mInserted, mRemoved, mBefore);
}

void ListChange::redo()
{
    if (std::exchange(mSkipRedo, false))
        return;
    apply(mRemoved, mInserted, mAfter);
}

ListChange* ListChange::doneCopy() const
{
    auto* copy = new ListChange(mGrid, text(), mFirst, mRemoved, mInserted, mBefore, mAfter);
    copy->setDone();
    return copy;
}

void ListChange::apply(const ListRows& out, const ListRows& in, const GridPlace& place)
{
    // Called from the undo stack, which lets nothing pass: a failure leaves the list as it is.
    try {
        tableOf(mGrid).SpliceRows(mFirst, int(out.size()), in);
        mGrid.RestorePlace(place);
    } catch (...) { }
}

ListHistory::ListHistory(DataGrid& grid, qint64 maxBytes)
    : QObject(&grid)
    , mGrid(grid)
    , mStack(new QUndoStack(this))
    , mMaxBytes(maxBytes)
{
    mStack->setUndoLimit(kMaxSteps);
}

ListHistory::~ListHistory() = default;

void ListHistory::push(ListChange* change)
{
    mStack->push(change);
    keepWithinBudget();
}

void ListHistory::pushDone(ListChange* change)
{
    change->setDone();
    push(change);
}

GridPlace ListHistory::place() const
{
    return mGrid.Place();
}

qint64 ListHistory::cost() const
{
    qint64 bytes = 0;
    for (int i = 0; i < mStack->count(); ++i)
        bytes += static_cast<const ListChange*>(mStack->command(i))->cost();
    return bytes;
}

void ListHistory::keepWithinBudget()
{
    // QUndoStack drops only by step count; past the memory budget the stack is built again
    // from its newest steps. A push leaves every step done, so copies that count as done
    // stand for them exactly.
    if (mStack->count() < 2 || cost() <= mMaxBytes)
        return;
    int keepFrom = mStack->count() - 1;
    qint64 kept = static_cast<const ListChange*>(mStack->command(keepFrom))->cost();
    while (keepFrom > 0) {
        const qint64 next = static_cast<const ListChange*>(mStack->command(keepFrom - 1))->cost();
        if (kept + next > mMaxBytes)
            break;
        kept += next;
        --keepFrom;
    }
    QList<ListChange*> copies;
    for (int i = keepFrom; i < mStack->count(); ++i)
        copies.append(static_cast<const ListChange*>(mStack->command(i))->doneCopy());
    mStack->clear();
    for (ListChange* copy : copies)
        mStack->push(copy);
}

ListHistory::Recording::Recording(ListHistory& history, const QString& text)
    : mHistory(history)
    , mText(text)
{
    if (const InventoryTable* table = history.grid().DataSource())
        mBefore = table->AllRowValues();
    mPlace = history.place();
}

void ListHistory::Recording::commit()
{
    const InventoryTable* table = mHistory.grid().DataSource();
    if (!table)
        return;
    const ListRows after = table->AllRowValues();
    // The changed rows are those between the longest equal start and the longest equal end.
    const int shorter = int(qMin(mBefore.size(), after.size()));
    int start = 0;
    while (start < shorter && mBefore[start] == after[start])
        ++start;
    int end = 0;
    while (
        end < shorter - start && mBefore[mBefore.size() - 1 - end] == after[after.size() - 1 - end])
        ++end;
    if (start == mBefore.size() && start == after.size())
        return;
    mHistory.pushDone(new ListChange(mHistory.grid(), mText, start,
        mBefore.mid(start, mBefore.size() - start - end),
        after.mid(start, after.size() - start - end), mPlace, mHistory.place()));
}

} // namespace tessivane
