#pragma once

#include "office/services/services.h"

#include <mutex>
#include <thread>
#include <vector>

namespace tessivane {

/// The threads that drop instances off the caller's path, so that ending an office does not
/// hold up the caller. Its end waits for all of them.
class BackgroundReleases
{
public:
    BackgroundReleases() = default;
    ~BackgroundReleases() { waitForAll(); }
    BackgroundReleases(const BackgroundReleases&) = delete;
    BackgroundReleases& operator=(const BackgroundReleases&) = delete;

    /// Drops the reference on a thread of its own. The reference is empty afterwards.
    void releaseInBackground(ApplicationPtr&& application);

    /// Waits until every instance handed over so far has ended (tests, exit).
    void waitForAll();

private:
    std::mutex mMutex;
    std::vector<std::thread> mThreads;
};

/// Hands the instance to the services' background releases.
void releaseInBackground(const Services& services, ApplicationPtr&& application);

} // namespace tessivane
