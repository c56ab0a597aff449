// The grid's editing commands: blocks on the system clipboard, cleared cells, the undo history
// of every kind of change, import and export through the editor, the right-click menu.

#include "support/filetesting.h"
#include "support/gridtesting.h"

#include "grid/listhistory.h"
#include "grid/rowcommands.h"
#include "inventory/listfile.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUndoStack>

using namespace tessivane;
using namespace tessivane::test;

namespace {

void selectCells(DataGrid& grid, int top, int left, int bottom, int right)
{
    grid.selectionModel()->setCurrentIndex(
        grid.model()->index(top, left), QItemSelectionModel::NoUpdate);
    grid.selectionModel()->select(
        QItemSelection(grid.model()->index(top, left), grid.model()->index(bottom, right)),
        QItemSelectionModel::ClearAndSelect);
}

void setClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

/// The table as a whole: its rows, its current row and the grid's selection.
struct Snapshot
{
    ListRows rows;
    int current = -1;
    QList<QRect> selection;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(DataGrid& grid)
{
    const GridPlace place = grid.Place();
    return {grid.DataSource()->AllRowValues(), grid.DataSource()->CurrentRow(), place.selection};
}

} // namespace

class TestListEditor : public QObject
{
    Q_OBJECT

private slots:
    void pasteGrowsTheListAndUndoesAtOnce()
    {
        auto table = makeTable(3);
        GridWindow window;
        window.show(table.get());
        selectCells(*window.grid, 1, 1, 1, 1);
        const Snapshot before = snapshot(*window.grid);
        // As a spreadsheet puts a block there: a quoted cell with a line break and a tab.
        setClipboard("Desk\tOffice\n\"two\nlines\"\t\"a\tb\"\nChair\tStore\nLamp\tHall\n");
        window.grid->editor().paste();
        QCOMPARE(table->RecordCount(), 5);
        QCOMPARE(
            column(*table, 1), (QVariantList {QVariant(), "Desk", "two\nlines", "Chair", "Lamp"}));
        QCOMPARE(column(*table, 2), (QVariantList {QVariant(), "Office", "a\tb", "Store", "Hall"}));
        QCOMPARE(table->ValueAt(4, 5), QVariant(0)); // a grown row is a blank row
        QCOMPARE(window.grid->selectionModel()->selectedIndexes().size(), 8);
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(snapshot(*window.grid), before);
    }

    void aPartlyRefusedPasteIsReportedOnce()
    {
        auto table = makeTable(2);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        selectCells(*window.grid, 0, 4, 0, 4);
        // Vendor, years, initial value, down payment, date ... and two beyond the last column.
        setClipboard("V1\t2.5\t$10.00\t1\tnot a date\t1\t2\t3\t4\tx\ty\n"
                     "V2\t3\tlots\t2\t2015-08-11\n");
        window.grid->editor().paste();
        QCOMPARE(boxes.calls.size(), 1);
        const QString prompt = boxes.calls[0].prompt;
        QVERIFY2(prompt.startsWith("3 of the 14 pasted values were refused"), qPrintable(prompt));
        QVERIFY2(prompt.contains("Row 1: The column \"Years of service left\" accepts a whole "
                                 "number"),
            qPrintable(prompt));
        QVERIFY(prompt.contains("Row 1: The column \"Date purchased or leased\""));
        QVERIFY(prompt.contains("Row 2: The column \"Initial value\""));
        QVERIFY(prompt.contains("2 pasted values beyond the last column were left out."));
        QCOMPARE(column(*table, 4), (QVariantList {"V1", "V2"}));
        QCOMPARE(column(*table, 5), (QVariantList {1, 3})); // the refused 2.5 left row 1's 1
        QCOMPARE(column(*table, 6), (QVariantList {10.0, 2.25}));
        QCOMPARE(table->ValueAt(1, 8).toDate(), QDate(2015, 8, 11));
    }

    void oneValueFillsTheSelectionAndCopyMakesABlock()
    {
        auto table = makeTable(3);
        GridWindow window;
        window.show(table.get());
        selectCells(*window.grid, 0, 2, 2, 3);
        setClipboard("Store\n");
        window.grid->editor().paste();
        QCOMPARE(column(*table, 2), (QVariantList {"Store", "Store", "Store"}));
        QCOMPARE(column(*table, 3), (QVariantList {"Store", "Store", "Store"}));
        table->SetValueAt(1, 2, "say \"hi\"");
        selectCells(*window.grid, 0, 0, 1, 2);
        window.grid->editor().copy();
        QCOMPARE(QGuiApplication::clipboard()->text(),
            QStringLiteral("A1\t\tStore\nA2\t\t\"say \"\"hi\"\"\"\n"));
    }

    void undoAndRedoRestoreTheExactTable_data()
    {
        QTest::addColumn<QString>("step");
        for (const char* step :
            {"typing", "paste", "cut", "delete key", "import append", "import replace",
                "insert below", "delete selected row", "delete all", "sample data"})
            QTest::newRow(step) << step;
    }

    void undoAndRedoRestoreTheExactTable()
    {
        QFETCH(QString, step);
        QTemporaryDir folder;
        const QString file = folder.filePath("list.csv");
        QVERIFY(WriteAll(file, "Asset or serial number,Location\nN1,Hall\nN2,Yard\n"));
        std::unique_ptr<InventoryTable> table = makeTable(4);
        table->SetValueAt(3, 0, QString()); // a blank row at the end
        table->SetValueAt(3, 5, 0);
        table->SetValueAt(3, 6, 0.0);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        DataGrid& grid = *window.grid;
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(grid);
        boxes.questionAnswer = vbYes;
        selectCells(grid, 1, 0, 2, 1);
        table->SetCurrentRow(1);
        if (step == "delete selected row")
            window.clickRowHeader(2);
        const Snapshot before = snapshot(grid);

        const auto recorded = [&](const char* text, const std::function<void(Steps&)>& command) {
            Steps steps(boxes, "Form1", "test");
            ListHistory::Recording change(grid.history(), QString::fromLatin1(text));
            command(steps);
            change.commit();
        };
        if (step == "typing") {
            QVERIFY(grid.model()->setData(grid.model()->index(1, 5), "7"));
        } else if (step == "paste") {
            setClipboard("x\ty\nz\tw\n");
            grid.editor().paste();
        } else if (step == "cut") {
            grid.editor().cut();
        } else if (step == "delete key") {
            QTest::keyClick(&grid, Qt::Key_Delete);
        } else if (step.startsWith("import")) {
            dialogs.importFile = file;
            dialogs.choice = step.endsWith("append") ? ImportChoice::Append : ImportChoice::Replace;
            grid.editor().importAction()->trigger();
            QCOMPARE(column(*table, 2).mid(step.endsWith("append") ? 3 : 0),
                (QVariantList {"Hall", "Yard"}));
        } else if (step == "insert below") {
            recorded("Insert", [&](Steps& s) { insertBelowSelectedRow(*table, s); });
        } else if (step == "delete selected row") {
            recorded("Delete Row", [&](Steps& s) { deleteSelectedRow(*table, grid, nullptr, s); });
        } else if (step == "delete all") {
            recorded("Delete All", [&](Steps& s) { deleteAll(table, grid, &window.myFmt, s); });
            QCOMPARE(table->RecordCount(), 16);
        } else {
            recorded("Sample", [&](Steps& s) { loadSampleData(*table, grid, &window.myFmt, s); });
        }
        QCOMPARE(grid.history().stack().count(), 1);
        QVERIFY(grid.DataSource()->AllRowValues() != before.rows);
        const Snapshot after = snapshot(grid);
        grid.editor().undoAction()->trigger();
        QCOMPARE(snapshot(grid).rows, before.rows);
        QCOMPARE(snapshot(grid).current, before.current);
        QCOMPARE(snapshot(grid).selection, before.selection);
        grid.editor().redoAction()->trigger();
        QCOMPARE(snapshot(grid).rows, after.rows);
        grid.editor().undoAction()->trigger();
        QCOMPARE(snapshot(grid).rows, before.rows);
    }

    void theHistoryIsBoundedInStepsAndMemory()
    {
        auto table = makeTable(200);
        GridWindow window;
        window.show(table.get());
        ListHistory& history = window.grid->history();
        for (int i = 0; i < ListHistory::kMaxSteps + 5; ++i)
            QVERIFY(window.grid->model()->setData(
                window.grid->model()->index(0, 5), QString::number(i)));
        QCOMPARE(history.stack().count(), ListHistory::kMaxSteps);
        // Big steps push the oldest out; the newest stays whatever it holds.
        selectCells(*window.grid, 0, 0, 199, 0);
        const qint64 small = history.cost();
        setClipboard(QStringLiteral("B0\n"));
        window.grid->editor().paste();
        QCOMPARE(history.stack().count(), ListHistory::kMaxSteps);
        const qint64 budget = history.cost() + (history.cost() - small) / 2;
        history.setMaxBytes(budget);
        for (int i = 1; i < 3; ++i) {
            setClipboard(QStringLiteral("B%1\n").arg(i));
            window.grid->editor().paste();
        }
        QVERIFY(history.cost() <= budget);
        QVERIFY(history.stack().count() < ListHistory::kMaxSteps);
        QCOMPARE(history.stack().index(), history.stack().count());
        history.setMaxBytes(1);
        window.grid->editor().clearSelection();
        QCOMPARE(history.stack().count(), 1);
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(table->ValueAt(199, 0), QVariant("B2"));
        QVERIFY(!history.stack().canUndo());
    }

    void nothingChangesWhileLocked()
    {
        auto table = makeTable(2);
        GridWindow window;
        window.show(table.get());
        QVERIFY(window.grid->model()->setData(window.grid->model()->index(0, 1), "Desk"));
        window.grid->SetListLocked(true);
        const ListRows rows = table->AllRowValues();
        setClipboard("x\n");
        selectCells(*window.grid, 0, 0, 1, 1);
        for (QAction* action :
            {window.grid->editor().undoAction(), window.grid->editor().pasteAction(),
                window.grid->editor().cutAction(), window.grid->editor().deleteAction()})
            action->trigger();
        QVERIFY(!window.grid->model()->setData(window.grid->model()->index(0, 1), "Chair"));
        QCOMPARE(table->AllRowValues(), rows);
        window.grid->SetListLocked(false);
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(table->ValueAt(0, 1), QVariant());
    }

    void anExportImportsBackAsTheSameList()
    {
        auto table = makeTable(3);
        table->SetValueAt(1, 1, "Desk, \"big\"\nwide");
        table->SetValueAt(2, 8, "2015-08-11");
        GridWindow window;
        window.show(table.get());
        QTemporaryDir folder;
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*window.grid);
        dialogs.exportFile = folder.filePath("list"); // the suffix is added
        window.grid->editor().exportAction()->trigger();
        const QByteArray csv = ReadAll(folder.filePath("list.csv"));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"
                               "Asset or serial number,"));
        const ListRows rows = table->AllRowValues();
        // The file dropped on the grid.
        dialogs.choice = ImportChoice::Replace;
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(folder.filePath("list.csv"))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QDragEnterEvent enter(
            QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.grid->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QApplication::sendEvent(window.grid->viewport(), &drop);
        QTRY_COMPARE(dialogs.reviewed.size(), 1);
        QCOMPARE(dialogs.reviewed[0].refused.size(), 0);
        // Text that was never typed (no value) comes back as the empty text it is shown as.
        QCOMPARE(table->RecordCount(), rows.size());
        QCOMPARE(listCsv(table->AllRowValues()), listCsv(rows));
        QCOMPARE(table->ValueAt(1, 1), rows[1][1]);
        QCOMPARE(table->ValueAt(2, 8), rows[2][8]);
    }

    void theMenuHoldsTheCommandsWithTheirKeys()
    {
        GridWindow window;
        const QList<QAction*> actions = window.grid->editor().contextMenu()->actions();
        QStringList shown;
        for (const QAction* action : actions) {
            if (!action->isSeparator())
                shown.append(action->text() + " " + action->shortcut().toString());
        }
        QCOMPARE(shown,
            (QStringList {"Undo Ctrl+Z", "Redo Ctrl+Shift+Z", "Cut Ctrl+X", "Copy Ctrl+C",
                "Paste Ctrl+V", "Delete Del", "Select All Ctrl+A", "Import Rows... Ctrl+O",
                "Export Rows... Ctrl+E", "Next Control Ctrl+Tab", "Previous Control Ctrl+Shift+Tab",
                "Open This Menu Shift+F10"}));
        QVERIFY(window.grid->editor().copyAction()->shortcuts().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Insert)));
        QVERIFY(window.grid->editor().pasteAction()->shortcuts().contains(
            QKeySequence(Qt::SHIFT | Qt::Key_Insert)));
        QVERIFY(window.grid->editor().redoAction()->shortcuts().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Y)));
    }
};

TESSIVANE_TEST_MAIN(TestListEditor)
#include "tst_listeditor.moc"
