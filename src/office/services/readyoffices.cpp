#include "office/services/readyoffices.h"

#include "office/pool/readyoffice_p.h"
#include "office/services/backgroundreleases.h"
#include "office/session/officeinstance_p.h"

namespace tessivane {

namespace {

/// Ready offices of these settings, through this runtime.
InstanceFactory instancesOf(std::shared_ptr<UnoRuntime> runtime, OfficeSettings settings)
{
    return [runtime = std::move(runtime),
               settings = std::move(settings)]() -> std::shared_ptr<PooledInstance> {
        return std::make_shared<ReadyOffice>(std::make_shared<OfficeInstance>(runtime, settings));
    };
}

} // namespace

InstanceFactory libreOfficeInstances(const Services& services)
{
    return instancesOf(services.unoRuntime, services.office);
}

InstanceFactory helperInstances(const Services& services)
{
    // At the program's own priority: the pool starts a helper only once nothing is in use and
    // a pause has passed. At the lowest one it got the least of a busy machine's time while
    // it drew its half of a long picture, which then took a tenth longer.
    return instancesOf(services.unoRuntime, services.office);
}

void keepReady(const Services& services, ApplicationPtr&& application)
{
    if (!application)
        return;
    if (services.readyOffices && services.readyOffices->keepReady(application))
        return;
    releaseInBackground(services, std::move(application));
}

} // namespace tessivane
