#include "office/picture/bandpicture.h"

#include <algorithm>
#include <climits>

namespace tessivane {

namespace {

constexpr int kTwipsPerPixel = 15; // at 96 dpi
// The office fails to draw a picture much taller than 32,000 pixels.
constexpr long long kMaxBandPixels = 24000;
constexpr long long kMinBandPixels = 200;
// A band's bitmap: 8 MB, some 70 rows of the template. The office draws a picture in a time
// about proportional to its size, a little faster in smaller pieces, and holds less meanwhile.
constexpr long long kBandBytes = 8LL * 1024 * 1024;

} // namespace

int drawnPixels(const std::vector<int>& twips, int pixels)
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

int picturePixels(const std::vector<int>& twips)
{
    long long total = 20; // a point of room for the outer border
    for (const int size : twips)
        total += std::max(size, 0);
    return int(std::min<long long>((total + kTwipsPerPixel - 1) / kTwipsPerPixel, INT_MAX));
}

int bandPixels(int width)
{
    const long long rowBytes = 4LL * std::max(width, 1);
    return int(std::clamp<long long>(kBandBytes / rowBytes, kMinBandPixels, kMaxBandPixels));
}

std::vector<std::pair<int, int>> pictureBands(
    const std::vector<int>& rowTwips, int firstRow, int maxPixels)
{
    std::vector<std::pair<int, int>> bands;
    const long long limit = (long long)(std::max(maxPixels, 1)) * kTwipsPerPixel;
    long long height = 0;
    int start = 0;
    for (int i = 0; i < int(rowTwips.size()); ++i) {
        const int size = std::max(rowTwips[size_t(i)], 0);
        if (i > start && height + size > limit) {
            bands.emplace_back(firstRow + start, firstRow + i - 1);
            start = i;
            height = 0;
        }
        height += size;
    }
    if (!rowTwips.empty())
        bands.emplace_back(firstRow + start, firstRow + int(rowTwips.size()) - 1);
    return bands;
}

} // namespace tessivane
