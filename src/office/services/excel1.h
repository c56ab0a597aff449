#pragma once

#include "office/picture/snapshot.h"
#include "office/services/localeprocs.h"
#include "office/services/services.h"

#include <QString>

// The module Excel1: the generation run's instance procedures.

namespace tessivane {

/// xlApp (the generation run's first instance, which the run holds) := a new instance of the
/// services, with whileWaiting handed in (see createApplication). Failures pass to the caller.
void StartExcel(ApplicationPtr& xlApp, const Services& services, const WaitHook& whileWaiting = {});

/// xlApp := none; no call is made on the instance.
void ReleaseExcel(ApplicationPtr& xlApp);

/// A new instance with path opened in it (Workbooks.Open(path)); returns the instance.
ApplicationPtr OpenInNewExcel(
    const Services& services, const QString& path, const WaitHook& whileWaiting = {});

/// The SaveAs file-format code for the application's version: 56 above 11, else -4143. With
/// no instance, a probe instance is started, asked and quit. Failures pass to the caller.
int ExcelSaveFormat(const Services& services, const ApplicationPtr& app);

/// The rule on a version text alone (the locale's decimal mark applied as above).
int saveFormatForVersion(const QString& version);

} // namespace tessivane
