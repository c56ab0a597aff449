// Find, replace and sort through the grid: the dialog and its keys, the current cell and the
// selection, one step of the history each, nothing while the list is locked.

#include "support/gridtesting.h"

#include "grid/finddialog.h"
#include "grid/listfinder.h"
#include "grid/listhistory.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QUndoStack>

using namespace tessivane;
using namespace tessivane::test;

namespace {

QPoint currentCell(const DataGrid& grid)
{
    return QPoint(grid.currentIndex().column(), grid.currentIndex().row());
}

/// Rows A1..A4 with descriptions; rows 1 and 3 have a desk.
std::unique_ptr<InventoryTable> deskTable()
{
    auto table = makeTable(4);
    const QStringList descriptions {"Chair", "Oak desk", "Lamp", "Desk lamp"};
    for (int row = 0; row < 4; ++row)
        table->SetValueAt(row, 1, descriptions[row]);
    return table;
}

} // namespace

class TestFindSort : public QObject
{
    Q_OBJECT

private slots:
    void theDialogFindsOnItsKeysAndSaysWhatItFound()
    {
        auto table = deskTable();
        GridWindow window; // any message box fails the test: all is said in the dialog
        window.show(table.get());
        window.grid->setFocus();
        QTest::keyClick(window.grid, Qt::Key_F, Qt::ControlModifier);
        FindDialog* dialog = window.grid->editor().finder().dialog();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QTRY_VERIFY(dialog->findEdit()->hasFocus());
        QTest::keyClicks(dialog->findEdit(), "desk");
        QTest::keyClick(dialog->findEdit(), Qt::Key_Return);
        QCOMPARE(currentCell(*window.grid), QPoint(1, 1));
        QCOMPARE(table->CurrentRow(), 1);
        QTest::keyClick(dialog, Qt::Key_F3);
        QCOMPARE(currentCell(*window.grid), QPoint(1, 3));
        QTest::keyClick(dialog, Qt::Key_F3);
        QCOMPARE(currentCell(*window.grid), QPoint(1, 1));
        QVERIFY(dialog->statusLabel()->text().contains("continued from the beginning"));
        QTest::keyClick(dialog, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(currentCell(*window.grid), QPoint(1, 3));
        QVERIFY(dialog->statusLabel()->text().contains("continued from the end"));

        QCOMPARE(window.grid->editor().finder().findAll(), 2);
        QCOMPARE(dialog->statusLabel()->text(), QString("2 cells found."));
        QCOMPARE(window.grid->selectionModel()->selectedIndexes().size(), 2);

        // In the selection only: the selection stays, the cursor moves within it.
        const QItemSelection lower(
            window.grid->model()->index(2, 0), window.grid->model()->index(3, 12));
        window.grid->selectionModel()->select(lower, QItemSelectionModel::ClearAndSelect);
        dialog->findChildren<QCheckBox*>().at(2)->setChecked(true);
        QVERIFY(window.grid->editor().finder().request().selectionOnly);
        QVERIFY(window.grid->editor().finder().findNext());
        QCOMPARE(currentCell(*window.grid), QPoint(1, 3));
        QVERIFY(window.grid->editor().finder().findNext());
        QCOMPARE(currentCell(*window.grid), QPoint(1, 3));
        QCOMPARE(window.grid->selectionModel()->selection().size(), 1);
        QCOMPARE(window.grid->selectionModel()->selectedIndexes().size(), 26);
        window.grid->selectionModel()->clearSelection();
        dialog->findChildren<QCheckBox*>().at(2)->setChecked(false);

        dialog->findEdit()->setText("sofa");
        QVERIFY(!window.grid->editor().finder().findNext());
        QCOMPARE(dialog->statusLabel()->text(), QString("Search key not found."));
        QCOMPARE(currentCell(*window.grid), QPoint(1, 3)); // stays where it was
    }

    void replaceAllIsOneStepAndReportsRefusalsOnce()
    {
        auto table = makeTable(3); // years 1, 2, 3; initial values 1.25, 2.25, 3.25
        table->SetValueAt(0, 0, "2");
        ScriptedBoxes boxes;
        GridWindow window(&boxes);
        window.show(table.get());
        const ListRows before = table->AllRowValues();
        ListFinder& finder = window.grid->editor().finder();
        // The cells that are "2": an asset number takes "2.5", the years refuse it.
        finder.setRequest({{"2", false, true}, -1, false, "2.5"});
        QCOMPARE(finder.replaceAll(), 1);
        QCOMPARE(boxes.calls.size(), 1);
        QVERIFY2(boxes.calls[0].prompt.startsWith("1 of the 2 replaced values were refused"),
            qPrintable(boxes.calls[0].prompt));
        QCOMPARE(column(*table, 0), (QVariantList {"2.5", "A2", "A3"}));
        QCOMPARE(column(*table, 5), (QVariantList {1, 2, 3}));

        finder.setRequest({{".25", false, false}, -1, false, ".5"});
        QCOMPARE(finder.replaceAll(), 3);
        QCOMPARE(column(*table, 6), (QVariantList {1.5, 2.5, 3.5}));
        QCOMPARE(window.grid->history().stack().count(), 2);
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(column(*table, 6), (QVariantList {1.25, 2.25, 3.25}));
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(table->AllRowValues(), before);
        QCOMPARE(boxes.calls.size(), 1);
    }

    void sortAndItsUndoKeepTheCurrentRowWithItsRow()
    {
        auto table = deskTable();
        table->SetValueAt(3, 0, "A10");
        GridWindow window;
        window.show(table.get());
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*window.grid);
        window.clickCell(1, 2); // "Oak desk"
        const ListRows before = table->AllRowValues();
        dialogs.sort = SortRequest {{{1, false}}, false};
        window.grid->editor().sortAction()->trigger();
        QCOMPARE(column(*table, 1), (QVariantList {"Chair", "Desk lamp", "Lamp", "Oak desk"}));
        QCOMPARE(table->CurrentRow(), 3);
        QCOMPARE(currentCell(*window.grid), QPoint(2, 3));
        window.grid->editor().undoAction()->trigger();
        QCOMPARE(table->AllRowValues(), before);
        QCOMPARE(table->CurrentRow(), 1);

        // The selected rows only, by asset number in natural order, descending.
        window.grid->selectionModel()->select(
            QItemSelection(window.grid->model()->index(1, 0), window.grid->model()->index(3, 0)),
            QItemSelectionModel::ClearAndSelect);
        dialogs.sort = SortRequest {{{0, true}}, true};
        window.grid->editor().sortAction()->trigger();
        QCOMPARE(column(*table, 0), (QVariantList {"A1", "A10", "A3", "A2"}));
        QCOMPARE(window.grid->history().stack().count(), 1);
    }

    void nothingChangesWhileLocked()
    {
        auto table = deskTable();
        GridWindow window;
        window.show(table.get());
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*window.grid);
        dialogs.sort = SortRequest {{{1, false}}, false};
        window.grid->SetListLocked(true);
        const ListRows rows = table->AllRowValues();
        ListFinder& finder = window.grid->editor().finder();
        finder.setRequest({{"desk", false, false}, -1, false, "table"});
        QVERIFY(!window.grid->editor().sortAction()->isEnabled());
        window.grid->editor().sortRows();
        QCOMPARE(finder.replaceAll(), 0);
        QVERIFY(!finder.replace());
        QCOMPARE(table->AllRowValues(), rows);
        QCOMPARE(finder.findAll(), 2); // finding changes nothing
    }
};

TESSIVANE_TEST_MAIN(TestFindSort)
#include "tst_findsort.moc"
