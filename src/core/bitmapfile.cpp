#include "core/bitmapfile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessivane {

namespace {

constexpr qsizetype kFileHeader = 14;
constexpr qsizetype kInfoHeader = 40;

quint32 read32(const uchar* at)
{
    return qFromLittleEndian<quint32>(at);
}

} // namespace

qsizetype bitmapStride(int width)
{
    return (qsizetype(width) * 3 + 3) / 4 * 4;
}

QByteArray bitmapHeader(int width, int height)
{
    const qint64 imageSize = qint64(bitmapStride(width)) * height;
    QByteArray header(kFileHeader + kInfoHeader, '\0');
    char* h = header.data();
    const auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, h + at); };
    h[0] = 'B';
    h[1] = 'M';
    // The sizes of a picture past 4 GB do not fit; readers go by width and height.
    put32(2, quint32(std::min<qint64>(header.size() + imageSize, UINT32_MAX)));
    put32(10, quint32(header.size()));
    put32(14, quint32(kInfoHeader));
    put32(18, quint32(width));
    put32(22, quint32(-height)); // negative: top-down
    qToLittleEndian(quint16(1), h + 26); // planes
    qToLittleEndian(quint16(24), h + 28);
    put32(34, quint32(std::min<qint64>(imageSize, UINT32_MAX)));
    put32(38, 3780); // 96 dpi in pixels a metre
    put32(42, 3780);
    return header;
}

/// A file mapped read-only for a picture; unmapped when its last holder goes.
class PagedPicture::Mapping
{
public:
    Mapping(void* start, size_t length)
        : mStart(start)
        , mLength(length)
    { }
    ~Mapping() { ::munmap(mStart, mLength); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    const uchar* bytes() const { return static_cast<const uchar*>(mStart); }

    /// Hands the whole pages within from..to back; the rows beside them stay as they are.
    void release(uintptr_t from, uintptr_t to) const
    {
        const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
        from = std::max((from + page - 1) / page * page, uintptr_t(mStart));
        to = std::min(to / page * page, uintptr_t(mStart) + mLength);
        if (to > from)
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    }

private:
    void* const mStart;
    const size_t mLength;
};

PagedPicture::PagedPicture(QImage image)
    : mImage(std::move(image))
{ }

PagedPicture::PagedPicture(QImage image, std::shared_ptr<const Mapping> mapping)
    : mImage(std::move(image))
    , mMapping(std::move(mapping))
{ }

PagedPicture PagedPicture::mapBitmapFile(const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    struct stat info;
    void* start = MAP_FAILED;
    size_t length = 0;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)
        && info.st_size >= kFileHeader + kInfoHeader) {
        length = size_t(info.st_size);
        start = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, descriptor, 0);
    }
    ::close(descriptor); // the mapping keeps the file, even once it is deleted
    if (start == MAP_FAILED)
        return {};
    auto mapping = std::make_shared<const Mapping>(start, length);
    const uchar* bytes = mapping->bytes();
    const quint32 offset = read32(bytes + 10);
    const quint32 infoSize = read32(bytes + 14);
    const qint32 width = qint32(read32(bytes + 18));
    const qint32 height = qint32(read32(bytes + 22));
    const quint16 bits = qFromLittleEndian<quint16>(bytes + 28);
    const quint32 compression = read32(bytes + 30);
    const qsizetype stride = (qsizetype(width) * bits + 31) / 32 * 4;
    // Only a picture whose every row lies in the file: a shorter file would fault when read.
    const bool plain = bytes[0] == 'B' && bytes[1] == 'M' && infoSize >= kInfoHeader && width > 0
        && height < 0 && height != INT32_MIN && (bits == 24 || bits == 32) && compression == 0
        && qint64(offset) + qint64(stride) * -qint64(height) <= qint64(length);
    if (!plain)
        return {};
    // Every image over the rows, this one and those taken from it, keeps the mapping.
    using Holder = std::shared_ptr<const Mapping>;
    auto* holder = new Holder(mapping);
    const QImage image(
        bytes + offset, width, -height, stride,
        bits == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32,
        [](void* held) { delete static_cast<Holder*>(held); }, holder);
    if (image.isNull()) { // refused before it took the holder
        delete holder;
        return {};
    }
    return PagedPicture(image, std::move(mapping));
}

void PagedPicture::releaseRows(int first, int last) const
{
    if (!mMapping || mImage.isNull())
        return;
    first = std::max(first, 0);
    last = std::min(last, mImage.height() - 1);
    if (first > last)
        return;
    mMapping->release(uintptr_t(mImage.constScanLine(first)),
        uintptr_t(mImage.constScanLine(last)) + uintptr_t(mImage.bytesPerLine()));
}

QImage readWholePicture(QImageReader& reader)
{
    const QSize size = reader.size();
    const int limit = QImageReader::allocationLimit();
    const qint64 needed
        = qint64(std::max(size.width(), 1)) * std::max(size.height(), 1) * 4 / (1024 * 1024) + 1;
    if (limit != 0) // 0: no limit at all
        QImageReader::setAllocationLimit(int(std::clamp<qint64>(needed, limit, INT_MAX)));
    QImage picture = reader.read();
    QImageReader::setAllocationLimit(limit);
    return picture;
}

} // namespace tessivane
