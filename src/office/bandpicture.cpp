#include "office/bandpicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace tessivane {

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

QImage JoinPictureBands(const std::vector<PictureBand>& bands, const std::vector<int>& columnTwips)
{
    std::vector<QImage> pictures;
    int width = 0;
    int height = 0;
    // A band of a wide sheet can pass Qt's default limit for decoded pictures (128 MB).
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(0);
    struct Restore
    {
        int limit;
        ~Restore() { QImageReader::setAllocationLimit(limit); }
    } restore {limit};
    for (const PictureBand& band : bands) {
        QBuffer buffer;
        buffer.setData(band.bmp);
        const QImage picture = QImageReader(&buffer, "BMP").read();
        if (picture.isNull())
            return QImage();
        pictures.push_back(picture.copy(0, 0, DrawnPixels(columnTwips, picture.width()),
            DrawnPixels(band.rowTwips, picture.height())));
        width = std::max(width, pictures.back().width());
        // Each band starts with the pixel row of the border above its first row, the same
        // line as the one that ends the band before it: the bands overlap by that row.
        height += pictures.back().height() - (pictures.size() > 1 ? 1 : 0);
    }
    if (pictures.size() == 1)
        return pictures.front();
    QImage whole(width, height, QImage::Format_RGB32);
    whole.fill(Qt::white);
    QPainter painter(&whole);
    // Darken: a border drawn by either band in the shared row stays.
    painter.setCompositionMode(QPainter::CompositionMode_Darken);
    int top = 0;
    for (const QImage& picture : pictures) {
        painter.drawImage(0, top, picture);
        top += picture.height() - 1;
    }
    return whole;
}

} // namespace tessivane
