#pragma once

#include "core/failurereport.h"
#include "grid/datagrid.h"
#include "inventory/inventorytable.h"

#include <QWidget>

#include <memory>

namespace tessivane {

// The bodies of the row-command handlers. The caller passes the handler's Steps
// (Steps step(boxes, "Form1", "PushButton1_Click") etc.); every numbered step runs through it,
// and the command's own questions and notices go through its boxes.

/// PushButton1_Click: deletes the first whole-row selection of the grid after a confirmation;
/// window (may be null) has its drawing suspended around the deletion.
void deleteSelectedRow(InventoryTable& table, DataGrid& grid, QWidget* window, Steps& step);

/// PushButton2_Click: inserts a blank row below the table's current row and makes it current.
/// Works on a table of any size; with no current row it does nothing.
void insertBelowSelectedRow(InventoryTable& table, Steps& step);

/// PushButton3_Click: after a confirmation, replaces the table by a new one of sixteen blank
/// rows and binds the grid to it with the full column set-up.
void deleteAll(
    std::unique_ptr<InventoryTable>& table, DataGrid& grid, DataFormat* myFmt, Steps& step);

/// PushButton7_Click: removes the blank rows, appends the two sample rows and binds the grid
/// again with the full column set-up.
void loadSampleData(InventoryTable& table, DataGrid& grid, DataFormat* myFmt, Steps& step);

} // namespace tessivane
