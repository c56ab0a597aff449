#pragma once

#include <QByteArray>
#include <QImage>

#include <vector>

// Joining the pictures LibreOffice draws of a sheet's range. No UNO type appears here.

namespace tessivane {

/// One band of rows as LibreOffice hands it over: a BMP picture, and the heights of its rows
/// in twips (0 for a hidden row).
struct PictureBand
{
    QByteArray bmp;
    std::vector<int> rowTwips;
};

/// How many pixels of a picture `pixels` long LibreOffice's drawing of these rows (or
/// columns, sizes in twips) takes. The picture is sized by the range's exact size, but the
/// drawing scales each row to whole pixels, cut down, after one pixel for the border above the
/// first: it ends up to a pixel per row short of the picture's edge.
int DrawnPixels(const std::vector<int>& twips, int pixels);

/// The bands one below the other, each cut to where the drawing of its cells ends, so that
/// the picture ends at the range's last row and column. A null picture when a band cannot
/// be read.
QImage JoinPictureBands(const std::vector<PictureBand>& bands, const std::vector<int>& columnTwips);

} // namespace tessivane
