#include "app/commandline.h"
#include "app/form1.h"
#include "app/oneprogram.h"
#include "app/shutdownsignals.h"
#include "core/apptitle.h"
#include "core/messagebox.h"
#include "generation/generationrun.h"
#include "inventory/persistence.h"
#include "office/pool/instancepool.h"
#include "office/services/backgroundreleases.h"
#include "office/services/libreoffice.h"
#include "office/services/readyoffices.h"
#include "office/services/services.h"
#include "resources/resources.h"

#include <QApplication>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

void nameTheProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessivane"));
}

/// `tessivane --output FILE`: no display, no window, no one-program lock; everything it
/// started is ended and removed on every way out, a shutdown signal's too.
int runCommand(int argc, char* argv[], const tessivane::OutputRequest& request, bool quiet)
{
    QCoreApplication app(argc, argv);
    nameTheProgram();
    std::atomic<int> stop {0};
    const tessivane::SignalStop signalStop(stop);
    tessivane::CommandConsole console;
    console.say = [](const QString& line) {
        std::fputs(("tessivane: " + line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    };
    console.quiet = quiet;
    console.showProgress = !quiet && ::isatty(STDERR_FILENO);
    tessivane::removeLeftoverRunFolders(false);
    int code = 0;
    {
        tessivane::Services services;
        code = tessivane::runOutputCommand(request, services, console, stop);
        services.releases->waitForAll();
    }
    tessivane::removeLeftoverRunFolders(true);
    return stop.load() != 0 ? 128 + stop.load() : code;
}

/// One program per stored list: a second start brings the first one's window forward. The
/// exit status when this start is not to open a window of its own.
std::optional<int> claimTheList(tessivane::OneProgram& oneProgram, const QString& openFile)
{
    switch (oneProgram.claim(openFile)) {
    case tessivane::OneProgram::Start::First:
        return std::nullopt;
    case tessivane::OneProgram::Start::Raised:
        return 0;
    case tessivane::OneProgram::Start::NotAnswering:
        // Nothing to save yet: a polite kill ends it at once, box or not.
        tessivane::unblockShutdownSignals();
        std::fprintf(stderr, "%s\n", qPrintable(oneProgram.notAnsweringMessage()));
        tessivane::MessageBoxes().MsgBox(oneProgram.notAnsweringMessage(), tessivane::vbOKOnly,
            QString::fromLatin1(tessivane::kProductName));
        return 1;
    }
    return std::nullopt;
}

/// The main window's start-up, and what reaches it from a second start or the command line.
void openMainWindow(
    tessivane::Form1& form1, tessivane::OneProgram& oneProgram, const QString& openFile)
{
    // Run folders of earlier programs that were killed, or whose office was ended in the
    // middle of a save, go now; this program's own go when it ends, whatever ended it.
    tessivane::removeLeftoverRunFolders(false);
    form1.Form_Load();
    form1.show();
    oneProgram.serve([&form1](const QString& file) {
        if (file.isEmpty())
            form1.raiseShowingWindow();
        else
            form1.reviewListFile(file);
    });
    // `tessivane FILE`: the list file's review, once the window is up.
    if (!openFile.isEmpty())
        form1.reviewListFile(openFile);
}

/// The windows, from their offices to the end of the main loop; returns its exit status.
int runWindows(
    QApplication& app, std::optional<tessivane::OneProgram>& oneProgram, const QString& openFile)
{
    // What the windows and the run use of the offices, made here once.
    tessivane::Services services;
    // The ready offices load the template while they wait, as a run will.
    services.office.warmUpWorkbook = tessivane::templateBytes();
    // Offices started ahead of need: the start-up check's stays ready for the first run, and
    // more start while the user looks at the window or the preview. A run takes two, and a
    // third, the helper, draws part of a long picture.
    tessivane::InstancePool readyOffices(tessivane::libreOfficeInstances(services), 2,
        std::chrono::milliseconds(500), tessivane::helperInstances(services));
    services.readyOffices = &readyOffices;
    // And what they use of the program around them: the real boxes, the system clock.
    tessivane::WindowContext context;
    tessivane::Form1 form1(services, context);
    // Ending before the main loop runs (the start-up check found no office, a shutdown request
    // came during the start-up): no further start-up step and no closing handling may run, so
    // the program ends at once, but every thread it started is ended and joined first and the
    // offices closing down are given their time.
    context.programEnder = [&] {
        form1.endRowSaver();
        readyOffices.end();
        services.releases->waitForAll();
        tessivane::removeLeftoverRunFolders(true);
        oneProgram.reset();
        std::fflush(nullptr);
        std::_Exit(0);
    };
    // A logout, or a polite kill, closes the main window as the user would, so the rows are
    // written; the preview's own close does the same.
    tessivane::ShutdownSignals shutdownSignals([&form1] { form1.closeForShutdown(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
        [&form1](QSessionManager&) { form1.saveRowsForExit(); });

    openMainWindow(form1, *oneProgram, openFile);
    const int code = app.exec();
    // Every way out (either window's close, a shutdown signal) leaves the loop here: no ready
    // office stays, and those still closing down are waited for before their folders go. The
    // row saver's thread ends with the window, before the application object.
    readyOffices.end();
    services.releases->waitForAll();
    tessivane::removeLeftoverRunFolders(true);
    return code;
}

/// The program with its windows.
int runWindowProgram(int argc, char* argv[], const QString& openFile)
{
    QApplication app(argc, argv);
    nameTheProgram();
    // Ties the windows to the menu entry, and so to its icon, on desktops that ask.
    QApplication::setDesktopFileName(QStringLiteral("com.velmora.tessivane"));
    // The program ends only through its windows' own closing steps.
    QApplication::setQuitOnLastWindowClosed(false);
    // The browser opened for an address gets the shutdown signals back.
    const tessivane::BrowserLauncher browser;

    // Optional only so that an end before the main loop can let it go first.
    std::optional<tessivane::OneProgram> oneProgram(std::in_place, tessivane::storeFileName());
    if (const std::optional<int> code = claimTheList(*oneProgram, openFile))
        return *code;
    return runWindows(app, oneProgram, openFile);
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered first, before any window, display or office: --help, --version, wrong options.
    const tessivane::CommandLine line = tessivane::readCommandLine(argc, argv);
    if (line.answer)
        return *line.answer;

    // Before any thread (Qt's, the UNO runtime's, the program's own) starts, so that every
    // thread has them blocked and they reach the program only through ShutdownSignals.
    tessivane::blockShutdownSignals();
    if (line.output)
        return runCommand(argc, argv, *line.output, line.quiet);
    return runWindowProgram(argc, argv, line.openFile);
}
