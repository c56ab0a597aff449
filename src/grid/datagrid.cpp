#include "grid/datagrid.h"

#include "core/failurereport.h"
#include "core/messagebox.h"
#include "core/twips.h"
#include "core/windowlook.h"
#include "grid/inventorymodel.h"
#include "grid/listeditor.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSet>

#include <algorithm>

#include <stdexcept>

namespace tessivane {

DataFormat::DataFormat(QObject* parent)
    : QObject(parent)
{ }

QVariant DataFormat::FormatValue(QVariant value)
{
    emit formatRequested(value);
    return value;
}

DataGrid::DataGrid(const MessageBoxes& boxes, QWidget* parent)
    : QTableView(parent)
    , mModel(new InventoryModel(this))
    , mBoxes(boxes)
{
    setModel(mModel);
    setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    setToolTip(HintText());
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
        | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    // The window's header labels above the grid are the column headings; the grid keeps only
    // its row selectors (to select whole rows).
    horizontalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setFixedWidth(20);

    mEditor = new ListEditor(*this);
    // A file dropped on the grid is imported.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);

    connect(mModel, &InventoryModel::valueRefused, this, &DataGrid::showRefusal);
    connect(mModel, &InventoryModel::valueEdited, mEditor, &ListEditor::recordEdit);
    connect(mModel, &QAbstractItemModel::modelReset, this, [this] { mSelectionOrder.clear(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &DataGrid::onSelectionChanged);
    connect(qApp, &QApplication::focusChanged, this, &DataGrid::onFocusChanged);

    // What a screen reader says of the grid; its cells and row selectors name themselves.
    setAccessibleName(QStringLiteral("Equipment inventory list"));
    setAccessibleDescription(QStringLiteral("Thirteen columns a row. Tab moves to the next cell, "
                                            "Ctrl+Tab leaves the list, Shift+F10 opens its menu."));
    verticalHeader()->setAccessibleName(QStringLiteral("Row numbers"));
    horizontalHeader()->setAccessibleName(QStringLiteral("Column headings"));
    verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll the list up and down"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll the list sideways"));
    addKeyActions();
}

void DataGrid::addKeyActions()
{
    const auto action = [this](const char* text, const QList<QKeySequence>& keys) {
        return addKeyedAction(
            this, QString::fromLatin1(text), keys, Qt::WidgetWithChildrenShortcut);
    };
    // Shift+Tab arrives as Backtab, with Shift held.
    mNextControl = action("Next Control", {QKeySequence(Qt::CTRL | Qt::Key_Tab)});
    mPreviousControl = action("Previous Control",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
    mMenuKey = action(
        "Open This Menu", {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
    connect(mNextControl, &QAction::triggered, this, [this] { leaveGrid(true); });
    connect(mPreviousControl, &QAction::triggered, this, [this] { leaveGrid(false); });
    connect(mMenuKey, &QAction::triggered, this, [this] { showMenuAtCurrentCell(); });
    // The keys of the keyboard user, in a block of their own at the end of the menu.
    QMenu* menu = mEditor->contextMenu();
    menu->addSeparator();
    menu->addActions({mNextControl, mPreviousControl, mMenuKey});
}

void DataGrid::leaveGrid(bool forward)
{
    CommitEdit();
    // Past the table view's own rule, which turns the move into one between cells.
    QAbstractScrollArea::focusNextPrevChild(forward);
}

void DataGrid::showMenuAtCurrentCell()
{
    QRect cell = currentIndex().isValid() ? visualRect(currentIndex()) : QRect();
    cell = cell.intersected(viewport()->rect());
    const QPoint at = cell.isValid() ? cell.bottomLeft() : QPoint(0, 0);
    mEditor->contextMenu()->popup(viewport()->mapToGlobal(at));
}

DataGrid::~DataGrid() = default;

QString DataGrid::HintText()
{
    return QStringLiteral("To enter Description select row and type Description. Then press "
                          "Enter to finish changes.");
}

void DataGrid::SetDataSource(InventoryTable* table)
{
    if (InventoryTable* old = mModel->Table())
        disconnect(old, nullptr, this, nullptr);
    mModel->setTable(table);
    const int defaultWidth = horizontalHeader()->defaultSectionSize();
    for (int column = 0; column < mModel->columnCount(); ++column)
        setColumnWidth(column, defaultWidth);
    if (table)
        connect(table, &InventoryTable::currentRowChanged, this, &DataGrid::scheduleFollow);
    FollowTable();
}

InventoryTable* DataGrid::DataSource() const
{
    return mModel->Table();
}

void DataGrid::SetColumnDataFormat(int column, DataFormat* format)
{
    requireColumn(column);
    mModel->setColumnFormat(column, format);
}

DataFormat* DataGrid::ColumnDataFormat(int column) const
{
    return mModel->columnFormat(column);
}

void DataGrid::SetColumnWidth(int column, float twips)
{
    requireColumn(column);
    setColumnWidth(
        column, column < mChosenWidths.size() ? mChosenWidths[column] : twipsToPixels(twips));
}

void DataGrid::SetRowHeight(float twips)
{
    verticalHeader()->setDefaultSectionSize(qMax(1, twipsToPixels(twips)));
}

QList<InventoryTable::Bookmark> DataGrid::SelBookmarks() const
{
    // Rows the user selected earlier keep their place; rows the list does not know yet (after a
    // deletion or a reset) follow in table order.
    QList<InventoryTable::Bookmark> result;
    const InventoryTable* table = mModel->Table();
    if (!table)
        return result;
    QSet<int> selectedRows;
    const QModelIndexList rows = selectionModel()->selectedRows(0);
    for (const QModelIndex& index : rows)
        selectedRows.insert(index.row());
    QSet<int> listed;
    for (const InventoryTable::Bookmark bookmark : mSelectionOrder) {
        const int row = table->RowOf(bookmark);
        if (row >= 0 && selectedRows.contains(row) && !listed.contains(row)) {
            result.append(bookmark);
            listed.insert(row);
        }
    }
    QList<int> added;
    for (const int row : std::as_const(selectedRows)) {
        if (!listed.contains(row))
            added.append(row);
    }
    std::sort(added.begin(), added.end());
    for (const int row : std::as_const(added))
        result.append(table->BookmarkAt(row));
    return result;
}

void DataGrid::FollowTable()
{
    mFollowPending = false;
    const InventoryTable* table = mModel->Table();
    if (!table)
        return;
    const int row = table->CurrentRow();
    if (row < 0)
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex target = mModel->index(row, column);
    if (!target.isValid() || currentIndex() == target)
        return;
    mFollowing = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    mFollowing = false;
}

void DataGrid::FollowTableAndHighlight()
{
    FollowTable();
    const InventoryTable* table = mModel->Table();
    if (table && table->CurrentRow() >= 0 && currentIndex().isValid())
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (mFollowing || !current.isValid())
        return;
    InventoryTable* table = mModel->Table();
    if (!table || table->CurrentRow() == current.row())
        return;
    swallow([&] { table->SetCurrentRow(current.row()); });
}

void DataGrid::CommitEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    const QList<QWidget*> editors
        = viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* editor : editors) {
        if (editor->isVisible()) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
}

void DataGrid::onFocusChanged(QWidget* old, QWidget* now)
{
    if (!old || !now)
        return;
    const auto inside = [this](QWidget* widget) { return widget == this || isAncestorOf(widget); };
    if (!inside(old) || inside(now) || now->window() != window())
        return;
    CommitEdit(); // the editor commits on losing the focus already; this makes sure of it
    emit validate();
}

void DataGrid::onSelectionChanged()
{
    mSelectionOrder = SelBookmarks();
}

void DataGrid::scheduleFollow()
{
    if (mFollowPending)
        return;
    mFollowPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (mFollowPending)
                FollowTable();
        },
        Qt::QueuedConnection);
}

void DataGrid::showRefusal(const QString& message)
{
    // Shown once the editor has closed: a modal box inside the editor's commit would take the
    // focus from it in the middle of its own focus handling.
    const bool queued = !mPendingRefusal.isEmpty();
    mPendingRefusal = message;
    if (queued)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QString text = std::exchange(mPendingRefusal, QString());
            if (!text.isEmpty())
                swallow([&] { mBoxes.MsgBox(text, vbExclamation); });
        },
        Qt::QueuedConnection);
}

ListHistory& DataGrid::history() const
{
    return mEditor->history();
}

void DataGrid::SetListLocked(bool locked)
{
    if (locked)
        CommitEdit();
    mModel->setReadOnly(locked);
    mEditor->setLocked(locked);
}

GridPlace DataGrid::Place() const
{
    GridPlace place;
    const QModelIndex current = currentIndex();
    place.column = current.isValid() ? current.column() : 0;
    place.row = current.isValid() ? current.row() : -1;
    // The cursor follows the table once control is back in the event loop: the table knows.
    if (const InventoryTable* table = mModel->Table(); table && table->CurrentRow() >= 0)
        place.row = table->CurrentRow();
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        place.selection.append(
            QRect(QPoint(range.left(), range.top()), QPoint(range.right(), range.bottom())));
    return place;
}

void DataGrid::RestorePlace(const GridPlace& place)
{
    InventoryTable* table = mModel->Table();
    if (!table)
        return;
    const int rows = table->RecordCount();
    if (rows > 0) {
        const int row = qBound(0, place.row, rows - 1);
        table->SetCurrentRow(row);
        mFollowing = true;
        selectionModel()->setCurrentIndex(
            mModel->index(row, qBound(0, place.column, mModel->columnCount() - 1)),
            QItemSelectionModel::NoUpdate);
        mFollowing = false;
        mFollowPending = false;
    }
    QItemSelection selection;
    for (const QRect& area : place.selection) {
        const QRect within = area & QRect(0, 0, mModel->columnCount(), rows);
        if (within.isValid())
            selection.select(mModel->index(within.top(), within.left()),
                mModel->index(within.bottom(), within.right()));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void DataGrid::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        showMenuAtCurrentCell();
    else
        mEditor->contextMenu()->popup(event->globalPos());
    event->accept();
}

namespace {

QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1
        || !data->urls().first().isLocalFile())
        return {};
    return data->urls().first().toLocalFile();
}

} // namespace

void DataGrid::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void DataGrid::dragMoveEvent(QDragMoveEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty() && !mEditor->isLocked())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DataGrid::dropEvent(QDropEvent* event)
{
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty() || mEditor->isLocked()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The import asks its questions after the drop has ended, not inside the drag.
    QMetaObject::invokeMethod(
        this, [this, file] { swallow([&] { mEditor->importRows(file); }); }, Qt::QueuedConnection);
}

void DataGrid::requireColumn(int column) const
{
    if (column < 0 || column >= mModel->columnCount())
        throw std::runtime_error(
            QStringLiteral("The grid has no column %1.").arg(column).toStdString());
}

} // namespace tessivane
