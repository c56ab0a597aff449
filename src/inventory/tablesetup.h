#pragma once

#include "inventory/inventorytable.h"

#include <functional>
#include <memory>
#include <vector>

namespace tessivane {

/// The actions that create the empty inventory table into table: create, the thirteen fields,
/// the dynamic cursor, Open. An action after a failed creation fails readably on its own.
std::vector<std::function<void()>> tableCreation(std::unique_ptr<InventoryTable>& table);

/// The field set-up without steps (tests, benchmarks).
void appendInventoryFields(InventoryTable& table);

} // namespace tessivane
