#pragma once

#include "office/automation/spreadsheet.h"

#include <chrono>
#include <functional>
#include <memory>

namespace tessivane {

struct PoolState;

/// What the pool needs of an office it keeps ready: the LibreOffice instance, or a test's
/// stand-in. Every method may be called from the pool's threads.
class PooledInstance
{
public:
    virtual ~PooledInstance() = default;

    /// Starts the office; throws a readable sentence when it cannot.
    virtual void start() = 0;
    /// Makes it load what the first real document needs.
    virtual void warmUp() = 0;
    virtual bool isWarm() const = 0;
    /// False once it died, was ended, or is known to hang.
    virtual bool alive() = 0;
    /// Whether it answers a small call within limit; one that does not is ended as hung.
    virtual bool answers(std::chrono::milliseconds limit) noexcept = 0;
    /// Kills its processes at once, from any thread: a start in progress fails.
    virtual void abort() noexcept = 0;
    /// Ends it and cleans up; with polite, it is first asked to close down.
    virtual void end(bool polite) noexcept = 0;

    /// The application a caller gets: the rest of its Quit runs through ender, and onEnded is
    /// called once it has ended.
    virtual ApplicationPtr handOut(
        std::function<void(std::function<void()>)> ender, std::function<void()> onEnded)
        = 0;
    /// Whether application is the one it handed out.
    virtual bool owns(const Application& application) const = 0;
    /// Whether nothing was done with it (no document open).
    virtual bool isUnused() const = 0;
    /// Back from a caller unused: the hooks of handOut are dropped. False when it cannot be.
    virtual bool takeBack() = 0;
    /// Where the caller it is handed out to finds a second one to share long work with (a
    /// ready instance, or none).
    virtual void setHelperSource(std::function<ApplicationPtr()> takeReady)
    {
        static_cast<void>(takeReady);
    }
};

using InstanceFactory = std::function<std::shared_ptr<PooledInstance>()>;

/// Private LibreOffice instances started ahead of need, so that nobody waits for an office to
/// start. While a pool is in the services, createApplication hands out one of its ready
/// instances, once it
/// has answered a small call (one that died or stopped answering is ended and replaced without
/// a word); with none ready it waits for the start in progress, or has one started.
///
/// Each instance still serves one use. One it hands out may take the ready helper, if there
/// is one, to draw part of a long picture (no start is waited for). The pool refills, one start
/// after the other, only once every instance it handed out has ended and a short pause has passed,
/// so that its starts never compete with the work of a run. A Quit of an instance it handed out
/// returns at once: the office closes down on the pool's ending thread.
///
/// Every office is started from the pool's own thread, which lives as long as the pool: the
/// parent-death signal then ties each one to this program, whichever thread asked for it.
/// Ending the pool ends every ready instance and the one being started, and waits for those
/// closing down; instances it handed out must have ended before.
class InstancePool
{
public:
    /// The instances come from makeInstance, and are started by the pool. With makeHelper, one
    /// more instance is kept ready, from there, only for the second instances that long work
    /// asks for (never handed out by takeReadyInstance); it is started after the others.
    explicit InstancePool(InstanceFactory makeInstance, int ready = 2,
        std::chrono::milliseconds pause = std::chrono::milliseconds(500),
        InstanceFactory makeHelper = {});
    ~InstancePool();
    InstancePool(const InstancePool&) = delete;
    InstancePool& operator=(const InstancePool&) = delete;

    /// Ends the pool now (the destructor does it otherwise): every ready instance and the one
    /// being started are ended, those closing down waited for. takeReadyInstance then hands
    /// out none.
    void end();

    /// A ready instance, or one started for the caller; none once the pool has ended. Throws
    /// the start's failure as createApplication does.
    ApplicationPtr takeReadyInstance();

    /// Keeps an instance on which nothing was done (the start-up check's) ready for the next
    /// caller; false when it cannot be kept (the reference is then untouched).
    bool keepReady(ApplicationPtr& application);

    /// How many instances are ready now, the one warming up among them (not the helper).
    int readyCount() const;

    /// Whether the helper instance is ready.
    bool helperReady() const;

private:
    std::shared_ptr<PoolState> mState;
};

} // namespace tessivane
