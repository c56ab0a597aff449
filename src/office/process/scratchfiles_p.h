#pragma once

// The files an instance leaves in the temporary folders: its private profile and the socket
// files of its pipes. A killed program cannot remove them, so the next start does.

#include <QString>

namespace tessivane {

/// Makes a fresh owner-only profile folder with the instance's settings in the temporary
/// folder, named after this process; returns its path. Throws when it cannot be made.
QString makeProfile();

/// The profile folder's URL, as the instance's -env:UserInstallation takes it.
QString profileUrl(const QString& folder);

/// Removes a profile folder and the pipe files that the instance of that profile may have
/// left; safe to call for one that is gone already.
void removeProfile(const QString& folder);

/// Removes the socket files of a named pipe, when they are sockets.
void removePipeFiles(const QString& pipeName);

/// Removes the profile folders and pipe files of earlier runs whose program no longer lives.
void removeStaleProfiles();

} // namespace tessivane
