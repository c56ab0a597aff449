#include "windowrun.h"

#include "procstats.h"

#include "app/form1.h"
#include "app/shutdownsignals.h"
#include "core/messagebox.h"
#include "generation/generationrun.h"
#include "grid/datagrid.h"
#include "inventory/inventorytable.h"
#include "inventory/persistence.h"
#include "inventory/tablesetup.h"
#include "office/pool/instancepool.h"
#include "office/services/readyoffices.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "resources/resources.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>
#include <functional>

using namespace tessivane;

namespace windowrun {

qint64 MonotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {

// A user looks at a fresh window (or a preview) for a few seconds before clicking.
constexpr int kIdleMs = 3000;
constexpr int kRunLimitMs = 600000; // a 20,000-row run on a loaded machine

void Report(const char* key, double value)
{
    std::printf("@%s %.6f\n", key, value);
    std::fflush(stdout);
}

/// Runs the event loop until done() holds or limitMs pass; false on the limit.
bool WaitUntil(const std::function<bool()>& done, int limitMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

void Idle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    WaitUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

bool Exposed(QWidget* window)
{
    return window && window->isVisible() && window->windowHandle()
        && window->windowHandle()->isExposed();
}

/// Seconds from the click on "Start Creating Template" to the preview on screen; negative
/// when no preview came.
double ClickToPreview(Form1& form)
{
    const qint64 start = MonotonicNs();
    QTest::mouseClick(form.pushButton(22), Qt::LeftButton);
    if (!WaitUntil([&] { return Exposed(form.preview()); }, kRunLimitMs))
        return -1;
    return double(MonotonicNs() - start) / 1e9;
}

/// The longest gap, in seconds, between beats of a 10 ms timer on this thread from a focus-out
/// of the grid, after an edit of one cell, until the store holds the edit (the whole list is
/// saved) and a second more has passed. Sets saved when the store came to hold the edit.
double FocusOutStall(Form1& form, bool& saved)
{
    const QString store = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)
        + QStringLiteral("/Velmora/Tessivane.ini");
    const QByteArray edited = "DeskEditedBeforeFocusOut";
    const auto holdsEdit = [&] {
        QFile file(store);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(edited);
    };
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        std::fprintf(stderr, "runbench: the main window did not become active\n");
    form.grid()->setFocus(Qt::OtherFocusReason);
    QAbstractItemModel* model = form.grid()->model();
    model->setData(model->index(0, 1), QString::fromLatin1(edited));
    Idle(500);

    qint64 last = MonotonicNs();
    qint64 longest = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = MonotonicNs();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start(10);
    Idle(300);
    // As a click elsewhere in the window: the focus leaves the grid for a button.
    const qint64 focusOut = MonotonicNs();
    QTimer::singleShot(
        0, form.pushButton(22), [&] { form.pushButton(22)->setFocus(Qt::MouseFocusReason); });
    saved = WaitUntil(holdsEdit, 60000);
    const qint64 settled = std::max(MonotonicNs() + 1000000000, focusOut + 3000000000);
    WaitUntil([&] { return MonotonicNs() >= settled; }, 5000);
    beat.stop();
    return double(longest) / 1e9;
}

/// The longest time, in seconds, from one step of the preview's vertical bar to the viewport
/// painted, while the bar goes from the top to the bottom of the picture at zoom, a viewport's
/// height a step (every row of the picture is painted once).
double LongestScrollPaint(Form2& preview, float zoom)
{
    preview.SetZoom(zoom);
    QCoreApplication::processEvents();
    QScrollBar* bar = preview.vScroll1();
    if (!bar->isEnabled() || preview.vStep() <= 0)
        return 0;
    const int units = std::max(1, int(preview.picture2()->ScaleHeight() / preview.vStep()));
    qint64 longest = 0;
    for (int value = 0;; value = std::min(value + units, bar->maximum())) {
        const qint64 start = MonotonicNs();
        bar->setValue(value);
        preview.picture2()->repaint();
        longest = std::max(longest, MonotonicNs() - start);
        if (value >= bar->maximum())
            break;
    }
    bar->setValue(0);
    return double(longest) / 1e9;
}

void FillRows(InventoryTable& table, int rows)
{
    for (int i = 0; i < rows; ++i) {
        table.AddNew();
        table.SetValue(0, QStringLiteral("SN-%1").arg(100000 + i));
        table.SetValue(1, QStringLiteral("Desk g-%1").arg(i));
        table.SetValue(2, QStringLiteral("Office"));
        table.SetValue(3, QStringLiteral("Normal"));
        table.SetValue(4, QStringLiteral("John's  manufacture"));
        table.SetValue(5, 2);
        table.SetValue(6, 149.99 + i);
        table.SetValue(7, 10.0);
        table.SetValue(8, QDate(2015, 8, 11));
        table.SetValue(9, 3);
        table.SetValue(10, 5);
        table.SetValue(11, 10.0);
        table.SetValue(12, 20.0);
    }
    if (rows > 0)
        table.MoveFirst();
}

} // namespace

int StoreRows(int argc, char* argv[], int rows)
{
    QCoreApplication app(argc, argv);
    InventoryTable table;
    appendInventoryFields(table);
    table.SetCursorType(2);
    table.Open();
    FillRows(table, rows);
    saveRows(table);
    return 0;
}

int RunWindow(int argc, char* argv[], const Plan& plan)
{
    // The start-up of main.cpp, step for step; only the message boxes answer themselves.
    blockShutdownSignals();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Tessivane"));
    QApplication::setDesktopFileName(QStringLiteral("com.velmora.tessivane"));
    QApplication::setQuitOnLastWindowClosed(false);
    int boxes = 0;
    Services services;
    WindowContext context {MessageBoxes([&](const MessageBoxCall& call) {
        ++boxes;
        std::fprintf(stderr, "runbench: message box: %s\n", qPrintable(call.prompt));
        return int(vbOK);
    })};
    services.office.warmUpWorkbook = templateBytes();
    InstancePool readyOffices(libreOfficeInstances(services), 2, std::chrono::milliseconds(500),
        helperInstances(services));
    services.readyOffices = &readyOffices;
    Form1 form1(services, context);
    const ShutdownSignals shutdownSignals([&form1] { form1.closeForShutdown(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
        [&form1](QSessionManager&) { form1.saveRowsForExit(); });
    removeLeftoverRunFolders(false);
    form1.Form_Load();
    form1.show();
    if (!WaitUntil([&] { return Exposed(&form1); }, kRunLimitMs)) {
        std::fprintf(stderr, "runbench: the main window never showed\n");
        return 2;
    }
    Report("start", double(MonotonicNs() - plan.spawnedNs) / 1e9);

    int failures = 0;
    {
        benchstats::OfficeSampler offices;
        Idle(kIdleMs);
        Report("idleoffice", benchstats::OfficeMegabytes());
        if (plan.focusOut) {
            bool saved = false;
            Report("stall", FocusOutStall(form1, saved));
            if (!saved) {
                std::fprintf(stderr, "runbench: the focus-out did not save the edited list\n");
                ++failures;
            }
        }
        if (plan.click) {
            offices.resetPeak();
            const double first = ClickToPreview(form1);
            Report("click", first);
            Report("hwm", benchstats::OwnPeakMegabytes());
            Report("officepeak", offices.peak());
            failures += first < 0;
            if (plan.scroll && first >= 0) {
                Report("paint025", LongestScrollPaint(*form1.preview(), 0.25f));
                Report("paint100", LongestScrollPaint(*form1.preview(), 1.0f));
                Report("hwmscroll", benchstats::OwnPeakMegabytes());
            }
            if (plan.second && first >= 0) {
                Idle(kIdleMs);
                QTest::mouseClick(form1.preview()->pushButton(8), Qt::LeftButton);
                WaitUntil([&] { return Exposed(&form1); }, kRunLimitMs);
                Idle(kIdleMs);
                const double again = ClickToPreview(form1);
                Report("click2", again);
                failures += again < 0;
            }
        }
    }

    // Ended as the user ends it: through the visible window's close.
    QTimer::singleShot(0, &form1, [&form1] { form1.closeForShutdown(); });
    QTimer::singleShot(kRunLimitMs, &app, [] { QCoreApplication::exit(3); });
    const int code = app.exec();
    readyOffices.end();
    removeLeftoverRunFolders(true);
    int left = 0;
    WaitUntil([&] { return benchstats::OfficeMegabytes(&left) == 0 && left == 0; }, 20000);
    if (left > 0)
        std::fprintf(stderr, "runbench: %d soffice.bin still running at the end\n", left);
    return code != 0 || boxes > 0 || failures > 0 || left > 0 ? 1 : 0;
}

} // namespace windowrun
