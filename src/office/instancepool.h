#pragma once

#include "office/services.h"

#include <chrono>
#include <memory>

namespace tessivane {

struct PoolState;

/// Private LibreOffice instances started ahead of need, so that nobody waits for an office to
/// start. While a pool is in the services, CreateApplication hands out one of its ready
/// instances, once it
/// has answered a small call (one that died or stopped answering is ended and replaced without
/// a word); with none ready it waits for the start in progress, or has one started.
///
/// Each instance still serves one use. The pool refills, one start after the other, only once
/// every instance it handed out has ended and a short pause has passed, so that its starts
/// never compete with the work of a run. A Quit of an instance it handed out returns at once:
/// the office closes down on the pool's ending thread.
///
/// Every office is started from the pool's own thread, which lives as long as the pool: the
/// parent-death signal then ties each one to this program, whichever thread asked for it.
/// Ending the pool ends every ready instance and the one being started, and waits for those
/// closing down; instances it handed out must have ended before.
class InstancePool
{
public:
    /// The offices start with settings as they are at each start; they outlive the pool.
    explicit InstancePool(const OfficeSettings& settings, int ready = 2,
        std::chrono::milliseconds pause = std::chrono::milliseconds(500));
    ~InstancePool();
    InstancePool(const InstancePool&) = delete;
    InstancePool& operator=(const InstancePool&) = delete;

    /// Ends the pool now (the destructor does it otherwise): every ready instance and the one
    /// being started are ended, those closing down waited for. takeReadyInstance then hands
    /// out none.
    void end();

    /// A ready instance, or one started for the caller; none once the pool has ended. Throws
    /// the start's failure as CreateApplication does.
    ApplicationPtr takeReadyInstance();

    /// Keeps an instance on which nothing was done (the start-up check's) ready for the next
    /// caller; false when it cannot be kept (the reference is then untouched).
    bool keepReady(ApplicationPtr& application);

    /// How many instances are ready now.
    int readyCount() const;

private:
    std::shared_ptr<PoolState> mState;
};

/// Hands back an instance on which nothing was done (the start-up check's), ready for the
/// next CreateApplication. Without a pool in the services, or when it cannot be kept, it is
/// ended in the background. The reference is empty afterwards.
void keepReady(const Services& services, ApplicationPtr&& application);

} // namespace tessivane
