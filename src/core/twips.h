#pragma once

#include <QRect>
#include <QtGlobal>

namespace tessivane {

/// Twips to the pixel on the 96-dpi screens the window is laid out for.
inline constexpr int kTwipsPerPixel = 15;

/// A twip length as whole pixels (nearest).
int twipsToPixels(double twips);

/// Nearest integer, halves to the even neighbour (10.5 → 10, 11.5 → 12, 18.5 → 18).
double roundHalfEven(double value);

/// Nearest 16-bit integer, halves to even; throws "Overflow" outside −32768..32767, as a
/// scroll bar's Max and Value cannot hold more.
qint16 toInteger16(double value);

/// Nearest 32-bit integer, halves to even; throws "Overflow" outside the range.
qint32 toInteger32(double value);

/// Position and size of a box in twips of its container. The boxes have no border, so the
/// interior (ScaleWidth, ScaleHeight) equals the outer size.
class TwipRect
{
public:
    TwipRect() = default;
    TwipRect(float left, float top, float width, float height)
        : Left(left)
        , Top(top)
        , Width(width)
        , Height(height)
    { }

    float ScaleWidth() const { return Width; }
    float ScaleHeight() const { return Height; }

    /// The widget geometry: every figure divided by 15, to the nearest pixel.
    QRect toPixels() const;

    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
};

} // namespace tessivane
