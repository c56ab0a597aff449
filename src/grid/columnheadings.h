#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class QLabel;

namespace tessivane {

class DataGrid;

/// The labels over the grid's columns, which stand for its hidden column headings. Each keeps
/// the place it was given while its column has its starting width, and follows its column's
/// edges as they move (a column widened or narrowed, the grid scrolled sideways). Dragging a
/// label's edge widens or narrows its column, as a heading's edge does in a spreadsheet.
class ColumnHeadings : public QObject
{
public:
    explicit ColumnHeadings(DataGrid& grid);

    /// The label, at the place it has now, stands over the column from now on. Labels and grid
    /// share one parent.
    void add(QLabel* label, int column);

    /// The columns' widths in pixels, in column order.
    QList<int> columnWidths() const;
    /// Gives the columns these widths; a list of another length, or with a width the grid
    /// could not show sensibly, changes nothing.
    void setColumnWidths(const QList<int>& widths);

    /// Puts every label over its column's edges.
    void follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Heading
    {
        QPointer<QLabel> label;
        int column;
        QRect start;
    };
    /// The column whose right edge is under the point of the label, or -1.
    int edgeColumn(const Heading& heading, int x) const;
    /// Where the column's left edge was with every column at its starting width.
    int startPosition(int column) const;
    static int startWidth(int column);

    DataGrid& mGrid;
    QList<Heading> mHeadings;
    int mDragColumn = -1;
    int mDragFrom = 0;
    int mDragWidth = 0;
};

} // namespace tessivane
