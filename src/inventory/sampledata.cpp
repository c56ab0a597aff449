#include "inventory/sampledata.h"

#include "inventory/currency.h"
#include "inventory/fieldconversion.h"
#include "inventory/inventorysetup.h"

#include <QDate>
#include <QDateTime>

#include <array>

namespace tessivane {

namespace {

using SampleRow = std::array<QVariant, 13>;

SampleRow sampleRow(int which)
{
    const QString vendor = QStringLiteral("John's  manufacture");
    if (which == 1) {
        return {QStringLiteral("1189785"), QStringLiteral("Desk g-785"), QStringLiteral("Office"),
            QStringLiteral("Normal"), vendor, 2, CurrencyText(149.99), 0, QDate(2015, 8, 11), 1,
            0.5, 10, 0};
    }
    return {QStringLiteral("11899588"), QStringLiteral("Locker f-588"), QStringLiteral("Office"),
        QStringLiteral("age-worn"), vendor, 6, CurrencyText(849.99), 0, QDate(2011, 7, 22), 0, 0, 0,
        0};
}

// A date counts as the number of days since 30 December 1899, so only that midnight is zero.
const QDateTime kZeroDate(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);

} // namespace

bool IsFilled(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return false;
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.isEmpty())
            return false;
        const auto number = ReadLocaleNumber(text);
        return !number || *number != 0;
    }
    case QMetaType::QDateTime:
        return value.toDateTime() != kZeroDate;
    case QMetaType::QDate:
        return value.toDate() != kZeroDate.date();
    default:
        return value.toDouble() != 0;
    }
}

void LoadSampleData(InventoryTable& table, DataGrid& grid, DataFormat* myFmt, Steps& step)
{
    step(100, [&] {
        if (table.RecordCount() > 0)
            table.MoveFirst();
    });
    int rows = 0;
    step(102, [&] { rows = table.RecordCount(); });
    for (int counter = 0; counter < rows; ++counter) {
        bool blank = true;
        step(104, [&] { blank = true; });
        for (int field = 0; field < table.FieldCount(); ++field) {
            if (step.test(108, [&] { return IsFilled(table.Value(field)); }))
                step(110, [&] { blank = false; });
        }
        if (step.test(112, [&] { return blank; }))
            step(114, [&] { table.Delete(); });
        if (step.test(116, [&] { return !table.IsEOF(); }))
            step(118, [&] { table.MoveNext(); });
    }
    for (int which = 1; which <= 2; ++which) {
        const int firstLine = which == 1 ? 124 : 152;
        const SampleRow row = sampleRow(which);
        step(firstLine, [&] { table.AddNew(); });
        for (int field = 0; field < int(row.size()); ++field)
            step(firstLine + 2 + 2 * field, [&] { table.SetValue(field, row[field]); });
    }
    SetUpGrid(grid, &table, myFmt, step, 180);
}

} // namespace tessivane
