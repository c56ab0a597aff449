#include "grid/inventorysetup.h"

#include <stdexcept>

namespace tessivane {

std::vector<std::function<void()>> gridSetUp(
    DataGrid& grid, InventoryTable* table, DataFormat* myFmt)
{
    std::vector<std::function<void()>> actions;
    actions.emplace_back([&grid, table] {
        grid.SetDataSource(table);
        if (!table)
            throw std::runtime_error("The inventory table was not created.");
    });
    for (const int column : kCurrencyColumns)
        actions.emplace_back([&grid, myFmt, column] { grid.SetColumnDataFormat(column, myFmt); });
    for (int column = 0; column < int(kInventoryFields.size()); ++column)
        actions.emplace_back(
            [&grid, column] { grid.SetColumnWidth(column, kInventoryFields[column].gridWidth); });
    actions.emplace_back([&grid] { grid.SetRowHeight(kGridRowHeight); });
    return actions;
}

} // namespace tessivane
