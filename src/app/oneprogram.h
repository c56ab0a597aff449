#pragma once

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace tessivane {

struct RaiseRequests;

/// The folder the guard keeps its lock and socket in: $XDG_RUNTIME_DIR, or the private folder Qt
/// makes in its place, when it is the user's own and only the user can enter it; else the
/// folder "tessivane" in the user's cache folder, made so. Empty when there is no such folder.
QString oneProgramFolder();

/// One program per user and settings store: two programs on one stored list would each write
/// their whole table over the other's. The first start holds a lock file and listens on a
/// local socket beside it, both named after the user and the settings file, in a folder only
/// the user can write; a later start asks it over the socket to bring its window forward and
/// ends. A lock or socket left by a killed program is taken over; one that is not the user's
/// own is never trusted but removed, and only a program of the same user is asked or answered.
///
/// The socket is served on a thread of its own, which answers a request at once, however busy
/// the window is (reading a file, in a run, still starting); the window comes forward as soon
/// as the user-interface thread is free. A request is one line; the program answers "ok" to
/// one it has taken and nothing to one it does not know.
class OneProgram
{
public:
    enum class Start {
        First, ///< this is the program; it serves later starts until it ends
        Raised, ///< another program runs and has brought its window forward
        NotAnswering, ///< another program holds the lock but does not answer
    };

    /// For the settings store held in settingsFile, with its files in folder (see
    /// oneProgramFolder; empty: the program is not guarded).
    explicit OneProgram(const QString& settingsFile, const QString& folder = oneProgramFolder());
    ~OneProgram();
    OneProgram(const OneProgram&) = delete;
    OneProgram& operator=(const OneProgram&) = delete;

    /// Takes the lock, or asks the program that holds it to come forward (and, with a file,
    /// to review that file for import). Where no lock can be made at all (no private folder,
    /// one that cannot be written), the program starts unguarded.
    Start claim(const QString& file = QString());

    /// From now on a later start's request calls raise on this (the user-interface) thread,
    /// with the file it was given (empty: none).
    void serve(std::function<void(const QString& file)> raise);

    /// The process id of the program that holds the lock, after claim() found one.
    qint64 otherPid() const { return mOtherPid; }

    /// The sentence said when the running program does not answer (its guard is gone).
    QString notAnsweringMessage() const;

    /// The lock file and the socket, for tests.
    QString lockFileName() const { return mLockFileName; }
    QString socketName() const { return mSocketName; }

private:
    bool listen();
    bool askToRaise(const QString& file) const;

    QString mLockFileName;
    QString mSocketName;
    QLockFile mLock;
    qint64 mOtherPid = 0;
    std::shared_ptr<RaiseRequests> mRequests;
    std::unique_ptr<QObject> mUiContext;
    QThread* mThread = nullptr;
};

} // namespace tessivane
