#pragma once

// The one thread that makes every call into one office. Private to the office rooms.

#include "office/automation/whilewaiting.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace tessivane {

/// One thread that runs the operations handed to it, one after the other, for as long as it
/// lives: every call into one office is made from it. Its end finishes what was handed in.
class CallWorker
{
public:
    CallWorker()
        : mThread([this] { serve(); })
    { }
    ~CallWorker()
    {
        {
            std::lock_guard lock(mMutex);
            mStop = true;
        }
        mWake.notify_all();
        mThread.join();
    }
    CallWorker(const CallWorker&) = delete;
    CallWorker& operator=(const CallWorker&) = delete;

    bool isWorkerThread() const { return std::this_thread::get_id() == mThread.get_id(); }

    /// Runs operation on the worker and returns its outcome here; until then whileWaiting (if
    /// any) runs on this thread every interval. From the worker itself it runs at once.
    template <typename Operation>
    auto run(const std::function<void()>& whileWaiting, Operation&& operation,
        std::chrono::milliseconds interval = std::chrono::milliseconds(50)) -> decltype(operation())
    {
        using Result = decltype(operation());
        if (isWorkerThread())
            return operation();
        auto task = std::make_shared<std::packaged_task<Result()>>(
            [&operation]() -> Result { return operation(); });
        std::future<Result> done = task->get_future();
        {
            std::lock_guard lock(mMutex);
            mQueue.emplace_back([task] { (*task)(); });
        }
        mWake.notify_all();
        if (whileWaiting)
            waitWhileCalling(done, whileWaiting, interval);
        return done.get();
    }

private:
    void serve()
    {
        std::unique_lock lock(mMutex);
        for (;;) {
            mWake.wait(lock, [this] { return mStop || !mQueue.empty(); });
            if (mQueue.empty())
                return;
            std::function<void()> next = std::move(mQueue.front());
            mQueue.pop_front();
            lock.unlock();
            next();
            next = nullptr;
            lock.lock();
        }
    }

    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mQueue;
    bool mStop = false;
    std::thread mThread; // last: it starts once the rest is ready
};

} // namespace tessivane
