#pragma once

#include "office/services.h"

#include <mutex>
#include <thread>
#include <vector>

// The LibreOffice implementation of the spreadsheet application. No UNO type appears here.

namespace tessivane {

/// Starts a private LibreOffice Calc: soffice.bin in its own process group with a
/// throw-away profile, connected over a uniquely named pipe. Throws a std::runtime_error
/// (missing program at once, no answer within the start limit). whileWaiting runs on the
/// calling thread while it waits for the start and, later, for each call.
/// The services give the settings and the UNO runtime.
ApplicationPtr startLibreOffice(const Services& services, const WaitHook& whileWaiting = {});

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
