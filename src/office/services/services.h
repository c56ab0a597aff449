#pragma once

#include "core/messagebox.h"
#include "office/automation/spreadsheet.h"
#include "office/process/officesettings.h"

#include <QByteArray>
#include <QString>
#include <QTime>

#include <chrono>
#include <functional>
#include <memory>

namespace tessivane {

class InstancePool;
class BackgroundReleases;
class UnoRuntime;

using ApplicationFactory = std::function<ApplicationPtr()>;

/// What the program's rooms need from outside themselves: built once in main.cpp and handed
/// down to the main window, the generation run, the preview's converter and the start-up
/// check. A test builds its own.
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
    /// The message boxes of the windows, the run and the start-up check.
    MessageBoxes boxes;
    /// Ends the program at once when the start-up check fails; empty: the process ends.
    std::function<void()> programEnder;
    /// The time of day the result names are drawn from; empty: the system clock.
    std::function<QTime()> clock;

    Services();
    /// Services whose boxes are boxes (a test's script).
    explicit Services(MessageBoxes boxes);
};

/// A new private spreadsheet application instance: the services' factory's, else a ready one
/// of their pool, else a freshly started LibreOffice; whileWaiting is handed in for its start
/// and its calls. Throws a std::runtime_error with a readable sentence when none can be
/// started.
ApplicationPtr createApplication(const Services& services, const WaitHook& whileWaiting = {});

/// Ends the program as the services say, or at once.
void endProgram(const Services& services);

} // namespace tessivane
