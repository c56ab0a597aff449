#include "office/pool/readyoffice_p.h"

#include "office/picture/bandscript_p.h"
#include "office/picture/sheetpicture_p.h"
#include "office/session/officeinstance_p.h"
#include "office/workbook/objectmodel_p.h"

#include <QDir>
#include <QTemporaryFile>

namespace tessivane {

ReadyOffice::ReadyOffice(std::shared_ptr<OfficeInstance> instance)
    : mInstance(std::move(instance))
{ }

void ReadyOffice::start()
{
    mInstance->start();
}

void ReadyOffice::warmUp()
{
    // A copy of the workbook, and the file it is saved to, live as long as the warm-up. They
    // are kept in the profile: the office writes the temporary it renames beside a file it
    // saves, and one ended in the middle of that leaves it; the profile goes only once the
    // office has been reaped.
    const QString profile = mInstance->profileFolder();
    const QString folder = profile.isEmpty() ? QDir::tempPath() : profile + QStringLiteral("/tmp");
    QTemporaryFile workbook(folder + QStringLiteral("/tessivane-warm-up-XXXXXX.xlt"));
    const QByteArray& bytes = mInstance->settings().warmUpWorkbook;
    const bool copied = !bytes.isEmpty() && workbook.open() && workbook.write(bytes) == bytes.size()
        && workbook.flush();
    QTemporaryFile saved(folder + QStringLiteral("/tessivane-warm-up-XXXXXX.xls"));
    const bool named = copied && saved.open();
    saved.close();
    mInstance->call(QStringLiteral("get ready"), [&] {
        BandScript script = BandScript::open(*mInstance);
        WarmUp(mInstance->desktop(), named ? workbook.fileName() : QString(), saved.fileName(),
            script);
    });
    mWarm = true;
}

bool ReadyOffice::alive()
{
    return mInstance->alive();
}

bool ReadyOffice::answers(std::chrono::milliseconds limit) noexcept
{
    return mInstance->answers(limit);
}

void ReadyOffice::abort() noexcept
{
    mInstance->abort();
}

void ReadyOffice::end(bool polite) noexcept
{
    mInstance->end(polite);
}

ApplicationPtr ReadyOffice::handOut(
    std::function<void(std::function<void()>)> ender, std::function<void()> onEnded)
{
    mInstance->setEnding(std::move(ender), std::move(onEnded));
    // The instance, owned together with this ready office.
    return makeApplication(std::shared_ptr<OfficeInstance>(shared_from_this(), mInstance.get()));
}

bool ReadyOffice::owns(const Application& application) const
{
    return instanceOf(application).get() == mInstance.get();
}

bool ReadyOffice::isUnused() const
{
    return mInstance->isUnused();
}

bool ReadyOffice::takeBack()
{
    return mInstance->takeBack();
}

void ReadyOffice::setHelperSource(std::function<ApplicationPtr()> takeReady)
{
    mInstance->setHelperSource([takeReady = std::move(takeReady)] {
        HelperOffice helper;
        helper.application = takeReady();
        helper.instance = helper.application ? instanceOf(*helper.application) : nullptr;
        return helper;
    });
}

} // namespace tessivane
