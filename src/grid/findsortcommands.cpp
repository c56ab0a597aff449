// The list's find, replace and sort commands: their actions, keys and block of the grid's
// right-click menu, and the sort itself.
#include "core/failurereport.h"
#include "grid/datagrid.h"
#include "grid/listeditor.h"
#include "grid/listfinder.h"
#include "grid/listhistory.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>

#include <algorithm>

namespace tessivane {

void ListEditor::addFindAndSort()
{
    mFinder = new ListFinder(mGrid, *this);
    const auto makeCommand = [this](const QString& text, const QList<QKeySequence>& keys) {
        auto* action = new QAction(text, this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setShortcutVisibleInContextMenu(true);
        mGrid.addAction(action);
        return action;
    };
    mFindAction
        = makeCommand(QStringLiteral("Find..."), QKeySequence::keyBindings(QKeySequence::Find));
    mReplaceAction
        = makeCommand(QStringLiteral("Replace..."), {QKeySequence(Qt::CTRL | Qt::Key_H)});
    mFindNextAction = makeCommand(
        QStringLiteral("Find Next"), QKeySequence::keyBindings(QKeySequence::FindNext));
    mFindPreviousAction = makeCommand(
        QStringLiteral("Find Previous"), QKeySequence::keyBindings(QKeySequence::FindPrevious));
    mSortAction = makeCommand(QStringLiteral("Sort Rows..."), {});

    connect(mFindAction, &QAction::triggered, this, [this] { mFinder->showDialog(false); });
    connect(mReplaceAction, &QAction::triggered, this, [this] {
        if (!mLocked)
            mFinder->showDialog(true);
    });
    // F3 with nothing to find yet asks what to find.
    const auto findOn = [this](bool backward) {
        return [this, backward] {
            if (mFinder->request().options.text.isEmpty())
                mFinder->showDialog(false);
            else if (backward)
                mFinder->findPrevious();
            else
                mFinder->findNext();
        };
    };
    connect(mFindNextAction, &QAction::triggered, this, findOn(false));
    connect(mFindPreviousAction, &QAction::triggered, this, findOn(true));
    connect(mSortAction, &QAction::triggered, this, [this] { swallow([this] { sortRows(); }); });

    // The find and sort block of the menu.
    mMenu->addSeparator();
    mMenu->addActions({mFindAction, mReplaceAction});
    mMenu->addSeparator();
    mMenu->addAction(mSortAction);
}

void ListEditor::sortRows(std::optional<SortRequest> request)
{
    if (mLocked)
        return;
    mGrid.CommitEdit();
    const InventoryTable* table = mGrid.DataSource();
    if (!table || table->RecordCount() == 0)
        return;
    QVector<int> selected;
    const QModelIndexList indexes = mGrid.selectionModel()->selectedIndexes();
    for (const QModelIndex& index : indexes)
        selected.append(index.row());
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    if (!request) {
        request = mDialogs->sortRequest(mGrid.window(), mLastSort, selected.size() > 1);
        if (!request)
            return;
        mLastSort = *request;
    }
    if (mLocked || request->keys.isEmpty() || (request->selectedRowsOnly && selected.size() < 2))
        return;
    const ListRows rows = table->AllRowValues();
    QVector<int> from;
    const CellChange change = tessivane::sortRows(
        rows, request->selectedRowsOnly ? selected : QVector<int>(), request->keys, &from);
    const ListRows removed = rows.mid(change.first, change.replaced);
    if (removed == change.rows)
        return; // already in order: no step
    const GridPlace before = mHistory->place();
    GridPlace after = before;
    // The current row goes with its row.
    const qsizetype moved = from.indexOf(before.row);
    if (moved >= 0)
        after.row = change.first + int(moved);
    if (!request->selectedRowsOnly && after.row >= 0)
        after.selection = {QRect(after.column, after.row, 1, 1)};
    mHistory->push(new ListChange(
        mGrid, QStringLiteral("Sort Rows"), change.first, removed, change.rows, before, after));
}

} // namespace tessivane
