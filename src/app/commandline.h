#pragma once

#include <optional>

namespace tessivane {

/// Answers the command line before anything else of the program starts: no window, display
/// or office is needed. --help and --version print their text and give exit status 0; an
/// option the program does not know, or any argument, gives a message on standard error and
/// status 2. Gives nothing when the program should go on and open its window; Qt's own options
/// (-platform, -style, -session ...) are let through for the application object.
std::optional<int> answerCommandLine(int argc, char* argv[]);

} // namespace tessivane
