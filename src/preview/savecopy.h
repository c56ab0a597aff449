#pragma once

#include <QString>

namespace tessivane {

/// Copies a file to a destination the user chose, replacing an existing destination only
/// when the copy is complete: the data goes to a temporary file in the destination folder
/// that is renamed over the destination at the end. On failure the destination is as it was,
/// no temporary file remains, and a readable description is thrown.
void copyFileSafely(const QString& source, const QString& destination);

} // namespace tessivane
