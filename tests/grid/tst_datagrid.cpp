// The inventory grid: row selections, the cursor that follows the table, editing in place,
// refusals, the focus-out validation and the column set-up after every binding.

#include "support/gridtesting.h"

#include "core/apptitle.h"
#include "grid/rowcommands.h"
#include "inventory/currency.h"

#include <QSignalSpy>

using namespace tessivane;
using namespace tessivane::test;

namespace {

struct Layout
{
    QList<int> widths;
    int rowHeight = 0;
    QList<int> formatted;

    bool operator==(const Layout&) const = default;
};

Layout layoutOf(const DataGrid& grid)
{
    Layout layout;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        layout.widths.append(grid.columnWidth(column));
        if (grid.ColumnDataFormat(column))
            layout.formatted.append(column);
    }
    layout.rowHeight = grid.rowHeight(0);
    return layout;
}

/// The display text of a cell, as the grid paints it.
QString shown(const DataGrid& grid, int row, int column)
{
    return grid.model()->index(row, column).data(Qt::DisplayRole).toString();
}

/// Types into the current cell: the first key opens the cell editor, the rest go to it.
void typeIntoCell(DataGrid& grid, const QString& text)
{
    QTest::keyClicks(&grid, text.left(1));
    QVERIFY(grid.isAncestorOf(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
}

} // namespace

class TestDataGrid : public QObject
{
    Q_OBJECT

private slots:
    void rowSelectionsInTheirOrder()
    {
        auto table = makeTable(5);
        GridWindow window;
        window.show(table.get());
        QVERIFY(window.grid->SelBookmarks().isEmpty());
        window.clickCell(2, 3);
        QVERIFY(window.grid->SelBookmarks().isEmpty()); // a cell is no row
        window.clickRowHeader(3);
        window.clickRowHeader(1, Qt::ControlModifier);
        QCOMPARE(window.grid->SelBookmarks(),
            (QList<InventoryTable::Bookmark> {table->BookmarkAt(3), table->BookmarkAt(1)}));
        window.clickRowHeader(3, Qt::ControlModifier); // deselects it again
        QCOMPARE(
            window.grid->SelBookmarks(), (QList<InventoryTable::Bookmark> {table->BookmarkAt(1)}));
        table->MoveFirst(); // the cursor follows the table; the selection stays
        QTRY_COMPARE(window.grid->currentIndex().row(), 0);
        QCOMPARE(window.grid->SelBookmarks().size(), 1);
        table->SetCurrentRow(1);
        table->Delete();
        QVERIFY(window.grid->SelBookmarks().isEmpty());
    }

    void cursorAndCurrentRowFollowEachOther()
    {
        auto table = makeTable(5);
        GridWindow window;
        window.show(table.get());
        QTRY_COMPARE(window.grid->currentIndex().row(), 0);
        table->MoveNext();
        table->MoveNext();
        QTRY_COMPARE(window.grid->currentIndex().row(), 2);
        window.clickCell(4, 1);
        QCOMPARE(table->CurrentRow(), 4);
        QCOMPARE(window.grid->currentIndex().column(), 1);
        table->AddNew();
        QTRY_COMPARE(window.grid->currentIndex().row(), 5);
        QCOMPARE(window.grid->model()->rowCount(), 6);
    }

    void editsAreStoredOrRefused_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVariant>("stored"); // Null: refused, the cell keeps its 4
        QTest::newRow("whole rate") << int(kLoanRate) << "7" << QVariant(7);
        QTest::newRow("whole in decimal form") << 9 << "3.0" << QVariant(3);
        QTest::newRow("rate that is no number") << int(kLoanRate) << "abc" << QVariant();
        // A fraction is no whole number: it is refused, not rounded.
        QTest::newRow("rate with a fraction") << int(kLoanRate) << "7.5" << QVariant();
        QTest::newRow("term with a fraction") << 9 << "0.5" << QVariant();
        QTest::newRow("service years with a fraction") << 5 << "2.25" << QVariant();
    }

    void editsAreStoredOrRefused()
    {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QVariant, stored);
        auto table = makeTable(2);
        table->SetValueAt(1, field, 4);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        window.grid->setFocus();
        window.clickCell(1, field);
        typeIntoCell(*window.grid, typed);
        QTest::keyClick(
            QApplication::focusWidget(), Qt::Key_Return); // commits once back in the loop
        if (stored.isValid()) {
            QTRY_COMPARE(table->ValueAt(1, field), stored);
            QCOMPARE(shown(*window.grid, 1, field), stored.toString());
            QVERIFY(boxes.calls.isEmpty());
            return;
        }
        QTRY_COMPARE(boxes.calls.size(), 1);
        const QString column = QString::fromUtf8(kInventoryFields[field].name);
        QVERIFY(boxes.calls[0].prompt.contains(QLatin1Char('"') + column + QLatin1Char('"')));
        QVERIFY(boxes.calls[0].prompt.contains(QStringLiteral("whole number")));
        QVERIFY(boxes.calls[0].prompt.contains(QLatin1Char('"') + typed + QLatin1Char('"')));
        QCOMPARE(boxes.calls[0].title, ApplicationTitle());
        QCOMPARE(table->ValueAt(1, field), QVariant(4));
        QCOMPARE(shown(*window.grid, 1, field), QStringLiteral("4"));
    }

    void validateWhenTheFocusLeavesTheGrid()
    {
        auto table = makeTable(2);
        GridWindow window;
        window.show(table.get());
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        QStringList storedAtValidate;
        connect(window.grid, &DataGrid::validate, window.grid,
            [&] { storedAtValidate.append(table->ValueAt(0, 1).toString()); });
        window.grid->setFocus();
        window.clickCell(0, 1);
        typeIntoCell(*window.grid, QStringLiteral("Desk"));
        QVERIFY(storedAtValidate.isEmpty());
        window.other->setFocus(); // as a click on a push button would
        QCOMPARE(storedAtValidate, QStringList {QStringLiteral("Desk")});
        window.grid->setFocus(); // coming back is no validation
        QCOMPARE(storedAtValidate.size(), 1);
        QWidget elsewhere; // nor is another window taking the focus
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        QCOMPARE(storedAtValidate.size(), 1);
        // An open edit is stored on request, as before the save when the window closes.
        window.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        window.grid->setFocus();
        window.clickCell(1, 2);
        typeIntoCell(*window.grid, QStringLiteral("Office"));
        QCOMPARE(table->ValueAt(1, 2), QVariant());
        window.grid->CommitEdit();
        QCOMPARE(table->ValueAt(1, 2).toString(), QStringLiteral("Office"));
    }

    void everyBindingGetsTheSameSetUp()
    {
        std::unique_ptr<InventoryTable> table = makeTable(3);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        const Layout startUp = layoutOf(*window.grid);
        QCOMPARE(startUp.formatted, (QList<int> {6, 7, 11, 12}));
        QCOMPARE(startUp.rowHeight, 20);
        for (int column = 0; column < 13; ++column)
            QCOMPARE(startUp.widths[column], qRound(kInventoryFields[column].gridWidth / 15.0));
        QCOMPARE(window.grid->toolTip(), DataGrid::HintText());
        QCOMPARE(window.grid->font().family(), QStringLiteral("Arial"));
        QVERIFY(window.grid->font().bold());

        Steps sample(boxes, "Form1", "PushButton7_Click");
        loadSampleData(*table, *window.grid, &window.myFmt, sample);
        QCOMPARE(layoutOf(*window.grid), startUp);
        boxes.answers = {vbYes};
        Steps clear(boxes, "Form1", "PushButton3_Click");
        deleteAll(table, *window.grid, &window.myFmt, clear);
        QCOMPARE(layoutOf(*window.grid), startUp);
        QVERIFY(boxes.failures().isEmpty());

        window.grid->SetDataSource(table.get()); // a bare binding starts the columns afresh
        QVERIFY(layoutOf(*window.grid).formatted.isEmpty());
        QVERIFY(layoutOf(*window.grid).widths != startUp.widths);
    }

    void moneyIsShownThroughTheFormat()
    {
        auto table = makeTable(3);
        table->SetValue(6, 12.3456);
        table->SetValue(7, QVariant());
        GridWindow window;
        int requests = 0;
        connect(
            &window.myFmt, &DataFormat::formatRequested, &window.myFmt,
            [&](QVariant& value) {
                ++requests;
                if (value.typeId() == QMetaType::Double)
                    value = CurrencyText(value.toDouble());
            },
            Qt::DirectConnection);
        window.show(table.get());
        requests = 0;
        QCOMPARE(shown(*window.grid, 0, 6), QStringLiteral("$12.35"));
        QCOMPARE(table->ValueAt(0, 6), QVariant(12.3456));
        QCOMPARE(shown(*window.grid, 0, 7), QString());
        QCOMPARE(shown(*window.grid, 1, 6), QStringLiteral("$2.25"));
        QCOMPARE(requests, 3);
        for (const int plain : {0, 5, 8, 9, 10})
            shown(*window.grid, 0, plain);
        QCOMPARE(requests, 3);
    }

    void releasedTableLeavesAnEmptyGrid()
    {
        auto table = makeTable(3);
        GridWindow window;
        window.show(table.get());
        table.reset();
        QCOMPARE(window.grid->DataSource(), nullptr);
        QCOMPARE(window.grid->model()->rowCount(), 0);
        QVERIFY(window.grid->SelBookmarks().isEmpty());
        QVERIFY_THROWS_EXCEPTION(std::exception, window.grid->SetColumnWidth(0, 300));
    }
};

TESSIVANE_TEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
