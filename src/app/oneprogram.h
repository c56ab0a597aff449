#pragma once

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace tessivane {

struct RaiseRequests;

/// One program per user and settings store: two programs on one stored list would each write
/// their whole table over the other's. The first start holds a lock file and listens on a
/// local socket beside it, both named after the user and the settings file; a later start asks
/// it over the socket to bring its window forward and ends. A lock or socket left by a killed
/// program is taken over.
///
/// The socket is served on a thread of its own, so that a program busy in a run or still
/// starting answers at once; a request is answered only once the window was brought forward
/// (or, while the program is still starting, at once: its window comes up on its own).
class OneProgram
{
public:
    enum class Start {
        First, ///< this is the program; it serves later starts until it ends
        Raised, ///< another program runs and has brought its window forward
        NotAnswering, ///< another program holds the lock but does not answer
    };

    /// For the settings store held in settingsFile, in the user's runtime folder (the
    /// temporary folder when there is none).
    explicit OneProgram(const QString& settingsFile);
    ~OneProgram();
    OneProgram(const OneProgram&) = delete;
    OneProgram& operator=(const OneProgram&) = delete;

    /// Takes the lock, or asks the program that holds it to come forward (and, with a file,
    /// to review that file for import). Where no lock can be made at all (a folder that
    /// cannot be written), the program starts unguarded.
    Start claim(const QString& file = QString());

    /// From now on a later start's request calls raise on this (the user-interface) thread,
    /// with the file it was given (empty: none). A raise must return at once: the later
    /// start waits for it.
    void serve(std::function<void(const QString& file)> raise);

    /// The process id of the program that holds the lock, after claim() found one.
    qint64 otherPid() const { return mOtherPid; }

    /// The sentence said when the running program does not answer.
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
