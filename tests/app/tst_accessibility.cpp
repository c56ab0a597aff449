// The windows for every user: the keyboard alone, a screen reader, larger windows, a dark
// desktop theme, and file dialogs that start where the user was last.
#include "support/accessibletesting.h"
#include "support/fakespreadsheet.h"
#include "support/inventorytesting.h"
#include "support/previewtesting.h"
#include "support/scriptedboxes.h"

#include "app/form1.h"
#include "app/runprogress.h"
#include "core/rememberedfolders.h"
#include "grid/columnheadings.h"
#include "grid/datagrid.h"
#include "grid/listeditor.h"
#include "office/services/services.h"
#include "preview/form2.h"
#include "preview/picturebox.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace tessivane;
using namespace tessivane::test;

namespace {

/// Runs check on the modal dialog the next call opens, then closes that dialog.
void OnNextDialog(const std::function<void(QDialog&)>& check)
{
    QTimer::singleShot(0, qApp, [check] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        check(*dialog);
        dialog->reject();
    });
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    ScriptedBoxes mBoxes;
    Services mServices;
    WindowContext mContext {mBoxes};
    FakeOffice mOffice;
    std::optional<FakeOffice::Installed> mInstalled;
    QTemporaryDir mTemp;

    /// The main window started and shown, active, the grid holding the focus.
    std::unique_ptr<Form1> startedWindow()
    {
        auto form = std::make_unique<Form1>(mServices, mContext);
        form->Form_Load();
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            return nullptr;
        form->grid()->setFocus();
        return form;
    }

private slots:
    void initTestCase()
    {
        // The runs' folders stay until the program ends, which these windows never do.
        qputenv("TEMP", QFile::encodeName(mTemp.path()));
        mInstalled.emplace(mServices, mOffice);
    }
    void cleanupTestCase()
    {
        mInstalled.reset();
        qunsetenv("TEMP");
    }
    void init()
    {
        clearStore();
        mBoxes.calls.clear();
        mBoxes.questionAnswer = vbNo;
    }

    void everyKeyDoesWhatItsButtonOrMoveDoes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, int key, int modifiers, const char* outcome) {
            QTest::newRow(name) << key << modifiers << QString::fromLatin1(outcome);
        };
        row("Tab", Qt::Key_Tab, Qt::NoModifier, "next cell");
        row("Ctrl+Tab", Qt::Key_Tab, Qt::ControlModifier, "Start Creating Template");
        row("Ctrl+Shift+Tab", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier,
            "Load Sample/Example Data");
        row("Shift+F10", Qt::Key_F10, Qt::ShiftModifier, "menu");
        row("Menu", Qt::Key_Menu, Qt::NoModifier, "menu");
        row("F5", Qt::Key_F5, Qt::NoModifier, "preview");
        row("Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, "preview");
        row("Ctrl+Return while a cell is edited", Qt::Key_Return, Qt::ControlModifier,
            "preview, typed value kept");
        row("Ctrl+Tab while a cell is edited", Qt::Key_Tab, Qt::ControlModifier,
            "Start Creating Template, typed value kept");
        row("Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, "closed");
        row("Escape in the preview", Qt::Key_Escape, Qt::NoModifier, "back");
    }

    void everyKeyDoesWhatItsButtonOrMoveDoes()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, outcome);
        const auto form = startedWindow();
        QVERIFY(form);
        DataGrid* grid = form->grid();
        grid->setCurrentIndex(grid->model()->index(2, 3));
        QWidget* target = grid;
        if (outcome.endsWith(", typed value kept")) {
            outcome.chop(QStringLiteral(", typed value kept").size());
            QTest::keyClick(grid, Qt::Key_O); // opens the cell's editor
            target = QApplication::focusWidget();
            QTest::keyClicks(target, QStringLiteral("ak desk"));
            QVERIFY(target != grid && grid->isAncestorOf(target)); // the cell's editor
        }
        if (outcome == "back") {
            form->PushButton22_Click();
            QTRY_VERIFY(form->preview()->isVisible());
            QVERIFY(QTest::qWaitForWindowActive(form->preview()));
            target = form->preview()->pushButton(1);
        }
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (outcome == "next cell") {
            QCOMPARE(QApplication::focusWidget(), grid);
            QCOMPARE(grid->currentIndex(), grid->model()->index(2, 4));
        } else if (outcome == "menu") {
            QTRY_COMPARE(QApplication::activePopupWidget(), grid->editor().contextMenu());
            // At the current cell, not where the pointer happens to be.
            const QRect cell = grid->visualRect(grid->currentIndex());
            QCOMPARE(grid->editor().contextMenu()->pos(),
                grid->viewport()->mapToGlobal(cell.bottomLeft()));
            grid->editor().contextMenu()->close();
        } else if (outcome == "preview") {
            // As the click: the grid stored the rows on losing the focus, then the run ran.
            QTRY_VERIFY(form->preview() && form->preview()->isVisible());
            QVERIFY(!form->isVisible());
            QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("16"));
        } else if (outcome == "closed") {
            QVERIFY(!form->isVisible());
            QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("16"));
        } else if (outcome == "back") {
            QVERIFY(!form->preview()->isVisible());
            QVERIFY(form->isVisible());
            QVERIFY(!QFile::exists(form->preview()->excelFile()));
        } else {
            auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
            QVERIFY(button);
            QCOMPARE(button->text(), outcome);
        }
        if (QTest::currentDataTag() == QByteArrayLiteral("Ctrl+Return while a cell is edited")
            || QTest::currentDataTag() == QByteArrayLiteral("Ctrl+Tab while a cell is edited")) {
            QCOMPARE(form->table().ValueAt(2, 3).toString(), QStringLiteral("oak desk"));
            QTRY_COMPARE(store()->value(QStringLiteral("RowSource4 3")).toString(),
                QStringLiteral("oak desk"));
        }
        QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(mBoxes.calls.value(0).prompt));
    }

    void theMenuListsTheKeys()
    {
        const auto form = startedWindow();
        QVERIFY(form);
        QStringList listed;
        for (const QAction* action : form->grid()->editor().contextMenu()->actions())
            listed.append(action->shortcut().toString());
        for (const char* key : {"Ctrl+Tab", "Ctrl+Shift+Tab", "Shift+F10", "F5", "Ctrl+Q"})
            QVERIFY2(listed.contains(QString::fromLatin1(key)), key);
    }

    void everyFocusableControlHasAName()
    {
        const auto form = startedWindow();
        QVERIFY(form);
        QCOMPARE(UnnamedFocusableControls(form.get()), QStringList());
        QVERIFY(form->accessibleName() != form->windowTitle());

        form->PushButton22_Click();
        Form2* preview = form->preview();
        QTRY_VERIFY(preview->isVisible());
        QCOMPARE(UnnamedFocusableControls(preview), QStringList());
        QCOMPARE(
            preview->accessibleName(), QStringLiteral("Tessivane \u2013 preview of the sheet"));
        QCOMPARE(preview->windowTitle(), form->windowTitle());

        QWidget window;
        window.resize(400, 300);
        window.show();
        qint64 now = 0;
        RunProgress progress(&window, std::chrono::milliseconds(10), [&now] { return now; });
        now = 100;
        progress.report(QStringLiteral("Writing the rows"), 3, 16);
        now = 200;
        progress.whileWaiting();
        auto* shown = window.findChild<QWidget*>(QStringLiteral("runProgress"));
        QVERIFY(shown);
        QCOMPARE(UnnamedFocusableControls(shown), QStringList());
        const QStringList tree = AccessibleTree(shown);
        QVERIFY2(tree.join('\n').contains("ProgressBar \"Rows written\" (3 of 16 rows written)"),
            qPrintable(tree.join('\n')));

        ListRead read;
        read.rows = {QVector<QVariant>(13)};
        read.refused = {{4, 6, QStringLiteral("not an amount"), 3, QStringLiteral("lots")}};
        QStringList reviewTree;
        OnNextDialog([&](QDialog& dialog) {
            const QStringList unnamed = UnnamedFocusableControls(&dialog);
            QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
            reviewTree = AccessibleTree(&dialog);
        });
        QtListDialogs().reviewImport(&window, QStringLiteral("/tmp/list.csv"), read);
        QVERIFY2(
            reviewTree.join('\n').contains("\"Refused rows\""), qPrintable(reviewTree.join('\n')));
    }

    void theGridNamesItsRowsAndColumns()
    {
        const auto form = startedWindow();
        QVERIFY(form);
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(form->grid());
        QCOMPARE(grid->text(QAccessible::Name), QStringLiteral("Equipment inventory list"));
        QAccessibleTableInterface* table = grid->tableInterface();
        QVERIFY(table);
        QAccessibleInterface* cell = table->cellAt(2, 6);
        QCOMPARE(cell->text(QAccessible::Description), QStringLiteral("Initial value, row 3"));
        const QList<QAccessibleInterface*> rowHeader = cell->tableCellInterface()->rowHeaderCells();
        QCOMPARE(rowHeader.size(), 1);
        QCOMPARE(rowHeader[0]->text(QAccessible::Name), QStringLiteral("Row 3"));
        // The column's heading is read from the grid; the label over it, which says the same,
        // is not read again.
        const QList<QAccessibleInterface*> heading
            = cell->tableCellInterface()->columnHeaderCells();
        QCOMPARE(heading.size(), 1);
        QCOMPARE(heading[0]->text(QAccessible::Name), QStringLiteral("Initial value"));
        QVERIFY(QAccessible::queryAccessibleInterface(form->label(11))->state().invisible);
        for (QScrollBar* bar :
            {form->grid()->horizontalScrollBar(), form->grid()->verticalScrollBar()})
            QVERIFY(!bar->accessibleName().isEmpty());
    }

    void theWindowsGrowAndTheLabelsFollowTheColumns()
    {
        QRect grid, insertButton, label11, label10;
        {
            const auto form = startedWindow();
            QVERIFY(form);
            grid = form->grid()->geometry();
            insertButton = form->pushButton(2)->geometry();
            label11 = form->label(11)->geometry(); // over "Initial value", column 6
            label10 = form->label(10)->geometry(); // the next column's
            form->resize(form->size() + QSize(400, 200));
            QCOMPARE(form->grid()->geometry(), grid.adjusted(0, 0, 400, 200));
            QCOMPARE(form->pushButton(2)->geometry().top(), insertButton.top() + 200);
            QCOMPARE(form->label(11)->geometry(), label11);

            // The right edge of the label, dragged 60 pixels, widens its column.
            const int widthBefore = form->grid()->columnWidth(6);
            QLabel* heading = form->label(11);
            const QPoint edge(heading->width() - 2, heading->height() / 2);
            QTest::mouseMove(heading, edge);
            QCOMPARE(heading->cursor().shape(), Qt::SplitHCursor);
            QTest::mousePress(heading, Qt::LeftButton, Qt::NoModifier, edge);
            QMouseEvent move(QEvent::MouseMove, QPointF(edge + QPoint(60, 0)),
                QPointF(heading->mapToGlobal(edge + QPoint(60, 0))), Qt::NoButton, Qt::LeftButton,
                Qt::NoModifier);
            QApplication::sendEvent(heading, &move);
            QTest::mouseRelease(heading, Qt::LeftButton, Qt::NoModifier, edge + QPoint(60, 0));
            QCOMPARE(form->grid()->columnWidth(6), widthBefore + 60);
            QCOMPARE(form->label(11)->geometry(), label11.adjusted(0, 0, 60, 0));
            QCOMPARE(form->label(10)->geometry(), label10.translated(60, 0));
            // Delete All binds the grid anew; the width the user chose stays.
            mBoxes.questionAnswer = vbYes;
            form->PushButton3_Click();
            QCOMPARE(form->grid()->columnWidth(6), widthBefore + 60);
            // Left a little taller, to fit the test's small screen.
            form->resize(form->minimumSize() + QSize(0, 150));
            form->close();
        }
        // The next start: the size and the widths as the user left them, the list's keys apart.
        const auto again = startedWindow();
        QVERIFY(again);
        QCOMPARE(again->grid()->geometry(), grid.adjusted(0, 0, 0, 150));
        QCOMPARE(again->label(10)->geometry(), label10.translated(60, 0));
        QCOMPARE(store()->childKeys().contains(QStringLiteral("RowCount")), true);
        for (const QString& key : store()->childKeys())
            QVERIFY2(key == "RowCount" || key.startsWith("RowSource"), qPrintable(key));
        again->close();

        // A size from a larger screen than this one is passed over.
        auto settings = store();
        settings->endGroup();
        settings->setValue(QStringLiteral("WindowLayout/MainWindow/Size"), QSize(90000, 90000));
        settings->sync();
        const auto third = startedWindow();
        QVERIFY(third);
        QCOMPARE(third->grid()->geometry(), grid);
    }

    void thePreviewGrowsAndKeepsItsButtonsAtTheBottom()
    {
        ScriptedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        form.setPicture(previewtesting::Picture(2000, 3000));
        QVERIFY(previewtesting::ShowActive(form));
        const QRect view = form.picture2()->geometry().toPixels();
        const QRect back = form.pushButton(8)->geometry();
        const QRect vertical = form.vScroll1()->geometry();
        form.resize(form.size() + QSize(300, 200));
        QCOMPARE(form.picture2()->geometry().toPixels(), view.adjusted(0, 0, 300, 200));
        QCOMPARE(form.pushButton(8)->geometry().top(), back.top() + 200);
        QCOMPARE(form.vScroll1()->geometry(), vertical.adjusted(300, 0, 300, 200));
        QVERIFY(form.picture2()->accessibleName().startsWith("Picture of the sheet, zoom 100 %"));
        form.PushButton1_Click();
        QVERIFY(form.picture2()->accessibleName().startsWith("Picture of the sheet, zoom 125 %"));
        QVERIFY2(form.picture2()->accessibleDescription().contains("In view: 0 % to"),
            qPrintable(form.picture2()->accessibleDescription()));
        // Told the sheet's rows (here 100 rows of 30 pixels), it names those in view: 695 pixels
        // at zoom 1.25 show 556 of the picture, rows 1 to 19.
        form.setSheetRows({1, QList<int>(100, 450)});
        QVERIFY2(form.picture2()->accessibleDescription().startsWith("In view: rows 1 to 19, "),
            qPrintable(form.picture2()->accessibleDescription()));
        QVERIFY(boxes.calls.isEmpty());
    }

    void labelsAndHeadingsReadWellUnderADarkTheme()
    {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        const auto form = startedWindow();
        QVERIFY(form);
        QCOMPARE(PoorContrast(form.get()), QStringList());
        form->PushButton22_Click();
        QTRY_VERIFY(form->preview()->isVisible());
        QCOMPARE(PoorContrast(form->preview()), QStringList());
    }

    void fileDialogsStartInTheFolderUsedLast_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("save") << "Save";
        QTest::newRow("import") << "Import";
        QTest::newRow("export") << "Export";
    }

    void fileDialogsStartInTheFolderUsedLast()
    {
        QFETCH(QString, kind);
        QTemporaryDir folder;
        QCOMPARE(RememberedFolders::folder(kind), QDir::homePath());
        RememberedFolders::remember(kind, folder.filePath("result.pdf"));
        QCOMPARE(RememberedFolders::folder(kind), folder.path());
        QString shownIn;
        QString title;
        QString name;
        OnNextDialog([&](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            QVERIFY(files);
            shownIn = files->directory().absolutePath();
            title = files->windowTitle();
            name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        });
        QWidget parent;
        if (kind == "Save") {
            QtSaveFileDialog(&parent).ShowSave(
                {}, QStringLiteral("Save File"), QStringLiteral("Excel Files (*.xls)|*.xls|"));
            // Title and empty name as the caller gives them.
            QCOMPARE(title, QStringLiteral("Save File"));
            QCOMPARE(name, QString());
        } else if (kind == "Import") {
            QtListDialogs().importFileName(&parent);
        } else {
            QtListDialogs().exportFileName(&parent);
        }
        QCOMPARE(shownIn, folder.path());
        // A folder that has gone is no place to start.
        folder.remove();
        QCOMPARE(RememberedFolders::folder(kind), QDir::homePath());
    }
};

TESSIVANE_TEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
