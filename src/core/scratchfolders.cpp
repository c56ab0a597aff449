#include "core/scratchfolders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessivane {

namespace {

bool isOwnFolder(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 07777) == 0700;
}

/// Empties the open folder. Every entry is looked at without following it: a link is
/// removed as a link, and a folder is entered only through a descriptor opened without
/// following links, so nothing outside the folder can be reached.
bool removeContents(int folder)
{
    const int listing = ::dup(folder);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);

    bool removed = true;
    for (const std::string& name : names) {
        struct stat info;
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            removed = false;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            const int inner
                = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner < 0) {
                removed = false;
                continue;
            }
            removed = removeContents(inner) && removed;
            ::close(inner);
            removed = ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 && removed;
        } else {
            removed = ::unlinkat(folder, name.c_str(), 0) == 0 && removed;
        }
    }
    return removed;
}

} // namespace

QString makeScratchFolder(const QString& parent, const QString& prefix)
{
    QByteArray path
        = QFile::encodeName(parent + '/' + prefix + QString::number(::getpid()) + "-XXXXXX");
    // mkdtemp makes it 0700 whatever the umask.
    if (!::mkdtemp(path.data()))
        throw std::runtime_error(QStringLiteral("A working folder could not be created in %1: %2")
                                     .arg(parent, QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
    return QFile::decodeName(path);
}

qint64 scratchFolderPid(const QString& name, const QString& prefix)
{
    static const QRegularExpression pattern(QStringLiteral("^([1-9][0-9]{0,9})-[A-Za-z0-9]{6}$"));
    if (!name.startsWith(prefix))
        return 0;
    const QRegularExpressionMatch match = pattern.match(name.mid(prefix.size()));
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

bool processIsGone(qint64 pid)
{
    if (pid <= 0 || pid == ::getpid() || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (::kill(pid_t(pid), 0) != 0)
        return errno == ESRCH;
    // A zombie's program has ended; only its parent has not collected it (a container's
    // first process may never do so).
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    return nameEnd >= 0 && line.mid(nameEnd + 2, 1) == "Z";
}

bool removeOwnFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path);
    // O_NOFOLLOW: a link under the folder's name is refused, never followed; the checks are
    // made on what was opened, so the folder cannot be swapped between check and removal.
    const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat info;
    const bool ours = ::fstat(folder, &info) == 0 && isOwnFolder(info);
    const bool emptied = ours && removeContents(folder);
    ::close(folder);
    return emptied && ::rmdir(name.constData()) == 0;
}

QStringList removeLeftoverScratchFolders(
    const QString& parent, const QString& prefix, bool includeOwn)
{
    QStringList removed;
    const QDir folder(parent);
    const QStringList names
        = folder.entryList({prefix + '*'}, QDir::AllEntries | QDir::System | QDir::Hidden);
    for (const QString& name : names) {
        const qint64 pid = scratchFolderPid(name, prefix);
        const bool leftover = processIsGone(pid) || (includeOwn && pid == ::getpid());
        if (leftover && removeOwnFolder(folder.filePath(name)))
            removed << folder.filePath(name);
    }
    return removed;
}

} // namespace tessivane
