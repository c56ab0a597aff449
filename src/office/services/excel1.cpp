#include "office/services/excel1.h"

#include "core/failurereport.h"
#include "office/picture/sheetpicturejob_p.h"
#include "office/workbook/objectmodel_p.h"

#include <QLocale>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace tessivane {

namespace {

// Excel 2003's version number: later versions know the xlExcel8 format code.
constexpr double kExcel2003 = 11;

} // namespace

void StartExcel(ApplicationPtr& xlApp, const Services& services, const WaitHook& whileWaiting)
{
    xlApp = createApplication(services, whileWaiting);
}

void ReleaseExcel(ApplicationPtr& xlApp)
{
    xlApp.reset();
}

ApplicationPtr OpenInNewExcel(
    const Services& services, const QString& path, const WaitHook& whileWaiting)
{
    ApplicationPtr application = createApplication(services, whileWaiting);
    // Reopened to be pictured: a long sheet's second drawer opens it at the same time. Only
    // a help: the picture is drawn without it all the same.
    swallow([&] {
        if (const std::shared_ptr<OfficeInstance> instance = instanceOf(*application))
            lendHelperAhead(instance, path);
    });
    application->workbooks().Open(path); // a failure drops the instance, which ends it
    return application;
}

int saveFormatForVersion(const QString& version)
{
    bool ok = false;
    const double number = QLocale().toDouble(NormalizeDecimalText(version, false), &ok);
    if (!ok)
        throw std::runtime_error(
            QStringLiteral("Type mismatch: the version \"%1\" is not a number.")
                .arg(version)
                .toStdString());
    // A 16-bit integer, rounded to the nearest (halves to even).
    const double rounded = std::nearbyint(number);
    if (rounded < std::numeric_limits<qint16>::min()
        || rounded > std::numeric_limits<qint16>::max())
        throw std::runtime_error(QStringLiteral("Overflow: the version \"%1\" is out of range.")
                                     .arg(version)
                                     .toStdString());
    return rounded > kExcel2003 ? xlExcel8 : xlWorkbookNormal;
}

int ExcelSaveFormat(const Services& services, const ApplicationPtr& app)
{
    QString version;
    if (app) {
        version = app->Version();
    } else {
        const ApplicationPtr probe = createApplication(services);
        version = probe->Version();
        probe->Quit();
    }
    return saveFormatForVersion(version);
}

} // namespace tessivane
