#pragma once

#include "app/failurereport.h"
#include "inventory/datagrid.h"
#include "inventory/inventorytable.h"

#include <memory>

namespace tessivane {

/// Creates the empty inventory table with its thirteen fields, dynamic cursor, open: one step
/// per line from firstLine (130 at start-up, 102 in Delete All): create, the fields at
/// firstLine+2 .. firstLine+26, the cursor type, Open. Returns null when creation failed;
/// every later step then fails and is reported on its own.
std::unique_ptr<InventoryTable> CreateInventoryTable(Steps& step, int firstLine);

/// Binds the grid to the table and lays out its columns: bind at firstLine (192 at start-up,
/// 164 in Delete All, 180 for the sample data), the currency format on columns 6, 7, 11, 12,
/// the thirteen column widths, the row height (firstLine+36).
void SetUpGrid(
    DataGrid& grid, InventoryTable* table, DataFormat* myFmt, Steps& step, int firstLine);

/// The field set-up shared by both, without steps (tests, benchmarks).
void AppendInventoryFields(InventoryTable& table);

} // namespace tessivane
