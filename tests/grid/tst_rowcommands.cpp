// The row commands (delete selected, insert below, delete all) and the sample data.

#include "support/gridtesting.h"

#include "core/apptitle.h"
#include "grid/rowcommands.h"
#include "inventory/currency.h"
#include "inventory/persistence.h"
#include "inventory/sampledata.h"

using namespace tessivane;
using namespace tessivane::test;

namespace {

QStringList assets(const InventoryTable& table)
{
    QStringList result;
    for (const QVariant& value : column(table, 0))
        result.append(value.toString());
    return result;
}

QDateTime naiveDate(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC);
}

QVariantList sampleRow(int which)
{
    const QString vendor = QStringLiteral("John's  manufacture");
    if (which == 1)
        return {QStringLiteral("1189785"), QStringLiteral("Desk g-785"), QStringLiteral("Office"),
            QStringLiteral("Normal"), vendor, 2, 149.99, 0.0, naiveDate(2015, 8, 11), 1, 0, 10.0,
            0.0};
    return {QStringLiteral("11899588"), QStringLiteral("Locker f-588"), QStringLiteral("Office"),
        QStringLiteral("age-worn"), vendor, 6, 849.99, 0.0, naiveDate(2011, 7, 22), 0, 0, 0.0, 0.0};
}

QVariantList rowValues(const InventoryTable& table, int row)
{
    QVariantList values;
    for (int field = 0; field < table.FieldCount(); ++field)
        values.append(table.ValueAt(row, field));
    return values;
}

/// The blank row of Insert Below Selected Row and of Delete All (the same values once stored).
QVariantList blankRow()
{
    return {QString(), QString(), QString(), QString(), QString(), 0, 0.0, 0.0, QVariant(), 0, 0,
        0.0, 0.0};
}

std::unique_ptr<InventoryTable> blankTable(int rows)
{
    auto table = makeTable(0);
    for (int i = 0; i < rows; ++i) {
        table->AddNew();
        const QVariantList blank = blankRow();
        for (int field = 0; field < 13; ++field)
            table->SetValue(field, blank[field]);
    }
    return table;
}

} // namespace

class TestRowCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanupTestCase() { clearStore(); }

    void deleteWithoutRowSelection()
    {
        auto table = makeTable(3);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        window.clickCell(1, 2); // a cell cursor is no row selection
        Steps step(boxes, "Form1", "PushButton1_Click");
        deleteSelectedRow(*table, *window.grid, &window.window, step);
        QCOMPARE(boxes.calls.size(), 1);
        QCOMPARE(boxes.calls[0].prompt, QStringLiteral("You must select first a row."));
        QCOMPARE(boxes.calls[0].buttons, int(vbOKOnly));
        QCOMPARE(boxes.calls[0].title, ApplicationTitle());
        QCOMPARE(table->RecordCount(), 3);
    }

    void deleteFirstSelectedRow_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QVariant>("asset");
        QTest::addColumn<QString>("inParentheses");
        QTest::newRow("yes") << int(vbYes) << QVariant(QStringLiteral("A3")) << "A3";
        QTest::newRow("no") << int(vbNo) << QVariant(QStringLiteral("A3")) << "A3";
        QTest::newRow("Null asset") << int(vbYes) << QVariant() << "";
    }

    void deleteFirstSelectedRow()
    {
        QFETCH(int, answer);
        QFETCH(QVariant, asset);
        QFETCH(QString, inParentheses);
        auto table = makeTable(4);
        table->SetCurrentRow(2);
        table->SetValue(0, asset);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        window.clickRowHeader(2);
        window.clickRowHeader(0, Qt::ControlModifier); // only the first selection counts
        window.other->setFocus();
        saveRows(*table); // the focus-out save moves the table, not the selection
        boxes.answers = {answer};
        Steps step(boxes, "Form1", "PushButton1_Click");
        deleteSelectedRow(*table, *window.grid, &window.window, step);

        QCOMPARE(boxes.calls[0].prompt,
            QStringLiteral("Do you really want delete this row ?\r\n(%1)").arg(inParentheses));
        QCOMPARE(boxes.calls[0].buttons, int(vbYesNo | vbDefaultButton2));
        QCOMPARE(boxes.calls[0].title, QStringLiteral("Question"));
        QVERIFY(window.window.updatesEnabled());
        if (answer == vbYes) {
            QCOMPARE(boxes.calls.size(), 2);
            QCOMPARE(boxes.calls[1].prompt, QStringLiteral("Row deleted."));
            QCOMPARE(boxes.calls[1].title, ApplicationTitle());
            QCOMPARE(table->RecordCount(), 3);
            QCOMPARE(assets(*table), (QStringList {"A1", "A2", "A4"}));
        } else {
            QCOMPARE(boxes.calls.size(), 1);
            QCOMPARE(table->RecordCount(), 4);
            QCOMPARE(table->CurrentRow(), 2); // the selected row became current
        }
    }

    void insertBelowCurrentRow_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("current");
        QTest::newRow("first row") << 3 << 0;
        QTest::newRow("middle row") << 3 << 1;
        QTest::newRow("last row") << 3 << 2;
        QTest::newRow("499 rows") << 499 << 498;
        QTest::newRow("500 rows") << 500 << 250;
        QTest::newRow("2000 rows, last") << 2000 << 1999;
    }

    void insertBelowCurrentRow()
    {
        QFETCH(int, rows);
        QFETCH(int, current);
        auto table = makeTable(rows);
        table->SetCurrentRow(current);
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "PushButton2_Click");
        insertBelowSelectedRow(*table, step);
        QVERIFY(boxes.calls.isEmpty());
        QCOMPARE(table->RecordCount(), rows + 1);
        QCOMPARE(table->CurrentRow(), current + 1);
        QCOMPARE(rowValues(*table, current + 1), blankRow());
        QStringList expected;
        for (int i = 1; i <= rows; ++i)
            expected.append(QStringLiteral("A%1").arg(i));
        expected.insert(current + 1, QString());
        QCOMPARE(assets(*table), expected);
        if (current + 1 < rows) // the rows below moved down, every field with them
            QCOMPARE(table->ValueAt(rows, 6), QVariant(rows + 0.25));
    }

    void insertAfterTheFocusOutSaveGoesInAsRowTwo()
    {
        auto table = makeTable(5);
        table->SetCurrentRow(4);
        saveRows(*table);
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "PushButton2_Click");
        insertBelowSelectedRow(*table, step);
        QCOMPARE(assets(*table), (QStringList {"A1", "", "A2", "A3", "A4", "A5"}));
    }

    void insertWithoutCurrentRowDoesNothing_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("move"); // from the first row; 0 = delete the first row
        QTest::newRow("empty table") << 0 << 1;
        QTest::newRow("after the last row") << 3 << 3;
        QTest::newRow("before the first row") << 3 << -1;
        QTest::newRow("deleted row") << 3 << 0;
    }

    void insertWithoutCurrentRowDoesNothing()
    {
        QFETCH(int, rows);
        QFETCH(int, move);
        auto table = makeTable(rows);
        if (rows > 0) {
            if (move == 0)
                table->Delete();
            else
                table->Move(move);
        }
        const QStringList before = assets(*table);
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "PushButton2_Click");
        insertBelowSelectedRow(*table, step);
        QVERIFY(boxes.calls.isEmpty());
        QCOMPARE(assets(*table), before);
    }

    void deleteAll_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("locale");
        QTest::newRow("three, yes") << 3 << int(vbYes) << "en_US";
        QTest::newRow("2000, yes") << 2000 << int(vbYes) << "en_US";
        QTest::newRow("comma locale, yes") << 3 << int(vbYes) << "de_DE";
        QTest::newRow("three, no") << 3 << int(vbNo) << "en_US";
    }

    void deleteAll()
    {
        QFETCH(int, rows);
        QFETCH(int, answer);
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        std::unique_ptr<InventoryTable> table = makeTable(rows);
        const InventoryTable* old = table.get();
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        boxes.answers = {answer};
        Steps step(boxes, "Form1", "PushButton3_Click");
        tessivane::deleteAll(table, *window.grid, &window.myFmt, step);

        QCOMPARE(boxes.calls[0].prompt, QStringLiteral("Do you really want clear ?"));
        QCOMPARE(boxes.calls[0].buttons, int(vbYesNo | vbDefaultButton2));
        QCOMPARE(boxes.calls[0].title, QStringLiteral("Question"));
        QCOMPARE(boxes.failures(), QStringList());
        if (answer == vbNo) {
            QCOMPARE(table.get(), old);
            QCOMPARE(table->RecordCount(), rows);
            return;
        }
        QCOMPARE(table->RecordCount(), 16);
        for (int row = 0; row < 16; ++row)
            QCOMPARE(rowValues(*table, row), blankRow());
        QCOMPARE(table->CurrentRow(), 15);
        QCOMPARE(table->CursorType(), 2);
        QCOMPARE(window.grid->DataSource(), table.get());
        for (const int money : kCurrencyColumns)
            QCOMPARE(window.grid->ColumnDataFormat(money), &window.myFmt);
        QCOMPARE(window.grid->columnWidth(12), qRound(1214.929 / 15));
        QCOMPARE(window.grid->rowHeight(15), 20);
    }

    void filledValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("filled");
        QTest::newRow("Null") << QVariant() << false;
        QTest::newRow("empty text") << QVariant(QString()) << false;
        QTest::newRow("zero") << QVariant(0) << false;
        QTest::newRow("zero amount") << QVariant(0.0) << false;
        QTest::newRow("text zero amount") << QVariant(QStringLiteral("$0.00")) << false;
        QTest::newRow("number") << QVariant(3) << true;
        QTest::newRow("text") << QVariant(QStringLiteral("Desk g-785")) << true;
        QTest::newRow("blank text") << QVariant(QStringLiteral(" ")) << true;
        QTest::newRow("date") << QVariant(naiveDate(2015, 8, 11)) << true;
        QTest::newRow("date zero") << QVariant(naiveDate(1899, 12, 30)) << false;
    }

    void filledValues()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, filled);
        QCOMPARE(isFilled(value), filled);
    }

    void sampleDataKeepsFilledRows_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("English (United States)") << "en_US";
        QTest::newRow("German") << "de_DE";
    }

    void sampleDataKeepsFilledRows()
    {
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        auto table = blankTable(8);
        table->SetCurrentRow(1);
        table->SetValue(0, QStringLiteral("Kept 1"));
        table->SetCurrentRow(3); // blank apart from texts that read as zero
        table->SetValue(0, QStringLiteral("0"));
        table->SetValue(2, CurrencyText(0));
        table->SetCurrentRow(4);
        table->SetValue(1, QStringLiteral("Desk g-785"));
        table->SetCurrentRow(6);
        table->SetValue(8, naiveDate(2020, 1, 1));
        table->SetCurrentRow(7);
        table->SetValue(12, 0.01);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        Steps step(boxes, "Form1", "PushButton7_Click");
        loadSampleData(*table, *window.grid, &window.myFmt, step);
        QVERIFY(boxes.calls.isEmpty());
        QCOMPARE(assets(*table), (QStringList {"Kept 1", "", "", "", "1189785", "11899588"}));
        QCOMPARE(table->ValueAt(1, 1).toString(), QStringLiteral("Desk g-785"));
        QCOMPARE(table->ValueAt(2, 8), QVariant(naiveDate(2020, 1, 1)));
        QCOMPARE(table->ValueAt(3, 12), QVariant(0.01));
        QCOMPARE(rowValues(*table, 4), sampleRow(1));
        QCOMPARE(rowValues(*table, 5), sampleRow(2));
        QCOMPARE(table->CurrentRow(), 5);
        QCOMPARE(window.grid->ColumnDataFormat(6), &window.myFmt);
        QCOMPARE(window.grid->columnWidth(0), qRound(764.7874 / 15));
    }

    void sampleDataOnFreshOrEmptyListAndTwice()
    {
        auto fresh = loadStoredTable(); // sixteen blank rows from an empty store
        auto empty = makeTable(0);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(fresh.get());
        Steps step(boxes, "Form1", "PushButton7_Click");
        loadSampleData(*fresh, *window.grid, &window.myFmt, step);
        QCOMPARE(assets(*fresh), (QStringList {"1189785", "11899588"}));
        loadSampleData(*fresh, *window.grid, &window.myFmt, step);
        QCOMPARE(assets(*fresh), (QStringList {"1189785", "11899588", "1189785", "11899588"}));
        loadSampleData(*empty, *window.grid, &window.myFmt, step);
        QCOMPARE(rowValues(*empty, 0), sampleRow(1));
        QCOMPARE(rowValues(*empty, 1), sampleRow(2));
        QVERIFY(boxes.calls.isEmpty());
    }
};

TESSIVANE_TEST_MAIN(TestRowCommands)
#include "tst_rowcommands.moc"
