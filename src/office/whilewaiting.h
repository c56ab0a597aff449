#pragma once

// A blocking operation run on a thread of its own, so that the thread that asked for it can
// do something else now and then (repaint a progress window) until it returns.

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <utility>

namespace tessivane {

/// Runs operation on a new thread and, until it returns, calls whileWaiting on this thread
/// every interval. Returns what the operation returns; an exception it throws passes on here.
/// A failing whileWaiting is ignored: the operation's outcome is still waited for.
template <typename Operation>
auto RunWhileWaiting(const std::function<void()>& whileWaiting, Operation&& operation,
    std::chrono::milliseconds interval = std::chrono::milliseconds(50)) -> decltype(operation())
{
    using Result = decltype(operation());
    std::packaged_task<Result()> task([&operation]() -> Result { return operation(); });
    std::future<Result> done = task.get_future();
    std::thread worker(std::move(task));
    while (done.wait_for(interval) != std::future_status::ready) {
        try {
            if (whileWaiting)
                whileWaiting();
        } catch (...) { }
    }
    worker.join();
    return done.get();
}

} // namespace tessivane
