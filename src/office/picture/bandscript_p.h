#pragma once

// A band of a sheet's picture drawn by a small Python script inside the office, which writes
// the bitmap to a file instead of handing it over the connection. Private to the office rooms.

#include "office/connection/unobridge_p.h"
#include "office/picture/bandpicture.h"

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

namespace tessivane {

class OfficeInstance;

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
    /// does: through the script while it works, the band's file made in folder and read in
    /// place (the file itself is gone at once); otherwise over the connection.
    PictureBand picture(const Reference<css::frame::XController>& controller,
        const Reference<css::view::XSelectionSupplier>& selection,
        const Reference<css::table::XCellRange>& range, const QString& folder);

private:
    /// The band through the script; throws when it cannot.
    PictureBand draw(const Reference<css::frame::XController>& controller,
        const Reference<css::table::XCellRange>& range, const QString& folder);

    Reference<css::script::provider::XScript> mScript;
};

} // namespace tessivane
