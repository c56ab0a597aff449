#pragma once

#include <QtGlobal>

#include <QList>
#include <QString>

#include <optional>

namespace tessivane {

/// Zoom limits and the scaled sizes the image box can take.
inline constexpr float kMinZoom = 0.25f;
inline constexpr float kMaxZoom = 2.25f;
inline constexpr float kZoomStep = 0.25f;
/// The scaled size in twips from which a zoom is refused, on either side: the image box holds
/// its geometry in single precision, exact up to this. The box draws only what is on screen,
/// so no smaller size is too large to paint: a sheet of 20,000 rows zooms to 2.25.
inline constexpr qint32 kMaxImageWidth = 1 << 24;
inline constexpr qint32 kMaxImageHeight = 1 << 24;

/// The scaled size of one side: zoom times the unscaled size, rounded down.
qint32 scaledSize(float zoom, qint32 original);

/// True when a scaled picture of this size may be painted.
bool scaledSizeFits(qint32 width, qint32 height);

/// The zoom a step leads to: direction 0 in, any other out.
float nextZoom(float zoom, int direction);

/// True for a factor the zoom accepts (0.25 to 2.25, both included).
bool zoomAccepted(float factor);

/// How one scroll bar covers an image box that may overflow the viewport.
struct ScrollbarSetup
{
    bool enabled = false;
    qint16 max = 0; ///< only when enabled
    qint16 step = 0; ///< twips one unit moves the picture: 0, 1 or 10
};

/// The largest value a scroll bar holds.
inline constexpr int kMaxScrollValue = 32767;

/// The bar for an image box of outer size `boxOuter` in a viewport of outer size
/// `viewportOuter`: one twip a unit for overflows up to 100 twips, ten beyond, and more only
/// where ten would need more than 32767 units.
ScrollbarSetup setupScrollbar(float boxOuter, float viewportOuter);

/// The image box's offset on one axis while dragging: never right of or below the viewport's
/// start, never leaving a gap at the far edge; a picture no larger than the viewport stays at 0.
float clampDragOffset(float offset, float viewportInterior, float boxOuter);

/// The share of the overflow that a drag has scrolled, in whole percent (halves to even);
/// none when the image box is not larger than the viewport.
std::optional<qint16> dragPercent(float offset, float boxOuter, float viewportOuter);

/// The bar value for a percentage of its Max; none for a negative percentage or one past Max.
std::optional<int> scrollValueForPercent(qint16 percent, int max);

/// One notch of the mouse wheel, as its angle delta counts it.
inline constexpr int kWheelNotch = 120;
/// How far one notch scrolls the picture: three lines of 20 pixels.
inline constexpr int kWheelNotchTwips = 900;

/// The change of a bar's value for a wheel turn of angleDelta (positive: away from the user,
/// towards the top or left) on a bar whose unit moves the picture by step twips: about
/// kWheelNotchTwips a notch, at least one unit for any turn.
int wheelScrollUnits(int angleDelta, qint16 step);

/// Which sheet rows lie in the part from..to (twips of the unzoomed picture, from its top) of a
/// picture whose rows start with firstRow and have these heights in twips: "rows 4 to 20",
/// "row 5"; empty when none does or the heights are not known.
QString rowsInView(int firstRow, const QList<int>& rowTwips, double from, double to);

} // namespace tessivane
