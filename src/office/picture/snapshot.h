#pragma once

#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "office/automation/spreadsheet.h"

#include <QString>

#include <memory>

namespace tessivane {

/// Writes a picture of the workbook's active sheet (its used range, as the screen shows it)
/// to path as an uncompressed BMP, handed over on the program's own picture clipboard (the
/// system clipboard is left alone). Each step is reported under "Excel1.saveCellsActivesheet"
/// with its line (100 to 112) and the procedure goes on; nothing is written when the used
/// range ends in row 1 or column A. Failures are reported through boxes.
/// The rows the picture shows go to rows when it is given; the picture is written over the
/// file reserve holds, if one is given (in path's folder).
void saveCellsActivesheet(const std::shared_ptr<Workbook>& workbook, const QString& path,
    const MessageBoxes& boxes, SheetRows* rows = nullptr, SpoolReserve* reserve = nullptr);

} // namespace tessivane
