#include "office/services.h"

#include "office/instancepool.h"
#include "office/libreoffice.h"
#include "office/unobridge.h"

#include <stdexcept>

namespace tessivane {

namespace {

constexpr char kInstalledProgram[] = "/usr/lib/libreoffice/program/soffice.bin";

} // namespace

QString officeProgramPath(const OfficeSettings& settings)
{
    return settings.program.isEmpty() ? QString::fromLatin1(kInstalledProgram) : settings.program;
}

Services::Services()
    : releases(std::make_shared<BackgroundReleases>())
    , unoRuntime(std::make_shared<office::UnoRuntime>())
{ }

ApplicationPtr createApplication(const Services& services, const WaitHook& whileWaiting)
{
    ApplicationPtr application;
    if (services.makeApplication)
        application = services.makeApplication();
    else if (services.readyOffices)
        application = services.readyOffices->takeReadyInstance();
    if (!services.makeApplication && !application)
        application = startLibreOffice(services, whileWaiting);
    if (!application)
        throw std::runtime_error("The spreadsheet application could not be started.");
    application->setWaitHook(whileWaiting);
    return application;
}

} // namespace tessivane
