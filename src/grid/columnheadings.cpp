#include "grid/columnheadings.h"

#include "core/twips.h"
#include "grid/datagrid.h"
#include "inventory/inventoryfields.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

#include <iterator>

namespace tessivane {

namespace {

// How near a label's edge the pointer grabs it, in pixels.
constexpr int kGrip = 4;
constexpr int kNarrowest = 8;
constexpr int kWidest = 4000;

} // namespace

ColumnHeadings::ColumnHeadings(DataGrid& grid)
    : QObject(&grid)
    , mGrid(grid)
{
    QHeaderView* header = grid.horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, [this] { follow(); });
    connect(grid.horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { follow(); });
    connect(grid.model(), &QAbstractItemModel::modelReset, this, [this] { follow(); });
    grid.installEventFilter(this);
}

void ColumnHeadings::add(QLabel* label, int column)
{
    mHeadings.append({label, column, label->geometry()});
    label->setMouseTracking(true);
    label->installEventFilter(this);
    follow();
}

int ColumnHeadings::startWidth(int column)
{
    return twipsToPixels(kInventoryFields[column].gridWidth);
}

int ColumnHeadings::startPosition(int column) const
{
    int position = 0;
    for (int before = 0; before < column; ++before)
        position += startWidth(before);
    return position;
}

void ColumnHeadings::follow()
{
    const int columns = mGrid.model()->columnCount();
    const QRect grid = mGrid.geometry();
    const int viewportLeft = grid.left() + mGrid.viewport()->geometry().left();
    for (const Heading& heading : std::as_const(mHeadings)) {
        if (!heading.label)
            continue;
        if (heading.column >= columns || heading.column >= int(std::size(kInventoryFields))) {
            heading.label->setGeometry(heading.start);
            continue;
        }
        const int moved
            = mGrid.columnViewportPosition(heading.column) - startPosition(heading.column);
        const int widened = mGrid.columnWidth(heading.column) - startWidth(heading.column);
        QRect place = heading.start.adjusted(moved, 0, moved + widened, 0);
        // A label scrolled out of the grid's sight goes with its column; one cut by an edge is
        // cut there too.
        if (moved != 0 && place.left() < viewportLeft)
            place.setLeft(viewportLeft);
        if (place.right() > grid.right())
            place.setRight(grid.right());
        heading.label->setGeometry(place);
        heading.label->setVisible(place.width() > 0);
    }
}

QList<int> ColumnHeadings::columnWidths() const
{
    QList<int> widths;
    for (int column = 0; column < mGrid.model()->columnCount(); ++column)
        widths.append(mGrid.columnWidth(column));
    return widths;
}

void ColumnHeadings::setColumnWidths(const QList<int>& widths)
{
    if (widths.size() != mGrid.model()->columnCount())
        return;
    for (const int width : widths) {
        if (width < kNarrowest || width > kWidest)
            return;
    }
    mGrid.SetChosenColumnWidths(widths);
    for (int column = 0; column < widths.size(); ++column)
        mGrid.setColumnWidth(column, widths[column]);
    follow();
}

int ColumnHeadings::edgeColumn(const Heading& heading, int x) const
{
    if (x >= heading.label->width() - kGrip)
        return heading.column;
    if (x < kGrip && heading.column > 0)
        return heading.column - 1;
    return -1;
}

bool ColumnHeadings::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &mGrid) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
            follow();
        return false;
    }
    const auto found = std::find_if(mHeadings.cbegin(), mHeadings.cend(),
        [watched](const Heading& heading) { return heading.label == watched; });
    if (found == mHeadings.cend() || mGrid.model()->columnCount() == 0)
        return false;
    QLabel* label = found->label;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int column = edgeColumn(*found, mouse->position().toPoint().x());
        if (mouse->button() != Qt::LeftButton || column < 0)
            return false;
        mDragColumn = column;
        mDragFrom = mouse->globalPosition().toPoint().x();
        mDragWidth = mGrid.columnWidth(column);
        return true;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mDragColumn >= 0) {
            const int width = mDragWidth + mouse->globalPosition().toPoint().x() - mDragFrom;
            mGrid.setColumnWidth(mDragColumn, qBound(kNarrowest, width, kWidest));
            return true;
        }
        if (edgeColumn(*found, mouse->position().toPoint().x()) >= 0)
            label->setCursor(Qt::SplitHCursor);
        else
            label->unsetCursor();
        return false;
    }
    case QEvent::MouseButtonRelease:
        if (mDragColumn < 0)
            return false;
        mDragColumn = -1;
        mGrid.SetChosenColumnWidths(columnWidths());
        return true;
    default:
        return false;
    }
}

} // namespace tessivane
