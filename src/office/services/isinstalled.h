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

/// What the start-up check found: no refusal when an instance could be started and opened a
/// spreadsheet; otherwise the message the program shows (OK only, no icon, application
/// title) before it ends at once.
struct StartUpVerdict
{
    QString refusal;

    bool officeReady() const { return refusal.isEmpty(); }
};

/// The start-up check: whether an instance can be started and opens a spreadsheet (the probe
/// stays ready for the first run when the services keep ready offices, else it is ended in the
/// background). When none can, every office is ended and waited for before the verdict
/// returns with noSpreadsheetMessage, so that none is left while the message is up. A
/// temporary folder that cannot be written is refused too, before any office starts. Showing
/// the refusal and ending the program are the caller's.
[[nodiscard]] StartUpVerdict CheckExcelInstance(const Services& services);

} // namespace tessivane
