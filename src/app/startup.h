#pragma once

#include "core/failurereport.h"
#include "inventory/inventorytable.h"

namespace tessivane {

/// Loads the saved rows into the freshly opened, empty table as steps of Form_Load (lines 162
/// to 190). An absent count loads sixteen blank rows. A count that is not sane is reported
/// once (line 162) and the rows the store really holds are loaded instead. A settings file
/// that cannot be read is reported once (line 162, with its path and the reason) and sixteen
/// blank rows are loaded; then false is returned: that file must not be written over.
bool loadStoredRows(InventoryTable& table, Steps& step);

} // namespace tessivane
