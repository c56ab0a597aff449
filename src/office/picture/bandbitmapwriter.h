#pragma once

// The pictures LibreOffice draws of a sheet's bands joined into one bitmap file as they come.
// No UNO type appears here.

#include "office/picture/bandpicture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <vector>

class QIODevice;

namespace tessivane {

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
    /// The bytes of the picture's file once finished.
    qint64 fileBytes() const;

private:
    bool writeRow(const uchar* row);
    bool writePending();

    QIODevice& mDevice;
    std::vector<int> mColumnTwips;
    int mWidth = 0;
    int mHeight = 0; // rows written, and the one held back
    QByteArray mHeldRow; // the last row so far: the next band's first row is drawn over it
    QByteArray mPending; // rows written kSpoolWriteBytes at a time: one call per row is slow
    bool mFailed = false;
};

/// Writes the picture as an uncompressed, top-down 24-bit BMP, row by row (no copy of the
/// picture). False when the device refuses a write.
bool writeBitmap(const QImage& picture, QIODevice& device);

} // namespace tessivane
