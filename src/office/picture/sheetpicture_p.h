#pragma once

// The picture of a sheet's used range, drawn by the office as the screen shows it. Private
// to the layer.

#include "office/connection/unobridge_p.h"
#include "office/picture/bandpicture.h"

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <utility>
#include <vector>

namespace tessivane {

/// The used range as the spreadsheet application counts it: every cell with content or with
/// formatting of its own.
css::table::CellRangeAddress usedArea(const Reference<css::sheet::XSpreadsheet>& sheet);

/// Selects the range and returns the BMP picture that the view hands over for it, kept in
/// the bytes as received (the row heights are left to the caller).
PictureBand pictureOf(const Reference<css::frame::XController>& controller,
    const Reference<css::view::XSelectionSupplier>& selection,
    const Reference<css::table::XCellRange>& range);

/// The heights of the rows (or widths of the columns) first..last in twips, 0 when hidden.
std::vector<int> lineTwips(
    const Reference<css::sheet::XSpreadsheet>& sheet, bool rows, int first, int last);

class BandScript;

/// Loads what a run loads, off its path: opens the workbook at path (an empty sheet when
/// the path is empty), takes a picture of its first rows (through script if it is ready),
/// saves it as .xls to savePath and closes it.
void WarmUp(const Reference<css::frame::XDesktop2>& desktop, const QString& path,
    const QString& savePath, BandScript& script);

} // namespace tessivane
