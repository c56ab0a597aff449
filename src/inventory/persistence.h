#pragma once

#include "app/failurereport.h"
#include "inventory/inventorytable.h"

#include <QString>

namespace tessivane {

/// The numeric reading of stored texts: blanks, tabs and line feeds anywhere are skipped, then
/// the longest leading number is taken (sign, digits, "." as the decimal point whatever the
/// locale, exponent with E or D; "&H" hexadecimal, "&O" octal). No number gives 0; a number
/// too large for a double gives an infinite value.
double NumericValue(const QString& text);

/// The most rows a stored row count may ask for.
inline constexpr int kMaxStoredRows = 100000;

/// Loads the saved rows into the freshly opened, empty table (start-up lines 162 to 190). An
/// absent count loads sixteen blank rows. A count that is not a number of rows (a text that is
/// not wholly a number, a negative one, one above kMaxStoredRows) is reported once (line 162)
/// and the rows the store really holds are loaded instead. Stored bytes that are not UTF-8 are
/// read as Windows-1252 text and kept so in the store.
void LoadRows(InventoryTable& table, Steps& step);

/// Writes every row and then the row count to the settings store, leaving the first row
/// current (DataGrid1_Validate). An empty table writes a count of 0. Throws when the store
/// could not be written (a damaged file that was read is no failure: it is written anew).
void SaveRows(InventoryTable& table);

/// The text a field value is stored as: numbers with "." as the decimal point, dates as
/// ISO 8601 (the time only when it is not midnight), Null as the empty text.
QString StoredText(const QVariant& value);

} // namespace tessivane
