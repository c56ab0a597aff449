#pragma once

#include "app/outputcommand.h"

#include <QString>

#include <optional>

namespace tessivane {

/// What the command line asks for.
struct CommandLine
{
    /// End at once with this status: --help and --version printed their text (0), or the
    /// command line is wrong (2, the message on standard error).
    std::optional<int> answer;
    /// --output FILE: make the workbook without a window.
    std::optional<OutputRequest> output;
    /// --quiet: only errors on standard error.
    bool quiet = false;
    /// `tessivane FILE`: a list file to review for import in the window.
    QString openFile;
};

/// Reads the command line before anything else of the program starts: no window, display
/// or office is needed. --help and --version print their text; an option the program does not
/// know, an option of the command without --output, an output of a kind it does not write, or
/// more than one file, gives a message on standard error and status 2. Qt's own options
/// (-platform, -style, -session ...) are let through for the application object.
CommandLine readCommandLine(int argc, char* argv[]);

} // namespace tessivane
