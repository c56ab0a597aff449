#pragma once

// The ready offices with the services' settings: what the pool starts, and where the start-up
// check's instance goes back to.

#include "office/pool/instancepool.h"
#include "office/services/services.h"

namespace tessivane {

/// Private LibreOffice instances with the services' settings (as they are now) and UNO
/// runtime, as the pool starts them.
InstanceFactory libreOfficeInstances(const Services& services);

/// The same at a lower scheduling priority: the pool's helper, whose start must not slow a
/// run down, and which only adds to what the run's own office draws.
InstanceFactory helperInstances(const Services& services);

/// Hands back an instance on which nothing was done (the start-up check's), ready for the
/// next createApplication. Without a pool in the services, or when it cannot be kept, it is
/// ended in the background. The reference is empty afterwards.
void keepReady(const Services& services, ApplicationPtr&& application);

} // namespace tessivane
