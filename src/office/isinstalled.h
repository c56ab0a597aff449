#pragma once

#include <QString>

namespace tessivane {

struct Services;

/// The five-paragraph message shown when no spreadsheet instance can be started.
QString NoSpreadsheetMessage();

/// The start-up check: returns when an instance can be started (the probe stays ready for the
/// first run when the services keep ready offices, else it is ended in the background);
/// otherwise shows NoSpreadsheetMessage (OK only, no icon, application title) through the
/// services and ends the program as they say.
void CheckExcelInstance(const Services& services);

} // namespace tessivane
