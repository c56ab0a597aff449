#include "office/session/cellblocks_p.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace tessivane {

std::vector<CellBlock> cellBlocks(const std::vector<std::pair<int, int>>& cells)
{
    struct Segment
    {
        int firstRow, lastRow, column;
    };
    std::map<int, std::vector<int>> rowsByColumn;
    for (const auto& cell : cells)
        rowsByColumn[cell.second].push_back(cell.first);
    std::vector<Segment> segments;
    for (auto& [column, rows] : rowsByColumn) {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        size_t begin = 0;
        for (size_t i = 1; i <= rows.size(); ++i) {
            if (i == rows.size() || rows[i] != rows[i - 1] + 1) {
                segments.push_back({rows[begin], rows[i - 1], column});
                begin = i;
            }
        }
    }
    std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
        return std::tie(a.firstRow, a.lastRow, a.column)
            < std::tie(b.firstRow, b.lastRow, b.column);
    });

    std::vector<CellBlock> blocks;
    for (size_t i = 0; i < segments.size();) {
        size_t j = i + 1;
        while (j < segments.size() && segments[j].firstRow == segments[i].firstRow
            && segments[j].lastRow == segments[i].lastRow
            && segments[j].column == segments[j - 1].column + 1)
            ++j;
        blocks.push_back({segments[i].firstRow, segments[i].lastRow, segments[i].column,
            segments[j - 1].column});
        i = j;
    }
    return blocks;
}

} // namespace tessivane
