// The grid's editing commands: blocks on the system clipboard, cleared cells, the undo history
// of every kind of change, import and export through the editor, the right-click menu.

#include "support/filetesting.h"
#include "support/gridtesting.h"

#include "grid/importreview.h"
#include "grid/listhistory.h"
#include "grid/rowcommands.h"
#include "inventory/listfile.h"
#include "inventory/persistence.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QThread>
#include <QUndoStack>

#include <atomic>

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

    void theReviewFollowsAColumnsField()
    {
        ImportReview review(
            "assets.csv", readListText("Asset Tag,Serial,Cost\nA1,S1,5\nA2,S2,lots\nA3,S3,7\n"));
        review.show();
        QVERIFY(review.counts().contains("2 rows can be added to the list; 1 row refused."));
        QVERIFY(review.counts().contains("The file's 4 lines: the header, 2 in good rows, 1 in "
                                         "refused rows."));
        // The cost column left out: every row is good.
        QTest::keyClick(review.fieldBox(2), Qt::Key_Home);
        QTRY_VERIFY2(review.counts().contains("3 rows can be added to the list."),
            qPrintable(review.counts()));
        // The serial numbers to the first field, which the tags leave.
        QTest::keyClick(review.fieldBox(1), Qt::Key_Down);
        QTRY_COMPARE(review.result().form.columnFields, (ColumnFields {-1, 0, -1}));
        QCOMPARE(review.fieldBox(0)->currentText(), "(left out)");
        QCOMPARE(review.result().rows[0][0], "S1");
        // Enter appends what is shown.
        QTest::keyClick(&review, Qt::Key_Return);
        QCOMPARE(review.choice(), ImportChoice::Append);
        QCOMPARE(review.result().rows.size(), 3);
    }

    // A reading that takes long shows a progress window; Escape there stops it (the workbook
    // reader, which stands for the office, is told so at once) and the list stays as it was.
    void aLongReadingIsStoppedByEscape()
    {
        auto table = makeTable(3);
        table->SetValueAt(0, 0, "SN-1");
        GridWindow window;
        window.show(table.get());
        const Snapshot before = snapshot(*window.grid);
        QTemporaryDir folder;
        QVERIFY(WriteAll(folder.filePath("big.ods"), "PK\x03\x04 a workbook"));
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*window.grid);
        dialogs.choice = ImportChoice::Replace;
        ListEditor& editor = window.grid->editor();
        std::atomic<bool> stopped = false;
        editor.setWorkbookReader([&](const QString&, const ReadProgress& progress) -> SheetText {
            // Once the window is up, the user presses Escape in it.
            QMetaObject::invokeMethod(&editor, [] {
                QTRY_VERIFY(qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()));
                QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
            });
            while (progress(0, 0))
                QThread::msleep(5);
            stopped = true;
            throw std::runtime_error("LibreOffice has been ended.");
        });
        editor.importRows(folder.filePath("big.ods"));
        QVERIFY(stopped);
        QVERIFY(!editor.reading().isReading());
        QVERIFY(dialogs.reviewed.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(snapshot(*window.grid), before);
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
                "Export Rows... Ctrl+E", "Find... Ctrl+F", "Replace... Ctrl+H", "Sort Rows... ",
                "Next Control Ctrl+Tab", "Previous Control Ctrl+Shift+Tab",
                "Open This Menu Shift+F10"}));
        QVERIFY(window.grid->editor().copyAction()->shortcuts().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Insert)));
        QVERIFY(window.grid->editor().pasteAction()->shortcuts().contains(
            QKeySequence(Qt::SHIFT | Qt::Key_Insert)));
        QVERIFY(window.grid->editor().redoAction()->shortcuts().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Y)));
    }

    void noCommandGrowsTheListPastItsLimit_data()
    {
        const int limit = kMaxStoredRows;
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("rows"); // the list's length before
        QTest::addColumn<int>("offered"); // rows pasted or in the file
        QTest::addColumn<int>("after"); // the length after; unchanged when refused
        QTest::addColumn<QString>("told"); // what the refusal says fits; empty: none
        // A paste starts at the last row.
        QTest::newRow("paste past it") << "paste" << limit - 2 << 5 << limit - 2 << "3 of its";
        QTest::newRow("paste up to it") << "paste" << limit - 2 << 3 << limit << "";
        QTest::newRow("import appended past it")
            << "append" << limit - 2 << 5 << limit - 2 << "2 of its";
        QTest::newRow("import replacing") << "replace" << limit - 2 << 5 << 5 << "";
        // The reading stops at the limit and says so; what it read can replace the list.
        QTest::newRow("import longer than any list") << "replace" << 3 << limit + 1 << limit << "";
        QTest::newRow("insert below a full list")
            << "insert" << limit << 1 << limit << "no more rows";
        QTest::newRow("sample data onto a full list")
            << "sample" << limit << 2 << limit << "no more rows";
    }

    void noCommandGrowsTheListPastItsLimit()
    {
        QFETCH(QString, command);
        QFETCH(int, rows);
        QFETCH(int, offered);
        QFETCH(int, after);
        QFETCH(QString, told);
        auto table = makeTable(rows);
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        DataGrid& grid = *window.grid;
        QStringList lines;
        for (int i = 1; i <= offered; ++i)
            lines.append(QStringLiteral("B%1").arg(i));
        if (command == "paste") {
            selectCells(grid, rows - 1, 0, rows - 1, 0);
            setClipboard(lines.join('\n'));
            grid.editor().paste();
        } else if (command == "insert" || command == "sample") {
            table->SetCurrentRow(rows - 1);
            Steps step(boxes, "Form1", "test");
            if (command == "insert")
                insertBelowSelectedRow(*table, step);
            else
                loadSampleData(*table, grid, &window.myFmt, step);
        } else {
            QTemporaryDir folder;
            ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(grid);
            dialogs.importFile = folder.filePath(QStringLiteral("rows.csv"));
            QVERIFY(WriteAll(dialogs.importFile, lines.join('\n').toUtf8()));
            dialogs.choice = command == "append" ? ImportChoice::Append : ImportChoice::Replace;
            grid.editor().importRows();
            // The review says when only Replace takes the rows, and where a reading stopped.
            QCOMPARE(dialogs.reviewed.size(), 1);
            QCOMPARE(dialogs.reviewed[0].notes.filter("only Replace").size(),
                rows + offered > kMaxStoredRows ? 1 : 0);
            QCOMPARE(dialogs.reviewed[0].notes.filter("the reading stopped").size(),
                offered > kMaxStoredRows ? 1 : 0);
        }
        QCOMPARE(table->RecordCount(), after);
        QCOMPARE(boxes.calls.size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty()) {
            const QString prompt = boxes.calls[0].prompt;
            QVERIFY2(prompt.contains(QStringLiteral("at most 100,000 rows"))
                    && prompt.contains(told)
                    && prompt.contains(QStringLiteral("Nothing was changed")),
                qPrintable(prompt));
            QCOMPARE(table->ValueAt(rows - 1, 0).toString(), QStringLiteral("A%1").arg(rows));
            QVERIFY(!grid.history().stack().canUndo());
        }
    }

    void aRefusedImportLosesNothingAcrossARestart()
    {
        clearStore();
        saveRows(*makeTable(3));
        auto shown = loadStoredTable(); // start
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(shown.get());
        QTemporaryDir folder;
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*window.grid);
        dialogs.importFile = folder.filePath(QStringLiteral("rows.csv"));
        QByteArray lines;
        for (int i = 1; i <= kMaxStoredRows + 1; ++i)
            lines += "B" + QByteArray::number(i) + '\n';
        QVERIFY(WriteAll(dialogs.importFile, lines));
        dialogs.choice = ImportChoice::Append;
        window.grid->editor().importRows();
        const ListRows rows = shown->AllRowValues();
        saveRows(*shown); // close
        auto loaded = loadStoredTable(); // start
        saveRows(*loaded); // close
        QCOMPARE(loadStoredTable()->AllRowValues(), rows);
        QCOMPARE(column(*loaded, 0), (QVariantList {"A1", "A2", "A3"}));
    }
};

TESSIVANE_TEST_MAIN(TestListEditor)
#include "tst_listeditor.moc"
