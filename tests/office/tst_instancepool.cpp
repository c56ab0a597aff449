// Instances started ahead of need, on the real LibreOffice: the start-up check's instance and
// the ready ones are the very processes that serve later, each serves once and is replaced; a
// ready or used instance that is killed or stopped costs no message and no leftover; ending
// the pool in the middle of a start leaves nothing.
#include "support/officeprocesses.h"
#include "support/officetemplate.h"
#include "support/scriptedboxes.h"
#include "support/testmain.h"

#include "core/messagebox.h"
#include "office/instancepool.h"
#include "office/isinstalled.h"
#include "office/libreoffice.h"

#include <QApplication>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

// Waits for office starts, not a measure of anything.
constexpr int kStartWait = 120000;

} // namespace

class InstancePoolTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(mFolder.isValid());
        // A killed office leaves the lock file of its document: beside a copy, not the original.
        mWorkbook = mFolder.filePath(QStringLiteral("standin.fods"));
        QVERIFY(QFile::copy(QStringLiteral(TESTS_DIR "/data/standin.fods"), mWorkbook));
    }

    void init() { ResetOfficeSettings(mServices, mMessages); }

    void cleanup()
    {
        mServices.releases->waitForAll();
        QCOMPARE(mMessages.prompts(), QStringList());
        QCOMPARE(Children().size(), 0);
        QCOMPARE(Leftovers(), QStringList());
    }

    void readyInstancesAreTheOnesThatServe()
    {
        InstancePool pool(mServices.office, 2, 0ms);
        const auto unplug = qScopeGuard([this] { mServices.readyOffices = nullptr; });
        mServices.readyOffices = &pool;
        CheckExcelInstance(mServices);
        const QList<pid_t> checked = OfficeChildren(); // the refill may have begun already
        QVERIFY(!checked.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kStartWait);
        const QList<pid_t> ready = OfficeChildren();
        QCOMPARE(ready.size(), 2);
        for (pid_t office : checked) // the start-up check's office stayed
            QVERIFY(ready.contains(office));

        // Both uses of a run get a ready process, and no other one is started meanwhile.
        ApplicationPtr first = CreateApplication(mServices);
        ApplicationPtr second = CreateApplication(mServices);
        QVERIFY(!first->Version().isEmpty() && !second->Version().isEmpty());
        QCOMPARE(OfficeChildren(), ready);
        QCOMPARE(pool.readyCount(), 0);

        // Used once: quit, and replaced by new ones.
        first->Quit();
        second->Quit();
        first.reset();
        second.reset();
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kStartWait);
        const QList<pid_t> fresh = OfficeChildren();
        QCOMPARE(fresh.size(), 2);
        for (pid_t used : ready) {
            QVERIFY(!fresh.contains(used));
            QCOMPARE(GroupMembers(used), 0);
        }
        QCOMPARE(ProfileFolders().size(), 2);
    }

    void killedOrStoppedOfficeCostsNoMessage_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("killed while ready") << int(SIGKILL) << false;
        QTest::newRow("stopped while ready") << int(SIGSTOP) << false;
        QTest::newRow("killed in use") << int(SIGKILL) << true;
        QTest::newRow("stopped in use") << int(SIGSTOP) << true;
    }

    void killedOrStoppedOfficeCostsNoMessage()
    {
        QFETCH(int, signal);
        QFETCH(bool, inUse);
        if (inUse)
            mServices.office.callLimit = 2s;
        InstancePool pool(mServices.office, 1, 0ms);
        const auto unplug = qScopeGuard([this] { mServices.readyOffices = nullptr; });
        mServices.readyOffices = &pool;
        CheckExcelInstance(mServices);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 1, kStartWait);
        const pid_t office = OfficeChildren().value(0, -1);
        QVERIFY(office > 0);
        if (inUse) {
            ApplicationPtr app = CreateApplication(mServices);
            app->workbooks().Open(mWorkbook);
            QCOMPARE(::kill(office, signal), 0);
            // The run learns of it through its calls, as of any instance that went away.
            QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Range_Select(QStringLiteral("B4")));
            QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Quit());
        } else {
            QCOMPARE(::kill(office, signal), 0);
        }

        // The next use works, and nothing of the lost office is left.
        ApplicationPtr next = CreateApplication(mServices);
        QVERIFY(!next->Version().isEmpty());
        QVERIFY(!OfficeChildren().contains(office));
        QCOMPARE(GroupMembers(office), 0);
        next->Quit();
        next.reset();
        pool.end();
    }

    void endingThePoolInTheMiddleOfAStartLeavesNothing()
    {
        InstancePool pool(mServices.office, 2, 0ms);
        const auto unplug = qScopeGuard([this] { mServices.readyOffices = nullptr; });
        mServices.readyOffices = &pool;
        CheckExcelInstance(mServices);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kStartWait);
        ApplicationPtr used = CreateApplication(mServices);

        // The replacement's start never ends on its own: only the pool's end stops it.
        const QString program = mFolder.filePath(QStringLiteral("never-answers"));
        const QString pidFile = mFolder.filePath(QStringLiteral("never-answers.pid"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\nsleep 600 &\nexec sleep 600\n")
                         .arg(pidFile)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        mServices.office.program = program;
        mServices.office.startLimit = 3600s;

        used->Quit(); // closes down on the pool's thread; the refill follows
        used.reset();
        QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, kStartWait);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const pid_t starting = pid.readAll().trimmed().toInt();
        QCOMPARE(pool.readyCount(), 1);

        pool.end();
        mServices.readyOffices = nullptr;
        QCOMPARE(GroupMembers(starting), 0); // the sleeping grandchild went with its group
        QCOMPARE(OfficeChildren(), QList<pid_t>());
        // Without the pool, instances start on demand again.
        mServices.office.program.clear();
        mServices.office.startLimit = 30s;
        ApplicationPtr app = CreateApplication(mServices);
        QVERIFY(!app->Version().isEmpty());
        app->Quit();
    }

private:
    Services mServices;
    QTemporaryDir mFolder;
    QString mWorkbook;
    ScriptedBoxes mMessages;
};

TESSIVANE_TEST_MAIN(InstancePoolTest)
#include "tst_instancepool.moc"
