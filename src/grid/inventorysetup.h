#pragma once

#include "grid/datagrid.h"
#include "inventory/inventorytable.h"

#include <functional>
#include <vector>

namespace tessivane {

/// The actions that bind the grid to the table and lay out its columns: bind, the currency
/// format on columns 6, 7, 11 and 12, the thirteen column widths, the row height.
std::vector<std::function<void()>> gridSetUp(
    DataGrid& grid, InventoryTable* table, DataFormat* myFmt);

} // namespace tessivane
