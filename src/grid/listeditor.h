#pragma once

#include "grid/listreading.h"
#include "inventory/listedit.h"
#include "inventory/listfile.h"
#include "inventory/listsort.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace tessivane {

class DataGrid;
class InventoryTable;
class ListFinder;
class ListHistory;

/// The user's answer to what an import read.
enum class ImportChoice { Append, Replace, Cancel };

/// How the rows are sorted: up to three keys, the whole list or only the selected rows.
struct SortRequest
{
    QList<SortKey> keys;
    bool selectedRowsOnly = false;
};

/// What the list's commands ask the user; tests put answers of their own in its place.
class ListDialogs
{
public:
    virtual ~ListDialogs() = default;
    /// The file to import; the empty text on cancel.
    virtual QString importFileName(QWidget* parent) = 0;
    /// The file to export to (the dialog has asked about replacing it); empty on cancel.
    virtual QString exportFileName(QWidget* parent) = 0;
    /// Shows what an import read and asks what to do with it. The user may have the file read
    /// in another form (other columns, separator ...): `read` is then what that form gave.
    virtual ImportChoice reviewImport(QWidget* parent, const QString& file, ListRead& read) = 0;
    /// Asks how to sort, starting from the last answer; nothing on cancel. rowsSelected: the
    /// selected rows can be sorted alone.
    virtual std::optional<SortRequest> sortRequest(
        QWidget* parent, const SortRequest& last, bool rowsSelected)
        = 0;
};

/// The real dialogs: file dialogs of the toolkit and the import review.
class QtListDialogs : public ListDialogs
{
public:
    QString importFileName(QWidget* parent) override;
    QString exportFileName(QWidget* parent) override;
    ImportChoice reviewImport(QWidget* parent, const QString& file, ListRead& read) override;
    std::optional<SortRequest> sortRequest(
        QWidget* parent, const SortRequest& last, bool rowsSelected) override;
};

/// The grid's editing commands beyond typing into a cell: copy, cut, paste and clear blocks of
/// cells on the system clipboard, undo and redo of every change to the list, import and export
/// of the list as a file, and the right-click menu that holds them with their keys. Values
/// pasted or imported pass the checks a typed value passes; refusals are told once per command.
class ListEditor : public QObject
{
    Q_OBJECT

public:
    explicit ListEditor(DataGrid& grid);
    ~ListEditor() override;

    ListHistory& history() const { return *mHistory; }

    /// Replaces the dialogs (tests); they start as the real ones.
    void setDialogs(std::unique_ptr<ListDialogs> dialogs);
    /// How a workbook's first sheet becomes text: handed in by the program, which has an office.
    void setWorkbookReader(WorkbookReader reader);

    /// While locked (a run is in progress) the list cannot be changed, undone or imported into.
    void setLocked(bool locked);
    bool isLocked() const { return mLocked; }

    // The list's commands, also in the right-click menu and on their keys.
    QAction* undoAction() const { return mUndoAction; }
    QAction* redoAction() const { return mRedoAction; }
    QAction* cutAction() const { return mCutAction; }
    QAction* copyAction() const { return mCopyAction; }
    QAction* pasteAction() const { return mPasteAction; }
    QAction* deleteAction() const { return mDeleteAction; }
    QAction* selectAllAction() const { return mSelectAllAction; }
    QAction* importAction() const { return mImportAction; }
    QAction* exportAction() const { return mExportAction; }
    QAction* findAction() const { return mFindAction; }
    QAction* replaceAction() const { return mReplaceAction; }
    QAction* findNextAction() const { return mFindNextAction; }
    QAction* findPreviousAction() const { return mFindPreviousAction; }
    QAction* sortAction() const { return mSortAction; }

    /// Find and replace, with their dialog.
    ListFinder& finder() const { return *mFinder; }

    /// The right-click menu, its actions with their keys.
    QMenu* contextMenu() const { return mMenu; }

    void copy();
    void cut();
    void paste();
    /// Clears the selected cells (the Delete key).
    void clearSelection();
    /// Imports a file; with no path, the user picks one.
    void importRows(const QString& path = QString());
    /// Exports the list to a file; with no path, the user picks one.
    void exportRows(const QString& path = QString());

    /// The reading of an import's file (off the window's thread): whether one is in progress,
    /// and its stop; its ended() signal tells when it is over.
    ListReading& reading() { return *mReading; }

    /// Keeps a cell edit the grid made as one step: the row as it was before.
    void recordEdit(int row, const QVector<QVariant>& before);

    /// Makes a change of cells one step named text, and tells once which values (pasted,
    /// replaced ...) were refused.
    void applyChange(const CellChange& change, const QString& text, const QString& values);

    /// Sorts the rows; with no request the user is asked how.
    void sortRows(std::optional<SortRequest> request = std::nullopt);

private:
    QAction* mUndoAction = nullptr;
    QAction* mRedoAction = nullptr;
    QAction* mCutAction = nullptr;
    QAction* mCopyAction = nullptr;
    QAction* mPasteAction = nullptr;
    QAction* mDeleteAction = nullptr;
    QAction* mSelectAllAction = nullptr;
    QAction* mImportAction = nullptr;
    QAction* mExportAction = nullptr;
    QAction* mFindAction = nullptr;
    QAction* mReplaceAction = nullptr;
    QAction* mFindNextAction = nullptr;
    QAction* mFindPreviousAction = nullptr;
    QAction* mSortAction = nullptr;

    /// A command that reports a failure instead of ending the program.
    std::function<void()> guarded(void (ListEditor::*command)());
    /// Find, replace and sort: their actions, keys and block of the right-click menu.
    void addFindAndSort();
    void updateActions();
    QList<QPoint> selectedCells() const;
    QString selectedText() const;
    void clearCells(const QString& text);
    void applyCells(const CellChange& change, const QString& text, const QRect& selectAfter);
    void reportRefusals(const CellChange& change, const QString& values) const;
    /// The import's file read, with a wait cursor; nothing when it was stopped or failed (the
    /// user told).
    std::optional<ListRead> readImportFile(const QString& path);
    /// Makes the rows read one step: appended after the last row holding anything, or
    /// replacing the list.
    void takeImport(const ListRead& read, ImportChoice choice, const InventoryTable& table);

    DataGrid& mGrid;
    ListHistory* mHistory;
    QMenu* mMenu;
    std::unique_ptr<ListDialogs> mDialogs;
    WorkbookReader mReadWorkbook;
    ListFinder* mFinder = nullptr;
    SortRequest mLastSort;
    ListReading* mReading;
    bool mLocked = false;
};

} // namespace tessivane
