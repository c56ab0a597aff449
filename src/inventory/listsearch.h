#pragma once

#include "inventory/listedit.h"

#include <QBitArray>
#include <QDateTime>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

namespace tessivane {

/// What the user looks for: the text, whether its case counts, whether it must be the whole
/// cell rather than a part of it.
struct FindOptions
{
    QString text;
    bool matchCase = false;
    bool wholeCell = false;
};

/// The text a cell shows in the grid, where it may differ from what the cell stores (money in
/// the currency form, dates in the user's form). Called only for number, money and date cells.
using ShownText = std::function<QString(int row, int field)>;

/// Finding and replacing in the list's rows apart from the grid. A cell matches when the text
/// is found in what it shows or in what it stores: a text cell's text; a whole number's or an
/// amount's digits with a point ("1234.5"); a date as yyyy-mm-dd, so that 2021-03-01 finds the
/// date shown as 3/1/2021. A whole-cell search also takes a text that reads as the same date or
/// amount. Cells are visited row by row, left to right.
class ListSearch
{
public:
    ListSearch(const ListRows& rows, FindOptions options, ShownText shown = {});

    /// Only this field (-1: every field).
    void setField(int field);
    /// Only the cells inside these areas (x the field, y the row); an empty list: every cell.
    void setCells(const QList<QRect>& areas);

    bool isEmpty() const { return mOptions.text.isEmpty(); }
    bool matches(int row, int field) const;

    /// The next matching cell after `from` (before it, going backward), continuing at the other
    /// end of the list; `from` itself comes last. wrapped tells whether the end was passed.
    std::optional<QPoint> next(QPoint from, bool backward, bool* wrapped = nullptr) const;
    /// Every matching cell, x the field and y the row, in row order.
    QList<QPoint> all() const;

    /// The text the cell gets when the matches in it are replaced by `with` (the whole cell, or
    /// each occurrence in the form that matched); nothing when the cell does not match.
    std::optional<QString> replaced(int row, int field, const QString& with) const;
    /// Every matching cell replaced, each new text checked as a typed one (refusals keep their
    /// cells); the change spans the first to the last changed row.
    CellChange replaceAll(const QString& with) const;

private:
    bool inScope(int row, int field) const;
    bool matchesText(const QString& text) const;
    bool sameValue(int field, const QVariant& value) const;
    QString storedText(int field, const QVariant& value) const;
    QString shownText(int row, int field) const;

    const ListRows& mRows;
    FindOptions mOptions;
    ShownText mShown;
    Qt::CaseSensitivity mCase;
    int mField = -1;
    int mFields = 0;
    QBitArray mCells;
    bool mCellsOnly = false;
    std::optional<double> mNumber;
    QDateTime mDate;
    bool mInNumberForm = true;
    bool mInDateForm = true;
};

} // namespace tessivane
