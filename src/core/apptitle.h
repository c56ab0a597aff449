#pragma once

#include <QString>

namespace tessivane {

/// The product name, also the caption of both windows.
inline constexpr char kProductName[] = "Tessivane";

/// Maker's addresses shown to the user; fixed texts of the program.
inline constexpr char kSupportAddress[] = "support@velmora.example";
inline constexpr char kContactAddress[] = "https://www.velmora.example/contact";
inline constexpr char kHomePageAddress[] = "https://www.velmora.example/";

/// Cuts a product name to a title of at most 40 characters at its last blanks.
/// The cut is made at least once; a name without a blank is kept whole.
QString computeApplicationTitle(const QString& productName);

/// Computes the program-wide title from the product name. The title is a constant of the
/// program (nothing stores it): the start-up step that sets it only computes it.
QString SetApplicationTitle();

/// The program-wide title that message boxes without a title of their own carry: the product
/// name cut as computeApplicationTitle cuts it.
QString ApplicationTitle();

/// The folder that holds the executable.
QString installationFolder();

/// The folder of the program's data files when it is installed: share/tessivane, seen from the
/// program's folder libexec/tessivane.
QString dataFolder();

/// A file the program ships: next to the executable when it is there (a build tree, a program
/// copied together with its files), otherwise in the data folder; when neither holds it, the
/// path next to the executable.
QString programFile(const QString& name);

} // namespace tessivane
