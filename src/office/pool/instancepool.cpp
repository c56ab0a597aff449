#include "office/pool/instancepool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tessivane {

namespace {

using Clock = std::chrono::steady_clock;
using Instance = PooledInstance;
using std::chrono::milliseconds;

// An idle office answers a small call in well under a millisecond; one that takes this long
// is stopped or stuck, and a fresh one is quicker.
constexpr milliseconds kAnswerLimit(1000);
// How often the ready instances are looked at for one that died.
constexpr milliseconds kLookAgain(500);
// Ready ones that die one after the other are not replaced endlessly.
constexpr int kLostInARow = 3;

} // namespace

struct PoolState : std::enable_shared_from_this<PoolState>
{
    InstanceFactory makeInstance;
    InstanceFactory makeHelper; // empty: no helper is kept
    std::shared_ptr<Instance> helper; // ready for the second instance of long work
    int target = 2;
    milliseconds pause {0};

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Instance>> ready;
    std::shared_ptr<Instance> busy; // being started or warmed up by the starting thread
    std::shared_ptr<Instance> warming; // one kept back unwarmed, warmed up beside the starts
    int handedOut = 0; // taken and not yet ended: no refill meanwhile
    std::vector<std::weak_ptr<Instance>> out; // those handed out, while they live
    int waiting = 0; // callers waiting for a start
    int lost = 0; // ready ones that died since one was last handed out
    int owed = 0; // replacements of lost ones, started even while a run goes on
    std::optional<Clock::time_point> fillAt;
    unsigned failures = 0; // failed starts that callers waited for
    std::exception_ptr lastFailure;
    std::deque<std::function<void()>> endings;
    bool stopping = false;
    bool enderDone = false;
    std::thread starter;
    std::thread warmer;
    std::thread ender;

    void runStarter();
    void dropDeadReady(std::unique_lock<std::mutex>& lock);
    void startOne(
        std::unique_lock<std::mutex>& lock, bool warmUp, bool asked, bool asHelper = false);
    void warmBeside(std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance);
    void finishBusy(std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance,
        bool fine, std::exception_ptr failure, bool asked, bool asHelper = false);
    void runEnder();
    ApplicationPtr take();
    ApplicationPtr takeIfReady();
    /// Under the lock, which it lets go of meanwhile: the instance goes to the caller once it
    /// answers; one that does not is ended (none is returned).
    ApplicationPtr handOutIfAnswering(
        std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance);
    bool keep(ApplicationPtr& application);
    void shutdown();

    /// The instance goes to a caller as an application; the pool hears of its end.
    ApplicationPtr handOut(const std::shared_ptr<Instance>& instance)
    {
        std::weak_ptr<PoolState> pool = weak_from_this();
        {
            std::lock_guard lock(mutex);
            std::erase_if(out, [](const auto& held) { return held.expired(); });
            out.push_back(instance);
        }
        instance->setHelperSource([pool] {
            const auto state = pool.lock();
            return state ? state->takeIfReady() : nullptr;
        });
        return instance->handOut(
            [pool](std::function<void()> work) {
                if (const auto state = pool.lock(); state && state->queueEnding(work))
                    return;
                work();
            },
            [pool] {
                if (const auto state = pool.lock())
                    state->instanceEnded();
            });
    }

    /// Under the lock: a ready one was lost. Its replacement starts at once, even during a
    /// run, unless they keep dying: then the next caller's own start tells why.
    void lose()
    {
        if (++lost < kLostInARow) {
            ++owed;
        } else {
            owed = 0;
            fillAt.reset();
        }
        changed.notify_all();
    }

    bool callerWaits()
    {
        std::lock_guard lock(mutex);
        return waiting > 0 && ready.empty() && !warming;
    }

    void instanceEnded()
    {
        std::lock_guard lock(mutex);
        if (--handedOut == 0)
            fillAt = Clock::now() + pause;
        changed.notify_all();
    }

    bool queueEnding(std::function<void()>& work)
    {
        std::lock_guard lock(mutex);
        if (enderDone)
            return false;
        endings.push_back(std::move(work));
        changed.notify_all();
        return true;
    }
};

void PoolState::runStarter()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        dropDeadReady(lock);
        const Clock::time_point now = Clock::now();
        const bool asked = waiting > 0 && ready.empty();
        // Refills and warm-ups wait until nothing handed out is in use and a pause has passed:
        // they never compete with a run, nor with the window showing. Only a lost one's
        // replacement starts at once.
        const int kept = int(ready.size()) + (warming ? 1 : 0);
        if (kept >= target)
            owed = 0;
        const bool settled = handedOut == 0 && fillAt && now >= *fillAt;
        const auto cold = settled && waiting == 0 && !warming ? std::find_if(ready.begin(),
                              ready.end(), [](const auto& instance) { return !instance->isWarm(); })
                                                              : ready.end();
        const bool refill = (settled || owed > 0) && kept < target;
        if (stopping)
            break;
        if (asked && !warming) {
            // A caller waits: the instance is its as soon as it answers. One being warmed up
            // is nearly ready, and is the caller's then.
            startOne(lock, false, true);
        } else if (cold != ready.end()) {
            // One kept back unwarmed (the start-up check's) is made ready like the others, on
            // a thread of its own: the next start does not wait for it, since a run needs a
            // second office soon after its first.
            std::shared_ptr<Instance> instance = std::move(*cold);
            ready.erase(cold);
            warmBeside(lock, std::move(instance));
        } else if (refill) {
            owed = std::max(owed - 1, 0);
            startOne(lock, true, false);
        } else if (settled && makeHelper && !helper && kept >= target) {
            startOne(lock, true, false, true);
        } else {
            auto until = now + kLookAgain;
            if (fillAt && *fillAt > now && *fillAt < until)
                until = *fillAt;
            changed.wait_until(lock, until);
        }
    }
}

void PoolState::dropDeadReady(std::unique_lock<std::mutex>& lock)
{
    if (helper && !helper->alive()) {
        // Replaced with the next refill, never at once: it is only a help.
        const std::shared_ptr<Instance> dead = std::move(helper);
        lock.unlock();
        dead->end(false);
        lock.lock();
    }
    for (auto it = ready.begin(); it != ready.end();) {
        if ((*it)->alive()) {
            ++it;
            continue;
        }
        // Died while it waited: replaced at once.
        const std::shared_ptr<Instance> dead = *it;
        ready.erase(it);
        lose();
        lock.unlock();
        dead->end(false);
        lock.lock();
        it = ready.begin();
    }
}

void PoolState::startOne(std::unique_lock<std::mutex>& lock, bool warmUp, bool asked, bool asHelper)
{
    std::shared_ptr<Instance> instance = asHelper ? makeHelper() : makeInstance();
    busy = instance;
    lock.unlock();
    std::exception_ptr failure;
    try {
        instance->start();
        // The office loads its spreadsheet part with the first document: done now, so that
        // the run's first open does not wait for it. A caller already waiting takes it
        // without: the warm-up is a superset of what its first open loads anyway.
        if (warmUp && !callerWaits())
            instance->warmUp();
    } catch (...) {
        failure = std::current_exception();
    }
    finishBusy(lock, std::move(instance), !failure, failure, asked, asHelper);
}

void PoolState::warmBeside(std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance)
{
    warming = instance;
    std::thread done = std::move(warmer);
    lock.unlock();
    if (done.joinable())
        done.join(); // it ended with its warm-up
    std::thread thread([this, instance = std::move(instance)]() mutable {
        bool fine = false;
        try {
            instance->warmUp();
            fine = true;
        } catch (...) { }
        std::unique_lock lock(mutex);
        warming.reset();
        if (fine && !stopping) {
            // The first to be handed out, as it was before its warm-up.
            ready.push_front(std::move(instance));
        } else {
            lock.unlock();
            instance->abort();
            instance->end(false);
            instance.reset();
            lock.lock();
        }
        changed.notify_all();
    });
    lock.lock();
    warmer = std::move(thread);
}

void PoolState::finishBusy(std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance,
    bool fine, std::exception_ptr failure, bool asked, bool asHelper)
{
    lock.lock();
    busy.reset();
    if (!fine || stopping) {
        // Ended before anyone hears of a failure: nothing of it is left by then.
        lock.unlock();
        instance->abort();
        instance->end(false);
        instance.reset();
        lock.lock();
    } else if (asHelper) {
        helper = std::move(instance);
    } else {
        ready.push_back(std::move(instance));
    }
    if (failure) {
        fillAt.reset(); // no retry on its own: the next caller's start reports
        if (asked) {
            // Every caller waiting now hears of this failure; none of them asks again.
            ++failures;
            lastFailure = failure;
            waiting = 0;
        }
    }
    changed.notify_all();
}

void PoolState::runEnder()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !endings.empty(); });
        if (endings.empty()) {
            enderDone = true;
            return;
        }
        std::function<void()> work = std::move(endings.front());
        endings.pop_front();
        lock.unlock();
        work();
        work = nullptr; // the instance goes here, not under the lock
        lock.lock();
    }
}

ApplicationPtr PoolState::take()
{
    std::unique_lock lock(mutex);
    for (;;) {
        if (stopping)
            return nullptr;
        if (!ready.empty()) {
            std::shared_ptr<Instance> instance = std::move(ready.front());
            ready.pop_front();
            if (ApplicationPtr application = handOutIfAnswering(lock, std::move(instance)))
                return application;
            lose(); // replaced without a word
            continue;
        }
        ++waiting;
        changed.notify_all();
        const unsigned seen = failures;
        changed.wait(lock, [&] { return stopping || !ready.empty() || failures != seen; });
        if (failures == seen) // a failure has taken this caller off the count already
            --waiting;
        if (ready.empty() && !stopping && failures != seen)
            std::rethrow_exception(lastFailure);
    }
}

ApplicationPtr PoolState::takeIfReady()
{
    std::unique_lock lock(mutex);
    if (stopping || !helper)
        return nullptr;
    ApplicationPtr application = handOutIfAnswering(lock, std::move(helper));
    if (!application && handedOut == 0)
        fillAt = Clock::now() + pause; // replaced with the next refill
    return application;
}

ApplicationPtr PoolState::handOutIfAnswering(
    std::unique_lock<std::mutex>& lock, std::shared_ptr<Instance> instance)
{
    ++handedOut; // no refill starts while it is looked at
    lock.unlock();
    if (instance->answers(kAnswerLimit)) {
        lock.lock();
        lost = 0;
        lock.unlock();
        return handOut(instance);
    }
    // It died or stopped answering while it waited.
    instance->abort();
    instance->end(false);
    instance.reset();
    lock.lock();
    --handedOut;
    return nullptr;
}

bool PoolState::keep(ApplicationPtr& application)
{
    std::lock_guard lock(mutex);
    if (stopping || int(ready.size()) + (warming ? 1 : 0) >= target)
        return false;
    // Only one of ours, unused, and held by the caller alone.
    const auto mine = std::find_if(out.begin(), out.end(), [&](const auto& held) {
        const auto instance = held.lock();
        return instance && instance->owns(*application);
    });
    if (mine == out.end())
        return false;
    const std::shared_ptr<Instance> instance = mine->lock();
    if (!instance || !instance->isUnused() || !instance->alive() || application.use_count() != 1
        || !instance->takeBack())
        return false;
    application.reset();
    out.erase(mine);
    --handedOut; // it no longer holds up the refill
    ready.push_back(instance);
    if (handedOut == 0)
        fillAt = Clock::now() + pause;
    changed.notify_all();
    return true;
}

void PoolState::shutdown()
{
    std::deque<std::shared_ptr<Instance>> left;
    std::shared_ptr<Instance> inStart;
    std::shared_ptr<Instance> inWarmUp;
    {
        std::lock_guard lock(mutex);
        if (stopping)
            return;
        stopping = true;
        left.swap(ready);
        if (helper)
            left.push_back(std::move(helper));
        inStart = busy;
        inWarmUp = warming;
        changed.notify_all();
    }
    // Killed first, all of them, then cleaned up: an unused office holds nothing to keep.
    if (inStart)
        inStart->abort();
    if (inWarmUp)
        inWarmUp->abort(); // its warm-up fails, and its thread ends it
    inWarmUp.reset();
    for (const auto& instance : left)
        instance->abort();
    for (const auto& instance : left)
        instance->end(false);
    left.clear();
    inStart.reset();
    if (starter.joinable())
        starter.join();
    if (warmer.joinable())
        warmer.join();
    if (ender.joinable())
        ender.join();
}

InstancePool::InstancePool(InstanceFactory makeInstance, int ready, std::chrono::milliseconds pause,
    InstanceFactory makeHelper)
    : mState(std::make_shared<PoolState>())
{
    mState->makeInstance = std::move(makeInstance);
    mState->makeHelper = std::move(makeHelper);
    mState->target = std::max(ready, 0);
    mState->pause = pause;
    PoolState* state = mState.get();
    mState->starter = std::thread([state] { state->runStarter(); });
    mState->ender = std::thread([state] { state->runEnder(); });
}

InstancePool::~InstancePool()
{
    end();
}

void InstancePool::end()
{
    mState->shutdown();
}

int InstancePool::readyCount() const
{
    std::lock_guard lock(mState->mutex);
    return int(mState->ready.size()) + (mState->warming ? 1 : 0);
}

bool InstancePool::helperReady() const
{
    std::lock_guard lock(mState->mutex);
    return mState->helper != nullptr;
}

ApplicationPtr InstancePool::takeReadyInstance()
{
    return mState->take();
}

bool InstancePool::keepReady(ApplicationPtr& application)
{
    return application && mState->keep(application);
}

} // namespace tessivane
