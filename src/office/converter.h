#pragma once

#include <QString>

namespace tessivane {

struct Services;

/// Writes the generated workbook to target in the kind that the target's extension names
/// (case-insensitive): ".pdf" printed as the sheet's page setup lays it out, ".xlsx" as an
/// Excel 2007-365 workbook, ".ods" as an OpenDocument spreadsheet. A private LibreOffice of
/// the services opens the workbook read-only and writes the result into a scratch folder
/// beside the workbook; from there a temporary file next to the target replaces the target in
/// one step once complete. After a failure an existing target is as it was and no temporary
/// file remains, here or there. Throws a readable sentence.
void ConvertWorkbook(const Services& services, const QString& workbook, const QString& target);

} // namespace tessivane
