#pragma once

// Shared pieces of the inventory tests: a private settings folder, scripted message boxes and
// tables built the way the program builds them.

#include "core/messagebox.h"
#include "grid/datagrid.h"
#include "grid/inventorysetup.h"
#include "inventory/inventorytable.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace tessivane::test {

/// Answers every message box from a script and records it. Without a scripted answer a
/// question is answered No and a notice OK.
class ScriptedBoxes
{
public:
    ScriptedBoxes()
    {
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            calls.append(call);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return (call.buttons & 0xF) == vbYesNo ? int(vbNo) : int(vbOK);
        });
    }
    ~ScriptedBoxes() { SetMessageBoxResponder({}); }

    /// The texts of the "Application Error" reports shown so far.
    QStringList failures() const
    {
        QStringList result;
        for (const MessageBoxCall& call : calls) {
            if (call.title == QLatin1String("Application Error"))
                result.append(call.prompt);
        }
        return result;
    }

    QList<MessageBoxCall> calls;
    QList<int> answers;
};

/// An open inventory table with `rows` rows; field 0 holds "A1", "A2", … and the money and
/// number fields hold the row number.
inline std::unique_ptr<InventoryTable> makeTable(int rows)
{
    auto table = std::make_unique<InventoryTable>();
    AppendInventoryFields(*table);
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

/// A shown window holding the grid and one other widget to move the focus to.
class GridWindow
{
public:
    GridWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        grid = new DataGrid(&window);
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
        Steps step("Form1", "Form_Load");
        SetUpGrid(*grid, table, &myFmt, step, 192);
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

    QWidget window;
    DataGrid* grid = nullptr;
    QLineEdit* other = nullptr;
    DataFormat myFmt;
};

/// Sets the default locale for one scope.
class LocaleScope
{
public:
    explicit LocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

} // namespace tessivane::test

/// main(): a private settings folder and the offscreen platform before the application exists,
/// English (United States) as the default locale.
#define TESSIVANE_TEST_MAIN(TestClass)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QTemporaryDir configFolder;                                                                \
        qputenv("XDG_CONFIG_HOME", configFolder.path().toUtf8());                                  \
        qputenv("XDG_RUNTIME_DIR", configFolder.path().toUtf8());                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                     \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
