#pragma once

#include <QByteArrayView>

#include <memory>
#include <utility>
#include <vector>

// The bands a sheet's picture is drawn in, and the pixels LibreOffice draws of them. No UNO
// type appears here.

namespace tessivane {

/// One band of rows as LibreOffice hands it over: a BMP picture, left where it was received
/// (owner keeps those bytes alive), and the heights of its rows in twips (0 for a hidden row).
struct PictureBand
{
    std::shared_ptr<const void> owner;
    QByteArrayView bmp;
    std::vector<int> rowTwips;
};

/// How many pixels of a picture `pixels` long LibreOffice's drawing of these rows (or
/// columns, sizes in twips) takes. The picture is sized by the range's exact size, but the
/// drawing scales each row to whole pixels, cut down, after one pixel for the border above the
/// first: it ends up to a pixel per row short of the picture's edge.
int drawnPixels(const std::vector<int>& twips, int pixels);

/// The size in pixels (96 dpi) of the picture of lines of these sizes in twips, with the room
/// of the outer border; an upper bound for what the office draws of them.
int picturePixels(const std::vector<int>& twips);

/// The tallest band, in pixels, asked of the office for a picture `width` pixels wide: the
/// office cannot draw one much taller than 32,000 pixels, and a band's bitmap is kept to a
/// few tens of megabytes (in the office and here) however wide the sheet.
int bandPixels(int width);

/// Row bands (0-based, inclusive, from firstRow) of the rows with these heights in twips,
/// each drawn at most maxPixels tall; a row taller than that is a band of its own.
std::vector<std::pair<int, int>> pictureBands(
    const std::vector<int>& rowTwips, int firstRow, int maxPixels);

} // namespace tessivane
