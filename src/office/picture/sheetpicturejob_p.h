#pragma once

// The picture of a sheet's used range as the object model hands it over: measured, drawn in
// bands by the sheet's office (and a second ready one for a long sheet), written to a bitmap
// file as it is drawn. Private to the office rooms.

#include "office/automation/spreadsheet.h"
#include "office/connection/unobridge_p.h"

#include <com/sun/star/table/CellRangeAddress.hpp>

#include <QString>

#include <memory>

namespace tessivane {

class OfficeInstance;
struct DocumentState;
struct SheetState;

/// Draws the area of the sheet into a bitmap file in the clipboard's spool folder, and hands
/// the clipboard the file and the rows' heights. The previous selection is restored. Throws a
/// readable sentence (a full disk named as the cause), SpreadsheetGone when the office went.
void copySheetPicture(const std::shared_ptr<OfficeInstance>& instance,
    const std::shared_ptr<DocumentState>& document, const std::shared_ptr<SheetState>& sheet,
    const css::table::CellRangeAddress& area, PictureClipboard& clipboard);

/// For a workbook about to be opened by instance to be pictured: when the file is large
/// enough for a second office to draw part of the picture, a ready one is lent to the
/// instance now and opens the workbook meanwhile, so that it draws from the first band on.
void lendHelperAhead(const std::shared_ptr<OfficeInstance>& instance, const QString& path);

} // namespace tessivane
