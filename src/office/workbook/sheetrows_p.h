#pragma once

// Rows of a sheet made alike by a few range operations of the office, never cell by cell:
// a table's rows repeated down, formulas copied from one row to another, the print titles.
// Private to the layer; rows and columns are 0-based here.

#include "office/connection/unobridge_p.h"

#include <com/sun/star/sheet/XSpreadsheet.hpp>

namespace tessivane {

/// See Worksheet::extendTable; the columns are 0 to lastColumn.
void extendTable(const Reference<css::sheet::XSpreadsheet>& sheet, int lastColumn,
    int firstPatternRow, int lastPatternRow, int lastBodyRow, int lastRow);

/// See Worksheet::copyFormulas; every column of the row is looked at.
void copyFormulas(const Reference<css::sheet::XSpreadsheet>& sheet, int sourceRow, int targetRow);

/// See Worksheet::setPrintTitleRows.
void setPrintTitleRows(const Reference<css::sheet::XSpreadsheet>& sheet, int firstRow, int lastRow);

} // namespace tessivane
