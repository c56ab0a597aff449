#pragma once

// The measuring child: one program start through the real window path, driven as a user
// would (idle after the window shows, then clicks). Results go to standard output as
// "@key value" lines for the parent to collect.

#include <QStringList>

namespace windowrun {

struct Plan
{
    qint64 spawnedNs = 0; ///< CLOCK_MONOTONIC just before the parent started this process
    bool click = false; ///< "Start Creating Template" once the window has been idle
    bool second = false; ///< then "< Back" and a second click
    bool focusOut = false; ///< the grid loses the focus, with a heartbeat on the event loop
    /// after the first click, the preview scrolled over the whole picture at 0.25 and at 1.0,
    /// the longest step until painted
    bool scroll = false;
};

/// Writes rows stored rows to the settings store of XDG_CONFIG_HOME (as the program would).
int StoreRows(int argc, char* argv[], int rows);

/// Runs the program's start-up as main.cpp does, then the plan; returns the exit code.
int RunWindow(int argc, char* argv[], const Plan& plan);

/// CLOCK_MONOTONIC in nanoseconds, the same clock in parent and child.
qint64 MonotonicNs();

} // namespace windowrun
