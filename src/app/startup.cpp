#include "app/startup.h"

#include "inventory/persistence.h"

#include <stdexcept>

namespace tessivane {

bool loadStoredRows(InventoryTable& table, Steps& step)
{
    const StoredRows stored;
    int rows = 0;
    step(162, [&] {
        QString problem;
        rows = stored.count(problem);
        if (!stored.unreadable().isEmpty())
            problem = QStringLiteral("The stored inventory list in %1 could not be read (%2). "
                                     "The list starts with blank rows, and that file is not "
                                     "written over, so that its rows can be recovered.")
                          .arg(storeFileName(), stored.unreadable());
        if (!problem.isEmpty())
            throw std::runtime_error(problem.toStdString());
    });
    for (int row = 1; row <= rows; ++row) {
        // A table that takes no rows would report the same failure for every stored row.
        if (!step(164, [&] { table.AddNew(); }))
            break;
        for (int field = 0; field < int(kInventoryFields.size()); ++field)
            step(166 + 2 * field, [&] { table.SetValue(field, stored.value(field, row)); });
    }
    return stored.unreadable().isEmpty();
}

} // namespace tessivane
