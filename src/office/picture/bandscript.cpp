#include "office/picture/bandscript_p.h"

#include "office/picture/sheetpicture_p.h"
#include "office/session/officeinstance_p.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderFactory.hpp>

#include <memory>
#include <stdexcept>

namespace tessivane {

namespace {

constexpr char kScriptFile[] = "tessivane_band.py";
constexpr char kScriptUri[]
    = "vnd.sun.star.script:tessivane_band.py$write_band?language=Python&location=user";

// Only writes into the file the program made for the band: it never makes or follows a new
// one. It writes over what the file held and then cuts it, so that the file's memory is used
// again. What it raises reaches the program as the call's failure.
constexpr char kScript[]
    = R"py(# Tessivane: one band of a sheet's picture, written by the office to the program's file.
import uno
from com.sun.star.datatransfer import DataFlavor


def write_band(controller, cells, path):
    controller.select(cells)
    flavor = DataFlavor()
    flavor.MimeType = "image/bmp"
    flavor.HumanPresentableName = "BMP"
    flavor.DataType = uno.getTypeByName("[]byte")
    data = controller.getTransferable().getTransferData(flavor)
    if data is None or not data.value:
        raise RuntimeError("LibreOffice gave no picture of the range.")
    with open(path, "r+b") as band:
        band.write(data.value)
        band.truncate()
    return len(data.value)


g_exportedScripts = (write_band,)
)py";

/// Puts the script into the profile's own scripts, once; false when it cannot.
bool installScript(const QString& profileFolder)
{
    if (profileFolder.isEmpty())
        return false;
    const QString folder = profileFolder + QStringLiteral("/user/Scripts/python");
    const QString path = folder + QLatin1Char('/') + QLatin1String(kScriptFile);
    if (QFile::exists(path))
        return true;
    if (!QDir().mkpath(folder))
        return false;
    QSaveFile file(path);
    const QByteArray text(kScript);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

} // namespace

BandFiles::BandFiles(QString folder)
    : mFolder(std::move(folder))
{ }

BandFiles::~BandFiles()
{
    for (const QString& path : mMade)
        QFile::remove(path);
}

QString BandFiles::take()
{
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        if (!mFree.empty()) {
            QString path = mFree.back();
            mFree.pop_back();
            return path;
        }
    }
    QTemporaryFile made(mFolder + QStringLiteral("/band-XXXXXX.bmp"));
    if (!made.open())
        throw std::runtime_error(Sentence(QStringLiteral("The picture cannot be written to %1: %2")
                                              .arg(mFolder, made.errorString())));
    made.setAutoRemove(false);
    const std::lock_guard<std::mutex> lock(mMutex);
    mMade.push_back(made.fileName());
    return made.fileName();
}

void BandFiles::giveBack(const QString& path)
{
    const std::lock_guard<std::mutex> lock(mMutex);
    mFree.push_back(path);
}

BandScript BandScript::open(OfficeInstance& office)
{
    BandScript script;
    const Reference<css::uno::XComponentContext> context = office.remoteContext();
    if (!office.settings().pictureScript || !context.is() || !installScript(office.profileFolder()))
        return script;
    try {
        const Reference<css::script::provider::XScriptProviderFactory> factory(
            context->getValueByName(
                "/singletons/com.sun.star.script.provider.theMasterScriptProviderFactory"),
            UNO_QUERY_THROW);
        const Reference<css::script::provider::XScriptProvider> provider(
            factory->createScriptProvider(Any(rtl::OUString())), UNO_QUERY_THROW);
        script.mScript = provider->getScript(rtl::OUString::createFromAscii(kScriptUri));
    } catch (const css::uno::Exception&) {
        // No Python scripting in this office: the bitmaps come over the connection.
        script.mScript.clear();
    }
    return script;
}

PictureBand BandScript::picture(const Reference<css::frame::XController>& controller,
    const Reference<css::view::XSelectionSupplier>& selection,
    const Reference<css::table::XCellRange>& range, const QString& folder)
{
    if (ready()) {
        try {
            return draw(controller, range, folder);
        } catch (const css::uno::Exception&) {
        } catch (const std::runtime_error&) { }
        // Not used again; drawn over the connection instead, where an office that has gone
        // fails too.
        mScript.clear();
    }
    return pictureOf(controller, selection, range);
}

PictureBand BandScript::draw(const Reference<css::frame::XController>& controller,
    const Reference<css::table::XCellRange>& range, const QString& folder)
{
    if (!mFiles || mFiles->folder() != folder)
        mFiles = std::make_shared<BandFiles>(folder);
    const QString path = mFiles->take();
    // The file is the pool's again once the band's bytes are let go of, however that ends.
    const std::shared_ptr<QFile> file(new QFile(path), [files = mFiles, path](QFile* done) {
        delete done; // unmaps
        files->giveBack(path);
    });
    Sequence<Any> arguments(3);
    arguments[0] <<= controller;
    arguments[1] <<= range;
    arguments[2] <<= toOUString(path);
    Sequence<sal_Int16> outIndex;
    Sequence<Any> outArguments;
    mScript->invoke(arguments, outIndex, outArguments);
    const qint64 size = file->open(QIODevice::ReadOnly) ? file->size() : 0;
    const uchar* bytes = size > 0 ? file->map(0, size) : nullptr;
    if (!bytes)
        throw std::runtime_error("The office's picture of the range could not be read.");
    return {file, QByteArrayView(reinterpret_cast<const char*>(bytes), size), {}};
}

} // namespace tessivane
