#include "app/form1.h"
#include "app/shutdownsignals.h"
#include "generation/generationrun.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Tessivane"));
    // Ties the windows to the menu entry, and so to its icon, on desktops that ask.
    QApplication::setDesktopFileName(QStringLiteral("com.velmora.tessivane"));
    // The program ends only through its windows' own closing steps.
    QApplication::setQuitOnLastWindowClosed(false);

    tessivane::Form1 form1;
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
    tessivane::RemoveLeftoverRunFolders(true);
    return code;
}
