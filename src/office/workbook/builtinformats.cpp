#include "office/workbook/builtinformats_p.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace tessivane {

namespace {

// The compound document that holds the workbook: its header, sector chains and directory.
constexpr quint32 kLastRealSector = 0xFFFFFFF9;
constexpr int kHeaderFatEntries = 109;
constexpr int kDirectoryEntrySize = 128;
constexpr quint8 kStreamEntry = 2;

// The records of the workbook stream that matter here.
constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kFilePass = 0x002F;
constexpr quint16 kFormat = 0x041E;
constexpr quint16 kXf = 0x00E0;

// Excel's built-in formats that the template uses, by the code LibreOffice writes for them.
const std::map<QString, quint16>& BuiltInFormats()
{
    static const std::map<QString, quint16> formats {
        {QStringLiteral("General"), 0},
        {QStringLiteral("0.00%"), 10},
        {QStringLiteral("m/d/yyyy"), 14},
    };
    return formats;
}

// LibreOffice's tag for a US English format; the built-in formats are the US ones.
const QString kUsTag = QStringLiteral("[$-409]");

[[noreturn]] void Fail(const QString& path, const QString& why)
{
    throw std::runtime_error(QStringLiteral("The number formats of %1 cannot be restored: %2")
                                 .arg(path, why)
                                 .toStdString());
}

class Reader
{
public:
    Reader(const QByteArray& data, const QString& path)
        : mData(data)
        , mPath(path)
    { }

    quint16 u16(qint64 at) const
    {
        need(at, 2);
        return quint16(quint8(mData[at]) | quint8(mData[at + 1]) << 8);
    }
    quint32 u32(qint64 at) const { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; }
    void need(qint64 at, qint64 count) const
    {
        if (at < 0 || at + count > mData.size())
            Fail(mPath, QStringLiteral("the file is cut short."));
    }

    /// Little-endian UTF-16 text of count characters, wherever it lies.
    QString utf16(qint64 at, int count) const
    {
        QString text;
        for (int i = 0; i < count; ++i)
            text += QChar(u16(at + 2 * i));
        return text;
    }

private:
    const QByteArray& mData;
    const QString& mPath;
};

/// The workbook stream of a compound document, and where each of its bytes lies in the file.
struct WorkbookStream
{
    QByteArray bytes;
    std::vector<quint32> sectors;
    qint64 sectorSize = 0;

    qint64 offsetOf(qint64 at) const
    {
        return (qint64(sectors[size_t(at / sectorSize)]) + 1) * sectorSize + at % sectorSize;
    }
};

/// The "Workbook" stream of the compound document in data; none when it lives in the mini
/// stream (no workbook of the template is as small).
std::optional<WorkbookStream> readWorkbookStream(const QByteArray& data, const QString& path)
{
    const Reader document(data, path);
    if (!data.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")))
        Fail(path, QStringLiteral("it is not an Excel 97-2003 workbook."));
    const int shift = document.u16(30);
    if (shift != 9 && shift != 12)
        Fail(path, QStringLiteral("its sector size is unknown."));
    const qint64 sectorSize = qint64(1) << shift;
    const auto sectorAt = [&](quint32 sector) { return (qint64(sector) + 1) * sectorSize; };

    // The allocation table: its sectors are listed in the header, then in a chain of its own.
    std::vector<quint32> fatSectors;
    const quint32 fatCount = document.u32(44);
    for (int i = 0; i < kHeaderFatEntries && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(document.u32(76 + 4 * i));
    for (quint32 more = document.u32(68), guard = 0;
         more <= kLastRealSector && fatSectors.size() < fatCount && guard++ < fatCount;
         more = document.u32(sectorAt(more) + sectorSize - 4))
        for (qint64 i = 0; i < sectorSize / 4 - 1 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(document.u32(sectorAt(more) + 4 * i));
    std::vector<quint32> fat;
    for (const quint32 sector : fatSectors)
        for (qint64 i = 0; i < sectorSize / 4; ++i)
            fat.push_back(document.u32(sectorAt(sector) + 4 * i));
    const auto chain = [&](quint32 start) {
        std::vector<quint32> sectors;
        for (quint32 sector = start; sector <= kLastRealSector; sector = fat[sector]) {
            if (sector >= fat.size() || sectors.size() >= fat.size())
                Fail(path, QStringLiteral("its sector chains are broken."));
            sectors.push_back(sector);
        }
        return sectors;
    };

    // The directory entry of the "Workbook" stream.
    quint32 streamStart = 0;
    qint64 streamSize = -1;
    for (const quint32 sector : chain(document.u32(48)))
        for (qint64 entry = sectorAt(sector); entry < sectorAt(sector) + sectorSize;
             entry += kDirectoryEntrySize) {
            document.need(entry, kDirectoryEntrySize);
            const int nameBytes = std::min<int>(document.u16(entry + 64), 64);
            const QString name = document.utf16(entry, std::max(nameBytes / 2 - 1, 0));
            if (quint8(data[entry + 66]) == kStreamEntry
                && name.compare(QStringLiteral("Workbook"), Qt::CaseInsensitive) == 0) {
                streamStart = document.u32(entry + 116);
                streamSize = document.u32(entry + 120);
            }
        }
    if (streamSize < 0)
        Fail(path, QStringLiteral("it holds no workbook stream."));
    if (streamSize < document.u32(56))
        return std::nullopt;

    WorkbookStream stream {QByteArray(), chain(streamStart), sectorSize};
    if (qint64(stream.sectors.size()) * sectorSize < streamSize)
        Fail(path, QStringLiteral("its workbook stream is cut short."));
    for (const quint32 sector : stream.sectors) {
        document.need(sectorAt(sector), sectorSize);
        stream.bytes.append(data.constData() + sectorAt(sector), sectorSize);
    }
    stream.bytes.truncate(streamSize);
    return stream;
}

/// The workbook's global records, up to their end-of-file record: the formats and the cell
/// formats (XF) that point at them.
struct FormatRecords
{
    std::map<quint16, quint16> builtIn; // own number -> built-in number
    std::vector<qint64> cellFormats; // where each XF record's format number is
};

/// The formats of the stream that are built-in ones under a number of their own; none for an
/// encrypted workbook (LibreOffice never writes one of these unasked).
std::optional<FormatRecords> scanFormatRecords(const QByteArray& stream, const QString& path)
{
    const Reader records(stream, path);
    FormatRecords found;
    if (records.u16(0) != kBof)
        Fail(path, QStringLiteral("its workbook stream does not start as a workbook."));
    for (qint64 at = 0; at + 4 <= stream.size();) {
        const quint16 id = records.u16(at);
        const quint16 length = records.u16(at + 2);
        const qint64 body = at + 4;
        records.need(body, length);
        at = body + length;
        if (id == kEof)
            break;
        if (id == kFilePass)
            return std::nullopt;
        if (id == kXf && length >= 4) {
            found.cellFormats.push_back(body + 2);
        } else if (id == kFormat && length >= 5) {
            const quint16 number = records.u16(body);
            const int count = records.u16(body + 2);
            const quint8 flags = quint8(stream[body + 4]);
            if (flags & ~0x01)
                continue; // rich text or extended strings are never format codes of ours
            const bool wide = flags & 0x01;
            records.need(body + 5, qint64(count) * (wide ? 2 : 1));
            QString code = wide ? records.utf16(body + 5, count)
                                : QString::fromLatin1(stream.constData() + body + 5, count);
            if (code.startsWith(kUsTag))
                code = code.mid(kUsTag.size());
            if (const auto known = BuiltInFormats().find(code); known != BuiltInFormats().end())
                found.builtIn[number] = known->second;
        }
    }
    return found;
}

/// Points the cell formats at the built-in numbers, in the file's bytes; false when none
/// changed.
bool patchCellFormats(QByteArray& data, const WorkbookStream& stream, const FormatRecords& formats,
    const QString& path)
{
    const Reader records(stream.bytes, path);
    bool changed = false;
    for (const qint64 at : formats.cellFormats) {
        const auto found = formats.builtIn.find(records.u16(at));
        if (found == formats.builtIn.end())
            continue;
        data[stream.offsetOf(at)] = char(found->second & 0xFF);
        data[stream.offsetOf(at + 1)] = char(found->second >> 8);
        changed = true;
    }
    return changed;
}

} // namespace

void restoreBuiltInFormats(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(path, file.errorString());
    QByteArray data = file.readAll();
    file.close();
    const std::optional<WorkbookStream> stream = readWorkbookStream(data, path);
    if (!stream)
        return;
    const std::optional<FormatRecords> formats = scanFormatRecords(stream->bytes, path);
    if (!formats || !patchCellFormats(data, *stream, *formats, path))
        return;
    QSaveFile out(path);
    out.setDirectWriteFallback(true); // a folder that takes no new file still takes this one
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        Fail(path, out.errorString());
}

} // namespace tessivane
