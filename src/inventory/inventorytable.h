#pragma once

#include "inventory/inventoryfields.h"

#include <QHash>
#include <QObject>
#include <QVariant>
#include <QVector>

namespace tessivane {

/// The in-memory inventory table: typed fields that hold Null, a current row, stable bookmarks,
/// AddNew committed on the next AddNew or move, Delete, Move*, BOF/EOF and conversion of stored
/// values to the field's type. It behaves like a connectionless ADO Recordset with a dynamic
/// cursor, which the rest of the program was written against.
///
/// Every failing operation throws a std::exception whose what() is a sentence for the user.
/// Values: an invalid QVariant is Null; text is QString, whole numbers int, money double
/// (kept to four decimals), dates QDateTime (a wall-clock time without zone).
class InventoryTable : public QObject
{
    Q_OBJECT

public:
    /// Stable for the life of a row, never reused; opaque to callers.
    using Bookmark = quint64;

    explicit InventoryTable(QObject* parent = nullptr);
    ~InventoryTable() override;

    /// Fields.Append: defines one more field (every field holds Null). Only before Open.
    void AppendField(const FieldDef& def);
    /// CursorType 0..3; only before Open. The table behaves the same for every type.
    void SetCursorType(int type);
    int CursorType() const { return mCursorType; }
    /// Opens the empty table; rows can be added from now on.
    void Open();
    bool IsOpen() const { return mOpen; }

    /// Commits a pending new row, then appends a row of Nulls and makes it current.
    void AddNew();
    /// Commits the current row (a pending new row included); needs a current row.
    void Update();
    /// True from AddNew until that row is committed (next AddNew, Update or move).
    bool HasPendingNewRow() const { return mPendingAdd; }
    /// Deletes the current row; the position stays on the deleted row until the next move.
    void Delete();

    void MoveFirst();
    void MoveNext();
    /// Moves by n rows from the current one; beyond the last row gives EOF, before the first BOF.
    void Move(int n);

    // BOF / EOF of the Recordset; named IsBOF / IsEOF because <cstdio> defines EOF as a macro.
    bool IsBOF() const;
    bool IsEOF() const;
    int RecordCount() const { return int(mRows.size()); }
    int FieldCount() const { return int(mFields.size()); }
    const FieldDef& Field(int field) const;

    /// Fields(i).Value of the current row.
    QVariant Value(int field) const;
    /// Stores into field i of the current row, converted to the field's type.
    void SetValue(int field, const QVariant& value);

    Bookmark GetBookmark() const;
    /// Makes the row with this bookmark current.
    void SetBookmark(Bookmark bookmark);

    // Row access by index for the grid, without moving the current row.

    /// The current row's index, or -1 at BOF, EOF or on a deleted row.
    int CurrentRow() const;
    bool HasCurrentRow() const { return CurrentRow() >= 0; }
    /// True while the position is a row that was deleted and not yet moved away from.
    bool IsOnDeletedRow() const { return mOnDeleted; }
    /// Makes row `row` current (a move: commits a pending new row).
    void SetCurrentRow(int row);
    QVariant ValueAt(int row, int field) const;
    /// Every field of row `row`, shared with the table until either side changes it.
    QVector<QVariant> RowValuesAt(int row) const;
    void SetValueAt(int row, int field, const QVariant& value);
    Bookmark BookmarkAt(int row) const;
    /// The index of the row with this bookmark, -1 when it is gone.
    int RowOf(Bookmark bookmark) const;

    /// Every row's values in table order, shared with the table until either side changes.
    QVector<QVector<QVariant>> AllRowValues() const;
    /// Puts rows in place of the `count` rows from `first` as one change: the rows that both
    /// share are rewritten in place (they keep their bookmarks), the rest are removed or
    /// inserted after them. The values are stored as given: they come from this kind of table
    /// or were converted for their fields. A pending new row is committed; the position stays
    /// on the same row index, or on the last row when that is gone.
    void SpliceRows(int first, int count, const QVector<QVector<QVariant>>& rows);

signals:
    void fieldsAboutToChange();
    void fieldsChanged();
    void rowAboutToBeAppended(int row);
    void rowAppended(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void valueChanged(int row, int field);
    /// Rows inserted, removed and rewritten by SpliceRows, each range at once.
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted();
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved();
    void rowsRewritten(int first, int last);
    /// The position moved (also to BOF, EOF or a deleted row).
    void currentRowChanged();
    /// Emitted first thing in the destructor, while the rows can still be read.
    void aboutToBeDestroyed();

private:
    struct Row
    {
        Bookmark bookmark;
        QVector<QVariant> values;
    };

    void requireOpen() const;
    int requireCurrent() const;
    void checkField(int field) const;
    void checkRow(int row) const;
    void commitPending();
    void setPosition(int position, bool onDeleted);

    QVector<FieldDef> mFields;
    QVector<Row> mRows;
    mutable QHash<Bookmark, int> mRowOfBookmark;
    mutable bool mRowIndexDirty = false;
    Bookmark mNextBookmark = 1;
    int mCursorType = 0;
    bool mOpen = false;
    bool mPendingAdd = false;
    /// Row index of the current row; -1 is BOF, RecordCount() is EOF. On a deleted row it is
    /// the index of the row that followed it.
    int mPosition = -1;
    bool mOnDeleted = false;
};

} // namespace tessivane
