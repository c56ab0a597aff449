#include "app/oneprogram.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessivane {

/// What the socket's thread and the user-interface thread share about the requests.
struct RaiseRequests
{
    std::mutex mutex;
    // Set once the program serves; until then answered at once. Its file is the one a later
    // start was given to open (empty: only come forward).
    std::function<void(const QString& file)> raise;
    bool askedWhileStarting = false;
    QStringList filesWhileStarting;
    bool raisePending = false; // a plain raise waits for the user-interface thread
};

namespace {

// The requests a later start may make, one line each, and the answer to one that was taken.
// A line the program does not know is left unanswered, so that a newer start asking an older
// program something finds out.
constexpr QByteArrayView kRaiseRequest = "raise\n";
// "open " + the file's path in base64 + "\n": come forward and review that file for import.
constexpr QByteArrayView kOpenRequest = "open ";
constexpr qsizetype kMaxRequest = 16 * 1024;
constexpr QByteArrayView kAnswer = "ok\n";
constexpr int kMaxRequestLine = 4096;
// How long a later start waits for the answer; it comes from the guard's own thread, at once,
// however busy the program's window is.
constexpr int kAnswerWaitMs = 6000;
// A socket's path must fit the address of a local socket.
constexpr int kMaxSocketPath = 100;
// The longest name the guard gives its files: "tessivane-<uid>-<hash>.socket".
constexpr int kLongestName = 48;

bool isUsersOwn(const struct stat& info)
{
    return info.st_uid == ::geteuid();
}

/// A folder that is the user's own and that only the user can enter: not a link, owned by the
/// user, no access for group or others.
bool isPrivateFolder(const QString& path)
{
    struct stat info
    {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &info) == 0
        && S_ISDIR(info.st_mode) && isUsersOwn(info) && (info.st_mode & 077) == 0
        && path.size() + 1 + kLongestName < kMaxSocketPath;
}

/// Takes away a file in the guard's folder that is not the user's own, or is not of the kind
/// the guard makes there: none of it is trusted. False when it is there and cannot be removed.
bool removeUntrusted(const QString& path, bool socket)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT;
    if (isUsersOwn(info) && (socket ? S_ISSOCK(info.st_mode) : S_ISREG(info.st_mode)))
        return true;
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

/// Whether the other end of a connection runs as this program's user.
bool peerIsUser(const QLocalSocket& socket)
{
    struct ucred credentials
    {
    };
    socklen_t size = sizeof credentials;
    return ::getsockopt(
               int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size)
        == 0
        && credentials.uid == ::geteuid();
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

// One request on the socket's thread: read it, answer at once, and have the window come forward
// as soon as the user-interface thread is free: a program busy reading a file is not hung.
void answer(QLocalSocket& socket, RaiseRequests& requests, QObject* uiContext)
{
    if (!peerIsUser(socket))
        return;
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
    else if (request != kRaiseRequest)
        return;
    if (request != kRaiseRequest && file.isEmpty())
        return;
    {
        std::lock_guard lock(requests.mutex);
        if (!requests.raise) {
            requests.askedWhileStarting = true;
            if (!file.isEmpty())
                requests.filesWhileStarting.append(file);
        } else if (!file.isEmpty() || !std::exchange(requests.raisePending, true)) {
            QMetaObject::invokeMethod(
                uiContext,
                [&requests, file] {
                    std::function<void(const QString&)> raise;
                    {
                        std::lock_guard uiLock(requests.mutex);
                        if (file.isEmpty())
                            requests.raisePending = false;
                        raise = requests.raise;
                    }
                    if (raise)
                        raise(file);
                },
                Qt::QueuedConnection);
        }
    }
    socket.write(kAnswer.data(), kAnswer.size());
    socket.waitForBytesWritten(1000);
}

// The lock file's and the socket's path without their ending: named after the user and the
// settings store, in the guard's folder.
QString guardPath(const QString& settingsFile, const QString& folder)
{
    const QByteArray hash
        = QCryptographicHash::hash(storeIdentity(settingsFile).toUtf8(), QCryptographicHash::Sha256)
              .toHex()
              .left(16);
    const QString name
        = QStringLiteral("tessivane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    return folder + QLatin1Char('/') + name;
}

} // namespace

QString oneProgramFolder()
{
    // $XDG_RUNTIME_DIR, or where there is none the private folder Qt makes in its place (owner
    // only, and checked to be the user's); a folder others can write would let them hold the
    // lock first, or answer in the program's place.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);
    // Else a folder of the program's own in the user's cache folder, made owner-only.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    const QString folder = QDir::cleanPath(cache + QStringLiteral("/tessivane"));
    QDir().mkpath(cache);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

OneProgram::OneProgram(const QString& settingsFile, const QString& folder)
    : mLockFileName(
        folder.isEmpty() ? QString() : guardPath(settingsFile, folder) + QStringLiteral(".lock"))
    , mSocketName(folder.isEmpty() ? QString()
                                   : guardPath(settingsFile, folder) + QStringLiteral(".socket"))
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
        mThread->quit();
        mThread->wait();
        delete mThread;
    }
    // Requests still waiting for the user-interface thread go with their context.
    mUiContext.reset();
}

OneProgram::Start OneProgram::claim(const QString& file)
{
    // Without a private folder there is no guard another user could not take.
    if (mLockFileName.isEmpty())
        return Start::First;
    // Two rounds: a program that ends while it is asked leaves a lock the next round takes.
    for (int round = 0; round < 2; ++round) {
        // A lock or socket that is not the user's own was left by no program of the user's.
        if (!removeUntrusted(mLockFileName, false) || !removeUntrusted(mSocketName, true))
            return Start::First;
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
        ? kRaiseRequest.toByteArray()
        : kOpenRequest.toByteArray() + file.toUtf8().toBase64() + '\n';
    // Only a program of the user's own is asked anything.
    if (!peerIsUser(socket))
        return false;
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
