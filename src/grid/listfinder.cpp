#include "grid/listfinder.h"

#include "grid/datagrid.h"
#include "grid/finddialog.h"
#include "grid/listeditor.h"
#include "grid/showntexts.h"
#include "inventory/inventoryfields.h"

#include <QItemSelectionModel>
#include <QScreen>

#include <algorithm>

namespace tessivane {

namespace {

const QString kNotFound = QStringLiteral("Search key not found.");

/// Puts the dialog beside the window where the screen has room, so that it covers no cell.
void placeBeside(QWidget& dialog, const QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const QSize size = dialog.sizeHint();
    constexpr int kGap = 8;
    if (frame.right() + kGap + size.width() <= room.right())
        dialog.move(frame.right() + kGap, frame.top());
    else if (frame.left() - kGap - size.width() >= room.left())
        dialog.move(frame.left() - kGap - size.width(), frame.top());
}

/// The cells as few ranges: runs of rows in each column.
QItemSelection selectionOf(const QAbstractItemModel& model, QList<QPoint> cells)
{
    std::sort(cells.begin(), cells.end(), [](const QPoint& a, const QPoint& b) {
        return a.x() != b.x() ? a.x() < b.x() : a.y() < b.y();
    });
    QItemSelection selection;
    for (qsizetype i = 0; i < cells.size();) {
        qsizetype end = i + 1;
        while (end < cells.size() && cells[end].x() == cells[i].x()
            && cells[end].y() == cells[end - 1].y() + 1)
            ++end;
        selection.append(QItemSelectionRange(model.index(cells[i].y(), cells[i].x()),
            model.index(cells[end - 1].y(), cells[i].x())));
        i = end;
    }
    return selection;
}

} // namespace

ListFinder::ListFinder(DataGrid& grid, ListEditor& editor)
    : QObject(&editor)
    , mGrid(grid)
    , mEditor(editor)
    , mShown(new ShownTexts(*grid.model(), this))
{ }

ListFinder::~ListFinder()
{
    delete mDialog.data();
}

FindDialog* ListFinder::dialog() const
{
    return mDialog;
}

void ListFinder::showDialog(bool replacing)
{
    if (!mDialog) {
        mDialog = new FindDialog(*this, mGrid.window());
        mDialog->setLocked(mEditor.isLocked());
        mDialog->setReplacing(true); // its full size
        placeBeside(*mDialog, *mGrid.window());
    }
    // From the first search on, the shown amounts and dates are made ahead of the next one
    // (F3 works with the dialog closed too).
    QList<int> formatted;
    for (int field = 0; field < int(kInventoryFields.size()); ++field) {
        if (kInventoryFields[field].type != FieldType::Text)
            formatted.append(field);
    }
    mShown->setWarming(true, formatted);
    mDialog->setReplacing(replacing);
    mDialog->show();
    mDialog->raise();
    mDialog->activateWindow();
    mDialog->focusText();
}

void ListFinder::setLocked(bool locked)
{
    if (mDialog)
        mDialog->setLocked(locked);
}

void ListFinder::setStatus(const QString& status)
{
    mStatus = status;
    emit statusChanged(status);
}

std::optional<ListRows> ListFinder::rowsToSearch()
{
    mGrid.CommitEdit();
    const InventoryTable* table = mGrid.DataSource();
    if (!table || mRequest.options.text.isEmpty()) {
        setStatus(QString());
        return std::nullopt;
    }
    return table->AllRowValues();
}

ListSearch ListFinder::makeSearch(const ListRows& rows) const
{
    // As the grid shows the cell: money and dates through their formats.
    ListSearch search(rows, mRequest.options,
        [shown = mShown](int row, int field) { return shown->text(row, field); });
    search.setField(mRequest.field);
    if (mRequest.selectionOnly) {
        // No selection at all is the current cell, never the whole list.
        QList<QRect> cells = mGrid.Place().selection;
        const QModelIndex current = mGrid.currentIndex();
        if (cells.isEmpty())
            cells.append(current.isValid() ? QRect(current.column(), current.row(), 1, 1)
                                           : QRect(-1, -1, 1, 1));
        search.setCells(cells);
    }
    return search;
}

void ListFinder::moveTo(const QPoint& cell)
{
    const QModelIndex index = mGrid.model()->index(cell.y(), cell.x());
    // Within the selection the selection stays what is searched; else the found cell is it.
    mGrid.selectionModel()->setCurrentIndex(index,
        mRequest.selectionOnly ? QItemSelectionModel::NoUpdate
                               : QItemSelectionModel::ClearAndSelect);
    mGrid.scrollTo(index);
}

bool ListFinder::find(bool backward)
{
    const std::optional<ListRows> rows = rowsToSearch();
    if (!rows)
        return false;
    const ListSearch search = makeSearch(*rows);
    const QModelIndex current = mGrid.currentIndex();
    const QPoint from = current.isValid() ? QPoint(current.column(), current.row()) : QPoint(0, -1);
    bool wrapped = false;
    const std::optional<QPoint> found = search.next(from, backward, &wrapped);
    if (!found) {
        setStatus(kNotFound);
        return false;
    }
    moveTo(*found);
    if (!wrapped)
        setStatus(QString());
    else if (backward)
        setStatus(QStringLiteral("Reached the beginning of the list, continued from the end."));
    else
        setStatus(QStringLiteral("Reached the end of the list, continued from the beginning."));
    return true;
}

bool ListFinder::findNext()
{
    return find(false);
}

bool ListFinder::findPrevious()
{
    return find(true);
}

int ListFinder::findAll()
{
    const std::optional<ListRows> rows = rowsToSearch();
    if (!rows)
        return 0;
    const QList<QPoint> cells = makeSearch(*rows).all();
    if (cells.isEmpty()) {
        setStatus(kNotFound);
        return 0;
    }
    const QModelIndex first = mGrid.model()->index(cells.first().y(), cells.first().x());
    mGrid.selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    mGrid.selectionModel()->select(
        selectionOf(*mGrid.model(), cells), QItemSelectionModel::ClearAndSelect);
    mGrid.scrollTo(first);
    setStatus(cells.size() == 1 ? QStringLiteral("1 cell found.")
                                : QStringLiteral("%1 cells found.").arg(cells.size()));
    return int(cells.size());
}

bool ListFinder::replace()
{
    if (mEditor.isLocked())
        return false;
    mGrid.CommitEdit();
    const InventoryTable* table = mGrid.DataSource();
    const QModelIndex current = mGrid.currentIndex();
    if (table && current.isValid() && !mRequest.options.text.isEmpty()) {
        const ListRows rows = table->AllRowValues();
        const ListSearch search = makeSearch(rows);
        const QPoint cell(current.column(), current.row());
        const bool inSelection
            = !mRequest.selectionOnly || mGrid.selectionModel()->isSelected(current);
        const bool inColumn = mRequest.field < 0 || mRequest.field == cell.x();
        if (inSelection && inColumn) {
            if (const auto text = search.replaced(cell.y(), cell.x(), mRequest.replacement)) {
                mEditor.applyChange(putCells(rows, {cell}, {*text}), QStringLiteral("Replace"),
                    QStringLiteral("replaced"));
            }
        }
    }
    return findNext();
}

int ListFinder::replaceAll()
{
    if (mEditor.isLocked())
        return 0;
    const std::optional<ListRows> rows = rowsToSearch();
    if (!rows)
        return 0;
    const CellChange change = makeSearch(*rows).replaceAll(mRequest.replacement);
    if (change.offered == 0) {
        setStatus(kNotFound);
        return 0;
    }
    const int replaced = change.offered - int(change.refused.size());
    if (replaced == 0)
        setStatus(QStringLiteral("No value replaced."));
    else
        setStatus(replaced == 1 ? QStringLiteral("1 value replaced.")
                                : QStringLiteral("%1 values replaced.").arg(replaced));
    mEditor.applyChange(change, QStringLiteral("Replace All"), QStringLiteral("replaced"));
    return replaced;
}

} // namespace tessivane
