#include "core/fileprocs.h"

#include "core/bitmapfile.h"
#include "core/spoolreserve.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessivane {

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile() && info.lastModified().isValid();
}

void KillFile(const QString& path) noexcept
{
    try {
        QCoreApplication::processEvents();
        if (path.isEmpty() || QFile::remove(path))
            return;
        DeleteWithFileSystemObject(path);
    } catch (...) {
        // The caller learns nothing of the outcome.
    }
}

void DeleteWithFileSystemObject(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        throw std::runtime_error(QStringLiteral("File not found: %1").arg(path).toStdString());
    // Made writable through a descriptor opened without following links: a link is removed
    // as a link, and whatever it points to is never touched.
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0) {
        struct stat info;
        if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode))
            ::fchmod(descriptor, info.st_mode | S_IWUSR);
        ::close(descriptor);
    }
    if (!file.remove())
        throw std::runtime_error(QStringLiteral("Permission denied: %1 (%2)")
                                     .arg(path, file.errorString())
                                     .toStdString());
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        throw std::runtime_error(QStringLiteral("Cannot open %1 for writing: %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
    file.close();
}

PictureClipboard::PictureClipboard(QString spoolFolder, SpoolReserve* reserve)
    : mSpoolFolder(spoolFolder.isEmpty() ? tempFolder() : std::move(spoolFolder))
    , mReserve(reserve)
{ }

std::unique_ptr<QTemporaryFile> PictureClipboard::takeSpoolFile()
{
    return mReserve ? mReserve->take() : nullptr;
}

PictureClipboard::~PictureClipboard()
{
    dropImageFile();
}

void PictureClipboard::setImage(const QImage& picture)
{
    dropImageFile();
    mPicture = picture;
}

void PictureClipboard::setImageFile(const QString& path)
{
    dropImageFile();
    mPicture = QImage();
    mImageFile = path;
}

void PictureClipboard::moveImageFileTo(const QString& target)
{
    if (mImageFile.isEmpty())
        throw std::runtime_error("There is no picture file on the clipboard.");
    // Within one folder a rename replaces the target at once; elsewhere the file is copied.
    if (::rename(QFile::encodeName(mImageFile).constData(), QFile::encodeName(target).constData())
        != 0) {
        QFile::remove(target);
        if (!QFile::copy(mImageFile, target))
            throw std::runtime_error(
                QStringLiteral("The picture cannot be written to %1.").arg(target).toStdString());
        QFile::remove(mImageFile);
    }
    mImageFile.clear();
}

void PictureClipboard::dropImageFile()
{
    if (!mImageFile.isEmpty())
        QFile::remove(mImageFile);
    mImageFile.clear();
}

QImage GetClipboardPicture(const PictureClipboard& clipboard, int /*format: every form*/)
{
    // No other program can hold this clipboard, so one read is as good as a thousand.
    if (!clipboard.imageFile().isEmpty())
        return PagedPicture::mapBitmapFile(clipboard.imageFile()).image();
    return clipboard.image();
}

void checkFreeSpace(const QString& folder, qint64 bytes, const QString& what)
{
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return; // nothing known: the write itself tells
    const qint64 free = storage.bytesAvailable();
    if (free >= bytes)
        return;
    constexpr double kMegabyte = 1024.0 * 1024.0;
    throw std::runtime_error(
        QStringLiteral("There is not enough free space in %1 for %2: it needs %3 MB, and %4 MB "
                       "are free. Make room there, or set TEMP to a folder with more space, and "
                       "try again.")
            .arg(QDir::toNativeSeparators(folder), what)
            .arg(std::ceil(double(bytes) / kMegabyte), 0, 'f', 0)
            .arg(std::floor(double(free) / kMegabyte), 0, 'f', 0)
            .toStdString());
}

QString tempFolder()
{
    const QByteArray temp = qgetenv("TEMP");
    if (!temp.isEmpty())
        return QString::fromLocal8Bit(temp);
    return QDir::tempPath();
}

} // namespace tessivane
