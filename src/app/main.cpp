#include "app/commandline.h"
#include "app/form1.h"
#include "app/shutdownsignals.h"
#include "generation/generationrun.h"
#include "office/instancepool.h"
#include "office/libreoffice.h"
#include "office/services.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Answered first, before any window, display or office: --help, --version, wrong options.
    if (const std::optional<int> answer = tessivane::answerCommandLine(argc, argv))
        return *answer;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Tessivane"));
    // Ties the windows to the menu entry, and so to its icon, on desktops that ask.
    QApplication::setDesktopFileName(QStringLiteral("com.velmora.tessivane"));
    // The program ends only through its windows' own closing steps.
    QApplication::setQuitOnLastWindowClosed(false);

    // What the windows and the run use from outside themselves, made here once.
    tessivane::Services services;
    // Offices started ahead of need: the start-up check's stays ready for the first run, and
    // more start while the user looks at the window or the preview.
    tessivane::InstancePool readyOffices(tessivane::libreOfficeInstances(services.office));
    services.readyOffices = &readyOffices;
    tessivane::Form1 form1(services);
    // A logout, or a polite kill, closes the main window as the user would, so the rows are
    // written; the preview's own close does the same.
    tessivane::OnShutdownRequest([&form1] { form1.CloseForShutdown(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
        [&form1](QSessionManager&) { form1.SaveRowsForExit(); });

    // Run folders of earlier programs that were killed, or whose office was ended in the
    // middle of a save, go now; this program's own go when it ends, whatever ended it.
    tessivane::RemoveLeftoverRunFolders(false);
    form1.Form_Load();
    form1.show();
    const int code = app.exec();
    // Every way out (either window's close, a shutdown signal) leaves the loop here: no ready
    // office stays, and those still closing down are waited for before their folders go.
    readyOffices.end();
    services.releases->waitForAll();
    tessivane::RemoveLeftoverRunFolders(true);
    return code;
}
