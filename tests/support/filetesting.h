#pragma once

// Whole files in and out, for tests that look at what was written.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <csignal>

#include <sys/resource.h>

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

/// Runs code while no file may grow past `bytes`: a write fails part way, as on a disk that
/// fills (the signal such a write raises is ignored).
template <typename Code> void WithFileSizeLimit(rlim_t bytes, Code&& code)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
    code();
    setrlimit(RLIMIT_FSIZE, &saved);
}

} // namespace tessivane::test
