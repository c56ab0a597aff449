#pragma once

#include "office/automation/spreadsheet.h"

#include <QString>

namespace tessivane {

struct Services;

/// The five-paragraph message shown when no spreadsheet instance can be started.
QString noSpreadsheetMessage();

/// The message for a temporary folder that cannot be written.
QString UnwritableTempFolderMessage(const QString& folder, const QString& reason);

/// The start-up check without its message and its end: true with a new instance in probe that
/// has opened a spreadsheet; false with refusal set to the message the check shows and cause
/// to what failed when the message does not say it (probe may then hold the failed instance,
/// for the caller to end).
bool probeOffice(const Services& services, ApplicationPtr& probe, QString& refusal, QString& cause);

/// The start-up check: returns when an instance can be started and opens a spreadsheet (the
/// probe stays ready for the first run when the services keep ready offices, else it is ended
/// in the background); otherwise every office is ended and waited for, noSpreadsheetMessage is
/// shown (OK only, no icon, application title) through the services, and the program ends as
/// they say. A temporary folder that cannot be written is said so, before any office starts,
/// and ends the program too.
void CheckExcelInstance(const Services& services);

} // namespace tessivane
