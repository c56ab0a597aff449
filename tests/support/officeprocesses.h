#pragma once

// What the office leaves behind, seen from outside: processes (ours or a given program's), the
// members of a process group, the profile folders and pipe files in the temporary folders.

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <unistd.h>

namespace tessivane::test {

struct Child
{
    pid_t pid;
    QString name;
    char state;
};

/// The child processes of parent (any state, zombies included).
inline QList<Child> ChildrenOf(pid_t parent)
{
    QList<Child> found;
    const QString wanted = QString::number(parent);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const int open = line.indexOf('('), close = line.lastIndexOf(')');
        const QStringList fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1] == wanted)
            found.append({entry.toInt(), line.mid(open + 1, close - open - 1),
                fields[0].isEmpty() ? '?' : fields[0][0].toLatin1()});
    }
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
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == group && fields[0] != QStringLiteral("Z"))
            ++members;
    }
    return members;
}

/// The living office processes that parent started.
inline QList<pid_t> OfficeChildrenOf(pid_t parent)
{
    QList<pid_t> found;
    for (const Child& child : ChildrenOf(parent))
        if (child.name.startsWith(QStringLiteral("soffice")) && child.state != 'Z')
            found << child.pid;
    return found;
}

inline QList<pid_t> OfficeChildren()
{
    return OfficeChildrenOf(getpid());
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

} // namespace tessivane::test
