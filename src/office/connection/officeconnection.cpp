#include "office/connection/officeconnection_p.h"

#include "office/process/scratchfiles_p.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace tessivane {

namespace {

// A fresh profile makes the office's first start end with this code and expect a restart.
constexpr int kFreshProfileRestart = 81;
constexpr int kMostRestarts = 3;
// Ending an office: a polite terminate, then a wait before the signals.
constexpr milliseconds kTerminateLimit(10000);
constexpr milliseconds kExitAfterTerminate(5000);
constexpr milliseconds kExitAfterSigterm(3000);
// How often the watchdog looks at the office when nothing wakes it sooner.
constexpr milliseconds kLookInterval(100);
// While a call is in progress, the office is asked a small question this often (at most).
constexpr milliseconds kPingInterval(1000);

QString seconds(milliseconds limit)
{
    return QString::number(double(limit.count()) / 1000.0);
}

} // namespace

OfficeConnection::OfficeConnection(std::shared_ptr<UnoRuntime> runtime, OfficeSettings settings)
    : mRuntime(std::move(runtime))
    , mSettings(std::move(settings))
{ }

void OfficeConnection::launch(const QString& program, const QStringList& arguments)
{
    // The office's own scratch folders stay inside the profile, which goes with it.
    mProcess.start(program, arguments, mProfile + QStringLiteral("/tmp"), mSettings.allocator);
}

void OfficeConnection::open(const RemoteRunner& run, const std::function<void()>& pause)
{
    const QString program = officeProgramPath(mSettings);
    const milliseconds startLimit = mSettings.startLimit;
    const Clock::time_point deadline = Clock::now() + startLimit;

    if (!QFileInfo(program).isFile())
        throw std::runtime_error(Sentence(
            QStringLiteral("LibreOffice is not installed: %1 was not found.").arg(program)));

    removeStaleProfiles();
    mProfile = makeProfile();
    const QString pipeName = mPipeName
        = QStringLiteral("tessivane-%1-%2-%3")
              .arg(getpid())
              .arg(QRandomGenerator::global()->bounded(1U << 30))
              .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
    const QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--invisible"),
        QStringLiteral("--nologo"), QStringLiteral("--norestore"), QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"), QStringLiteral("--nofirststartwizard"),
        QStringLiteral("-env:UserInstallation=") + profileUrl(mProfile),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName)};

    if (!mRuntime)
        throw std::runtime_error("There is no UNO runtime to reach LibreOffice through.");
    const Reference<css::uno::XComponentContext> local = mRuntime->context();
    launch(program, arguments);
    mWatchdog = std::thread([this] { watch(); });
    mPinger = std::thread([this] { ping(); });

    Reference<css::bridge::XUnoUrlResolver> resolver;
    try {
        resolver = css::bridge::UnoUrlResolver::create(local);
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(
            Sentence(QStringLiteral("The LibreOffice connection cannot be set up: %1")
                         .arg(toQString(e.Message))));
    }
    const rtl::OUString url = toOUString(
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName));
    const QString noAnswer
        = QStringLiteral("LibreOffice did not answer within %1 seconds of its start.")
              .arg(seconds(startLimit));
    int restarts = 0;
    for (;;) {
        if (const auto code = mProcess.exitCode()) {
            if (*code == kFreshProfileRestart && restarts < kMostRestarts) {
                mProcess.kill();
                launch(program, arguments);
                ++restarts;
                continue;
            }
            throw std::runtime_error(Sentence(
                QStringLiteral("LibreOffice ended at start-up with exit code %1.").arg(*code)));
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline || mGone.load())
            throw std::runtime_error(Sentence(noAnswer));
        try {
            Reference<css::uno::XInterface> answer;
            run([&] {
                Deadline limit(*this, std::chrono::duration_cast<milliseconds>(deadline - now));
                answer = resolver->resolve(url);
            });
            mContext.set(answer, UNO_QUERY_THROW);
            break;
        } catch (const css::connection::NoConnectException&) {
            pause();
        } catch (const css::uno::Exception&) {
            // The office went away while connecting (or was ended as hung): the loop decides
            // by its exit code and the deadline.
            if (mGone.load())
                throw std::runtime_error(Sentence(noAnswer));
            pause();
        }
    }
    mConnected = true;
}

void OfficeConnection::checkAlive()
{
    if (mGone.load())
        throw SpreadsheetGone(Sentence(goneReason()));
    if (mConnected && !mProcess.running()) {
        markGone(exitDescription());
        throw SpreadsheetGone(Sentence(goneReason()));
    }
}

void OfficeConnection::raise(const QString& what, const QString& message, bool disposed)
{
    if (mGone.load() || !mProcess.running() || disposed) {
        markGone(mProcess.running() ? QStringLiteral("The connection to LibreOffice was lost.")
                                    : exitDescription());
        throw SpreadsheetGone(Sentence(goneReason()));
    }
    throw std::runtime_error(Sentence(message.isEmpty()
            ? QStringLiteral("LibreOffice could not %1.").arg(what)
            : QStringLiteral("LibreOffice could not %1: %2").arg(what, message)));
}

QString OfficeConnection::exitDescription()
{
    const auto code = mProcess.exitCode();
    if (!code)
        return QStringLiteral("LibreOffice stopped answering.");
    return QStringLiteral("LibreOffice ended unexpectedly (exit code %1).").arg(*code);
}

void OfficeConnection::markGone(const QString& reason)
{
    std::lock_guard lock(mMutex);
    markGoneLocked(reason);
}

void OfficeConnection::markGoneLocked(const QString& reason)
{
    if (!mGone.exchange(true))
        mGoneReason = reason;
}

QString OfficeConnection::goneReason()
{
    std::lock_guard lock(mMutex);
    return mGoneReason;
}

void OfficeConnection::abort() noexcept
{
    markGone(QStringLiteral("LibreOffice has been ended."));
    mProcess.signalGroup(SIGKILL);
}

bool OfficeConnection::answers(milliseconds limit) noexcept
{
    try {
        if (!mConnected || !mContext.is() || !alive())
            return false;
        Deadline guard(*this, limit);
        mContext->getServiceManager();
        return alive();
    } catch (...) {
        return false;
    }
}

void OfficeConnection::watch()
{
    std::unique_lock lock(mMutex);
    while (!mStop) {
        auto wait = kLookInterval;
        if (mDeadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(*mDeadline - Clock::now());
            wait = std::clamp(left + milliseconds(1), milliseconds(1), wait);
        }
        mWake.wait_for(lock, wait);
        if (mStop)
            break;
        if (mConnected && !mGone.load() && !mProcess.running()) {
            lock.unlock();
            const QString reason = exitDescription();
            lock.lock();
            markGoneLocked(reason);
        }
        const Clock::time_point now = Clock::now();
        if (mDeadline && now >= *mDeadline) {
            // Killing the group closes the pipe: the blocked call returns with a disposed
            // bridge, and the office is gone for every later call.
            markGoneLocked(
                QStringLiteral("LibreOffice did not answer within %1 seconds and was ended.")
                    .arg(seconds(mDeadlineLimit)));
            mDeadline.reset();
            mProcess.signalGroup(SIGKILL);
        }
        if (mCallsInProgress > 0 && mConnected && !mGone.load()) {
            // A call may take as long as the work needs; the office must only keep answering.
            if (now - mLastAnswer >= mSettings.callLimit) {
                markGoneLocked(
                    QStringLiteral("LibreOffice did not answer within %1 seconds and was ended.")
                        .arg(seconds(mSettings.callLimit)));
                mProcess.signalGroup(SIGKILL);
            } else if (!mPingInFlight && !mPingWanted
                && now - mLastAnswer
                    >= std::min(kPingInterval, std::max(mSettings.callLimit / 4, kLookInterval))) {
                mPingWanted = true;
                mWake.notify_all();
            }
        }
    }
}

void OfficeConnection::ping()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || mPingWanted; });
        if (mStop)
            return;
        mPingWanted = false;
        mPingInFlight = true;
        const Reference<css::uno::XComponentContext> context = mContext;
        lock.unlock();
        // Another thread of this program: the office answers it on one of its own threads
        // even while it works on a long call of the session.
        bool answered = false;
        try {
            answered = context.is() && context->getServiceManager().is();
        } catch (...) { }
        lock.lock();
        mPingInFlight = false;
        if (answered && mCallsInProgress > 0)
            mLastAnswer = std::max(mLastAnswer, Clock::now());
    }
}

OfficeConnection::CallWatch::CallWatch(OfficeConnection& connection)
    : mConnection(connection)
{
    std::lock_guard lock(connection.mMutex);
    if (connection.mCallsInProgress++ == 0)
        connection.mLastAnswer = Clock::now();
}

OfficeConnection::CallWatch::~CallWatch()
{
    std::lock_guard lock(mConnection.mMutex);
    --mConnection.mCallsInProgress;
}

OfficeConnection::Deadline::Deadline(OfficeConnection& connection, milliseconds limit)
    : mConnection(connection)
{
    std::lock_guard lock(connection.mMutex);
    if (connection.mDeadlineDepth++ == 0) {
        connection.mDeadline = Clock::now() + limit;
        connection.mDeadlineLimit = limit;
        connection.mWake.notify_all();
    }
}

OfficeConnection::Deadline::~Deadline()
{
    std::lock_guard lock(mConnection.mMutex);
    if (--mConnection.mDeadlineDepth == 0)
        mConnection.mDeadline.reset();
}

void OfficeConnection::stopThreads()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
        mWake.notify_all();
    }
    if (mWatchdog.joinable())
        mWatchdog.join();
    if (mPinger.joinable())
        mPinger.join();
}

void OfficeConnection::close(bool polite, Reference<css::frame::XDesktop2> desktop) noexcept
{
    if (mClosed)
        return;
    mClosed = true;
    markGone(polite ? QStringLiteral("LibreOffice has quit.")
                    : QStringLiteral("LibreOffice has been ended."));
    // Only an office that was asked to terminate is given time to exit on its own.
    const bool ask = polite && mConnected && desktop.is() && mProcess.running();
    try {
        if (ask) {
            Deadline guard(*this, kTerminateLimit);
            try {
                desktop->terminate();
            } catch (...) {
                // The bridge goes away while the office exits; the signals below follow.
            }
        }
    } catch (...) { }
    desktop.clear();

    if (!mProcess.waitForExit(ask ? kExitAfterTerminate : milliseconds(0))) {
        mProcess.signalGroup(SIGTERM);
        mProcess.waitForExit(kExitAfterSigterm);
    }
    mProcess.kill();
    stopThreads();
    mContext.clear();
    // A killed office leaves its pipe files behind; a terminated one has removed them.
    removeProfile(mProfile);
    if (!mPipeName.isEmpty())
        removePipeFiles(mPipeName);
}

} // namespace tessivane
