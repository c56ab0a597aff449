// The guard of one program per user: its folder is one only the user can write, files in it
// that are not the user's own are never trusted, and a later start is answered at once by the
// guard's own thread however busy the first program's window is. Another user is played by
// files and folders given to "nobody", so most of it needs root.
#include "support/testmain.h"

#include "app/oneprogram.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessivane;

namespace {

uid_t Nobody()
{
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : uid_t(65534);
}

struct stat Stat(const QString& path)
{
    struct stat info
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

bool GiveToNobody(const QString& path, mode_t mode)
{
    return ::lchown(QFile::encodeName(path).constData(), Nobody(), gid_t(-1)) == 0
        && (S_ISLNK(Stat(path).st_mode) || ::chmod(QFile::encodeName(path).constData(), mode) == 0);
}

/// Where a user without XDG_RUNTIME_DIR keeps the guard: the temporary and cache folders in
/// a private folder of the test.
struct NoRuntimeFolder
{
    QTemporaryDir folder;
    QString temp = folder.filePath(QStringLiteral("tmp"));
    QString cache = folder.filePath(QStringLiteral("cache"));
    QString qtRuntime = temp + QStringLiteral("/runtime-")
        + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);

    NoRuntimeFolder()
    {
        QDir().mkpath(temp);
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temp));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    }
    ~NoRuntimeFolder()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
        qunsetenv("TMPDIR");
        qunsetenv("XDG_CACHE_HOME");
    }
};

bool IsPrivate(const QString& folder)
{
    const struct stat info = Stat(folder);
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

} // namespace

class TestOneProgram : public QObject
{
    Q_OBJECT

private slots:
    // Without XDG_RUNTIME_DIR the guard's folder is Qt's private one, or the cache folder when
    // another user made that first; never one someone else owns or can write.
    void theFolderIsOnlyTheUsers_data()
    {
        QTest::addColumn<QString>("squatted"); // folders another user made first
        QTest::addColumn<QString>("chosen"); // "qt", "cache" or "" (unguarded)
        QTest::newRow("nothing there") << ""
                                       << "qt";
        QTest::newRow("Qt's folder made by another user") << "qt"
                                                          << "cache";
        QTest::newRow("Qt's folder a link to another's") << "qt link"
                                                         << "cache";
        QTest::newRow("both made by another user") << "qt cache"
                                                   << "";
    }

    void theFolderIsOnlyTheUsers()
    {
        QFETCH(QString, squatted);
        QFETCH(QString, chosen);
        if (::geteuid() != 0 && !squatted.isEmpty())
            QSKIP("another user is played by root only");
        NoRuntimeFolder user;
        const QString ours = user.cache + QStringLiteral("/tessivane");
        QDir().mkpath(user.folder.filePath(QStringLiteral("elsewhere")));
        if (squatted.contains(QLatin1String("link"))) {
            QVERIFY(QFile::link(user.folder.filePath(QStringLiteral("elsewhere")), user.qtRuntime));
            QVERIFY(GiveToNobody(user.qtRuntime, 0777));
        } else if (squatted.contains(QLatin1String("qt"))) {
            QVERIFY(QDir().mkpath(user.qtRuntime));
            QVERIFY(GiveToNobody(user.qtRuntime, 0777));
        }
        if (squatted.contains(QLatin1String("cache"))) {
            QVERIFY(QDir().mkpath(ours));
            QVERIFY(GiveToNobody(ours, 0777));
        }

        const QString folder = oneProgramFolder();
        const QString expected = chosen == QLatin1String("qt") ? user.qtRuntime
            : chosen == QLatin1String("cache")                 ? ours
                                                               : QString();
        QCOMPARE(folder, expected);
        if (!folder.isEmpty())
            QVERIFY(IsPrivate(folder));
        // Whatever another user made, the program starts.
        OneProgram guard(QStringLiteral("/settings/Tessivane.ini"), folder);
        QCOMPARE(guard.claim(), OneProgram::Start::First);
    }

    // A lock (naming a live process) and a listening socket that another user left in the
    // guard's folder neither stop the program nor hear from it: both are taken over.
    void filesOfAnotherUserAreNeverTrusted()
    {
        if (::geteuid() != 0)
            QSKIP("another user is played by root only");
        QTemporaryDir folder;
        const QString settings = QStringLiteral("/settings/Tessivane.ini");
        OneProgram probe(settings, folder.path());
        QFile lock(probe.lockFileName());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        // A live process of the name the lock gives, as a program of the other user would.
        lock.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n'
            + QCoreApplication::applicationName().toUtf8() + '\n'
            + QSysInfo::machineHostName().toUtf8() + '\n');
        lock.close();
        QVERIFY(GiveToNobody(probe.lockFileName(), 0644));
        QLocalServer impostor;
        QVERIFY(impostor.listen(probe.socketName()));
        QVERIFY(GiveToNobody(probe.socketName(), 0777));
        int asked = 0;
        connect(&impostor, &QLocalServer::newConnection, this, [&] {
            ++asked;
            QLocalSocket* socket = impostor.nextPendingConnection();
            socket->write("ok\n");
            socket->flush();
        });

        OneProgram guard(settings, folder.path());
        QCOMPARE(guard.claim(), OneProgram::Start::First);
        QCoreApplication::processEvents();
        QCOMPARE(asked, 0);
        QCOMPARE(Stat(guard.lockFileName()).st_uid, ::geteuid());
        QCOMPARE(Stat(guard.socketName()).st_uid, ::geteuid());
        // And the program that took over is the one a later start reaches.
        OneProgram later(settings, folder.path());
        QCOMPARE(later.claim(), OneProgram::Start::Raised);
    }

    // The first program's window is busy (this thread is blocked in the second start's claim):
    // the guard's thread answers at once, and the window comes forward once the thread is free.
    void aBusyProgramIsRaisedOnceFree()
    {
        QTemporaryDir folder;
        const QString settings = QStringLiteral("/settings/Tessivane.ini");
        OneProgram first(settings, folder.path());
        QCOMPARE(first.claim(), OneProgram::Start::First);
        int raised = 0;
        first.serve([&raised](const QString&) { ++raised; });
        OneProgram second(settings, folder.path());
        QCOMPARE(second.claim(), OneProgram::Start::Raised);
        QCOMPARE(raised, 0);
        QTRY_COMPARE(raised, 1);
        QVERIFY(IsPrivate(folder.path()));
    }
};

TESSIVANE_CORE_TEST_MAIN(TestOneProgram)
#include "tst_oneprogram.moc"
