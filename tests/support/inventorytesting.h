#pragma once

// Inventory tables built the way the program builds them, the settings store, locales. Qt Core
// only: the inventory data is tested without widgets.

#include "support/testmain.h"

#include "inventory/inventorytable.h"
#include "inventory/persistence.h"
#include "inventory/tablesetup.h"

#include <QLocale>
#include <QSettings>
#include <QStringList>

#include <memory>

namespace tessivane::test {

/// An open inventory table with `rows` rows; field 0 holds "A1", "A2", … and the money and
/// number fields hold the row number.
inline std::unique_ptr<InventoryTable> makeTable(int rows)
{
    auto table = std::make_unique<InventoryTable>();
    appendInventoryFields(*table);
    table->SetCursorType(2);
    table->Open();
    for (int i = 1; i <= rows; ++i) {
        table->AddNew();
        table->SetValue(0, QStringLiteral("A%1").arg(i));
        table->SetValue(5, i);
        table->SetValue(6, i + 0.25);
    }
    if (rows > 0)
        table->MoveFirst();
    return table;
}

/// The values of field `field` of every row, in table order (the position is not changed).
inline QVariantList column(const InventoryTable& table, int field)
{
    QVariantList values;
    for (int row = 0; row < table.RecordCount(); ++row)
        values.append(table.ValueAt(row, field));
    return values;
}

/// The program's settings store, opened on its group.
inline std::unique_ptr<QSettings> store()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
    settings->beginGroup(QStringLiteral("Tessivane"));
    return settings;
}

inline void clearStore()
{
    auto settings = store();
    settings->endGroup();
    settings->clear();
    settings->sync();
}

/// Loads the stored rows into a new table as the start-up does, without its report: every
/// value that cannot be stored is listed in failures ("row r field f: what").
inline std::unique_ptr<InventoryTable> loadStoredTable(QStringList* failures = nullptr)
{
    auto table = makeTable(0);
    const StoredRows stored;
    QString problem;
    const int rows = stored.count(problem);
    if (failures && !problem.isEmpty())
        failures->append(problem);
    for (int row = 1; row <= rows; ++row) {
        table->AddNew();
        for (int field = 0; field < table->FieldCount(); ++field) {
            try {
                table->SetValue(field, stored.value(field, row));
            } catch (const std::exception& e) {
                if (failures)
                    failures->append(QStringLiteral("row %1 field %2: %3")
                                         .arg(row)
                                         .arg(field)
                                         .arg(QString::fromStdString(e.what())));
            }
        }
    }
    return table;
}

/// Sets the default locale for one scope.
class LocaleScope
{
public:
    explicit LocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

} // namespace tessivane::test
