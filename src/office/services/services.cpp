#include "office/services/services.h"

#include "office/connection/unoruntime_p.h"
#include "office/pool/instancepool.h"
#include "office/services/backgroundreleases.h"
#include "office/services/libreoffice.h"

#include <stdexcept>

namespace tessivane {

Services::Services()
    : releases(std::make_shared<BackgroundReleases>())
    , unoRuntime(std::make_shared<UnoRuntime>())
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
