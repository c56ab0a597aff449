#pragma once

#include "office/automation/spreadsheet.h"
#include "office/process/officesettings.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace tessivane {

class InstancePool;
class BackgroundReleases;
class UnoRuntime;

using ApplicationFactory = std::function<ApplicationPtr()>;

/// What the program's rooms need of the offices: built once in main.cpp and handed down to the
/// main window, the generation run, the preview's converter and the start-up check. A test
/// builds its own. The message boxes, the clock and the program's end are no office's concern:
/// they are handed to the windows and the run on their own.
struct Services
{
    OfficeSettings office;
    /// The offices kept ready while the program runs (owned by main.cpp); none: each instance
    /// is started when asked for.
    InstancePool* readyOffices = nullptr;
    /// Where instances are ended off the caller's path; joined before the program ends.
    std::shared_ptr<BackgroundReleases> releases;
    /// The local UNO runtime the offices are reached through; each connection keeps it.
    std::shared_ptr<UnoRuntime> unoRuntime;
    /// Makes the instances instead of LibreOffice (tests); empty: the real offices.
    ApplicationFactory makeApplication;

    Services();
};

/// A new private spreadsheet application instance: the services' factory's, else a ready one
/// of their pool, else a freshly started LibreOffice; whileWaiting is handed in for its start
/// and its calls. Throws a std::runtime_error with a readable sentence when none can be
/// started.
ApplicationPtr createApplication(const Services& services, const WaitHook& whileWaiting = {});

} // namespace tessivane
