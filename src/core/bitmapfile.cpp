#include "core/bitmapfile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessivane {

namespace {

constexpr qsizetype kFileHeader = 14;
constexpr qsizetype kInfoHeader = 40;

/// The files mapped for pictures that still live, by the address where each starts: only
/// their pages may be handed back, never those of a picture in ordinary memory.
struct Mappings
{
    std::mutex mutex;
    std::map<const uchar*, size_t> live;
};

Mappings& TheMappings()
{
    static Mappings mappings;
    return mappings;
}

/// The mapping that holds address, as its start and length; null start when none does.
std::pair<const uchar*, size_t> MappingOf(const uchar* address)
{
    Mappings& mappings = TheMappings();
    std::lock_guard lock(mappings.mutex);
    auto found = mappings.live.upper_bound(address);
    if (found == mappings.live.begin())
        return {nullptr, 0};
    --found;
    if (address >= found->first + found->second)
        return {nullptr, 0};
    return *found;
}

void Unmap(void* start)
{
    size_t length = 0;
    {
        Mappings& mappings = TheMappings();
        std::lock_guard lock(mappings.mutex);
        const auto found = mappings.live.find(static_cast<const uchar*>(start));
        if (found == mappings.live.end())
            return;
        length = found->second;
        mappings.live.erase(found);
    }
    ::munmap(start, length);
}

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

QImage mapBitmapFile(const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return QImage();
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
        return QImage();
    const auto* bytes = static_cast<const uchar*>(start);
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
    if (!plain) {
        ::munmap(start, length);
        return QImage();
    }
    {
        Mappings& mappings = TheMappings();
        std::lock_guard lock(mappings.mutex);
        mappings.live[bytes] = length;
    }
    return QImage(bytes + offset, width, -height, stride,
        bits == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32, Unmap, start);
}

void releaseMappedRows(const QImage& picture, int first, int last)
{
    if (picture.isNull() || first > last)
        return;
    const auto [start, length] = MappingOf(picture.constBits());
    if (!start)
        return;
    first = std::max(first, 0);
    last = std::min(last, picture.height() - 1);
    if (first > last)
        return;
    // Whole pages only: the rows beside them stay as they are.
    const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
    uintptr_t from = uintptr_t(picture.constScanLine(first));
    uintptr_t to = uintptr_t(picture.constScanLine(last)) + uintptr_t(picture.bytesPerLine());
    from = std::max((from + page - 1) / page * page, uintptr_t(start));
    to = std::min(to / page * page, uintptr_t(start + length));
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

bool isMappedPicture(const QImage& picture)
{
    return !picture.isNull() && MappingOf(picture.constBits()).first != nullptr;
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
