#include "grid/rowcommands.h"

#include "core/messagebox.h"
#include "grid/inventorysetup.h"
#include "inventory/currency.h"
#include "inventory/persistence.h"
#include "inventory/sampledata.h"
#include "inventory/tablesetup.h"

#include <QVector>

#include <stdexcept>

namespace tessivane {

namespace {

/// The values a row gets from Insert Below Selected Row (money as 0) or from Delete All (money
/// as the currency text of 0, which the field turns into 0).
QVariant blankValue(int field, bool moneyAsText)
{
    switch (kInventoryFields[field].type) {
    case FieldType::Text:
        return QString();
    case FieldType::Integer:
        return 0;
    case FieldType::Currency:
        if (moneyAsText && (field == kInitialValue || field == kDownPayment))
            return CurrencyText(0);
        return 0.0;
    case FieldType::Date:
        return QVariant();
    }
    return QVariant();
}

using WorkingRow = QVector<QVariant>;

/// The working copy of Insert Below Selected Row, rows numbered from 1; it grows with the table.
class WorkingCopy
{
public:
    WorkingRow& row(int i)
    {
        if (i < 1)
            throw std::out_of_range("The working copy has no row " + std::to_string(i) + ".");
        if (i > mRows.size())
            mRows.resize(i, WorkingRow(int(kInventoryFields.size())));
        return mRows[i - 1];
    }

private:
    QVector<WorkingRow> mRows;
};

/// Tells the user, and returns true, when a row command would make the list longer than it
/// may be: before the command changes anything.
bool refusedForLength(const InventoryTable& table, int after, const char* command, Steps& step)
{
    const QString refusal
        = rowLimitRefusal(QString::fromLatin1(command), table.RecordCount(), after, 0);
    if (refusal.isEmpty())
        return false;
    swallow([&] { step.boxes().MsgBox(refusal, vbExclamation); });
    return true;
}

} // namespace

void deleteSelectedRow(InventoryTable& table, DataGrid& grid, QWidget* window, Steps& step)
{
    if (step.test(100, [&] { return !grid.SelBookmarks().isEmpty(); })) {
        step(102, [&] { table.SetBookmark(grid.SelBookmarks().value(0)); });
        // A failing question ends the command as a No would: nothing is deleted unasked.
        if (step.test(104, [&] {
                const QString prompt = QStringLiteral("Do you really want delete this row ?\r\n(")
                    + table.Value(kAssetNumber).toString() + QStringLiteral(")");
                return step.boxes().MsgBox(
                           prompt, vbYesNo | vbDefaultButton2, QStringLiteral("Question"))
                    != vbYes;
            }))
            return;
        step(106, [&] {
            if (window)
                window->setUpdatesEnabled(false);
        });
        step(108, [&] { table.Delete(); });
        step(110, [&] {
            if (window)
                window->setUpdatesEnabled(true);
        });
        step(112, [&] { step.boxes().MsgBox(QStringLiteral("Row deleted.")); });
        return;
    }
    step(114, [&] { step.boxes().MsgBox(QStringLiteral("You must select first a row.")); });
}

void insertBelowSelectedRow(InventoryTable& table, Steps& step)
{
    // Without a current row there is nothing to insert below.
    if (!table.HasCurrentRow()
        || refusedForLength(table, table.RecordCount() + 1, "Insert Below Selected Row", step))
        return;
    const int fields = int(kInventoryFields.size());
    WorkingCopy copy;
    InventoryTable::Bookmark current = 0;
    int i = 0;
    int insertionPoint = 0;
    const auto copyCurrentRow = [&](int firstLine) {
        for (int field = 0; field < fields; ++field)
            step(firstLine + 2 * field, [&] { copy.row(i)[field] = table.Value(field); });
    };

    if (!step(100, [&] { current = table.GetBookmark(); }))
        return;
    step(102, [&] { table.MoveFirst(); });
    step(104, [&] { i = 0; });
    // The loops also end at the end of the table, so a failing step cannot make them endless.
    while (!table.IsEOF() && step.test(106, [&] { return table.GetBookmark() != current; })) {
        step(108, [&] { ++i; });
        copyCurrentRow(110);
        step(136, [&] { table.MoveNext(); });
    }
    if (table.IsEOF())
        return; // the row has gone; nothing was changed
    step(138, [&] { ++i; });
    copyCurrentRow(140);
    step(166, [&] { insertionPoint = i; });
    step(168, [&] { table.MoveNext(); });
    step(170, [&] { ++i; });
    for (int field = 0; field < fields; ++field)
        step(172 + 2 * field, [&] { copy.row(i)[field] = blankValue(field, false); });
    while (step.test(198, [&] { return !table.IsEOF(); }) && !table.IsEOF()) {
        step(200, [&] { ++i; });
        copyCurrentRow(202);
        step(228, [&] { table.MoveNext(); });
    }
    step(230, [&] { table.AddNew(); });
    step(232, [&] { table.Update(); });
    step(234, [&] { table.MoveFirst(); });
    step(236, [&] { i = 0; });
    while (step.test(238, [&] { return !table.IsEOF(); }) && !table.IsEOF()) {
        step(240, [&] { ++i; });
        for (int field = 0; field < fields; ++field)
            step(242 + 2 * field, [&] { table.SetValue(field, copy.row(i)[field]); });
        step(268, [&] { table.Update(); });
        step(270, [&] { table.MoveNext(); });
    }
    step(272, [&] { table.MoveFirst(); });
    step(274, [&] { table.Move(insertionPoint); });
}

void deleteAll(
    std::unique_ptr<InventoryTable>& table, DataGrid& grid, DataFormat* myFmt, Steps& step)
{
    if (step.test(100, [&] {
            return step.boxes().MsgBox(QStringLiteral("Do you really want clear ?"),
                       vbYesNo | vbDefaultButton2, QStringLiteral("Question"))
                == vbNo;
        }))
        return;
    // The old table goes as soon as the new one is made; the grid lets go of it by itself.
    step.sequence(102, tableCreation(table));
    const auto require = [&]() -> InventoryTable& {
        if (!table)
            throw std::runtime_error("The inventory table was not created.");
        return *table;
    };
    for (int counter = 1; counter <= 16; ++counter) {
        step(136, [&] { require().AddNew(); });
        for (int field = 0; field < int(kInventoryFields.size()); ++field)
            step(138 + 2 * field, [&] { require().SetValue(field, blankValue(field, true)); });
    }
    step.sequence(164, gridSetUp(grid, table.get(), myFmt));
}

void loadSampleData(InventoryTable& table, DataGrid& grid, DataFormat* myFmt, Steps& step)
{
    // The blank rows go before the two sample rows come.
    int kept = 0;
    for (int row = 0; row < table.RecordCount(); ++row) {
        for (int field = 0; field < table.FieldCount(); ++field) {
            if (isFilled(table.ValueAt(row, field))) {
                ++kept;
                break;
            }
        }
    }
    if (refusedForLength(table, kept + 2, "Load Sample Data", step))
        return;
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
            if (step.test(108, [&] { return isFilled(table.Value(field)); }))
                step(110, [&] { blank = false; });
        }
        if (step.test(112, [&] { return blank; }))
            step(114, [&] { table.Delete(); });
        if (step.test(116, [&] { return !table.IsEOF(); }))
            step(118, [&] { table.MoveNext(); });
    }
    for (int which = 1; which <= 2; ++which) {
        const int firstLine = which == 1 ? 124 : 152;
        const SampleRow row = sampleRowValues(which);
        step(firstLine, [&] { table.AddNew(); });
        for (int field = 0; field < int(row.size()); ++field)
            step(firstLine + 2 + 2 * field, [&] { table.SetValue(field, row[field]); });
    }
    step.sequence(180, gridSetUp(grid, &table, myFmt));
}

} // namespace tessivane
