#pragma once

#include "inventory/listfile.h"
#include "office/automation/spreadsheet.h"

#include <QString>

#include <atomic>
#include <functional>

namespace tessivane {

struct Services;

/// The exit statuses of the command, as command-line tools give them.
enum CommandExit : int {
    kExitWritten = 0, ///< the file is written
    kExitFailed = 1, ///< rows were refused, or the file could not be written
    kExitUsage = 2, ///< the command line is wrong
    kExitNoOffice = 3, ///< no office could be started
};

/// What `tessivane --output FILE [--input FILE]` is asked to do.
struct OutputRequest
{
    /// The file to write; its extension (.xls, .pdf, .xlsx, .ods) says the kind.
    QString output;
    /// The list file to read the rows from; empty: the stored list.
    QString input;
    /// Writes the good rows of an input that has refused ones.
    bool skipRefused = false;
};

/// Where the command speaks: every line goes to say (standard error); progress only with
/// showProgress (a terminal, not --quiet), notes only without quiet. Errors always.
struct CommandConsole
{
    std::function<void(const QString& line)> say;
    bool showProgress = false;
    bool quiet = false;
};

/// Whether the output's extension names a kind the command writes (case-insensitive).
bool isOutputKind(const QString& output);

/// The first sheet of a workbook as text, through a private office of the services, in a run
/// folder of its own that goes with it; no more rows than the list holds, and the office is
/// ended once progress says stop. Throws a readable sentence.
SheetText readWorkbookSheet(
    const Services& services, const QString& workbook, const ReadProgress& progress = {});

/// Makes the filled workbook from the stored list or the input file without any window, and
/// writes it to the output. The run is the window's, through services (its office source is
/// the command's own, one office at a time and none kept ready; so are its boxes: failure
/// reports go to the console). A signal number set in stop (from another thread) ends the work
/// early: the offices are to be ended by the one who set it; nothing is written then, and 128 + the
/// signal is returned. Returns a CommandExit otherwise.
int runOutputCommand(const OutputRequest& request, const Services& services,
    const CommandConsole& console, const std::atomic<int>& stop);

} // namespace tessivane
