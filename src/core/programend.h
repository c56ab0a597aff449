#pragma once

#include "core/messagebox.h"

#include <QString>

#include <functional>

namespace tessivane {

/// Ends the program at once, with no further start-up step and no window's closing handling:
/// through programEnder when there is one (main.cpp's, which first ends and joins what the
/// program started; a test's), else the process ends here.
void endProgram(const std::function<void()>& programEnder);

/// The program's answer to the start-up check: nothing when refusal is empty; otherwise the
/// refusal is shown through boxes (OK only, no icon, the application title) and the program
/// then ends (endProgram).
void refuseStartUp(
    const QString& refusal, const MessageBoxes& boxes, const std::function<void()>& programEnder);

} // namespace tessivane
