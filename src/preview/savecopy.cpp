#include "preview/savecopy.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessivane {

namespace {

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

/// Qt leaves some failed writes (a full disk, a file-size limit) as "Unknown error"; the
/// system's own reason reads better.
QString writeFailure(const QSaveFile& out, int systemError)
{
    if (out.error() != QFileDevice::NoError && out.errorString() != QLatin1String("Unknown error"))
        return out.errorString();
    if (systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    return QStringLiteral("the copy could not be completed");
}

} // namespace

void copyFileSafely(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("The workbook %1 cannot be read: %2").arg(source, in.errorString()));

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("%1 cannot be written: %2").arg(destination, out.errorString()));

    // On any failure below, QSaveFile removes its temporary file and leaves the destination.
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 read = in.read(buffer.data(), buffer.size());
        if (read < 0)
            fail(
                QStringLiteral("The workbook %1 cannot be read: %2").arg(source, in.errorString()));
        if (read == 0)
            break;
        errno = 0;
        if (out.write(buffer.constData(), read) != read)
            fail(QStringLiteral("%1 cannot be written: %2")
                     .arg(destination, writeFailure(out, errno)));
    }
    errno = 0;
    if (!out.commit())
        fail(QStringLiteral("%1 cannot be written: %2").arg(destination, writeFailure(out, errno)));
}

} // namespace tessivane
