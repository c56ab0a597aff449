#include "core/fileprocs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
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

QImage GetClipboardPicture(const PictureClipboard& clipboard, int /*format: every form*/)
{
    // No other program can hold this clipboard, so one read is as good as a thousand.
    return clipboard.image();
}

QString TempFolder()
{
    const QByteArray temp = qgetenv("TEMP");
    if (!temp.isEmpty())
        return QString::fromLocal8Bit(temp);
    return QDir::tempPath();
}

void WriteFileSafely(const QString& path, const QByteArray& bytes)
{
    QSaveFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        // Qt leaves some failed writes (a full disk) as "Unknown error".
        const QString reason = out.errorString() == QLatin1String("Unknown error") && errno != 0
            ? QString::fromLocal8Bit(std::strerror(errno))
            : out.errorString();
        throw std::runtime_error(
            QStringLiteral("%1 cannot be written: %2").arg(path, reason).toStdString());
    }
}

} // namespace tessivane
