#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <memory>
#include <utility>
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

/// Writes band pictures one below the other into an uncompressed, top-down 24-bit BMP as
/// they come, each cut to where the drawing of its cells ends, so that the picture ends at the
/// range's last row and column. Only the band being added and one pixel row are held: the
/// picture of a long sheet is never in memory whole.
class BandBitmapWriter
{
public:
    /// device: open for writing and seekable (the header is written last).
    BandBitmapWriter(QIODevice& device, std::vector<int> columnTwips);

    /// Adds the next band below the others; its bytes are let go of on return. False when the
    /// band cannot be read or the device refuses a write.
    bool add(PictureBand band);

    /// Writes the last pixel row and the header. False when nothing was added or a write fails.
    bool finish();

    /// The picture's size so far.
    QSize size() const { return {mWidth, mHeight}; }

private:
    bool writeRow(const uchar* row);
    bool writePending();

    QIODevice& mDevice;
    std::vector<int> mColumnTwips;
    int mWidth = 0;
    int mHeight = 0; // rows written, and the one held back
    QByteArray mHeldRow; // the last row so far: the next band's first row is drawn over it
    QByteArray mPending; // rows written 64 KB at a time: one call per row is slow
    bool mFailed = false;
};

/// Writes the picture as an uncompressed, top-down 24-bit BMP, row by row (no copy of the
/// picture). False when the device refuses a write.
bool writeBitmap(const QImage& picture, QIODevice& device);

} // namespace tessivane
