// The spreadsheet layer's instances against the real LibreOffice: they leave nothing behind,
// and the failures to start: a missing program, one that never answers, one that crashes.
#include "support/filetesting.h"
#include "support/officeprocesses.h"
#include "support/scopedenvironment.h"
#include "support/scriptedboxes.h"
#include "support/sharedoffice.h"
#include "support/startupcheck.h"
#include "support/testmain.h"

#include "core/messagebox.h"
#include "office/pool/instancepool.h"
#include "office/services/backgroundreleases.h"
#include "office/services/excel1.h"
#include "office/services/isinstalled.h"
#include "office/services/libreoffice.h"
#include "office/services/readyoffices.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <optional>
#include <thread>

#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

void WriteScript(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class LibreOfficeTest : public QObject, protected SharedOffice
{
    Q_OBJECT

private slots:
    void initTestCase() { startSharedOffice(); }

    void cleanupTestCase() { endSharedOffice(); }
    void init() { resetOfficeSettings(); }

    void quitAndDropLeaveNoProcessAndNoProfile()
    {
        const int before = Children().size();
        const QList<pid_t> offices = OfficeChildren();
        ApplicationPtr app = createApplication(mServices);
        QVERIFY(app->isAlive());
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(ProfileFolders().size(), 2); // the shared instance's and this one's
        app->Quit();
        QVERIFY(!app->isAlive());
        QCOMPARE(Children().size(), before);
        QCOMPARE(GroupMembers(office), 0);
        QCOMPARE(ProfileFolders().size(), 1);
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Version());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->workbooks().count());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Quit());

        // Dropped without Quit, while a workbook of it is still held: the last reference
        // ends it. Started through services of its own, and so a UNO runtime of its own, which
        // it outlives.
        app = createApplication(Services());
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        app.reset();
        QCOMPARE(Children().size(), before + 1);
        book.reset();
        QCOMPARE(Children().size(), before);
        QCOMPARE(ProfileFolders().size(), 1);
    }

    void missingLibreOfficeGivesTheStartUpMessage_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/soffice.bin")
                                 << QStringLiteral("not found");
        QTest::newRow("not executable")
            << QStringLiteral("noexec") << QStringLiteral("Permission denied");
    }

    void missingLibreOfficeGivesTheStartUpMessage()
    {
        QFETCH(QString, program);
        QFETCH(QString, reason);
        if (program == QStringLiteral("noexec")) {
            program = mFolder.filePath(QStringLiteral("noexec"));
            QFile file(program);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        mServices.office.program = program;
        // A deadline far beyond the test's own time limit: only an immediate failure passes.
        mServices.office.startLimit = 3600s;
        try {
            createApplication(mServices);
            QFAIL("started");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(reason), e.what());
        }
        int ends = 0;
        CheckAtStartUp(mServices, mMessages, &ends);
        QCOMPARE(ends, 1);
        QCOMPARE(mMessages.calls.size(), 1);
        QVERIFY(mMessages.calls[0].prompt.startsWith(QStringLiteral("Error 842001.")));
        QCOMPARE(ProfileFolders().size(), 1);
    }

    void startFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("reason");
        QTest::newRow("never answers")
            << QByteArray("#!/bin/sh\necho $$ > '%PIDFILE%'\nsleep 600 &\nexec sleep 600\n")
            << QStringLiteral("did not answer within 1 seconds");
        QTest::newRow("fresh profile restart forever")
            << QByteArray("#!/bin/sh\nexit 81\n") << QStringLiteral("exit code 81");
        QTest::newRow("crashes") << QByteArray("#!/bin/sh\nkill -SEGV $$\n")
                                 << QStringLiteral("exit code 139");
    }

    void startFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, reason);
        const QString program = mFolder.filePath(QStringLiteral("fake-office"));
        const QString pidFile = mFolder.filePath(QStringLiteral("fake-office.pid"));
        QFile::remove(pidFile);
        WriteScript(program, script.replace("%PIDFILE%", pidFile.toUtf8()));
        mServices.office.program = program;
        // Only the office that never answers waits for the limit; the others end by themselves.
        mServices.office.startLimit = reason.contains(QLatin1String("did not answer")) ? 1s : 30s;
        const int before = Children().size();
        try {
            createApplication(mServices);
            QFAIL("started");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(reason), e.what());
        }
        QCOMPARE(Children().size(), before);
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly)) // the sleeping grandchild went with its group
            QCOMPARE(GroupMembers(pid.readAll().trimmed().toInt()), 0);
        QCOMPARE(ProfileFolders().size(), 1);
    }

    // The allocator is preloaded only when it is there and the user preloads nothing;
    // otherwise the system's is tuned, unless the user tuned it.
    void officeStartsWithTheAllocatorOrTheTunedSystemOne_data()
    {
        QTest::addColumn<bool>("allocatorThere");
        QTest::addColumn<QByteArray>("userPreload");
        QTest::addColumn<QByteArray>("userTunables");
        QTest::addColumn<QString>("preload"); // %A: the allocator
        QTest::addColumn<QString>("tunables");
        const QString tuned = QStringLiteral("glibc.malloc.trim_threshold=134217728"
                                             ":glibc.malloc.mmap_threshold=33554432");
        QTest::newRow("there") << true << QByteArray() << QByteArray() << "%A" << QString();
        QTest::newRow("missing") << false << QByteArray() << QByteArray() << QString() << tuned;
        QTest::newRow("user preloads")
            << true << QByteArray("mine.so") << QByteArray() << "mine.so" << tuned;
        QTest::newRow("user preloads and tunes")
            << true << QByteArray("mine.so") << QByteArray("glibc.malloc.tcache_count=9")
            << "mine.so"
            << "glibc.malloc.tcache_count=9";
    }

    void officeStartsWithTheAllocatorOrTheTunedSystemOne()
    {
        QFETCH(bool, allocatorThere);
        QFETCH(QByteArray, userPreload);
        QFETCH(QByteArray, userTunables);
        QFETCH(QString, preload);
        QFETCH(QString, tunables);
        const QString allocator = mFolder.filePath(QStringLiteral("allocator.so"));
        QFile::remove(allocator);
        if (allocatorThere)
            WriteScript(allocator, "not a library: the shell only prints it");
        const QString seen = mFolder.filePath(QStringLiteral("environment"));
        const QString program = mFolder.filePath(QStringLiteral("env-office"));
        WriteScript(program,
            QStringLiteral("#!/bin/sh\nprintf '%s|%s' \"$LD_PRELOAD\" \"$GLIBC_TUNABLES\" > '%1'\n"
                           "exit 3\n")
                .arg(seen)
                .toUtf8());
        mServices.office.program = program;
        mServices.office.allocator = allocator;
        {
            ScopedEnvironment environment;
            environment.set("LD_PRELOAD", userPreload);
            environment.set("GLIBC_TUNABLES", userTunables);
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, createApplication(mServices));
        }
        QCOMPARE(QString::fromLocal8Bit(ReadAll(seen)),
            QString(preload).replace(QStringLiteral("%A"), allocator) + '|' + tunables);
    }

    void leftoverProfilesGoButALinkIsNeverFollowed()
    {
        QTemporaryDir temp; // the leftovers are planted in a temporary folder of our own
        QTemporaryDir user;
        QFile precious(user.filePath(QStringLiteral("precious.txt")));
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("keep") == 4);
        precious.close();
        const QString link = temp.filePath(QStringLiteral("tessivane-office-999999-Ab12Cd"));
        const QString stale = temp.filePath(QStringLiteral("tessivane-office-999999-Zz98Yy"));
        QVERIFY(QFile::link(user.path(), link));
        QVERIFY(QDir().mkpath(stale + QStringLiteral("/user")));
        QVERIFY(QFile::setPermissions(
            stale, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        const QString program = mFolder.filePath(QStringLiteral("quick-office"));
        WriteScript(program, "#!/bin/sh\nexit 3\n");
        mServices.office.program = program;
        {
            ScopedEnvironment environment;
            environment.set("TMPDIR", QFile::encodeName(temp.path()));
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, createApplication(mServices));
        }
        QVERIFY(precious.exists());
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(stale));
    }

    void freshProfileRestartIsFollowed()
    {
        // The first start ends with 81 as a fresh profile can; the second is the office.
        const QString marker = mFolder.filePath(QStringLiteral("started-once"));
        const QString program = mFolder.filePath(QStringLiteral("office-81"));
        WriteScript(program,
            QStringLiteral("#!/bin/sh\nif [ ! -e '%1' ]; then touch '%1'; exit 81; fi\n"
                           "exec /usr/lib/libreoffice/program/soffice.bin \"$@\"\n")
                .arg(marker)
                .toUtf8());
        mServices.office.program = program;
        ApplicationPtr app = createApplication(mServices);
        QVERIFY(QFile::exists(marker));
        QVERIFY(!app->Version().isEmpty());
        app->Quit();
    }

    // An office ended in the middle of a save leaves the temporary it renames beside the
    // file: the warm-up's must only ever be in the profile, which goes once the office has
    // been reaped. No document lock file is made anywhere.
    void warmUpWritesOnlyInsideItsProfile()
    {
        QFile workbook(mTemplate);
        QVERIFY(workbook.open(QIODevice::ReadOnly));
        mServices.office.warmUpWorkbook = workbook.readAll();
        const QTemporaryDir temp;
        std::optional<ScopedEnvironment> environment(std::in_place);
        environment->set("TMPDIR", QFile::encodeName(temp.path()));
        const std::shared_ptr<PooledInstance> instance = libreOfficeInstances(mServices)();
        instance->start();
        std::atomic<bool> done {false};
        std::thread warm([&] {
            try {
                instance->warmUp();
            } catch (...) { }
            done = true;
        });
        QSet<QString> seen;
        const QDir::Filters all
            = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        while (!done) {
            for (const QString& name : QDir(temp.path()).entryList(all))
                if (!name.startsWith(QLatin1String("tessivane-office-")))
                    seen << name;
            QDirIterator locks(
                temp.path(), {QStringLiteral(".~lock.*")}, all, QDirIterator::Subdirectories);
            while (locks.hasNext())
                seen << locks.next();
            std::this_thread::sleep_for(2ms);
        }
        warm.join();
        const bool warmed = instance->isWarm();
        instance->end(false);
        environment.reset();
        QVERIFY(warmed);
        QCOMPARE(seen.values(), QStringList());
        QCOMPARE(QDir(temp.path()).entryList(all), QStringList());
    }

    void startUpCheckReleasesItsProbe()
    {
        const int before = Children().size();
        CheckAtStartUp(mServices, mMessages);
        QVERIFY(mMessages.calls.isEmpty());
        mServices.releases->waitForAll();
        QCOMPARE(Children().size(), before);
        QCOMPARE(ProfileFolders().size(), 1);
    }
};

TESSIVANE_TEST_MAIN(LibreOfficeTest)
#include "tst_libreoffice.moc"
