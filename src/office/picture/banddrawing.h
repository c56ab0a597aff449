#pragma once

// The bands of a sheet's picture drawn by one office, or by two at once, and written in order
// while the next ones are drawn. No UNO type appears here.

#include "office/picture/bandbitmapwriter.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tessivane {

/// Draws bands 0..count-1 and adds them to a BandBitmapWriter in that order, on a thread of
/// its own, so that the file is written while the offices draw. Each band goes to whichever
/// drawer is free; a helper's failure only hands its band back to the main drawer. Only a
/// few bands are held at a time: a drawer that is far ahead waits.
class BandDrawing
{
public:
    /// Draws one band by its number; throws when it cannot.
    using Draw = std::function<PictureBand(int band)>;
    /// Runs one wait of the main drawer (a condition to wait for) where it belongs.
    using Wait = std::function<void(const std::function<void()>& wait)>;

    BandDrawing(BandBitmapWriter& writer, int count);
    /// Stops the helpers and the writing; waits for the helpers' bands in progress.
    ~BandDrawing();
    BandDrawing(const BandDrawing&) = delete;
    BandDrawing& operator=(const BandDrawing&) = delete;

    /// A helper that draws bands on a thread of its own from now on: prepare runs there first
    /// (it opens the workbook), done there last, whatever happened.
    void addHelper(std::function<void()> prepare, Draw draw, std::function<void()> done);

    /// Draws with draw on this thread until every band is written, its waits for the others
    /// run through wait. Throws what draw throws (after the helpers have stopped); false when
    /// the writer refused a band.
    bool run(const Draw& draw, const Wait& wait);

private:
    static constexpr int kNone = -1;
    int claim(bool main); // the next band to draw, or kNone
    void deliver(int band, PictureBand picture);
    void writeInOrder();
    void stop();

    BandBitmapWriter& mWriter;
    const int mCount;
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mNext = 0; // the first band nobody has claimed
    std::deque<int> mReturned; // claimed by a helper that failed
    std::map<int, PictureBand> mDrawn; // waiting for their turn in the file
    int mWritten = 0;
    bool mWriteFailed = false;
    bool mStopped = false;
    std::vector<std::thread> mHelpers;
    std::thread mWriterThread;
};

} // namespace tessivane
