#include "office/libreoffice.h"

#include "office/objectmodel.h"
#include "office/officeinstance.h"

#include <mutex>
#include <thread>
#include <vector>

namespace tessivane {

namespace {

struct BackgroundReleases
{
    std::mutex mutex;
    std::vector<std::thread> threads;

    ~BackgroundReleases() { joinAll(); }

    void joinAll()
    {
        std::vector<std::thread> running;
        {
            std::lock_guard lock(mutex);
            running.swap(threads);
        }
        for (std::thread& thread : running)
            if (thread.joinable())
                thread.join();
    }
};

BackgroundReleases& TheBackgroundReleases()
{
    static BackgroundReleases releases;
    return releases;
}

} // namespace

ApplicationPtr StartLibreOffice(const WaitHook& whileWaiting)
{
    auto instance = std::make_shared<office::Instance>();
    instance->setWaitHook(whileWaiting);
    instance->start(); // a failure ends what was started, through the instance's destructor
    return office::MakeApplication(std::move(instance));
}

void SetOfficeProgram(const QString& path)
{
    std::lock_guard lock(office::TheSettings().mutex);
    office::TheSettings().program = path;
}

QString OfficeProgram()
{
    return office::ProgramPath();
}

void SetStartTimeLimit(std::chrono::milliseconds limit)
{
    std::lock_guard lock(office::TheSettings().mutex);
    office::TheSettings().startLimit = limit;
}

std::chrono::milliseconds StartTimeLimit()
{
    std::lock_guard lock(office::TheSettings().mutex);
    return office::TheSettings().startLimit;
}

void SetCallTimeLimit(std::chrono::milliseconds limit)
{
    std::lock_guard lock(office::TheSettings().mutex);
    office::TheSettings().callLimit = limit;
}

std::chrono::milliseconds CallTimeLimit()
{
    std::lock_guard lock(office::TheSettings().mutex);
    return office::TheSettings().callLimit;
}

void SetBufferedCellWrites(bool buffered)
{
    std::lock_guard lock(office::TheSettings().mutex);
    office::TheSettings().bufferedWrites = buffered;
}

void ReleaseInBackground(ApplicationPtr&& application)
{
    if (!application)
        return;
    BackgroundReleases& releases = TheBackgroundReleases();
    std::lock_guard lock(releases.mutex);
    releases.threads.emplace_back([held = std::move(application)]() mutable { held.reset(); });
}

void WaitForBackgroundReleases()
{
    TheBackgroundReleases().joinAll();
}

} // namespace tessivane
