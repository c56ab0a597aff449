#pragma once

#include "core/messagebox.h"
#include "grid/dataformat.h"
#include "grid/listhistory.h"
#include "inventory/inventorytable.h"

#include <QAction>
#include <QList>
#include <QTableView>

namespace tessivane {

class InventoryModel;
class ListEditor;

/// The inventory grid (DataGrid1): a table view that reads and writes the bound inventory table
/// in place. Its cell cursor follows the table's current row, and a cell the user selects makes
/// its row current. A value the field cannot hold is refused with a message naming the column
/// and what it accepts; the cell keeps its old value. Its messages go through the boxes it is
/// handed, which must outlive it.
class DataGrid : public QTableView
{
    Q_OBJECT

public:
    explicit DataGrid(const MessageBoxes& boxes, QWidget* parent = nullptr);
    ~DataGrid() override;

    /// DataSource: binds the table (nullptr unbinds). Rebinding builds the columns afresh, so
    /// the data formats and column widths are back to their defaults.
    void SetDataSource(InventoryTable* table);
    InventoryTable* DataSource() const;

    /// Columns(i).DataFormat; throws when the grid has no such column.
    void SetColumnDataFormat(int column, DataFormat* format);
    DataFormat* ColumnDataFormat(int column) const;
    /// Columns(i).Width in twips (15 twips a pixel); throws when the grid has no such column.
    void SetColumnWidth(int column, float twips);
    /// Widths in pixels the user gave the columns: SetColumnWidth gives them in place of the
    /// set-up's own, so that they outlast the grid being bound anew (Delete All, the sample
    /// rows). An empty list: none.
    void SetChosenColumnWidths(const QList<int>& widths) { mChosenWidths = widths; }
    /// RowHeight in twips.
    void SetRowHeight(float twips);

    /// The bookmarks of the rows selected as whole rows, in the order they were selected.
    /// A cell cursor or a cell selection alone is no row selection.
    QList<InventoryTable::Bookmark> SelBookmarks() const;

    /// Moves the cell cursor to the table's current row (also done by itself after each move of
    /// the table, once control is back in the event loop).
    void FollowTable();
    /// FollowTable, and the cell under the cursor becomes the highlighted one in place of any
    /// selection, after a command that made a row of its own current (Insert Below Selected Row).
    void FollowTableAndHighlight();

    /// Stores the value of an open cell editor and closes it (before a save that does not come
    /// from a focus change, such as the one when the window closes).
    void CommitEdit();

    /// The hover hint of the grid.
    static QString HintText();

    /// Copy, paste, undo, import and export, and the right-click menu that holds them.
    ListEditor& editor() const { return *mEditor; }
    ListHistory& history() const;
    /// The boxes the grid and its editor tell and ask the user through.
    const MessageBoxes& boxes() const { return mBoxes; }

    /// Moves the focus out of the grid to the next (or previous) control of the window, a cell
    /// being edited stored first: Tab stays the move between cells, as in a spreadsheet.
    void leaveGrid(bool forward);
    /// Opens the right-click menu at the current cell, as Shift+F10 and the Menu key do.
    void showMenuAtCurrentCell();
    /// The keys that leave the grid and open its menu, listed in that menu.
    QAction* nextControlAction() const { return mNextControl; }
    QAction* previousControlAction() const { return mPreviousControl; }
    QAction* menuKeyAction() const { return mMenuKey; }

    /// While a run is in progress nothing in the list can be changed or undone.
    void SetListLocked(bool locked);

    /// The cell cursor (the table's current row, when it has one) and the selection.
    GridPlace Place() const;
    /// Makes the place's row the table's current row and brings back the cursor and selection.
    void RestorePlace(const GridPlace& place);

signals:
    /// Focus is about to leave the grid (or its cell editor) for another widget of the same
    /// window. A pending cell edit has been stored before this is emitted.
    void validate();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onFocusChanged(QWidget* old, QWidget* now);
    void onSelectionChanged();
    void scheduleFollow();
    void showRefusal(const QString& message);
    void requireColumn(int column) const;
    void addKeyActions();

    InventoryModel* mModel = nullptr;
    const MessageBoxes& mBoxes;
    ListEditor* mEditor = nullptr;
    QList<InventoryTable::Bookmark> mSelectionOrder;
    bool mFollowing = false;
    bool mFollowPending = false;
    QString mPendingRefusal;
    QList<int> mChosenWidths;
    QAction* mNextControl = nullptr;
    QAction* mPreviousControl = nullptr;
    QAction* mMenuKey = nullptr;
};

} // namespace tessivane
