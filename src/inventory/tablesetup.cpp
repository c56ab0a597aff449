#include "inventory/tablesetup.h"

#include <stdexcept>

namespace tessivane {

namespace {

InventoryTable& created(const std::unique_ptr<InventoryTable>& table)
{
    if (!table)
        throw std::runtime_error("The inventory table was not created.");
    return *table;
}

} // namespace

std::vector<std::function<void()>> tableCreation(std::unique_ptr<InventoryTable>& table)
{
    std::vector<std::function<void()>> actions;
    actions.emplace_back([&table] { table = std::make_unique<InventoryTable>(); });
    for (const FieldDef& field : kInventoryFields)
        actions.emplace_back([&table, &field] { created(table).AppendField(field); });
    actions.emplace_back([&table] { created(table).SetCursorType(2); });
    actions.emplace_back([&table] { created(table).Open(); });
    return actions;
}

void appendInventoryFields(InventoryTable& table)
{
    for (const FieldDef& field : kInventoryFields)
        table.AppendField(field);
}

} // namespace tessivane
