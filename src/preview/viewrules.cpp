#include "preview/viewrules.h"

#include "core/twips.h"

#include <algorithm>
#include <cmath>

namespace tessivane {

qint32 scaledSize(float zoom, qint32 original)
{
    return static_cast<qint32>(std::floor(static_cast<double>(zoom) * original));
}

bool scaledSizeFits(qint32 width, qint32 height)
{
    return width < kMaxImageWidth && height < kMaxImageHeight;
}

float nextZoom(float zoom, int direction)
{
    return direction == 0 ? zoom + kZoomStep : zoom - kZoomStep;
}

bool zoomAccepted(float factor)
{
    return factor >= kMinZoom && factor <= kMaxZoom;
}

ScrollbarSetup setupScrollbar(float boxOuter, float viewportOuter)
{
    ScrollbarSetup setup;
    if (boxOuter <= viewportOuter)
        return setup;
    const double overflow = static_cast<double>(boxOuter) - viewportOuter;
    setup.enabled = true;
    if (static_cast<float>(overflow) <= 100) {
        setup.max = toInteger16(overflow);
        setup.step = 1;
    } else if (roundHalfEven(overflow / 10) <= kMaxScrollValue) {
        setup.max = toInteger16(overflow / 10);
        setup.step = 10;
    } else {
        // A bar holds at most 32767 units: for a picture this far beyond the viewport each
        // unit moves further, so that the bar still reaches the far edge.
        setup.step = toInteger16(std::ceil(overflow / kMaxScrollValue));
        setup.max = toInteger16(overflow / setup.step);
    }
    return setup;
}

float clampDragOffset(float offset, float viewportInterior, float boxOuter)
{
    const float farEdge = viewportInterior - boxOuter;
    if (farEdge >= 0)
        return 0;
    return std::clamp(offset, farEdge, 0.0f);
}

std::optional<qint16> dragPercent(float offset, float boxOuter, float viewportOuter)
{
    if (boxOuter <= viewportOuter)
        return std::nullopt;
    const double overflow = static_cast<double>(boxOuter) - viewportOuter;
    return toInteger16(std::fabs(static_cast<double>(offset)) / overflow * 100);
}

std::optional<int> scrollValueForPercent(qint16 percent, int max)
{
    if (percent < 0)
        return std::nullopt;
    const double value = percent / 100.0 * max;
    if (value > max)
        return std::nullopt;
    return static_cast<int>(roundHalfEven(value));
}

int wheelScrollUnits(int angleDelta, qint16 step)
{
    if (angleDelta == 0)
        return 0;
    const double units
        = -double(angleDelta) * kWheelNotchTwips / (double(kWheelNotch) * std::max<int>(step, 1));
    const int whole = static_cast<int>(std::lround(units));
    if (whole != 0)
        return whole;
    return angleDelta > 0 ? -1 : 1;
}

QString rowsInView(int firstRow, const QList<int>& rowTwips, double from, double to)
{
    int first = -1;
    int last = -1;
    double top = 0;
    for (qsizetype index = 0; index < rowTwips.size(); ++index) {
        const double bottom = top + rowTwips[index];
        // A hidden row shows nothing; a row counts once any of it is in view.
        if (rowTwips[index] > 0 && bottom > from && top < to) {
            if (first < 0)
                first = firstRow + int(index);
            last = firstRow + int(index);
        }
        top = bottom;
    }
    if (first < 0)
        return {};
    return first == last ? QStringLiteral("row %1").arg(first)
                         : QStringLiteral("rows %1 to %2").arg(first).arg(last);
}

} // namespace tessivane
