#pragma once

#include <QString>

namespace tessivane {

/// Points the cell formats of an Excel 97-2003 workbook that LibreOffice saved back at
/// Excel's built-in number formats. LibreOffice writes every format a cell uses under a number
/// of its own (164 on), the template's built-in ones included; a format whose code is that of
/// General (0), 0.00% (10) or the US date m/d/yyyy (14, also with LibreOffice's US language
/// tag) is given its built-in number again. The file keeps its size; only those numbers
/// change. Throws a std::runtime_error with a sentence when the file cannot be read or
/// written or is not such a workbook.
void restoreBuiltInFormats(const QString& path);

} // namespace tessivane
