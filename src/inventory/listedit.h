#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tessivane {

/// Changes to the list's rows worked out apart from the table and the grid: a pasted block, a
/// value filled into cells, cells cleared. Every value is checked as a typed one is.

using ListRows = QVector<QVector<QVariant>>;

/// A value refused for a cell: its row and field (0-based) and why.
struct CellRefusal
{
    int row = 0;
    int field = 0;
    QString reason;
};

/// The outcome of a change: the rows from `first` on that take the place of `replaced` rows
/// of the list (more rows than replaced grow the list), and what was not taken.
struct CellChange
{
    int first = 0;
    int replaced = 0;
    ListRows rows;
    /// The values offered, those refused (their cells keep what they held), and the values
    /// beyond the last column, left out.
    int offered = 0;
    QList<CellRefusal> refused;
    int beyondLastColumn = 0;
};

/// The row a new row of the list gets, as Insert Below Selected Row makes it: empty texts,
/// zeros, no date.
QVector<QVariant> blankListRow();

/// True when nothing in the row counts as filled in (no value, empty texts, zeros).
bool isBlankRow(const QVector<QVariant>& row);

/// The cells of a clipboard text: lines of tab-separated values as spreadsheets put a block
/// there (a cell with a tab, a quote or a line break in quotes). A last line break adds no row.
QList<QStringList> clipboardBlock(const QString& text);

/// A block as spreadsheets put it on the clipboard: tabs between cells, a line feed after each
/// row, cells with a tab, quote or line break quoted.
QString clipboardText(const QList<QStringList>& block);

/// Pastes block with its top-left cell at (row, field): its rows go down the list, which grows
/// at the end by blank rows as needed, its columns to the right.
CellChange pasteBlock(const ListRows& rows, int row, int field, const QList<QStringList>& block);

/// Puts one text into each of the cells (x the field, y the row, all within the list).
CellChange fillCells(const ListRows& rows, const QList<QPoint>& cells, const QString& text);

/// Puts texts[i] into cells[i] (x the field, y the row, all within the list).
CellChange putCells(const ListRows& rows, const QList<QPoint>& cells, const QStringList& texts);

} // namespace tessivane
