#pragma once

#include <QString>

#include <functional>

namespace tessivane {

/// The five-paragraph message shown when no spreadsheet instance can be started.
QString NoSpreadsheetMessage();

/// The start-up check: returns when an instance can be started (the probe stays ready for the
/// first run while an InstancePool lives, else it is ended in the background); otherwise shows
/// NoSpreadsheetMessage (OK only, no icon, application title) and ends the program at once.
void CheckExcelInstance();

/// Replaces how the start-up check ends the program (tests); empty restores the immediate
/// end of the process.
void SetProgramEnder(std::function<void()> ender);

} // namespace tessivane
