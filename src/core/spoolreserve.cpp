#include "core/spoolreserve.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace tessivane {

namespace {

// Left free for what others write meanwhile: the office saves the workbook beside it.
constexpr qint64 kRoomToLeave = 256 * 1024 * 1024;

} // namespace

SpoolReserve::SpoolReserve(const QString& fileTemplate, qint64 bytes)
{
    if (bytes <= 0)
        return;
    const QStorageInfo disk(QFileInfo(fileTemplate).absolutePath());
    if (!disk.isValid() || disk.bytesAvailable() < bytes + kRoomToLeave)
        return;
    auto file = std::make_unique<QTemporaryFile>(fileTemplate);
    // Named at once (Qt would make it without a name until asked), so that the folder shows
    // what it holds.
    if (!file->open() || file->fileName().isEmpty())
        return;
    mFile = std::move(file);
    // Written by position, so that the file's own position stays at its start.
    mFiller = std::thread([this, fd = mFile->handle(), bytes] {
        const std::vector<char> zeros(kSpoolWriteBytes, '\0');
        for (qint64 at = 0; at < bytes && !mStop.load(std::memory_order_relaxed);
             at += kSpoolWriteBytes) {
            const size_t part = size_t(std::min(kSpoolWriteBytes, bytes - at));
            if (::pwrite(fd, zeros.data(), part, at) != qint64(part)) {
                // A disk that filled meanwhile gets its room back.
                [[maybe_unused]] const int cut = ::ftruncate(fd, 0);
                return;
            }
        }
    });
}

SpoolReserve::~SpoolReserve()
{
    stop();
}

void SpoolReserve::stop()
{
    mStop = true;
    if (mFiller.joinable())
        mFiller.join();
}

std::unique_ptr<QTemporaryFile> SpoolReserve::take()
{
    stop();
    if (mFile && mFile->size() == 0)
        mFile.reset();
    return std::move(mFile);
}

} // namespace tessivane
