#include "app/shutdownsignals.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tessivane {

namespace {

constexpr const char* kWebSchemes[] = {"http", "https"};

sigset_t ShutdownSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

/// Reaps a started program when it ends, without waiting for it here.
void ReapWhenEnded(pid_t pid, QObject* owner)
{
#ifdef SYS_pidfd_open
    const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (exited >= 0) {
        auto* notifier = new QSocketNotifier(exited, QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QObject::destroyed, [exited] { ::close(exited); });
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, pid] {
            ::waitpid(pid, nullptr, WNOHANG);
            notifier->setEnabled(false);
            notifier->deleteLater();
        });
        return;
    }
#endif
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

/// Kills the process group of every child of this program (an office leads its own group).
void KillChildGroups()
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(::getpid());
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks + QLatin1Char('/') + task + QStringLiteral("/children"));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& word : children.readAll().split(' ')) {
            const pid_t child = word.trimmed().toInt();
            if (child <= 0)
                continue;
            ::kill(::getpgid(child) == child ? -child : child, SIGKILL);
        }
    }
}

} // namespace

SignalStop::SignalStop(std::atomic<int>& stop)
    : mStop(stop)
    , mThread([this] {
        const sigset_t set = ShutdownSignalSet();
        const timespec wait {0, 50 * 1000 * 1000};
        while (!mEnding.load()) {
            const int signal = ::sigtimedwait(&set, nullptr, &wait);
            if (signal > 0 && mStop.load() == 0)
                mStop.store(signal);
            if (mStop.load() != 0)
                KillChildGroups();
        }
    })
{ }

SignalStop::~SignalStop()
{
    mEnding.store(true);
    mThread.join();
}

void blockShutdownSignals()
{
    const sigset_t set = ShutdownSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void unblockShutdownSignals()
{
    const sigset_t set = ShutdownSignalSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

ShutdownSignals::ShutdownSignals(std::function<void()> handler, QObject* parent)
    : QObject(parent)
    , mHandler(std::move(handler))
{
    const sigset_t set = ShutdownSignalSet();
    mDescriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (mDescriptor < 0)
        return;
    mNotifier = new QSocketNotifier(mDescriptor, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &ShutdownSignals::takeSignal);
}

ShutdownSignals::~ShutdownSignals()
{
    delete mNotifier;
    if (mDescriptor >= 0)
        ::close(mDescriptor);
}

void ShutdownSignals::takeSignal()
{
    signalfd_siginfo info;
    if (::read(mDescriptor, &info, sizeof info) != ssize_t(sizeof info))
        return;
    if (mHandler)
        mHandler();
}

BrowserLauncher::BrowserLauncher(QObject* parent)
    : QObject(parent)
{
    for (const char* scheme : kWebSchemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

BrowserLauncher::~BrowserLauncher()
{
    for (const char* scheme : kWebSchemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void BrowserLauncher::open(const QUrl& address)
{
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return;
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults = ShutdownSignalSet();
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    QByteArray program("xdg-open");
    QByteArray target = address.toEncoded();
    char* arguments[] = {program.data(), target.data(), nullptr};
    pid_t pid = 0;
    // Never waited for and never a failure: without xdg-open no browser opens.
    if (::posix_spawnp(&pid, program.constData(), nullptr, &attributes, arguments, environ) == 0)
        ReapWhenEnded(pid, this);
    ::posix_spawnattr_destroy(&attributes);
}

} // namespace tessivane
