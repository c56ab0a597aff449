#pragma once

#include "inventory/listedit.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QUndoCommand>

class QUndoStack;

namespace tessivane {

class DataGrid;

/// Where the grid's cell cursor and selection are: a step of the history brings them back.
struct GridPlace
{
    int row = -1;
    int column = 0;
    /// Selected cell ranges, x the column and y the row.
    QList<QRect> selection;
};

/// One change to the list as the rows it replaced and the rows it put in their place, with
/// the grid's place before and after. It works on whatever table the grid shows when it is
/// undone or redone, so it outlives a Delete All that replaced the table.
class ListChange : public QUndoCommand
{
public:
    ListChange(DataGrid& grid, const QString& text, int first, ListRows removed, ListRows inserted,
        GridPlace before, GridPlace after);

    void undo() override;
    void redo() override;

    /// Bytes it holds (the rows' values, roughly).
    qint64 cost() const { return mCost; }
    /// A copy that counts as already done: its first redo changes nothing.
    ListChange* doneCopy() const;
    /// The first redo (QUndoStack::push calls it) changes nothing: the change has been made.
    void setDone() { mSkipRedo = true; }

private:
    void apply(const ListRows& out, const ListRows& in, const GridPlace& place);

    DataGrid& mGrid;
    int mFirst;
    ListRows mRemoved;
    ListRows mInserted;
    GridPlace mBefore;
    GridPlace mAfter;
    qint64 mCost = 0;
    bool mSkipRedo = false;
};

/// The list's undo history: every change to the rows is one step. It is bounded in steps and
/// in the memory its steps hold; the oldest steps go first, the newest always stays.
class ListHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxSteps = 100;
    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

    explicit ListHistory(DataGrid& grid, qint64 maxBytes = kMaxBytes);
    ~ListHistory() override;

    QUndoStack& stack() const { return *mStack; }
    DataGrid& grid() const { return mGrid; }

    /// Makes the change (its redo) and keeps it as the newest step.
    void push(ListChange* change);
    /// Keeps a change already made as the newest step.
    void pushDone(ListChange* change);

    /// The grid's place now.
    GridPlace place() const;

    /// The bytes the steps hold, and the most they may hold.
    qint64 cost() const;
    void setMaxBytes(qint64 maxBytes) { mMaxBytes = maxBytes; }

    /// A change made by code that knows nothing of the history (the row commands): the rows
    /// before are taken at construction and compared at commit, and what differs becomes one
    /// step. Without a commit, or when nothing differs, no step is kept.
    class Recording
    {
    public:
        Recording(ListHistory& history, const QString& text);
        void commit();

    private:
        ListHistory& mHistory;
        QString mText;
        ListRows mBefore;
        GridPlace mPlace;
    };

private:
    void keepWithinBudget();

    DataGrid& mGrid;
    QUndoStack* mStack;
    qint64 mMaxBytes;
};

} // namespace tessivane
