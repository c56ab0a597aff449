// The list's own commands on 10,000 rows, each timed with the longest stall of the event loop
// while it runs: reading and checking a CSV file, pasting a block, undoing a Delete All; then
// find, replace all and sort on 20,000 rows. Run by hand (`make bench`), offscreen.
#include "core/failurereport.h"
#include "core/messagebox.h"
#include "grid/datagrid.h"
#include "grid/importreview.h"
#include "grid/inventorysetup.h"
#include "grid/listeditor.h"
#include "grid/listfinder.h"
#include "grid/listhistory.h"
#include "grid/rowcommands.h"
#include "inventory/currency.h"
#include "inventory/fieldconversion.h"
#include "inventory/listedit.h"
#include "inventory/listfile.h"
#include "inventory/tablesetup.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

using namespace tessivane;

namespace {

constexpr int kRows = 10000;
constexpr int kLongRows = 20000;

struct Measure
{
    double seconds = -1;
    double stall = -1;
};

/// Runs work from the event loop while a 5 ms beat notes the longest gap between its ticks.
Measure Timed(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start(5);
    Measure measure;
    bool done = false;
    QTimer::singleShot(50, [&] {
        QElapsedTimer timer;
        timer.start();
        work();
        measure.seconds = double(timer.nsecsElapsed()) / 1e9;
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The repaints that follow the change count too.
    const qint64 until = clock.nsecsElapsed() + 300000000;
    while (clock.nsecsElapsed() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    measure.stall = double(longest) / 1e9;
    return measure;
}

QString RowText(int i, QChar separator)
{
    const QStringList fields {QStringLiteral("SN-%1").arg(100000 + i),
        QStringLiteral("Desk g-%1 \"oak\"").arg(i), QStringLiteral("Office %1").arg(i % 40),
        QStringLiteral("Normal"), QStringLiteral("John's  manufacture"), QString::number(i % 12),
        QStringLiteral("%1.99").arg(i % 5000), QStringLiteral("%1.5").arg(i % 100),
        QDate(2000, 1, 1).addDays(i % 9000).toString(Qt::ISODate), QString::number(i % 30),
        QString::number(i % 20), QStringLiteral("%1.25").arg(i % 70), QString::number(i % 300)};
    QStringList quoted;
    for (const QString& field : fields)
        quoted.append(field.contains(QLatin1Char('"')) ? QLatin1Char('"')
                    + QString(field).replace(QLatin1String("\""), QLatin1String("\"\""))
                    + QLatin1Char('"')
                                                       : field);
    return quoted.join(separator);
}

void Print(const char* what, const Measure& measure, bool ok)
{
    std::printf("%-44s %8.3f s   longest stall %6.0f ms   %s\n", what, measure.seconds,
        measure.stall * 1000, ok ? "ok" : "FAILED");
}

/// The grid bound to a new table with the start-up's set-up, in a shown window.
struct GridWindow
{
    explicit GridWindow(const MessageBoxes& boxes)
    {
        for (const auto& action : tableCreation(table))
            action();
        auto* layout = new QVBoxLayout(&window);
        grid = new DataGrid(boxes, &window);
        layout->addWidget(grid);
        window.resize(1000, 400);
        Steps step(boxes, "Form1", "Form_Load");
        step.sequence(192, gridSetUp(*grid, table.get(), &myFmt));
        window.show();
    }

    std::unique_ptr<InventoryTable> table;
    QWidget window;
    DataGrid* grid = nullptr;
    DataFormat myFmt;
};

/// Find, replace all and sort on a list of 20,000 rows, money shown as the program shows it.
void FindReplaceSort(const MessageBoxes& boxes)
{
    std::printf("Find, replace and sort on %d rows\n", kLongRows);
    QString csv;
    for (int i = 0; i < kLongRows; ++i)
        csv += RowText(i, QLatin1Char(',')) + QStringLiteral("\r\n");
    const ListRead read = readListText(csv.toUtf8());
    GridWindow shown(boxes);
    std::unique_ptr<InventoryTable>& table = shown.table;
    DataGrid* grid = shown.grid;
    QObject::connect(&shown.myFmt, &DataFormat::formatRequested, [](QVariant& value) {
        if (isNumericValue(value))
            value = CurrencyText(value.toDouble());
    });
    table->SpliceRows(0, 0, read.rows);
    table->MoveFirst();
    QCoreApplication::processEvents();

    ListFinder& finder = grid->editor().finder();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    // Nothing matches: every cell is read, money and dates in their shown forms too. The first
    // search after every row changed makes those forms; with the dialog open they are made
    // meanwhile, a slice at a time.
    finder.setRequest({{QStringLiteral("$123,456.78"), false, false}, -1, false, QString()});
    bool found = true;
    const Measure cold = Timed([&] { found = finder.findNext(); });
    Print("find a value in no cell, first after a change", cold, !found);
    table->SpliceRows(0, kLongRows, read.rows);
    finder.showDialog(false);
    const Measure warming = Timed([] {
        QElapsedTimer meanwhile;
        meanwhile.start();
        while (meanwhile.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    });
    finder.setRequest({{QStringLiteral("$123,456.78"), false, false}, -1, false, QString()});
    const Measure missing = Timed([&] { found = finder.findNext(); });
    Print("find a value in no cell, dialog open", missing, !found);
    std::printf("%-44s %8s     longest stall %6.0f ms\n",
        "  (shown forms made while the dialog opened)", "", warming.stall * 1000);
    finder.setRequest({{QStringLiteral("SN-119999"), false, true}, -1, false, QString()});
    const Measure last = Timed([&] { found = finder.findNext(); });
    Print("find the last row's asset number", last,
        found && grid->currentIndex().row() == kLongRows - 1);
    finder.setRequest({{QStringLiteral("$4,"), false, false}, -1, false, QString()});
    int count = 0;
    const Measure all = Timed([&] { count = finder.findAll(); });
    Print("find all \"$4,\" (shown money)", all, count > 1000);

    finder.setRequest({{QStringLiteral("Office"), true, false}, -1, false, QStringLiteral("Room")});
    const Measure replacing = Timed([&] { count = finder.replaceAll(); });
    Print("replace all \"Office\" (20,000 cells)", replacing,
        count == kLongRows && table->ValueAt(5, 2).toString().startsWith(QLatin1String("Room")));

    const SortRequest sort {{{kDatePurchased, true}, {kAssetNumber, false}}, false};
    const Measure sorting = Timed([&] { grid->editor().sortRows(sort); });
    Print("sort by date, then asset number", sorting,
        table->ValueAt(0, kDatePurchased).toDateTime().date() == QDate(2000, 1, 1).addDays(8999));
    const Measure undoing = Timed([&] { grid->editor().undoAction()->trigger(); });
    Print("undo the sort", undoing, table->ValueAt(0, 0) == QVariant(QStringLiteral("SN-100000")));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const MessageBoxes boxes([](const MessageBoxCall&) { return int(vbYes); });
    std::printf("The list's commands on %d rows (time, and the longest event-loop stall)\n", kRows);

    QString csv = QStringLiteral("Asset or serial number,Item description(make and model),"
                                 "Location,Condition,Vendor,Years of service left,Initial value,"
                                 "Down payment,Date purchased or leased,Loan term in years,Loan "
                                 "rate(%),Monthly operating costs,Expected value at end of loan "
                                 "term\r\n");
    QString block;
    for (int i = 0; i < kRows; ++i) {
        csv += RowText(i, QLatin1Char(',')) + QStringLiteral("\r\n");
        block += RowText(i, QLatin1Char('\t')) + QLatin1Char('\n');
    }
    const QByteArray bytes = "\xEF\xBB\xBF" + csv.toUtf8();
    ListRead read;
    const Measure reading = Timed([&] { read = readListText(bytes); });
    Print(
        "read and check a CSV file", reading, read.rows.size() == kRows && read.refused.isEmpty());
    if (!read.refused.isEmpty())
        std::printf("  %lld refused, the first: line %d, %s\n", qint64(read.refused.size()),
            read.refused.first().line, qPrintable(read.refused.first().reason));

    {
        // The review follows a column given another field: read again off the window's thread.
        ImportReview review(QStringLiteral("list.csv"), read);
        review.show();
        const Measure remapping = Timed([&] {
            QEventLoop shown;
            QObject::connect(&review, &ImportReview::shown, &shown, &QEventLoop::quit);
            QComboBox* description = review.fieldBox(1);
            description->setCurrentIndex(0); // left out, as the user picks it
            emit description->activated(0);
            shown.exec();
        });
        Print("the review of 10,000 rows, a column remapped", remapping,
            review.result().rows.size() == kRows && review.result().form.columnFields[1] == -1);
    }

    GridWindow shown(boxes);
    std::unique_ptr<InventoryTable>& table = shown.table;
    DataGrid* grid = shown.grid;
    DataFormat& myFmt = shown.myFmt;
    for (int i = 0; i < 16; ++i)
        table->AddNew();
    table->MoveFirst();
    QCoreApplication::processEvents();

    QGuiApplication::clipboard()->setText(block);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    const Measure pasting = Timed([&] { grid->editor().paste(); });
    Print("paste 10,000 rows", pasting, table->RecordCount() == kRows);

    Steps clearing(boxes, "Form1", "PushButton3_Click");
    {
        ListHistory::Recording change(grid->history(), QStringLiteral("Delete All"));
        deleteAll(table, *grid, &myFmt, clearing);
        change.commit();
    }
    const bool deleted = table->RecordCount() == 16;
    const Measure undoing = Timed([&] { grid->editor().undoAction()->trigger(); });
    Print("undo a Delete All of 10,000 rows", undoing, deleted && table->RecordCount() == kRows);
    FindReplaceSort(boxes);
    return 0;
}
