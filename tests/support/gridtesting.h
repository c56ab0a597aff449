#pragma once

// The grid in a window of its own, as the main window holds it.

#include "support/inventorytesting.h"
#include "support/scriptedboxes.h"

#include "core/failurereport.h"
#include "grid/datagrid.h"
#include "grid/inventorysetup.h"
#include "grid/listeditor.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

namespace tessivane::test {

/// A shown window holding the grid and one other widget to move the focus to. The grid shows
/// its boxes through boxes (a test's script, which must outlive the window); without them
/// any box fails the test.
class GridWindow
{
public:
    explicit GridWindow(const MessageBoxes* boxes = nullptr)
    {
        auto* layout = new QVBoxLayout(&window);
        grid = new DataGrid(boxes ? *boxes : mUnexpected, &window);
        other = new QLineEdit(&window);
        layout->addWidget(grid);
        layout->addWidget(other);
        window.resize(900, 400);
        myFmt.Type = 1;
        myFmt.Format = QStringLiteral("Currency");
    }

    /// Binds the table with the start-up set-up and shows the window.
    void show(InventoryTable* table)
    {
        Steps step(grid->boxes(), "Form1", "Form_Load");
        step.sequence(192, gridSetUp(*grid, table, &myFmt));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    /// Clicks a row selector, as the user selects a whole row.
    void clickRowHeader(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QHeaderView* header = grid->verticalHeader();
        const QPoint point(header->width() / 2,
            header->sectionViewportPosition(row) + header->sectionSize(row) / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers, point);
    }

    void clickCell(int row, int column)
    {
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

private:
    UnexpectedBoxes mUnexpected;

public:
    QWidget window;
    DataGrid* grid = nullptr;
    QLineEdit* other = nullptr;
    DataFormat myFmt;
};

/// Answers the list's file dialogs from a script and records what the review was shown.
class ScriptedListDialogs : public ListDialogs
{
public:
    struct Script
    {
        QString importFile;
        QString exportFile;
        ImportChoice choice = ImportChoice::Cancel;
        QList<ListRead> reviewed;
        std::optional<SortRequest> sort;
    };

    /// Put into the grid's editor; the script stays with the caller.
    static Script& install(DataGrid& grid)
    {
        auto dialogs = std::make_unique<ScriptedListDialogs>();
        Script& script = dialogs->script;
        grid.editor().setDialogs(std::move(dialogs));
        return script;
    }

    QString importFileName(QWidget*) override { return script.importFile; }
    QString exportFileName(QWidget*) override { return script.exportFile; }
    ImportChoice reviewImport(QWidget*, const QString&, ListRead& read) override
    {
        script.reviewed.append(read);
        return script.choice;
    }
    std::optional<SortRequest> sortRequest(QWidget*, const SortRequest&, bool) override
    {
        return script.sort;
    }

    Script script;
};

} // namespace tessivane::test
