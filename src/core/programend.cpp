#include "core/programend.h"

#include "core/failurereport.h"

#include <cstdio>
#include <cstdlib>

namespace tessivane {

void endProgram(const std::function<void()>& programEnder)
{
    if (programEnder) {
        programEnder();
        return;
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

void refuseStartUp(
    const QString& refusal, const MessageBoxes& boxes, const std::function<void()>& programEnder)
{
    if (refusal.isEmpty())
        return;
    swallow([&] { boxes.MsgBox(refusal, vbOKOnly); });
    endProgram(programEnder);
}

} // namespace tessivane
