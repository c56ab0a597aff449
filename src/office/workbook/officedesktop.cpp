#include "office/workbook/officedesktop_p.h"

#include "office/session/officeinstance_p.h"
#include "office/workbook/objectmodel_p.h"

namespace tessivane {

void callOnDesktop(Application& application, const QString& what,
    const std::function<void(const css::uno::Reference<css::frame::XDesktop2>&)>& operation)
{
    const std::shared_ptr<OfficeInstance> instance = instanceOf(application);
    if (!instance)
        throw std::runtime_error("The spreadsheet application is not a LibreOffice instance.");
    instance->call(what, [&] { operation(instance->desktop()); });
}

} // namespace tessivane
