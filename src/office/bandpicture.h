#pragma once

#include <QByteArrayView>
#include <QImage>

#include <memory>
#include <vector>

class QIODevice;

// Joining the pictures LibreOffice draws of a sheet's range, and writing the result. No UNO
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
int DrawnPixels(const std::vector<int>& twips, int pixels);

/// The bands one below the other, each cut to where the drawing of its cells ends, so that
/// the picture ends at the range's last row and column; 24 bits a pixel. Each band's bytes
/// are let go as soon as its rows are in. A null picture when a band cannot be read.
QImage JoinPictureBands(std::vector<PictureBand> bands, const std::vector<int>& columnTwips);

/// Writes the picture as an uncompressed 24-bit BMP, row by row (no copy of the picture).
/// False when the device refuses a write.
bool WriteBitmap(const QImage& picture, QIODevice& device);

} // namespace tessivane
