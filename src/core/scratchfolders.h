#pragma once

#include <QString>
#include <QStringList>

// The program's private scratch folders in a temporary folder ("<prefix><pid>-XXXXXX"): made
// owner-only, and removed only when they are exactly that, so that a link or another user's
// folder planted under such a name is never followed or touched.

namespace tessivane {

/// Makes an owner-only folder "<prefix><this program's pid>-XXXXXX" in parent and returns
/// its path. Throws a readable description when it cannot be made.
QString makeScratchFolder(const QString& parent, const QString& prefix);

/// The process id that a scratch folder name "<prefix><pid>-XXXXXX" carries (six letters or
/// digits at the end), or 0 when the name has not that form.
qint64 scratchFolderPid(const QString& name, const QString& prefix);

/// True when no process of that id runs (none, or only its zombie); never for this one.
bool processIsGone(qint64 pid);

/// Removes the folder with everything in it, when it is a real folder (not a link) of this
/// user with owner-only permissions; anything else is left alone. Links inside are removed,
/// never followed. True when the folder is gone.
bool removeOwnFolder(const QString& path);

/// Removes the scratch folders with that prefix in parent whose program no longer lives
/// (and this program's own, when includeOwn), with the care of removeOwnFolder. Returns the
/// paths removed.
QStringList removeLeftoverScratchFolders(
    const QString& parent, const QString& prefix, bool includeOwn = false);

} // namespace tessivane
