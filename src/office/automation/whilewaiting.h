#pragma once

// Blocking operations run on a thread other than the one that asked for them, so that the
// asking thread can do something else now and then (repaint a progress window) until they
// return.

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <utility>

namespace tessivane {

/// Waits for done, calling whileWaiting on this thread every interval meanwhile; a failing
/// whileWaiting is ignored.
template <typename Result>
void waitWhileCalling(const std::future<Result>& done, const std::function<void()>& whileWaiting,
    std::chrono::milliseconds interval)
{
    while (done.wait_for(interval) != std::future_status::ready) {
        try {
            if (whileWaiting)
                whileWaiting();
        } catch (...) { }
    }
}

/// Runs operation on a new thread and, until it returns, calls whileWaiting on this thread
/// every interval. Returns what the operation returns; an exception it throws passes on here.
/// A failing whileWaiting is ignored: the operation's outcome is still waited for.
template <typename Operation>
auto runWhileWaiting(const std::function<void()>& whileWaiting, Operation&& operation,
    std::chrono::milliseconds interval = std::chrono::milliseconds(50)) -> decltype(operation())
{
    using Result = decltype(operation());
    std::packaged_task<Result()> task([&operation]() -> Result { return operation(); });
    std::future<Result> done = task.get_future();
    std::thread worker(std::move(task));
    waitWhileCalling(done, whileWaiting, interval);
    worker.join();
    return done.get();
}

} // namespace tessivane
