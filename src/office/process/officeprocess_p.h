#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <optional>

namespace tessivane {

/// One supervised child program in a process group of its own, tied to this process by a
/// parent-death signal so that it cannot outlive it. Used for soffice.bin; knows nothing of
/// UNO. Thread-safe: the watchdog polls it while the caller waits on it.
class OfficeProcess
{
public:
    OfficeProcess() = default;
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;
    /// Kills what is still running and reaps it.
    ~OfficeProcess();

    /// Starts program with arguments (stdin, stdout and stderr on /dev/null). A program that
    /// cannot be executed throws at once with the system's reason. The calling thread must
    /// live as long as the child should: its end sends the child the parent-death signal.
    /// tempFolder, when given, becomes the child's TMPDIR, so that what it leaves there goes
    /// with that folder even when the child is killed. allocator, when given and there, is
    /// preloaded into the child unless LD_PRELOAD is set; otherwise the system's allocator
    /// is tuned to keep large buffers, unless GLIBC_TUNABLES is set.
    void start(const QString& program, const QStringList& arguments,
        const QString& tempFolder = QString(), const QString& allocator = QString());

    /// True from a successful start until the child has exited.
    bool running();

    /// The exit code once the child has exited (128 + signal number when killed by one).
    std::optional<int> exitCode();

    /// Waits up to limit for the child to exit, woken by the exit itself; true when it has.
    bool waitForExit(std::chrono::milliseconds limit);

    /// Sends sig to the whole process group while the group's leader is not yet reaped.
    void signalGroup(int sig);

    /// Ends whatever still runs: SIGKILL to the group, then reaps the leader.
    void kill();

private:
    bool pollLocked();
    void closePidFdLocked();

    std::mutex mMutex;
    pid_t mPid = -1;
    bool mExited = false; // observed, but not reaped: the group id stays reserved
    bool mReaped = false;
    int mExitCode = 0;
    int mPidFd = -1; // readable once the child has exited
};

} // namespace tessivane
