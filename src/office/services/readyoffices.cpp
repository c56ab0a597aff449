#include "office/services/readyoffices.h"

#include "office/pool/readyoffice_p.h"
#include "office/services/backgroundreleases.h"
#include "office/session/officeinstance_p.h"

namespace tessivane {

namespace {

// The helper's priority: an idle core's time, hardly any of a busy machine's, so that its
// start never slows a run down.
constexpr int kHelperNiceness = 19;

} // namespace

InstanceFactory libreOfficeInstances(const Services& services)
{
    return [runtime = services.unoRuntime,
               settings = services.office]() -> std::shared_ptr<PooledInstance> {
        return std::make_shared<ReadyOffice>(std::make_shared<OfficeInstance>(runtime, settings));
    };
}

InstanceFactory helperInstances(const Services& services)
{
    OfficeSettings settings = services.office;
    settings.niceness = kHelperNiceness;
    return [runtime = services.unoRuntime, settings]() -> std::shared_ptr<PooledInstance> {
        return std::make_shared<ReadyOffice>(std::make_shared<OfficeInstance>(runtime, settings));
    };
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
