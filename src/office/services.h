#pragma once

#include "office/spreadsheet.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace tessivane {

class InstancePool;
class BackgroundReleases;
namespace office {
class UnoRuntime;
}

/// How the private offices are started and held to account.
struct OfficeSettings
{
    /// The program started as soffice.bin; empty: the installed LibreOffice.
    QString program;
    /// How long an office may take from start to connected.
    std::chrono::milliseconds startLimit {30000};
    /// How long an office may leave a call unanswered before it is ended as hung.
    std::chrono::milliseconds callLimit {30000};
    /// Buffered: puts are kept and written as blocks before the next other call into the
    /// office. Unbuffered: every put is written at once, cell by cell (measurements).
    bool bufferedWrites = true;
    /// A workbook (the run's template) that the offices kept ready open, draw a picture of,
    /// save as .xls and close while they wait, so that a run finds what it loads already
    /// loaded (the .xls filters, the fonts, the drawing); empty: an empty sheet.
    QByteArray warmUpWorkbook;
    /// How much lower than the program's the office's scheduling priority is: an office
    /// that only helps with a run's picture starts and waits at a lower one.
    int niceness = 0;
};

/// The program an office is started as: settings.program, or the installed one.
QString officeProgramPath(const OfficeSettings& settings);

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
    std::shared_ptr<office::UnoRuntime> unoRuntime;
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
