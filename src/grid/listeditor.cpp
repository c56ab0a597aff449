#include "grid/listeditor.h"

#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/safefile.h"
#include "grid/datagrid.h"
#include "grid/inventorymodel.h"
#include "grid/listfinder.h"
#include "grid/listhistory.h"
#include "inventory/persistence.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QUndoStack>

#include <algorithm>

namespace tessivane {

namespace {

constexpr int kRefusalsNamed = 5;

QAction* makeAction(
    QObject* parent, const QString& text, QList<QKeySequence> keys, Qt::ShortcutContext context)
{
    auto* action = new QAction(text, parent);
    action->setShortcuts(keys);
    action->setShortcutContext(context);
    return action;
}

/// The standard keys of the desktop, and the ones spreadsheets have always had.
QList<QKeySequence> keys(QKeySequence::StandardKey standard, const QList<QKeySequence>& more = {})
{
    QList<QKeySequence> all = QKeySequence::keyBindings(standard);
    for (const QKeySequence& key : more) {
        if (!all.contains(key))
            all.append(key);
    }
    return all;
}

} // namespace

ListEditor::ListEditor(DataGrid& grid)
    : QObject(&grid)
    , mGrid(grid)
    , mHistory(new ListHistory(grid))
    , mMenu(new QMenu(&grid))
    , mDialogs(std::make_unique<QtListDialogs>())
    , mReading(new ListReading(this))
{
    const auto inGrid = Qt::WidgetWithChildrenShortcut;
    const auto inWindow = Qt::WindowShortcut;
    mUndoAction = makeAction(this, QStringLiteral("Undo"), keys(QKeySequence::Undo), inWindow);
    // Ctrl+Shift+Z first: the desktops disagree on the redo key, spreadsheets take both.
    mRedoAction = makeAction(this, QStringLiteral("Redo"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
        inWindow);
    mCutAction = makeAction(this, QStringLiteral("Cut"),
        keys(QKeySequence::Cut, {QKeySequence(Qt::SHIFT | Qt::Key_Delete)}), inGrid);
    mCopyAction = makeAction(this, QStringLiteral("Copy"),
        keys(QKeySequence::Copy, {QKeySequence(Qt::CTRL | Qt::Key_Insert)}), inGrid);
    mPasteAction = makeAction(this, QStringLiteral("Paste"),
        keys(QKeySequence::Paste, {QKeySequence(Qt::SHIFT | Qt::Key_Insert)}), inGrid);
    mDeleteAction
        = makeAction(this, QStringLiteral("Delete"), {QKeySequence(QKeySequence::Delete)}, inGrid);
    mSelectAllAction
        = makeAction(this, QStringLiteral("Select All"), keys(QKeySequence::SelectAll), inGrid);
    mImportAction
        = makeAction(this, QStringLiteral("Import Rows..."), keys(QKeySequence::Open), inWindow);
    mExportAction = makeAction(
        this, QStringLiteral("Export Rows..."), {QKeySequence(Qt::CTRL | Qt::Key_E)}, inWindow);

    connect(mUndoAction, &QAction::triggered, this, [this] {
        if (!mLocked)
            mHistory->stack().undo();
    });
    connect(mRedoAction, &QAction::triggered, this, [this] {
        if (!mLocked)
            mHistory->stack().redo();
    });
    connect(mCutAction, &QAction::triggered, this, guarded(&ListEditor::cut));
    connect(mCopyAction, &QAction::triggered, this, guarded(&ListEditor::copy));
    connect(mPasteAction, &QAction::triggered, this, guarded(&ListEditor::paste));
    connect(mDeleteAction, &QAction::triggered, this, guarded(&ListEditor::clearSelection));
    connect(mSelectAllAction, &QAction::triggered, &mGrid, &QAbstractItemView::selectAll);
    connect(
        mImportAction, &QAction::triggered, this, [this] { swallow([this] { importRows(); }); });
    connect(
        mExportAction, &QAction::triggered, this, [this] { swallow([this] { exportRows(); }); });

    const QList<QAction*> all {mUndoAction, mRedoAction, mCutAction, mCopyAction, mPasteAction,
        mDeleteAction, mSelectAllAction, mImportAction, mExportAction};
    for (QAction* action : all) {
        action->setShortcutVisibleInContextMenu(true);
        mGrid.addAction(action);
    }
    mMenu->addActions({mUndoAction, mRedoAction});
    mMenu->addSeparator();
    mMenu->addActions({mCutAction, mCopyAction, mPasteAction, mDeleteAction});
    mMenu->addSeparator();
    mMenu->addAction(mSelectAllAction);
    mMenu->addSeparator();
    mMenu->addActions({mImportAction, mExportAction});
    addFindAndSort();

    connect(&mHistory->stack(), &QUndoStack::indexChanged, this, &ListEditor::updateActions);
    connect(&mHistory->stack(), &QUndoStack::cleanChanged, this, &ListEditor::updateActions);
    updateActions();
}

ListEditor::~ListEditor() = default;

std::function<void()> ListEditor::guarded(void (ListEditor::*command)())
{
    // A failure inside a command is no reason to end the program: it is reported.
    return [this, command] {
        swallow([&] {
            try {
                (this->*command)();
            } catch (...) {
                mGrid.boxes().MsgBox(currentFailureDescription(), vbExclamation);
            }
        });
    };
}

void ListEditor::setDialogs(std::unique_ptr<ListDialogs> dialogs)
{
    mDialogs = std::move(dialogs);
}

void ListEditor::setWorkbookReader(WorkbookReader reader)
{
    mReadWorkbook = std::move(reader);
}

void ListEditor::setLocked(bool locked)
{
    mLocked = locked;
    mFinder->setLocked(locked);
    updateActions();
}

void ListEditor::updateActions()
{
    mUndoAction->setEnabled(!mLocked && mHistory->stack().canUndo());
    mRedoAction->setEnabled(!mLocked && mHistory->stack().canRedo());
    for (QAction* change :
        {mCutAction, mPasteAction, mDeleteAction, mImportAction, mReplaceAction, mSortAction})
        change->setEnabled(!mLocked);
}

QList<QPoint> ListEditor::selectedCells() const
{
    QList<QPoint> cells;
    const QModelIndexList indexes = mGrid.selectionModel()->selectedIndexes();
    for (const QModelIndex& index : indexes)
        cells.append(QPoint(index.column(), index.row()));
    if (cells.isEmpty() && mGrid.currentIndex().isValid())
        cells.append(QPoint(mGrid.currentIndex().column(), mGrid.currentIndex().row()));
    return cells;
}

QString ListEditor::selectedText() const
{
    const QList<QPoint> cells = selectedCells();
    const InventoryTable* table = mGrid.DataSource();
    if (cells.isEmpty() || !table)
        return {};
    QRect area(cells.first(), QSize(1, 1));
    for (const QPoint& cell : cells)
        area |= QRect(cell, QSize(1, 1));
    // Cells inside the block that are not selected go as empty cells, as spreadsheets do.
    QList<QStringList> block(area.height(), QStringList(area.width()));
    for (const QPoint& cell : cells) {
        block[cell.y() - area.top()][cell.x() - area.left()]
            = InventoryModel::editText(table->Field(cell.x()), table->ValueAt(cell.y(), cell.x()));
    }
    return clipboardText(block);
}

void ListEditor::copy()
{
    mGrid.CommitEdit();
    const QString text = selectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void ListEditor::cut()
{
    if (mLocked)
        return;
    copy();
    clearCells(QStringLiteral("Cut"));
}

void ListEditor::clearSelection()
{
    if (mLocked)
        return;
    mGrid.CommitEdit();
    clearCells(QStringLiteral("Delete"));
}

void ListEditor::clearCells(const QString& text)
{
    const InventoryTable* table = mGrid.DataSource();
    if (!table)
        return;
    applyCells(fillCells(table->AllRowValues(), selectedCells(), QString()), text, QRect());
}

void ListEditor::paste()
{
    if (mLocked)
        return;
    mGrid.CommitEdit();
    const InventoryTable* table = mGrid.DataSource();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!table || !data || !data->hasText())
        return;
    const QList<QStringList> block = clipboardBlock(data->text());
    if (block.isEmpty())
        return;
    const ListRows rows = table->AllRowValues();
    const QList<QPoint> selected = selectedCells();
    if (block.size() == 1 && block.first().size() == 1 && selected.size() > 1) {
        const CellChange change = fillCells(rows, selected, block.first().first());
        applyCells(change, QStringLiteral("Paste"), QRect());
        reportRefusals(change, QStringLiteral("pasted"));
        return;
    }
    QPoint anchor(0, 0);
    if (!selected.isEmpty()) {
        anchor = selected.first();
        for (const QPoint& cell : selected)
            anchor = QPoint(std::min(anchor.x(), cell.x()), std::min(anchor.y(), cell.y()));
    }
    anchor.setY(std::min(anchor.y(), int(rows.size())));
    const QString refusal = rowLimitRefusal(QStringLiteral("This paste"), rows.size(),
        std::max(rows.size(), anchor.y() + block.size()), kMaxStoredRows - anchor.y());
    if (!refusal.isEmpty()) {
        mGrid.boxes().MsgBox(refusal, vbExclamation);
        return;
    }
    int width = 0;
    for (const QStringList& line : block)
        width = std::max(width, int(line.size()));
    const CellChange change = pasteBlock(rows, anchor.y(), anchor.x(), block);
    const int columns = std::min(width, table->FieldCount() - anchor.x());
    applyCells(change, QStringLiteral("Paste"),
        QRect(anchor.x(), anchor.y(), std::max(columns, 1), int(block.size())));
    reportRefusals(change, QStringLiteral("pasted"));
}

void ListEditor::applyCells(const CellChange& change, const QString& text, const QRect& selectAfter)
{
    const InventoryTable* table = mGrid.DataSource();
    if (!table)
        return;
    const ListRows removed = table->AllRowValues().mid(change.first, change.replaced);
    if (removed == change.rows)
        return; // nothing changed: no step
    const GridPlace before = mHistory->place();
    GridPlace after = before;
    if (selectAfter.isValid()) {
        after.row = selectAfter.top();
        after.column = selectAfter.left();
        after.selection = {selectAfter};
    }
    mHistory->push(new ListChange(mGrid, text, change.first, removed, change.rows, before, after));
}

void ListEditor::applyChange(const CellChange& change, const QString& text, const QString& values)
{
    applyCells(change, text, QRect());
    reportRefusals(change, values);
}

void ListEditor::reportRefusals(const CellChange& change, const QString& values) const
{
    if (change.refused.isEmpty() && change.beyondLastColumn == 0)
        return;
    QStringList lines;
    if (!change.refused.isEmpty()) {
        lines.append(QStringLiteral("%1 of the %2 %3 values were refused; their cells keep "
                                    "what they held:")
                         .arg(change.refused.size())
                         .arg(change.offered)
                         .arg(values));
        for (qsizetype i = 0; i < change.refused.size() && i < kRefusalsNamed; ++i) {
            const CellRefusal& refusal = change.refused[i];
            lines.append(QStringLiteral("Row %1: %2").arg(refusal.row + 1).arg(refusal.reason));
        }
        if (change.refused.size() > kRefusalsNamed)
            lines.append(
                QStringLiteral("... and %1 more.").arg(change.refused.size() - kRefusalsNamed));
    }
    if (change.beyondLastColumn > 0)
        lines.append(QStringLiteral("%1 pasted values beyond the last column were left out.")
                         .arg(change.beyondLastColumn));
    mGrid.boxes().MsgBox(lines.join(QStringLiteral("\r\n")), vbExclamation);
}

void ListEditor::recordEdit(int row, const QVector<QVariant>& before)
{
    const InventoryTable* table = mGrid.DataSource();
    if (!table || row < 0 || row >= table->RecordCount())
        return;
    const QVector<QVariant> after = table->RowValuesAt(row);
    if (after == before)
        return;
    const GridPlace place = mHistory->place();
    mHistory->pushDone(
        new ListChange(mGrid, QStringLiteral("Typing"), row, {before}, {after}, place, place));
}

namespace {

QStringList headingsOf(const ListRead& read)
{
    QStringList headings;
    for (const FileColumn& column : read.columns)
        headings.append(column.heading);
    return headings;
}

// A file with a header seen before comes with the columns the user chose for it then.
void recallColumns(ListRead& read, const ColumnMemory& memory)
{
    if (!read.source || read.form.headerLine <= 0)
        return;
    const std::optional<ColumnFields> chosen = memory.recall(headingsOf(read));
    if (chosen && *chosen != read.form.columnFields) {
        ListForm form = read.form;
        form.columnFields = *chosen;
        read = read.source->read(form);
        read.notes.prepend(QStringLiteral("The columns go to the fields chosen for this "
                                          "header last time."));
    }
}

void rememberColumns(const ListRead& read, const ColumnMemory& memory)
{
    if (!read.source || read.form.headerLine <= 0)
        return;
    try {
        memory.remember(headingsOf(read), read.form.columnFields);
    } catch (const std::exception&) {
        // Only the offer of these columns next time is lost; the rows come in.
    }
}

// The rows follow the last row that holds anything; the blank rows after it are the empty
// places they take.
int appendPlace(const ListRows& rows)
{
    int first = int(rows.size());
    while (first > 0 && isBlankRow(rows[first - 1]))
        --first;
    return first;
}

void noteAppendLimit(ListRead& read, const InventoryTable& table)
{
    const qsizetype appended = appendPlace(table.AllRowValues()) + read.rows.size();
    if (appended > std::max<qsizetype>(kMaxStoredRows, table.RecordCount()))
        read.notes.append(
            QStringLiteral("Appended, they would make the list %1 rows long, "
                           "more than the %2 it holds: only Replace takes "
                           "them.")
                .arg(QLocale().toString(appended), QLocale().toString(kMaxStoredRows)));
}

} // namespace

void ListEditor::importRows(const QString& chosen)
{
    if (mLocked)
        return;
    mGrid.CommitEdit();
    const QString path = chosen.isEmpty() ? mDialogs->importFileName(mGrid.window()) : chosen;
    if (path.isEmpty())
        return;
    if (mReading->isReading())
        return;
    std::optional<ListRead> read = readImportFile(path);
    if (!read)
        return;
    const ColumnMemory memory;
    recallColumns(*read, memory);
    // Rows that would not fit even as the whole list are not offered at all.
    const QString tooMany
        = rowLimitRefusal(QStringLiteral("This import"), 0, read->rows.size(), kMaxStoredRows);
    if (!tooMany.isEmpty()) {
        mGrid.boxes().MsgBox(tooMany, vbExclamation);
        return;
    }
    if (const InventoryTable* table = mGrid.DataSource())
        noteAppendLimit(*read, *table);
    const ImportChoice choice = mDialogs->reviewImport(mGrid.window(), path, *read);
    const InventoryTable* table = mGrid.DataSource();
    if (choice == ImportChoice::Cancel || read->rows.isEmpty() || !table || mLocked)
        return;
    rememberColumns(*read, memory);
    takeImport(*read, choice, *table);
}

std::optional<ListRead> ListEditor::readImportFile(const QString& path)
{
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        return mReading->read(mGrid.window(), path, mReadWorkbook);
    } catch (const ReadCancelled&) {
        return std::nullopt; // stopped by the user: nothing changes
    } catch (...) {
        mGrid.boxes().MsgBox(
            QStringLiteral("The rows could not be imported.\r\n") + currentFailureDescription(),
            vbExclamation);
        return std::nullopt;
    }
}

void ListEditor::takeImport(const ListRead& read, ImportChoice choice, const InventoryTable& table)
{
    const ListRows rows = table.AllRowValues();
    int first = 0;
    QString text = QStringLiteral("Replace Rows");
    if (choice == ImportChoice::Append) {
        first = appendPlace(rows);
        text = QStringLiteral("Import Rows");
    }
    const QString refusal = rowLimitRefusal(QStringLiteral("This import"), rows.size(),
        first + read.rows.size(), kMaxStoredRows - first);
    if (!refusal.isEmpty()) {
        mGrid.boxes().MsgBox(refusal, vbExclamation);
        return;
    }
    const GridPlace before = mHistory->place();
    GridPlace after;
    after.row = first;
    after.selection = {QRect(0, first, table.FieldCount(), int(read.rows.size()))};
    mHistory->push(new ListChange(mGrid, text, first, rows.mid(first), read.rows, before, after));
}

void ListEditor::exportRows(const QString& chosen)
{
    mGrid.CommitEdit();
    const InventoryTable* table = mGrid.DataSource();
    if (!table)
        return;
    QString path = chosen.isEmpty() ? mDialogs->exportFileName(mGrid.window()) : chosen;
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    try {
        writeFileSafely(path, listCsv(table->AllRowValues()));
    } catch (...) {
        mGrid.boxes().MsgBox(
            QStringLiteral("The rows could not be exported.\r\n") + currentFailureDescription(),
            vbExclamation);
    }
}

} // namespace tessivane
