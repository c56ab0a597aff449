#pragma once

// The plan of a buffered write: which rectangular blocks cover exactly the cells kept.
// Private to the office rooms.

#include <utility>
#include <vector>

namespace tessivane {

/// A rectangle of cells, 1-based and inclusive.
struct CellBlock
{
    int firstRow = 0;
    int lastRow = 0;
    int firstColumn = 0;
    int lastColumn = 0;

    bool operator==(const CellBlock&) const = default;
};

/// As few rectangular blocks as cover exactly the cells given as (row, column): runs of
/// consecutive rows per column, joined across neighbouring columns with the same run. They
/// come ordered by their rows, then by their first column.
std::vector<CellBlock> cellBlocks(const std::vector<std::pair<int, int>>& cells);

} // namespace tessivane
