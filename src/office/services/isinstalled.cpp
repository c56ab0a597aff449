#include "office/services/isinstalled.h"

#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "office/pool/instancepool.h"
#include "office/services/backgroundreleases.h"
#include "office/services/libreoffice.h"
#include "office/services/readyoffices.h"
#include "office/services/services.h"

#include <QDir>
#include <QTemporaryFile>

namespace tessivane {

QString noSpreadsheetMessage()
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

QString UnwritableTempFolderMessage(const QString& folder, const QString& reason)
{
    return QStringLiteral("The temporary folder %1 cannot be written (%2).\r\n\r\n"
                          "Tessivane keeps LibreOffice's working files and the workbooks it "
                          "makes there. Make that folder writable, or set TMPDIR and TEMP to a "
                          "folder that is, then start Tessivane again.")
        .arg(QDir::toNativeSeparators(folder), reason);
}

namespace {

// The first temporary folder where nothing can be made: the offices' (TMPDIR), the runs' (TEMP).
QString unwritableTempFolder(QString& reason)
{
    // The system's temporary folder is empty when TMPDIR names a folder that is not there.
    if (QDir::tempPath().isEmpty()) {
        reason = QStringLiteral("there is no such folder");
        return qEnvironmentVariable("TMPDIR");
    }
    for (const QString& folder : {QDir::tempPath(), tempFolder()}) {
        QTemporaryFile probe(folder + QStringLiteral("/tessivane-check-XXXXXX"));
        if (!probe.open()) {
            reason = probe.errorString();
            return folder;
        }
    }
    return {};
}

} // namespace

bool probeOffice(const Services& services, ApplicationPtr& probe, QString& refusal, QString& cause)
{
    QString reason;
    const QString unwritable = unwritableTempFolder(reason);
    if (!unwritable.isEmpty()) {
        refusal = UnwritableTempFolderMessage(unwritable, reason);
        return false;
    }
    try {
        probe = createApplication(services);
        probe->proveSpreadsheet();
        return true;
    } catch (...) {
        cause = currentFailureDescription();
    }
    refusal = noSpreadsheetMessage();
    return false;
}

StartUpVerdict CheckExcelInstance(const Services& services)
{
    ApplicationPtr probe;
    QString refusal;
    QString cause;
    if (probeOffice(services, probe, refusal, cause)) {
        // The probe is the first run's instance when ready instances are kept; otherwise it
        // ends in the background, since ending it costs up to a few seconds.
        keepReady(services, std::move(probe));
        return {};
    }
    // The program ends after the message, at once: no office may start while it is up, and
    // none may be left behind with its profile. The pool goes first, so that the probe's end
    // starts no replacement; the probe then ends here.
    if (services.readyOffices)
        services.readyOffices->end();
    if (probe)
        swallow([&] { probe->Quit(); });
    probe.reset();
    if (services.releases)
        services.releases->waitForAll();
    return {refusal};
}

} // namespace tessivane
