#include "office/bandpicture.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
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

quint32 Read32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

/// The rows of an uncompressed BMP of 24 or 32 bits a pixel (32 bits also with the usual
/// colour masks), read in place; false for any other form.
bool PlainRows(QByteArrayView bytes, BandRows& rows)
{
    if (bytes.size() < kFileHeader + kInfoHeader || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const quint32 offset = Read32(bytes, 10);
    const quint32 infoSize = Read32(bytes, 14);
    const qint32 width = qint32(Read32(bytes, 18));
    const qint32 height = qint32(Read32(bytes, 22));
    const quint16 bits = qFromLittleEndian<quint16>(bytes.data() + 28);
    const quint32 compression = Read32(bytes, 30);
    // The colour masks follow the 40-byte header, or sit at the same place in a longer one.
    const bool masks = compression == 3 && bits == 32 && bytes.size() >= 66
        && Read32(bytes, 54) == 0xFF0000u && Read32(bytes, 58) == 0xFF00u
        && Read32(bytes, 62) == 0xFFu;
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
    // A band of a wide sheet can pass Qt's default limit for decoded pictures (128 MB).
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(0);
    QBuffer buffer;
    buffer.setData(bytes.data(), bytes.size());
    rows.decoded = QImageReader(&buffer, "BMP").read().convertToFormat(QImage::Format_BGR888);
    QImageReader::setAllocationLimit(limit);
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

int DrawnPixels(const std::vector<int>& twips, int pixels)
{
    // The same arithmetic as the office's drawing: the sizes and one point (20 twips) of room
    // for the outer border are scaled to the picture, each line cut down to whole pixels but
    // never to none.
    long long total = 20;
    for (const int size : twips)
        total += size;
    const double scale = double(pixels) / double(total);
    long long drawn = 1;
    for (const int size : twips) {
        if (size <= 0)
            continue;
        const long long line = static_cast<long long>(size * scale);
        drawn += line > 0 ? line : 1;
    }
    return int(std::clamp<long long>(drawn, 1, pixels));
}

QImage JoinPictureBands(std::vector<PictureBand> bands, const std::vector<int>& columnTwips)
{
    if (bands.empty())
        return QImage();
    std::vector<BandRows> rows(bands.size());
    std::vector<QSize> cuts;
    int width = 0;
    int height = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        if (!PlainRows(bands[i].bmp, rows[i]) && !DecodedRows(bands[i].bmp, rows[i]))
            return QImage();
        cuts.emplace_back(DrawnPixels(columnTwips, rows[i].width),
            DrawnPixels(bands[i].rowTwips, rows[i].height));
        width = std::max(width, cuts.back().width());
        // Each band starts with the pixel row of the border above its first row, the same
        // line as the one that ends the band before it: the bands overlap by that row.
        height += cuts.back().height() - (i > 0 ? 1 : 0);
    }
    QImage whole(width, height, QImage::Format_BGR888);
    if (whole.isNull())
        return QImage();
    int top = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        const BandRows& band = rows[i];
        const int drawn = cuts[i].width();
        for (int y = 0; y < cuts[i].height(); ++y) {
            uchar* out = whole.scanLine(top + y);
            const uchar* in = band.row(y);
            if (i > 0 && y == 0) {
                // The shared row: a border drawn by either band stays (the darker of the two).
                for (int x = 0; x < drawn; ++x)
                    for (int c = 0; c < 3; ++c)
                        out[3 * x + c] = std::min(out[3 * x + c], in[band.bytesPerPixel * x + c]);
                continue;
            }
            if (band.bytesPerPixel == 3) {
                std::memcpy(out, in, size_t(drawn) * 3);
            } else {
                for (int x = 0; x < drawn; ++x)
                    std::memcpy(out + 3 * x, in + 4 * x, 3);
            }
            std::memset(out + 3 * drawn, 0xFF, size_t(width - drawn) * 3); // white beside
        }
        top += cuts[i].height() - 1;
        rows[i] = BandRows();
        bands[i] = PictureBand();
    }
    return whole;
}

bool WriteBitmap(const QImage& picture, QIODevice& device)
{
    const qint64 rowBytes = qint64(picture.width()) * 3;
    const qint64 stride = (rowBytes + 3) / 4 * 4;
    const qint64 imageSize = stride * picture.height();
    QByteArray header(kFileHeader + kInfoHeader, '\0');
    char* h = header.data();
    const auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, h + at); };
    h[0] = 'B';
    h[1] = 'M';
    put32(2, quint32(std::min<qint64>(header.size() + imageSize, UINT32_MAX)));
    put32(10, quint32(header.size()));
    put32(14, quint32(kInfoHeader));
    put32(18, quint32(picture.width()));
    put32(22, quint32(picture.height())); // bottom-up, the usual order
    qToLittleEndian(quint16(1), h + 26); // planes
    qToLittleEndian(quint16(24), h + 28);
    put32(34, quint32(std::min<qint64>(imageSize, UINT32_MAX)));
    put32(38, 3780); // 96 dpi in pixels a metre
    put32(42, 3780);
    if (device.write(header) != header.size())
        return false;
    const QByteArray padding(int(stride - rowBytes), '\0');
    for (int y = picture.height() - 1; y >= 0; --y) {
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
