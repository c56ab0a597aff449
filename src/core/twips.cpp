#include "core/twips.h"

#include <cmath>
#include <stdexcept>

namespace tessivane {

int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

double roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

qint16 toInteger16(double value)
{
    const double rounded = roundHalfEven(value);
    if (!(rounded >= -32768 && rounded <= 32767))
        throw std::overflow_error("Overflow");
    return static_cast<qint16>(rounded);
}

qint32 toInteger32(double value)
{
    const double rounded = roundHalfEven(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        throw std::overflow_error("Overflow");
    return static_cast<qint32>(rounded);
}

QRect TwipRect::toPixels() const
{
    return QRect(
        twipsToPixels(Left), twipsToPixels(Top), twipsToPixels(Width), twipsToPixels(Height));
}

} // namespace tessivane
