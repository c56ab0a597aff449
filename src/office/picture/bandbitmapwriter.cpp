#include "office/picture/bandbitmapwriter.h"

#include "core/bitmapfile.h"
#include "core/spoolreserve.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>

namespace tessivane {

namespace {

constexpr qsizetype kFileHeader = 14;
constexpr qsizetype kInfoHeader = 40;

/// Where the rows of one band picture lie: inside the BMP bytes when they are plain 24- or
/// 32-bit rows, otherwise in a picture decoded from them.
struct BandRows
{
    QImage decoded; // only when the bytes are not plain rows
    const uchar* first = nullptr; // the top row
    qsizetype step = 0; // from one row to the one below, negative for a bottom-up BMP
    int bytesPerPixel = 3; // 3: B, G, R; 4: B, G, R, unused
    int width = 0;
    int height = 0;

    const uchar* row(int y) const { return first + step * y; }
};

quint32 read32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

/// The rows of an uncompressed BMP of 24 or 32 bits a pixel (32 bits also with the usual
/// colour masks), read in place; false for any other form.
bool PlainRows(QByteArrayView bytes, BandRows& rows)
{
    if (bytes.size() < kFileHeader + kInfoHeader || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const quint32 offset = read32(bytes, 10);
    const quint32 infoSize = read32(bytes, 14);
    const qint32 width = qint32(read32(bytes, 18));
    const qint32 height = qint32(read32(bytes, 22));
    const quint16 bits = qFromLittleEndian<quint16>(bytes.data() + 28);
    const quint32 compression = read32(bytes, 30);
    // The colour masks follow the 40-byte header, or sit at the same place in a longer one.
    const bool masks = compression == 3 && bits == 32 && bytes.size() >= 66
        && read32(bytes, 54) == 0xFF0000u && read32(bytes, 58) == 0xFF00u
        && read32(bytes, 62) == 0xFFu;
    if (infoSize < kInfoHeader || width <= 0 || height == 0 || height == INT32_MIN
        || (bits != 24 && bits != 32) || (compression != 0 && !masks))
        return false;
    const qsizetype stride = (qsizetype(width) * bits + 31) / 32 * 4;
    const int rowCount = std::abs(height);
    if (qsizetype(offset) + stride * rowCount > bytes.size())
        return false;
    const auto* data = reinterpret_cast<const uchar*>(bytes.data()) + offset;
    rows.bytesPerPixel = bits / 8;
    rows.width = width;
    rows.height = rowCount;
    // A positive height is stored bottom-up.
    rows.first = height > 0 ? data + stride * (rowCount - 1) : data;
    rows.step = height > 0 ? -stride : stride;
    return true;
}

/// Any other picture form, decoded whole.
bool DecodedRows(QByteArrayView bytes, BandRows& rows)
{
    QBuffer buffer;
    buffer.setData(bytes.data(), bytes.size());
    QImageReader reader(&buffer, "BMP");
    rows.decoded = readWholePicture(reader).convertToFormat(QImage::Format_BGR888);
    if (rows.decoded.isNull())
        return false;
    rows.first = rows.decoded.constBits();
    rows.step = rows.decoded.bytesPerLine();
    rows.bytesPerPixel = 3;
    rows.width = rows.decoded.width();
    rows.height = rows.decoded.height();
    return true;
}

} // namespace

BandBitmapWriter::BandBitmapWriter(QIODevice& device, std::vector<int> columnTwips)
    : mDevice(device)
    , mColumnTwips(std::move(columnTwips))
{ }

bool BandBitmapWriter::add(PictureBand band)
{
    BandRows rows;
    if (mFailed || (!PlainRows(band.bmp, rows) && !DecodedRows(band.bmp, rows)))
        return false;
    const int drawnWidth = drawnPixels(mColumnTwips, rows.width);
    const int drawnHeight = drawnPixels(band.rowTwips, rows.height);
    const bool first = mWidth == 0;
    if (first) {
        // The bands share their columns: the first one's drawing sets the picture's width.
        mWidth = drawnWidth;
        const QByteArray header = bitmapHeader(mWidth, 0);
        mFailed = mDevice.write(header) != header.size();
        mHeldRow = QByteArray(bitmapStride(mWidth), '\0');
    }
    const int drawn = std::min(drawnWidth, mWidth);
    QByteArray row(mHeldRow.size(), '\0');
    for (int y = 0; y < drawnHeight && !mFailed; ++y) {
        const uchar* in = rows.row(y);
        if (!first && y == 0) {
            // Each band starts with the pixel row of the border above its first row, the same
            // line as the one that ends the band before it: a border drawn by either stays
            // (the darker of the two).
            auto* held = reinterpret_cast<uchar*>(mHeldRow.data());
            for (int x = 0; x < drawn; ++x)
                for (int c = 0; c < 3; ++c)
                    held[3 * x + c] = std::min(held[3 * x + c], in[rows.bytesPerPixel * x + c]);
            continue;
        }
        auto* out = reinterpret_cast<uchar*>(row.data());
        if (rows.bytesPerPixel == 3) {
            std::memcpy(out, in, size_t(drawn) * 3);
        } else {
            for (int x = 0; x < drawn; ++x)
                std::memcpy(out + 3 * x, in + 4 * x, 3);
        }
        std::memset(out + 3 * drawn, 0xFF, size_t(mWidth - drawn) * 3); // white beside
        if (mHeight > 0)
            mFailed = !writeRow(reinterpret_cast<const uchar*>(mHeldRow.constData()));
        std::swap(mHeldRow, row);
        ++mHeight;
    }
    mFailed = mFailed || !writePending();
    return !mFailed;
}

qint64 BandBitmapWriter::fileBytes() const
{
    return kFileHeader + kInfoHeader + bitmapStride(mWidth) * qint64(mHeight);
}

bool BandBitmapWriter::finish()
{
    if (mFailed || mHeight == 0 || !writeRow(reinterpret_cast<const uchar*>(mHeldRow.constData()))
        || !writePending())
        return false;
    const QByteArray header = bitmapHeader(mWidth, mHeight);
    return mDevice.seek(0) && mDevice.write(header) == header.size();
}

bool BandBitmapWriter::writeRow(const uchar* row)
{
    mPending.append(reinterpret_cast<const char*>(row), mHeldRow.size());
    return mPending.size() < kSpoolWriteBytes || writePending();
}

bool BandBitmapWriter::writePending()
{
    const bool written = mDevice.write(mPending) == mPending.size();
    mPending.resize(0); // the room is kept for the next rows
    return written;
}

bool writeBitmap(const QImage& picture, QIODevice& device)
{
    const qint64 rowBytes = qint64(picture.width()) * 3;
    const QByteArray header = bitmapHeader(picture.width(), picture.height());
    if (device.write(header) != header.size())
        return false;
    const QByteArray padding(int(bitmapStride(picture.width()) - rowBytes), '\0');
    for (int y = 0; y < picture.height(); ++y) {
        const QImage converted = picture.format() == QImage::Format_BGR888
            ? QImage()
            : picture.copy(0, y, picture.width(), 1).convertToFormat(QImage::Format_BGR888);
        const uchar* row = converted.isNull() ? picture.constScanLine(y) : converted.constBits();
        if (device.write(reinterpret_cast<const char*>(row), rowBytes) != rowBytes
            || device.write(padding) != padding.size())
            return false;
    }
    return true;
}

} // namespace tessivane
