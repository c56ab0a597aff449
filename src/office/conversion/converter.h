#pragma once

#include "office/automation/spreadsheet.h"

#include <QString>

#include <functional>

namespace tessivane {

struct Services;

/// Writes the generated workbook to target in the kind that the target's extension names
/// (case-insensitive): ".pdf" printed as the sheet's page setup lays it out, ".xlsx" as an
/// Excel 2007-365 workbook, ".ods" as an OpenDocument spreadsheet. A private LibreOffice of
/// the services opens the workbook read-only and writes the result into a scratch folder
/// beside the workbook; from there a temporary file next to the target replaces the target in
/// one step once complete. After a failure an existing target is as it was and no temporary
/// file remains, here or there. Throws a readable sentence.
void convertWorkbook(const Services& services, const QString& workbook, const QString& target);

/// Throws a readable sentence, naming target as not changed, unless the file an office wrote
/// for target (its kind from target's extension: .pdf, .xlsx, .ods) is there, not empty and
/// whole: a PDF from its header to its end-of-file mark, a zipped workbook from its first
/// entry to the directory at its end. An office ended mid-write, or one that found no room,
/// leaves less.
void checkConvertedFile(const QString& written, const QString& target);

/// A workbook's first sheet written as text: the sheet's name, the CSV file, and how many rows
/// at the sheet's end were left out.
struct FirstSheetCsv
{
    QString sheetName;
    QString path;
    int rowsLeftOut = 0;
};

/// Has a private LibreOffice of the services open the workbook (.xls, .xlsx, .ods ...)
/// read-only and write its first sheet into folder as CSV: UTF-8, commas, quotes doubled, the
/// values unformatted (numbers with the locale's decimal mark, dates in its short form, percents
/// with the percent sign), no more than its first maxRows rows (0: all). The office is
/// supervised as a run's: its start and every call have their limits, and it ends with the
/// conversion. While it works, cancelled is asked every few tens of milliseconds; once it says
/// yes the office is ended at once and the call throws. Throws a readable sentence when the
/// file is no workbook the office opens (one protected by a password is named so), or the
/// office fails.
FirstSheetCsv convertFirstSheetToCsv(const Services& services, const QString& workbook,
    const QString& folder, int maxRows = 0, const std::function<bool()>& cancelled = {});

} // namespace tessivane
