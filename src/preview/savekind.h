#pragma once

#include <QString>

namespace tessivane {

/// The save dialog's filter: the .xls copy first, as the default, then the kinds that the
/// workbook is converted into.
QString saveFilter();

/// The file a save writes and whether the workbook is converted for it (else copied).
struct SaveTarget
{
    QString name;
    bool converted = false;
};

/// From the name chosen in the save dialog and the 1-based index of the chosen filter. The
/// name's extension decides (case-insensitive): .pdf, .xlsx and .ods are converted, anything
/// else is copied. Under the .xls filter the name is used exactly as typed; under another
/// filter a name without one of the known extensions gets that filter's. An empty name (a
/// cancelled dialog) stays empty.
SaveTarget chooseSaveTarget(const QString& name, int filterIndex);

} // namespace tessivane
