#pragma once

// A band of a sheet's picture drawn by a small Python script inside the office, which writes
// the bitmap to a file instead of handing it over the connection. Private to the office rooms.

#include "office/connection/unobridge_p.h"
#include "office/picture/bandpicture.h"

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QString>

#include <memory>
#include <mutex>
#include <vector>

namespace tessivane {

class OfficeInstance;

/// The files in a folder the office writes its bands into, each used again once its band's
/// rows are in the picture. A new file a band made the system find new memory for every band:
/// on a virtual machine, memory not used lately costs several times more to write into, and
/// a long picture's first drawing spent some 8 % of its time so. Gone with the last
/// holder, the bands handed out included.
class BandFiles
{
public:
    explicit BandFiles(QString folder);
    ~BandFiles();
    BandFiles(const BandFiles&) = delete;
    BandFiles& operator=(const BandFiles&) = delete;

    const QString& folder() const { return mFolder; }
    /// A file, private to the user, that no band holds; made when there is none. Throws
    /// when it cannot be made.
    QString take();
    void giveBack(const QString& path);

private:
    const QString mFolder;
    std::mutex mMutex;
    std::vector<QString> mFree;
    std::vector<QString> mMade;
};

/// The office's own drawing of a band, written by it to a file of the program's making: a
/// bitmap of megabytes then crosses no connection, copied and cut into pieces on both sides
/// (a long picture is gigabytes, and both cores are busy drawing it). Needs LibreOffice's
/// Python scripting (libreoffice-script-provider-python); without it, or once the script
/// failed, the office hands the bitmap over as before.
class BandScript
{
public:
    BandScript() = default;

    /// The script of the office, put into its private profile if it is not there yet; not
    /// ready when the office's settings leave it out or the office cannot run it.
    static BandScript open(OfficeInstance& office);

    bool ready() const { return mScript.is(); }

    /// Selects the range and returns the picture the view hands over for it, as pictureOf
    /// does: through the script while it works, into one of the band files in folder, read
    /// in place; otherwise over the connection.
    PictureBand picture(const Reference<css::frame::XController>& controller,
        const Reference<css::view::XSelectionSupplier>& selection,
        const Reference<css::table::XCellRange>& range, const QString& folder);

private:
    /// The band through the script; throws when it cannot.
    PictureBand draw(const Reference<css::frame::XController>& controller,
        const Reference<css::table::XCellRange>& range, const QString& folder);

    Reference<css::script::provider::XScript> mScript;
    std::shared_ptr<BandFiles> mFiles;
};

} // namespace tessivane
