#include "office/services/libreoffice.h"

#include "office/session/officeinstance_p.h"
#include "office/workbook/objectmodel_p.h"

namespace tessivane {

ApplicationPtr startLibreOffice(const Services& services, const WaitHook& whileWaiting)
{
    auto instance = std::make_shared<OfficeInstance>(services.unoRuntime, services.office);
    instance->setWaitHook(whileWaiting);
    instance->start(); // a failure ends what was started, through the instance's destructor
    return makeApplication(std::move(instance));
}

} // namespace tessivane
