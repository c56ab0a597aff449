#include "inventory/rowsaver.h"

#include <exception>
#include <stdexcept>

namespace tessivane {

namespace {

bool sameRows(const RowValues& a, const RowValues& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype row = 0; row < a.size(); ++row) {
        if (!a[row].isSharedWith(b[row]) && a[row] != b[row])
            return false;
    }
    return true;
}

} // namespace

RowSaver::RowSaver(Writer writer, QObject* parent)
    : QObject(parent)
    , mWriter(std::move(writer))
{ }

RowSaver::~RowSaver()
{
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mChanged.notify_all();
    if (mThread.joinable())
        mThread.join(); // after the last write
}

void RowSaver::save(InventoryTable& table, FailureHandler onFailure)
{
    enqueue(Job {takeRows(table), std::move(onFailure)});
}

void RowSaver::saveAndWait(InventoryTable& table)
{
    std::optional<QString> failure;
    enqueue(Job {takeRows(table), {}, &failure});
    waitForAll();
    if (failure)
        throw std::runtime_error(failure->toStdString());
}

void RowSaver::waitForAll()
{
    std::unique_lock lock(mMutex);
    mChanged.wait(lock, [this] { return !mWaiting && !mWriting; });
}

void RowSaver::enqueue(Job job)
{
    {
        std::lock_guard lock(mMutex);
        if (mWriting && sameRows(job.rows, mWritingRows)) {
            // Anything still waiting is older than these rows, which are being written.
            mWaiting.reset();
            if (job.failure)
                mWritingFailure = job.failure;
            return;
        }
        mWaiting = std::move(job);
        if (!mThread.joinable())
            mThread = std::thread([this] { run(); });
    }
    mChanged.notify_all();
}

void RowSaver::run()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mChanged.wait(lock, [this] { return mWaiting || mStopping; });
        if (!mWaiting)
            return;
        Job job = std::move(*mWaiting);
        mWaiting.reset();
        mWriting = true;
        mWritingRows = job.rows;
        mWritingFailure = job.failure;
        lock.unlock();

        std::optional<QString> failure;
        try {
            mWriter(job.rows);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        } catch (...) {
            failure = QString();
        }
        if (failure && failure->isEmpty())
            failure = QStringLiteral("Unknown failure.");
        if (failure && job.onFailure) {
            QMetaObject::invokeMethod(
                this, [onFailure = std::move(job.onFailure), text = *failure] { onFailure(text); },
                Qt::QueuedConnection);
        }

        lock.lock();
        if (mWritingFailure)
            *mWritingFailure = failure;
        mWritingFailure = nullptr;
        mWritingRows.clear();
        mWriting = false;
        mChanged.notify_all();
    }
}

} // namespace tessivane
