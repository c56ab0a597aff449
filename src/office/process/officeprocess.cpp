#include "office/process/officeprocess_p.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tessivane {

namespace {

// close_range with CLOSE_RANGE_CLOEXEC: every inherited descriptor closes at exec, the
// error pipe included, without walking /proc between fork and exec.
void CloseOnExecFrom(int first)
{
    if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    for (int fd = first; fd < 4096; ++fd)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// A descriptor that becomes readable when the process exits (Linux 5.3); -1 where the
// kernel has none, and the wait then looks every few milliseconds.
int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    static_cast<void>(pid);
    return -1;
#endif
}

/// What execve gets, prepared before fork: only async-signal-safe calls may follow it in a
/// threaded program. The client's UNO bootstrap variable is not the office's business.
class ExecArguments
{
public:
    ExecArguments(const QString& program, const QStringList& arguments, const QString& tempFolder,
        const QString& allocator)
    {
        mStorage.push_back(QFile::encodeName(program));
        for (const QString& argument : arguments)
            mStorage.push_back(argument.toLocal8Bit());
        for (QByteArray& item : mStorage)
            mArgv.push_back(item.data());
        mArgv.push_back(nullptr);
        for (char** entry = environ; entry && *entry; ++entry)
            if (std::strncmp(*entry, "URE_BOOTSTRAP=", 14) != 0
                && (tempFolder.isEmpty() || std::strncmp(*entry, "TMPDIR=", 7) != 0))
                mEnvp.push_back(*entry);
        if (!tempFolder.isEmpty()) {
            mTempVariable = "TMPDIR=" + QFile::encodeName(tempFolder);
            mEnvp.push_back(mTempVariable.data());
        }
        // Each band of a sheet's picture passes through several buffers of megabytes in the
        // office, and its drawing makes and frees small objects by the million: the system's
        // allocator spends a fifth of the drawing's time on them, the given one far less.
        // Without it, the system's keeps the buffers instead of handing each one back and
        // faulting it in again for the next band (the office serves one use and ends). What
        // the user preloads or tunes is left alone.
        if (!allocator.isEmpty() && !std::getenv("LD_PRELOAD")
            && access(QFile::encodeName(allocator).constData(), R_OK) == 0) {
            mPreload = "LD_PRELOAD=" + QFile::encodeName(allocator);
            mEnvp.push_back(mPreload.data());
        } else if (!std::getenv("GLIBC_TUNABLES")) {
            mEnvp.push_back(mTunables.data());
        }
        mEnvp.push_back(nullptr);
    }
    ExecArguments(const ExecArguments&) = delete;
    ExecArguments& operator=(const ExecArguments&) = delete;

    char* const* argv() const { return mArgv.data(); }
    char* const* envp() const { return mEnvp.data(); }

private:
    std::vector<QByteArray> mStorage;
    std::vector<char*> mArgv;
    QByteArray mTempVariable;
    QByteArray mPreload;
    QByteArray mTunables {"GLIBC_TUNABLES=glibc.malloc.trim_threshold=134217728"
                          ":glibc.malloc.mmap_threshold=33554432"};
    std::vector<char*> mEnvp;
};

/// The child's side of the fork: its own process group, killed with the parent, default
/// signals, no inherited descriptors, then exec. A failed exec writes errno into the pipe.
[[noreturn]] void execChild(const ExecArguments& exec, int devNull, int errorPipe, pid_t parent)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127); // the parent died before the signal was armed
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        signal(sig, SIG_DFL);
    if (devNull >= 0) {
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
    }
    CloseOnExecFrom(3);
    execve(exec.argv()[0], exec.argv(), exec.envp());
    const int error = errno;
    ssize_t ignored = write(errorPipe, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

/// The child's exec error, 0 when the exec succeeded: the pipe closes at a successful exec; a
/// failed one writes errno into it first.
int execError(int errorPipe)
{
    int childError = 0;
    ssize_t got = 0;
    pollfd waitFor {errorPipe, POLLIN, 0};
    while (poll(&waitFor, 1, 10000) < 0 && errno == EINTR) { }
    do
        got = read(errorPipe, &childError, sizeof childError);
    while (got < 0 && errno == EINTR);
    close(errorPipe);
    return got == static_cast<ssize_t>(sizeof childError) ? childError : 0;
}

} // namespace

OfficeProcess::~OfficeProcess()
{
    kill();
}

void OfficeProcess::start(const QString& program, const QStringList& arguments,
    const QString& tempFolder, const QString& allocator)
{
    std::lock_guard lock(mMutex);
    if (mPid > 0 && !mReaped)
        throw std::logic_error("OfficeProcess started twice");

    // Everything the child needs is prepared before fork.
    const ExecArguments exec(program, arguments, tempFolder, allocator);
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("Cannot start LibreOffice: ") + std::strerror(errno));
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0)
        execChild(exec, devNull, errorPipe[1], parent);
    const int forkError = errno;
    close(errorPipe[1]);
    if (devNull >= 0)
        close(devNull);
    if (pid < 0) {
        close(errorPipe[0]);
        throw std::runtime_error(
            std::string("Cannot start LibreOffice: ") + std::strerror(forkError));
    }
    setpgid(pid, pid); // both sides set it, so that no signal to the group can miss
    const int childError = execError(errorPipe[0]);

    mPid = pid;
    mExited = false;
    mReaped = false;
    mExitCode = 0;
    closePidFdLocked();
    mPidFd = openPidFd(pid);
    if (childError != 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        mExited = mReaped = true;
        closePidFdLocked();
        mExitCode = 127;
        throw std::runtime_error(
            QStringLiteral("LibreOffice cannot be started: %1: %2.")
                .arg(program, QString::fromLocal8Bit(std::strerror(childError)))
                .toStdString());
    }
}

bool OfficeProcess::pollLocked()
{
    if (mPid <= 0 || mExited)
        return false;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    // WNOWAIT leaves the zombie in place, so the group id cannot be reused before the
    // stragglers of the group have been killed.
    if (waitid(P_PID, static_cast<id_t>(mPid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == mPid) {
        mExited = true;
        mExitCode = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return false;
    }
    return true;
}

bool OfficeProcess::running()
{
    std::lock_guard lock(mMutex);
    return pollLocked();
}

std::optional<int> OfficeProcess::exitCode()
{
    std::lock_guard lock(mMutex);
    pollLocked();
    if (mPid > 0 && mExited)
        return mExitCode;
    return std::nullopt;
}

bool OfficeProcess::waitForExit(std::chrono::milliseconds limit)
{
    using std::chrono::milliseconds;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int pidFd = -1;
    {
        std::lock_guard lock(mMutex);
        if (!pollLocked())
            return true;
        // A duplicate: a kill() on another thread may close the original meanwhile.
        if (mPidFd >= 0)
            pidFd = fcntl(mPidFd, F_DUPFD_CLOEXEC, 0);
    }
    for (;;) {
        if (!running())
            break;
        const auto left
            = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= milliseconds(0))
            break;
        if (pidFd >= 0) {
            // The exit is an event on the descriptor: no looking again and again.
            pollfd exited {pidFd, POLLIN, 0};
            if (poll(&exited, 1, int(left.count()) + 1) < 0 && errno != EINTR)
                std::this_thread::sleep_for(std::min(left, milliseconds(5)));
        } else {
            std::this_thread::sleep_for(std::min(left, milliseconds(5)));
        }
    }
    if (pidFd >= 0)
        close(pidFd);
    return !running();
}

void OfficeProcess::closePidFdLocked()
{
    if (mPidFd >= 0)
        close(mPidFd);
    mPidFd = -1;
}

void OfficeProcess::signalGroup(int sig)
{
    std::lock_guard lock(mMutex);
    if (mPid > 0 && !mReaped)
        ::kill(-mPid, sig);
}

void OfficeProcess::kill()
{
    std::lock_guard lock(mMutex);
    if (mPid <= 0 || mReaped)
        return;
    ::kill(-mPid, SIGKILL);
    int status = 0;
    while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) { }
    if (!mExited) {
        mExited = true;
        mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    mReaped = true;
    closePidFdLocked();
}

} // namespace tessivane
