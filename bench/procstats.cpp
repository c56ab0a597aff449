#include "procstats.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <chrono>
#include <unistd.h>

namespace benchstats {

namespace {

/// The "Name:   value kB" line of /proc/<pid>/status, in megabytes; 0 when absent.
double statusMegabytes(const QString& pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

struct ProcessEntry
{
    qint64 parent = 0;
    QByteArray name;
};

/// Parent and command name of every process, from /proc/<pid>/stat ("pid (comm) state ppid").
QHash<qint64, ProcessEntry> processTable()
{
    QHash<qint64, ProcessEntry> table;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        bool number = false;
        const qint64 id = pid.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('(');
        const qsizetype close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        table.insert(id, {rest.value(1).toLongLong(), text.mid(open + 1, close - open - 1)});
    }
    return table;
}

} // namespace

double OwnPeakMegabytes()
{
    return statusMegabytes(QStringLiteral("self"), "VmHWM");
}

double ResidentMegabytes(qint64 pid)
{
    return statusMegabytes(QString::number(pid), "VmRSS");
}

namespace {

/// The offices started by this process (or by a process it started).
QList<qint64> officePids()
{
    const qint64 self = getpid();
    const QHash<qint64, ProcessEntry> table = processTable();
    QList<qint64> offices;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it->name != "soffice.bin")
            continue;
        qint64 up = it->parent;
        for (int depth = 0; up > 1 && up != self && depth < 32; ++depth)
            up = table.value(up).parent;
        if (up == self)
            offices.append(it.key());
    }
    return offices;
}

double residentSum(const QList<qint64>& pids)
{
    double sum = 0;
    for (const qint64 pid : pids)
        sum += ResidentMegabytes(pid);
    return sum;
}

} // namespace

double OfficeMegabytes(int* count)
{
    const QList<qint64> offices = officePids();
    if (count)
        *count = int(offices.size());
    return residentSum(offices);
}

OfficeSampler::OfficeSampler()
    : mThread([this] {
        // The process table is read every tenth sample only: reading it every time took a
        // few per cent of a processor from the runs being measured.
        QList<qint64> offices;
        for (int tick = 0; !mStop.load(); ++tick) {
            if (tick % 10 == 0)
                offices = officePids();
            const double now = residentSum(offices);
            if (now > mPeak.load())
                mPeak.store(now);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    })
{ }

OfficeSampler::~OfficeSampler()
{
    mStop.store(true);
    mThread.join();
}

} // namespace benchstats
