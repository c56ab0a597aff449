#include "grid/listreading.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTimer>

#include <chrono>
#include <future>
#include <thread>

namespace tessivane {

namespace {

// A reading that ends within this shows no window (and leaves the window's thread waiting).
constexpr std::chrono::milliseconds kQuietWait(250);
constexpr int kSteps = 1000;

} // namespace

/// What the reading thread and the window's thread share.
struct ListReading::State
{
    std::atomic<bool> cancelled {false};
    std::atomic<qint64> done {0};
    std::atomic<qint64> total {0};
};

ListReading::ListReading(QObject* parent)
    : QObject(parent)
{ }

ListReading::~ListReading() = default;

void ListReading::cancel()
{
    if (mState)
        mState->cancelled = true;
}

ListRead ListReading::read(QWidget* parent, const QString& path, const WorkbookReader& readWorkbook)
{
    if (mState)
        throw std::runtime_error("A file is being read already.");
    const auto state = std::make_shared<State>();
    mState = state;
    const auto end = qScopeGuard([this] {
        mState.reset();
        emit ended();
    });
    const ReadProgress progress = [state](qint64 done, qint64 total) {
        state->done = done;
        state->total = total;
        return !state->cancelled.load();
    };
    QEventLoop loop;
    std::packaged_task<ListRead()> task(
        [&path, &readWorkbook, &progress] { return readListFile(path, readWorkbook, progress); });
    std::future<ListRead> result = task.get_future();
    std::thread worker([&task, &loop] {
        task();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    const auto join = qScopeGuard([&worker] { worker.join(); });
    // A reading stopped as it ended is stopped all the same: the caller goes on to close.
    const auto outcome = [&result, &state] {
        ListRead read = result.get();
        if (state->cancelled)
            throw ReadCancelled();
        return read;
    };
    if (result.wait_for(kQuietWait) == std::future_status::ready)
        return outcome();

    QProgressDialog window(parent);
    window.setWindowTitle(QStringLiteral("Import Rows"));
    window.setLabelText(QStringLiteral("Reading %1 ...").arg(QFileInfo(path).fileName()));
    window.setAccessibleName(QStringLiteral("Reading the file"));
    window.setWindowModality(Qt::ApplicationModal);
    window.setAutoClose(false);
    window.setAutoReset(false);
    window.setMinimumDuration(0);
    window.setRange(0, 0);
    const auto stop = [&window, state] {
        state->cancelled = true;
        window.setLabelText(QStringLiteral("Stopping ..."));
    };
    connect(&window, &QProgressDialog::canceled, &window, stop);
    connect(&window, &QDialog::rejected, &window, stop);
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, &window, [&window, state] {
        const qint64 total = state->total;
        if (total <= 0) {
            window.setRange(0, 0);
            return;
        }
        window.setRange(0, kSteps);
        window.setValue(int(state->done * kSteps / total));
    });
    refresh.start(100);
    window.show();
    if (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        loop.exec();
    return outcome();
}

} // namespace tessivane
