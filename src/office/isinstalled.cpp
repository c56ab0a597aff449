#include "office/isinstalled.h"

#include "core/failurereport.h"
#include "core/messagebox.h"
#include "office/instancepool.h"
#include "office/spreadsheet.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tessivane {

namespace {

struct Ender
{
    std::mutex mutex;
    std::function<void()> end;
};

Ender& TheEnder()
{
    static Ender ender;
    return ender;
}

} // namespace

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

void CheckExcelInstance()
{
    ApplicationPtr probe;
    Swallow([&] { probe = CreateApplication(); });
    if (probe) {
        // The probe is the first run's instance when ready instances are kept; otherwise it
        // ends in the background, since ending it costs up to a few seconds.
        KeepReady(std::move(probe));
        return;
    }
    Swallow([] { MsgBox(NoSpreadsheetMessage(), vbOKOnly, QString()); });
    std::function<void()> end;
    {
        std::lock_guard lock(TheEnder().mutex);
        end = TheEnder().end;
    }
    if (end) {
        end();
        return;
    }
    // At once: no further start-up step and no window's closing handling may run.
    std::fflush(nullptr);
    std::_Exit(0);
}

void SetProgramEnder(std::function<void()> ender)
{
    std::lock_guard lock(TheEnder().mutex);
    TheEnder().end = std::move(ender);
}

} // namespace tessivane
