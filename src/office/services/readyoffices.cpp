#include "office/services/readyoffices.h"

#include "office/pool/readyoffice_p.h"
#include "office/services/backgroundreleases.h"
#include "office/session/officeinstance_p.h"

namespace tessivane {

namespace {

// The helper's priority: an idle core's time, hardly any of a busy machine's, so that its
// start never slows a run down.
constexpr int kHelperNiceness = 19;

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
    OfficeSettings settings = services.office;
    settings.niceness = kHelperNiceness;
    return instancesOf(services.unoRuntime, std::move(settings));
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
