#pragma once

// What the office leaves behind, seen from outside: processes (ours or a given program's), the
// members of a process group, the profile folders and pipe files in the temporary folders.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessivane::test {

struct Child
{
    pid_t pid;
    QString name;
    char state;
};

/// One process as /proc/<pid>/stat tells it.
struct Process
{
    Child child;
    pid_t parent;
    pid_t group;
};

/// Every process of the machine, any state.
inline QList<Process> Processes()
{
    QList<Process> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const int open = line.indexOf('('), close = line.lastIndexOf(')');
        const QStringList fields = line.mid(close + 2).split(' ');
        if (open < 0 || fields.size() < 3)
            continue;
        found.append({{entry.toInt(), line.mid(open + 1, close - open - 1),
                          fields[0].isEmpty() ? '?' : fields[0][0].toLatin1()},
            pid_t(fields[1].toInt()), pid_t(fields[2].toInt())});
    }
    return found;
}

/// The state letter of a process ('Z' a zombie), or 0 when there is none of that id.
inline char ProcessState(pid_t pid)
{
    for (const Process& process : Processes())
        if (process.child.pid == pid)
            return process.child.state;
    return 0;
}

/// The child processes of parent (any state, zombies included).
inline QList<Child> ChildrenOf(pid_t parent)
{
    QList<Child> found;
    for (const Process& process : Processes())
        if (process.parent == parent)
            found.append(process.child);
    return found;
}

/// Our own child processes (any state, zombies included).
inline QList<Child> Children()
{
    return ChildrenOf(getpid());
}

/// Living members of a process group (any parent): what a killed office might leave behind.
/// Zombies do not count: a container's first process may never reap the orphans it gets.
inline int GroupMembers(pid_t group)
{
    int members = 0;
    for (const Process& process : Processes())
        members += process.group == group && process.child.state != 'Z';
    return members;
}

/// The living office processes that parent started (their zombies too, when asked).
inline QList<pid_t> OfficeChildrenOf(pid_t parent, bool zombies = false)
{
    QList<pid_t> found;
    for (const Child& child : ChildrenOf(parent))
        if (child.name.startsWith(QStringLiteral("soffice")) && (zombies || child.state != 'Z'))
            found << child.pid;
    return found;
}

inline QList<pid_t> OfficeChildren(bool zombies = false)
{
    return OfficeChildrenOf(getpid(), zombies);
}

/// The profile folders of the offices that program started, in the temporary folder.
inline QStringList ProfileFoldersOf(qint64 program)
{
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("tessivane-office-%1-*").arg(program)}, QDir::Dirs);
}

inline QStringList ProfileFolders()
{
    return ProfileFoldersOf(getpid());
}

/// What the office leaves in the temporary folders of this process: profiles, pipe files.
inline QStringList Leftovers()
{
    QStringList found = ProfileFolders();
    found += QDir(QStringLiteral("/tmp"))
                 .entryList({QStringLiteral("OSL_PIPE_*_tessivane-%1-*").arg(getpid())},
                     QDir::System | QDir::Hidden);
    return found;
}

/// The office process that was started after the given list was taken.
inline pid_t NewOfficeChild(const QList<pid_t>& before)
{
    for (pid_t pid : OfficeChildren())
        if (!before.contains(pid))
            return pid;
    return -1;
}

/// Whether every thread of the child has stopped (a stop that the parent may wait for). A
/// SIGSTOP stops the process only once one of its threads takes it; until then its other
/// threads still run, and an office can still answer a call made meanwhile.
inline bool HasStopped(pid_t child)
{
    siginfo_t info {};
    return ::waitid(P_PID, id_t(child), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == child;
}

/// Whether a killed office's own scratch folder ("lu<pid>….tmp") stayed in the system's
/// temporary folder instead of going with its private profile.
inline bool ScratchFolderLeft(pid_t office)
{
    return !QDir(QDir::tempPath())
                .entryList({QStringLiteral("lu%1*.tmp").arg(office)}, QDir::Dirs)
                .isEmpty();
}

/// The office's own single-instance pipe file of a profile folder.
inline QString InstancePipeFile(const QString& profile)
{
    const QString url
        = QUrl::fromLocalFile(QDir::temp().filePath(profile)).toString(QUrl::FullyEncoded);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(url.utf16()), url.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("/tmp/OSL_PIPE_%1_SingleOfficeIPC_").arg(getuid());
    for (const char byte : digest)
        name += QString::number(quint8(byte), 16);
    return name;
}

/// The profile folder that was made after the given list was taken.
inline QString NewProfile(const QStringList& before)
{
    for (const QString& folder : ProfileFolders())
        if (!before.contains(folder))
            return folder;
    return QString();
}

} // namespace tessivane::test
