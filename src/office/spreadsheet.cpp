#include "office/spreadsheet.h"

#include "office/instancepool.h"
#include "office/libreoffice.h"

#include <mutex>

namespace tessivane {

namespace {

struct Factory
{
    std::mutex mutex;
    std::function<ApplicationPtr()> make;
};

Factory& TheFactory()
{
    static Factory factory;
    return factory;
}

} // namespace

ApplicationPtr CreateApplication(const WaitHook& whileWaiting)
{
    std::function<ApplicationPtr()> make;
    {
        std::lock_guard lock(TheFactory().mutex);
        make = TheFactory().make;
    }
    ApplicationPtr application = make ? make() : TakeReadyInstance();
    if (!make && !application)
        application = StartLibreOffice(whileWaiting);
    if (!application)
        throw std::runtime_error("The spreadsheet application could not be started.");
    application->setWaitHook(whileWaiting);
    return application;
}

void SetApplicationFactory(std::function<ApplicationPtr()> factory)
{
    std::lock_guard lock(TheFactory().mutex);
    TheFactory().make = std::move(factory);
}

} // namespace tessivane
