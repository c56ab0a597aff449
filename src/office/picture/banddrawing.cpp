#include "office/picture/banddrawing.h"

namespace tessivane {

namespace {

// Bands drawn or being drawn but not yet in the file: enough to keep two drawers and the
// writing busy, few enough that the program's memory stays flat.
constexpr int kAhead = 4;

} // namespace

BandDrawing::BandDrawing(BandBitmapWriter& writer, int count)
    : mWriter(writer)
    , mCount(count)
    , mWriterThread([this] { writeInOrder(); })
{ }

BandDrawing::~BandDrawing()
{
    stop();
}

void BandDrawing::addHelper(std::function<void()> prepare, Draw draw, std::function<void()> done)
{
    std::lock_guard lock(mMutex);
    if (mStopped)
        return;
    mHelpers.emplace_back(
        [this, prepare = std::move(prepare), draw = std::move(draw), done = std::move(done)] {
            int band = kNone;
            try {
                prepare();
                while ((band = claim(false)) != kNone) {
                    deliver(band, draw(band));
                    band = kNone;
                }
            } catch (...) {
                // The helper is only a help: what it had taken on goes back to the main drawer.
                std::lock_guard lock(mMutex);
                if (band != kNone)
                    mReturned.push_back(band);
                mChanged.notify_all();
            }
            try {
                done();
            } catch (...) { }
        });
}

bool BandDrawing::run(const Draw& draw, const Wait& wait)
{
    try {
        for (;;) {
            int band = kNone;
            wait([&] { band = claim(true); });
            if (band == kNone)
                break;
            deliver(band, draw(band));
        }
    } catch (...) {
        stop();
        throw;
    }
    std::lock_guard lock(mMutex);
    return !mWriteFailed && mWritten == mCount;
}

int BandDrawing::claim(bool main)
{
    std::unique_lock lock(mMutex);
    for (;;) {
        if (mStopped || mWriteFailed || mWritten == mCount)
            return kNone;
        if (main && !mReturned.empty()) {
            const int band = mReturned.front();
            mReturned.pop_front();
            return band;
        }
        if (mNext < mCount && mNext - mWritten < kAhead)
            return mNext++;
        if (!main && mNext >= mCount)
            return kNone;
        mChanged.wait(lock);
    }
}

void BandDrawing::deliver(int band, PictureBand picture)
{
    std::lock_guard lock(mMutex);
    if (!mStopped)
        mDrawn.emplace(band, std::move(picture));
    mChanged.notify_all();
}

void BandDrawing::writeInOrder()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mChanged.wait(
            lock, [this] { return mStopped || mWritten == mCount || mDrawn.count(mWritten) > 0; });
        if (mStopped || mWritten == mCount)
            return;
        PictureBand band = std::move(mDrawn.at(mWritten));
        mDrawn.erase(mWritten);
        lock.unlock();
        const bool added = mWriter.add(std::move(band));
        lock.lock();
        ++mWritten;
        mWriteFailed = mWriteFailed || !added;
        mChanged.notify_all();
        if (mWriteFailed)
            return;
    }
}

void BandDrawing::stop()
{
    std::vector<std::thread> helpers;
    {
        std::lock_guard lock(mMutex);
        mStopped = true;
        helpers.swap(mHelpers);
        mChanged.notify_all();
    }
    for (std::thread& helper : helpers)
        helper.join();
    if (mWriterThread.joinable())
        mWriterThread.join();
    std::lock_guard lock(mMutex);
    mDrawn.clear();
}

} // namespace tessivane
