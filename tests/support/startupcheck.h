#pragma once

// The start-up check as the program takes it, for the tests of the office layer.

#include "core/programend.h"
#include "office/services/isinstalled.h"

namespace tessivane::test {

/// Runs the start-up check and acts on its verdict as the main window does: a refusal is
/// shown through boxes, then the program's end is counted in ends (none given: not counted,
/// the process goes on).
inline void CheckAtStartUp(const Services& services, const MessageBoxes& boxes, int* ends = nullptr)
{
    const StartUpVerdict verdict = CheckExcelInstance(services);
    refuseStartUp(verdict.refusal, boxes, [ends] {
        if (ends)
            ++*ends;
    });
}

} // namespace tessivane::test
