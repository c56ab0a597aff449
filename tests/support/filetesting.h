#pragma once

// Whole files in and out, for tests that look at what was written.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tessivane::test {

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace tessivane::test
