#include "app/oneprogram.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <future>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace tessivane {

/// What the socket's thread and the user-interface thread share about the requests.
struct RaiseRequests
{
    std::mutex mutex;
    std::condition_variable changed;
    // Set once the program serves; until then answered at once. Its file is the one a later
    // start was given to open (empty: only come forward).
    std::function<void(const QString& file)> raise;
    bool askedWhileStarting = false;
    QStringList filesWhileStarting;
    quint64 asked = 0;
    quint64 done = 0;
    bool stopping = false;
};

namespace {

constexpr QByteArrayView kRequest = "raise\n";
// "open " + the file's path in base64 + "\n": come forward and review that file for import.
constexpr QByteArrayView kOpenRequest = "open ";
constexpr qsizetype kMaxRequest = 16 * 1024;
constexpr QByteArrayView kAnswer = "ok\n";
// How long the socket's thread waits for the window to come forward, and a later start for
// the answer; a program busy in a run still lets the request through within a fraction of it.
constexpr std::chrono::milliseconds kRaiseWait(4000);
constexpr int kAnswerWaitMs = 6000;
// A socket's path must fit the address of a local socket.
constexpr int kMaxSocketPath = 100;

QString guardFolder(const QString& name)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo info(runtime);
    if (!runtime.isEmpty() && info.isDir() && info.isWritable()
        && runtime.size() + name.size() + 8 < kMaxSocketPath)
        return QDir::cleanPath(runtime);
    // The system's temporary folder is empty when TMPDIR names one that is not there.
    const QString temp = QDir::tempPath();
    return !temp.isEmpty() && temp.size() + name.size() + 8 < kMaxSocketPath
        ? temp
        : QStringLiteral("/tmp");
}

// The same store is the same file, however its folder was named.
QString storeIdentity(const QString& settingsFile)
{
    const QFileInfo file(settingsFile);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return QDir::cleanPath(
        folder.isEmpty() ? file.absoluteFilePath() : folder + QLatin1Char('/') + file.fileName());
}

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// One request on the socket's thread: read it, have the window come forward, answer.
void answer(QLocalSocket& socket, RaiseRequests& requests, QObject* uiContext)
{
    QByteArray request;
    while (!request.endsWith('\n') && request.size() < kMaxRequest) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(1000))
            return;
        request += socket.readAll();
    }
    QString file;
    if (request.startsWith(kOpenRequest) && request.endsWith('\n'))
        file = QString::fromUtf8(QByteArray::fromBase64(
            request.mid(kOpenRequest.size()).chopped(1), QByteArray::AbortOnBase64DecodingErrors));
    else if (request != kRequest)
        return;
    if (request != kRequest && file.isEmpty())
        return;
    std::unique_lock lock(requests.mutex);
    if (requests.raise) {
        const quint64 ticket = ++requests.asked;
        QMetaObject::invokeMethod(
            uiContext,
            [&requests, ticket, file] {
                std::function<void(const QString&)> raise;
                {
                    std::lock_guard uiLock(requests.mutex);
                    raise = requests.raise;
                }
                if (raise)
                    raise(file);
                std::lock_guard uiLock(requests.mutex);
                requests.done = std::max(requests.done, ticket);
                requests.changed.notify_all();
            },
            Qt::QueuedConnection);
        // A window that did not come forward is not answered: the later start says so.
        if (!requests.changed.wait_for(
                lock, kRaiseWait, [&] { return requests.done >= ticket || requests.stopping; })
            || requests.done < ticket)
            return;
    } else {
        requests.askedWhileStarting = true;
        if (!file.isEmpty())
            requests.filesWhileStarting.append(file);
    }
    lock.unlock();
    socket.write(kAnswer.data(), kAnswer.size());
    socket.waitForBytesWritten(1000);
}

// The lock file's and the socket's path without their ending: named after the user and the
// settings store, in the user's runtime folder.
QString guardPath(const QString& settingsFile)
{
    const QByteArray hash
        = QCryptographicHash::hash(storeIdentity(settingsFile).toUtf8(), QCryptographicHash::Sha256)
              .toHex()
              .left(16);
    const QString name
        = QStringLiteral("tessivane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    return guardFolder(name) + QLatin1Char('/') + name;
}

} // namespace

OneProgram::OneProgram(const QString& settingsFile)
    : mLockFileName(guardPath(settingsFile) + QStringLiteral(".lock"))
    , mSocketName(guardPath(settingsFile) + QStringLiteral(".socket"))
    , mLock(mLockFileName)
    , mRequests(std::make_shared<RaiseRequests>())
    , mUiContext(std::make_unique<QObject>())
{
    // Only a lock whose program is gone is stale, however old it is.
    mLock.setStaleLockTime(0);
}

OneProgram::~OneProgram()
{
    if (mThread) {
        {
            std::lock_guard lock(mRequests->mutex);
            mRequests->stopping = true;
        }
        mRequests->changed.notify_all();
        mThread->quit();
        mThread->wait();
        delete mThread;
    }
    // Requests still waiting for the user-interface thread go with their context.
    mUiContext.reset();
}

OneProgram::Start OneProgram::claim(const QString& file)
{
    // Two rounds: a program that ends while it is asked leaves a lock the next round takes.
    for (int round = 0; round < 2; ++round) {
        if (mLock.tryLock(0)) {
            listen();
            return Start::First;
        }
        if (mLock.error() != QLockFile::LockFailedError)
            return Start::First; // no lock can be made here: the program starts unguarded
        QString host, application;
        if (!mLock.getLockInfo(&mOtherPid, &host, &application))
            mOtherPid = 0;
        if (askToRaise(file))
            return Start::Raised;
        if (!processGone(mOtherPid))
            return Start::NotAnswering;
    }
    return Start::NotAnswering;
}

bool OneProgram::listen()
{
    std::promise<bool> listening;
    std::future<bool> listened = listening.get_future();
    auto* requests = mRequests.get();
    QObject* uiContext = mUiContext.get();
    const QString socketName = mSocketName;
    mThread = QThread::create([requests, uiContext, socketName, &listening] {
        QLocalServer server;
        server.setSocketOptions(QLocalServer::UserAccessOption);
        // Whatever socket is there was left by a program that held the lock before.
        QLocalServer::removeServer(socketName);
        const bool ok = server.listen(socketName);
        listening.set_value(ok);
        if (!ok)
            return;
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
            while (QLocalSocket* socket = server.nextPendingConnection()) {
                answer(*socket, *requests, uiContext);
                socket->disconnectFromServer();
                delete socket;
            }
        });
        QEventLoop loop;
        loop.exec();
        server.close();
    });
    mThread->setObjectName(QStringLiteral("oneProgram"));
    mThread->start();
    return listened.get();
}

void OneProgram::serve(std::function<void(const QString& file)> raise)
{
    std::lock_guard lock(mRequests->mutex);
    mRequests->raise = raise;
    // A start while this one was starting asked for the window: it comes forward once shown.
    if (std::exchange(mRequests->askedWhileStarting, false)) {
        const QStringList files = std::exchange(mRequests->filesWhileStarting, {});
        QMetaObject::invokeMethod(
            mUiContext.get(),
            [raise, files] {
                raise(QString());
                for (const QString& file : files)
                    raise(file);
            },
            Qt::QueuedConnection);
    }
}

bool OneProgram::askToRaise(const QString& file) const
{
    const QDeadlineTimer deadline(kAnswerWaitMs);
    QLocalSocket socket;
    // The program that holds the lock may not listen yet: it took the lock a moment ago.
    for (;;) {
        socket.connectToServer(mSocketName);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired() || processGone(mOtherPid))
            return false;
        QThread::msleep(20);
    }
    const QByteArray request = file.isEmpty()
        ? kRequest.toByteArray()
        : kOpenRequest.toByteArray() + file.toUtf8().toBase64() + '\n';
    socket.write(request);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    QByteArray reply;
    while (!reply.endsWith('\n')) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        reply += socket.readAll();
    }
    return reply == kAnswer;
}

QString OneProgram::notAnsweringMessage() const
{
    return QStringLiteral("Tessivane is already running (process %1) and is not answering.\r\n"
                          "Wait until it answers, or end that process, then start Tessivane "
                          "again.")
        .arg(mOtherPid);
}

} // namespace tessivane
