#include "core/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace tessivane {

namespace {

constexpr qint64 kNearlyFullBytes = 1024 * 1024;
constexpr qint64 kCopyPartBytes = 1024 * 1024;

QString folderOf(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

[[noreturn]] void fail(const QString& sentence)
{
    throw std::runtime_error(sentence.toStdString());
}

} // namespace

bool diskIsFull(const QString& path)
{
    QFileInfo info(path);
    const QString existing = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    const QStorageInfo storage(existing);
    return storage.isValid() && storage.isReady() && storage.bytesAvailable() < kNearlyFullBytes;
}

QString fullDiskCause(const QString& folder)
{
    if (!diskIsFull(folder))
        return {};
    return QStringLiteral("The disk holding %1 is full.").arg(QDir::toNativeSeparators(folder));
}

QString fullDiskSentence(const QString& folder, const QString& file)
{
    return QStringLiteral("The disk holding %1 is full: %2 was not %3.")
        .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(file),
            QFileInfo::exists(file) ? QStringLiteral("changed") : QStringLiteral("written"));
}

SafeFileWriter::SafeFileWriter(const QString& path)
    : mPath(path)
    , mExisted(QFileInfo::exists(path))
    , mFile(path)
{
    errno = 0;
    if (!mFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(errno);
}

void SafeFileWriter::write(QByteArrayView bytes)
{
    errno = 0;
    if (mFile.write(bytes.data(), bytes.size()) != bytes.size())
        fail(errno);
}

void SafeFileWriter::commit()
{
    // The rename must not reach the disk before the data does: after a crash the file would
    // be there but empty.
    errno = 0;
    if (::fsync(mFile.handle()) != 0)
        fail(errno);
    errno = 0;
    if (!mFile.commit())
        fail(errno);
}

void SafeFileWriter::fail(int systemError)
{
    const QString folder = folderOf(mPath);
    // Qt leaves some failed writes as "Unknown error"; the system's own reason reads better.
    QString reason = mFile.errorString();
    if ((mFile.error() == QFileDevice::NoError || reason == QLatin1String("Unknown error"))
        && systemError != 0)
        reason = QString::fromLocal8Bit(std::strerror(systemError));
    mFile.cancelWriting(); // the temporary goes with this object, the file stays as it was
    if (systemError == ENOSPC || systemError == EDQUOT || diskIsFull(folder))
        tessivane::fail(fullDiskSentence(folder, mPath));
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        reason = QStringLiteral("the file could not be completed");
    tessivane::fail(
        QStringLiteral("%1 cannot be written: %2.%3")
            .arg(mPath, reason, mExisted ? QStringLiteral(" It was not changed.") : QString()));
}

void writeFileSafely(const QString& path, const QByteArray& bytes)
{
    SafeFileWriter out(path);
    out.write(bytes);
    out.commit();
}

void copyFileSafely(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("The workbook %1 cannot be read: %2").arg(source, in.errorString()));
    SafeFileWriter out(destination);
    QByteArray buffer(kCopyPartBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0)
            fail(
                QStringLiteral("The workbook %1 cannot be read: %2").arg(source, in.errorString()));
        if (read == 0)
            break;
        out.write(QByteArrayView(buffer.constData(), read));
    }
    out.commit();
}

} // namespace tessivane
