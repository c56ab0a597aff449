#pragma once

#include "app/failurereport.h"
#include "inventory/datagrid.h"
#include "inventory/inventorytable.h"

#include <QVariant>

namespace tessivane {

/// PushButton7_Click: removes the blank rows, appends the two sample rows and binds the grid
/// again with the full column set-up.
void LoadSampleData(InventoryTable& table, DataGrid& grid, DataFormat* myFmt, Steps& step);

/// Whether a field value counts as filled: not Null, not empty text, not equal to zero (a text
/// that reads as a number is compared as that number).
bool IsFilled(const QVariant& value);

} // namespace tessivane
