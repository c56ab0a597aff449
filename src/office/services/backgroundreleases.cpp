#include "office/services/backgroundreleases.h"

namespace tessivane {

void BackgroundReleases::releaseInBackground(ApplicationPtr&& application)
{
    if (!application)
        return;
    std::lock_guard lock(mMutex);
    mThreads.emplace_back([held = std::move(application)]() mutable { held.reset(); });
}

void BackgroundReleases::waitForAll()
{
    std::vector<std::thread> running;
    {
        std::lock_guard lock(mMutex);
        running.swap(mThreads);
    }
    for (std::thread& thread : running)
        if (thread.joinable())
            thread.join();
}

void releaseInBackground(const Services& services, ApplicationPtr&& application)
{
    if (services.releases)
        services.releases->releaseInBackground(std::move(application));
    else
        application.reset();
}

} // namespace tessivane
