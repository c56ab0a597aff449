#include "office/isinstalled.h"

#include "core/failurereport.h"
#include "core/messagebox.h"
#include "office/instancepool.h"
#include "office/services.h"

namespace tessivane {

QString NoSpreadsheetMessage()
{
    return QStringList {
        QStringLiteral("Error 842001. A normal instance of Excel could not be created."),
        QStringLiteral("1. Please make sure Excel is installed on this computer."),
        QStringLiteral("2. Please open Excel normally and make sure a blank spreadsheet opens "
                       "immediately without any interrupting window (such as an Excel file "
                       "recovery window)."),
        QStringLiteral("3. Please make sure that when you double-click on a XLS or XLSX file "
                       "that Excel opens normally without any interrupting messages."),
        QStringLiteral("4. All versions of Excel are supported by this software except for the "
                       "rare Excel Starter and Student editions."),
    }
        .join(QStringLiteral("\r\n\r\n"));
}

void CheckExcelInstance(const Services& services)
{
    ApplicationPtr probe;
    Swallow([&] { probe = CreateApplication(services); });
    if (probe) {
        // The probe is the first run's instance when ready instances are kept; otherwise it
        // ends in the background, since ending it costs up to a few seconds.
        keepReady(services, std::move(probe));
        return;
    }
    Swallow([&] { showMessage(services, NoSpreadsheetMessage(), vbOKOnly, QString()); });
    endProgram(services);
}

} // namespace tessivane
