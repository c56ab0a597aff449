#pragma once

namespace tessivane {

/// Mouse-pointer values of a window.
enum MousePointerValue : int {
    vbDefault = 0,
    vbHourglass = 11,
    vbCustom = 99,
};

} // namespace tessivane
