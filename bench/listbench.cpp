// The list's own commands on 10,000 rows, each timed with the longest stall of the event loop
// while it runs: reading and checking a CSV file, pasting a block, undoing a Delete All.
// Run by hand (`make bench`), offscreen.
#include "core/failurereport.h"
#include "core/messagebox.h"
#include "grid/datagrid.h"
#include "grid/importreview.h"
#include "grid/inventorysetup.h"
#include "grid/listeditor.h"
#include "grid/listhistory.h"
#include "grid/rowcommands.h"
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

    std::unique_ptr<InventoryTable> table;
    for (const auto& action : tableCreation(table))
        action();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* grid = new DataGrid(boxes, &window);
    layout->addWidget(grid);
    window.resize(1000, 400);
    DataFormat myFmt;
    Steps step(boxes, "Form1", "Form_Load");
    step.sequence(192, gridSetUp(*grid, table.get(), &myFmt));
    window.show();
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
    return 0;
}
