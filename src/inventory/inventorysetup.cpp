#include "inventory/inventorysetup.h"

#include <stdexcept>

namespace tessivane {

namespace {

InventoryTable& created(InventoryTable* table)
{
    if (!table)
        throw std::runtime_error("The inventory table was not created.");
    return *table;
}

} // namespace

void AppendInventoryFields(InventoryTable& table)
{
    for (const FieldDef& field : kInventoryFields)
        table.AppendField(field);
}

std::unique_ptr<InventoryTable> CreateInventoryTable(Steps& step, int firstLine)
{
    std::unique_ptr<InventoryTable> table;
    step(firstLine, [&] { table = std::make_unique<InventoryTable>(); });
    for (int field = 0; field < int(kInventoryFields.size()); ++field) {
        step(firstLine + 2 + 2 * field,
            [&] { created(table.get()).AppendField(kInventoryFields[field]); });
    }
    step(firstLine + 28, [&] { created(table.get()).SetCursorType(2); });
    step(firstLine + 30, [&] { created(table.get()).Open(); });
    return table;
}

void SetUpGrid(DataGrid& grid, InventoryTable* table, DataFormat* myFmt, Steps& step, int firstLine)
{
    step(firstLine, [&] {
        grid.SetDataSource(table);
        created(table);
    });
    for (int k = 0; k < int(kCurrencyColumns.size()); ++k)
        step(firstLine + 2 + 2 * k, [&] { grid.SetColumnDataFormat(kCurrencyColumns[k], myFmt); });
    for (int column = 0; column < int(kInventoryFields.size()); ++column) {
        step(firstLine + 10 + 2 * column,
            [&] { grid.SetColumnWidth(column, kInventoryFields[column].gridWidth); });
    }
    step(firstLine + 36, [&] { grid.SetRowHeight(kGridRowHeight); });
}

} // namespace tessivane
