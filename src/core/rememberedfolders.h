#pragma once

#include <QString>

namespace tessivane {

/// The folder a file dialog of one kind ("Save", "Import", "Export") was last used in, kept in
/// the program's settings store (group "Folders") for the next start.
class RememberedFolders
{
public:
    /// The folder last used for that kind while it still exists, else the home folder.
    static QString folder(const QString& kind);
    /// Keeps the folder of a file chosen in a dialog of that kind; an empty name keeps nothing.
    static void remember(const QString& kind, const QString& chosenFile);
};

} // namespace tessivane
