// Offices started ahead of need. The pool's policy (warm-up, serving once, replacing a lost
// office, giving up after repeated losses, refilling after a run, ending everything) on
// stand-in instances, in milliseconds; then once on the real LibreOffice: the start-up check's
// office and the ready ones are the very processes that serve, and nothing is left.
#include "support/fakespreadsheet.h"
#include "support/filetesting.h"
#include "support/officeprocesses.h"
#include "support/officetemplate.h"
#include "support/scriptedboxes.h"
#include "support/startupcheck.h"
#include "support/testmain.h"

#include "office/picture/snapshot.h"
#include "office/pool/instancepool.h"
#include "office/services/backgroundreleases.h"
#include "office/services/excel1.h"
#include "office/services/isinstalled.h"
#include "office/services/libreoffice.h"
#include "office/services/readyoffices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

// Waits for real office starts, not a measure of anything.
constexpr int kStartWait = 120000;
// Waits for the pool's own threads with stand-ins (it looks again every half second).
constexpr int kPoolWait = 5000;

/// The script and the count of the stand-in offices one pool makes; safe from any thread.
struct StandIns
{
    std::atomic<int> made {0};
    std::atomic<int> started {0};
    std::atomic<int> warmed {0};
    std::atomic<int> ended {0};
    std::atomic<bool> startFails {false};
    std::atomic<bool> startHangs {false}; // until the instance is aborted
    std::atomic<bool> warmUpHangs {false}; // until cleared or the instance is aborted
    std::mutex mutex;
    std::vector<std::weak_ptr<class StandIn>> all;

    std::shared_ptr<StandIn> at(int index);
    InstanceFactory factory();
};

class StandIn : public PooledInstance, public std::enable_shared_from_this<StandIn>
{
public:
    explicit StandIn(StandIns& script)
        : mScript(script)
    { }
    ~StandIn() override { end(false); }

    void start() override
    {
        ++mScript.started;
        if (mScript.startFails)
            throw std::runtime_error("The stand-in could not start.");
        std::unique_lock lock(mMutex);
        mWake.wait(lock, [this] { return !mScript.startHangs || mDead; });
        if (mDead)
            throw std::runtime_error("The stand-in was ended while it started.");
    }
    void warmUp() override
    {
        while (mScript.warmUpHangs && !mDead)
            std::this_thread::sleep_for(1ms);
        ++mScript.warmed;
        mWarm = true;
    }
    bool isWarm() const override { return mWarm; }
    bool alive() override { return !mDead && !mEnded; }
    bool answers(std::chrono::milliseconds) noexcept override { return alive() && !mStopped; }
    void abort() noexcept override
    {
        std::lock_guard lock(mMutex);
        mDead = true;
        mWake.notify_all();
    }
    void end(bool) noexcept override
    {
        if (!mEnded.exchange(true))
            ++mScript.ended;
    }
    ApplicationPtr handOut(
        std::function<void(std::function<void()>)> ender, std::function<void()> onEnded) override;
    bool owns(const Application& application) const override;
    bool isUnused() const override { return !mUsed; }
    bool takeBack() override
    {
        mEnder = nullptr;
        mOnEnded = nullptr;
        mHandedOut = false;
        return true;
    }

    /// Ended as the LibreOffice instance ends when its caller lets go (unless the pool took it
    /// back): its rest where the pool says, then the pool told.
    void finish(bool quit)
    {
        if (!std::exchange(mHandedOut, false))
            return;
        auto rest = [self = shared_from_this(), onEnded = mOnEnded] {
            self->end(true);
            if (onEnded)
                onEnded();
        };
        if (quit && mEnder)
            mEnder(rest);
        else
            rest();
    }

    std::atomic<bool> mDead {false};
    std::atomic<bool> mStopped {false};
    bool mUsed = false;

private:
    bool mHandedOut = false;
    StandIns& mScript;
    std::atomic<bool> mWarm {false};
    std::atomic<bool> mEnded {false};
    std::mutex mMutex;
    std::condition_variable mWake;
    std::function<void(std::function<void()>)> mEnder;
    std::function<void()> mOnEnded;
};

/// What a caller holds of a stand-in: a fake application whose end is the stand-in's.
class StandInApplication : public FakeApplication
{
public:
    StandInApplication(FakeOffice& office, std::shared_ptr<StandIn> instance)
        : FakeApplication(office)
        , mInstance(std::move(instance))
    { }
    ~StandInApplication() override
    {
        if (!mQuit)
            mInstance->finish(false);
    }
    void Quit() override
    {
        FakeApplication::Quit();
        mQuit = true;
        mInstance->finish(true);
    }
    bool isAlive() const override { return mInstance->alive() && !mQuit; }
    const StandIn* instance() const { return mInstance.get(); }

private:
    std::shared_ptr<StandIn> mInstance;
    bool mQuit = false;
};

FakeOffice gJournal; // the applications' journal; only the test's thread touches it

ApplicationPtr StandIn::handOut(
    std::function<void(std::function<void()>)> ender, std::function<void()> onEnded)
{
    mEnder = std::move(ender);
    mOnEnded = std::move(onEnded);
    mHandedOut = true;
    return std::make_shared<StandInApplication>(gJournal, shared_from_this());
}

bool StandIn::owns(const Application& application) const
{
    const auto* standIn = dynamic_cast<const StandInApplication*>(&application);
    return standIn && standIn->instance() == this;
}

std::shared_ptr<StandIn> StandIns::at(int index)
{
    std::lock_guard lock(mutex);
    return size_t(index) < all.size() ? all[size_t(index)].lock() : nullptr;
}

InstanceFactory StandIns::factory()
{
    return [this]() -> std::shared_ptr<PooledInstance> {
        auto instance = std::make_shared<StandIn>(*this);
        ++made;
        std::lock_guard lock(mutex);
        all.push_back(instance);
        return instance;
    };
}

StandIn& Of(const ApplicationPtr& application)
{
    return *const_cast<StandIn*>(dynamic_cast<const StandInApplication&>(*application).instance());
}

} // namespace

class InstancePoolTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        ResetOfficeSettings(mServices, mMessages);
        mServices.readyOffices = nullptr;
    }

    void cleanup()
    {
        mServices.releases->waitForAll();
        QCOMPARE(mMessages.prompts(), QStringList());
    }

    void warmsUpServesOnceAndRefillsAfterTheRun()
    {
        StandIns script;
        InstancePool pool(script.factory(), 2, 0ms);
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages); // the check's instance is kept and warmed, not ended
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kPoolWait);
        QTRY_COMPARE_WITH_TIMEOUT(script.warmed.load(), 2, kPoolWait);
        QCOMPARE(script.made.load(), 2);
        QCOMPARE(script.ended.load(), 0);

        // A run takes both; nothing else starts while they are in use.
        ApplicationPtr first = createApplication(mServices);
        ApplicationPtr second = createApplication(mServices);
        QVERIFY(&Of(first) == script.at(0).get() || &Of(first) == script.at(1).get());
        QTest::qWait(50);
        QCOMPARE(script.made.load(), 2);
        QCOMPARE(pool.readyCount(), 0);

        // Used once: ended on the pool's thread, and only then replaced.
        first->Quit();
        first.reset();
        QTest::qWait(50);
        QCOMPARE(script.made.load(), 2); // the second is still in use
        second.reset();
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kPoolWait);
        QCOMPARE(script.made.load(), 4);
        QCOMPARE(script.ended.load(), 2);
        pool.end();
        QCOMPARE(script.ended.load(), 4);
    }

    void theCheckedInstanceWarmsUpWithoutHoldingUpTheNextStart()
    {
        StandIns script;
        script.warmUpHangs = true;
        InstancePool pool(script.factory(), 2, 0ms);
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages);
        // A run takes two offices at once: the second starts while the first warms up.
        QTRY_COMPARE_WITH_TIMEOUT(script.started.load(), 2, kPoolWait);
        QCOMPARE(script.warmed.load(), 0);
        // Ending the pool ends the one warming up and the one starting.
        pool.end();
        QCOMPARE(script.ended.load(), 2);
        QCOMPARE(script.made.load(), 2);
    }

    void aLostReadyInstanceIsReplacedUntilTheyKeepDying_data()
    {
        QTest::addColumn<bool>("stopped"); // else died
        QTest::newRow("died while ready") << false;
        QTest::newRow("stopped answering while ready") << true;
    }

    void aLostReadyInstanceIsReplacedUntilTheyKeepDying()
    {
        QFETCH(bool, stopped);
        StandIns script;
        InstancePool pool(script.factory(), 1, 0ms);
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 1, kPoolWait);
        const auto lose = [&](int index) {
            if (stopped)
                script.at(index)->mStopped = true;
            else
                script.at(index)->mDead = true;
        };
        // A run holds one: a lost ready one is replaced at once all the same.
        ApplicationPtr run = createApplication(mServices);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 0, kPoolWait);
        lose(0); // the one the run holds: the run hears of it through its calls
        QVERIFY(!run->isAlive() || stopped);
        run.reset();
        QTRY_COMPARE_WITH_TIMEOUT(script.made.load(), 2, kPoolWait);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 1, kPoolWait);

        // Taken while lost: replaced without a word, and the caller gets a working one.
        lose(1);
        ApplicationPtr next = createApplication(mServices);
        QVERIFY(next->isAlive());
        QCOMPARE(&Of(next), script.at(2).get());
        next.reset();
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 1, kPoolWait);

        // Lost one after the other without a use between: replaced twice, then no more
        // (a stopped one is only found when it is asked for).
        if (stopped)
            return;
        const int before = script.made.load();
        for (int lost = 0; lost < 3; ++lost) {
            QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 1, kPoolWait);
            lose(before + lost - 1);
            if (lost < 2)
                QTRY_COMPARE_WITH_TIMEOUT(script.made.load(), before + lost + 1, kPoolWait);
        }
        QTest::qWait(700); // more than the pool's look interval
        QCOMPARE(script.made.load(), before + 2);
        QCOMPARE(pool.readyCount(), 0);
        // The next caller's own start still serves.
        QVERIFY(createApplication(mServices)->isAlive());
    }

    void aFailedStartReachesTheCallerWhoWaits()
    {
        StandIns script;
        script.startFails = true;
        InstancePool pool(script.factory(), 2, 0ms);
        mServices.readyOffices = &pool;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, createApplication(mServices));
        // No retry on its own: the next caller's start tells again.
        QTest::qWait(100);
        QCOMPARE(script.started.load(), 1);
        int ends = 0;
        CheckAtStartUp(mServices, mMessages, &ends);
        QCOMPARE(script.started.load(), 2);
        QCOMPARE(ends, 1);
        QCOMPARE(mMessages.calls.size(), 1);
        mMessages.calls.clear();
        // The program ends after the check's message: the pool has ended before it.
        QCOMPARE(pool.readyCount(), 0);
        QCOMPARE(script.made.load(), script.ended.load());
    }

    void aCheckedOfficeThatOpensNoSpreadsheetLeavesNothingRunning()
    {
        StandIns script;
        InstancePool pool(script.factory(), 2, 0ms);
        mServices.readyOffices = &pool;
        gJournal.noSpreadsheetModule = true;
        int officesAtMessage = -1;
        int ends = 0;
        mMessages.during
            = [&](const MessageBoxCall&) { officesAtMessage = script.made - script.ended; };
        CheckAtStartUp(mServices, mMessages, &ends);
        mMessages.during = nullptr;
        gJournal.noSpreadsheetModule = false;
        QCOMPARE(mMessages.prompts(), QStringList {noSpreadsheetMessage()});
        mMessages.calls.clear();
        QCOMPARE(officesAtMessage, 0);
        QCOMPARE(ends, 1);
        QCOMPARE(script.made.load(), 1);
    }

    void anUnusedInstanceGoesBackAndAUsedOneDoesNot()
    {
        StandIns script;
        InstancePool pool(script.factory(), 1, 0ms);
        mServices.readyOffices = &pool;
        ApplicationPtr probe = createApplication(mServices);
        keepReady(mServices, std::move(probe));
        QVERIFY(!probe);
        QCOMPARE(pool.readyCount(), 1);
        QCOMPARE(script.ended.load(), 0);

        ApplicationPtr used = createApplication(mServices);
        Of(used).mUsed = true;
        keepReady(mServices, std::move(used));
        mServices.releases->waitForAll();
        QCOMPARE(script.ended.load(), 1); // ended in the background, not kept
    }

    void endingThePoolStopsAStartAndWaitsForThoseClosing()
    {
        StandIns script;
        InstancePool pool(script.factory(), 2, 0ms);
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages);
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kPoolWait);
        ApplicationPtr used = createApplication(mServices);
        script.startHangs = true;
        used->Quit(); // on the pool's ending thread; the refill that follows never ends
        used.reset();
        QTRY_COMPARE_WITH_TIMEOUT(script.started.load(), 3, kPoolWait);
        pool.end(); // the hanging start is aborted, the ready one ended, the quit one waited for
        QCOMPARE(script.ended.load(), script.made.load());
        QCOMPARE(pool.readyCount(), 0);
        // Ended: no more ready instances; the services start their own again.
        QVERIFY(!pool.takeReadyInstance());
    }

    void realOfficesServeAndLeaveNothing()
    {
        // The pause keeps the refill from starting before the check's office is looked at.
        InstancePool pool(libreOfficeInstances(mServices), 2, 500ms);
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages);
        const QList<pid_t> checked = OfficeChildren();
        QVERIFY(!checked.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, kStartWait);
        const QList<pid_t> ready = OfficeChildren();
        QCOMPARE(ready.size(), 2);
        for (pid_t office : checked) // the start-up check's office stayed
            QVERIFY(ready.contains(office));

        // Both uses of a run get a ready process, and no other one is started meanwhile.
        ApplicationPtr first = createApplication(mServices);
        ApplicationPtr second = createApplication(mServices);
        QVERIFY(!first->Version().isEmpty() && !second->Version().isEmpty());
        QCOMPARE(OfficeChildren(), ready);
        first->Quit();
        second->Quit();
        first.reset();
        second.reset();
        // Their refill is the stand-ins' business: the pool's end stops it part way.
        for (pid_t used : ready)
            QTRY_COMPARE_WITH_TIMEOUT(GroupMembers(used), 0, kStartWait);
        pool.end();
        QCOMPARE(Children().size(), 0);
        QCOMPARE(Leftovers(), QStringList());
    }

    void aReadyOfficeDrawsPartOfALongPicture_data()
    {
        QTest::addColumn<bool>("reopened"); // as a run reopens its workbook: a helper lent ahead
        QTest::addColumn<bool>("pictured");
        QTest::newRow("taken at the first band") << false << true;
        QTest::newRow("lent ahead as the workbook is reopened") << true << true;
        QTest::newRow("lent ahead, no picture asked for") << true << false;
    }

    void aReadyOfficeDrawsPartOfALongPicture()
    {
        // A picture drawn by two offices is the very picture one office draws alone, and a
        // helper lent ahead that is never asked for ends with the office it was lent to.
        QFETCH(bool, reopened);
        QFETCH(bool, pictured);
        InstancePool pool(libreOfficeInstances(mServices), 1, 500ms, helperInstances(mServices));
        mServices.readyOffices = &pool;
        CheckAtStartUp(mServices, mMessages); // its office is kept, and the helper starts after it
        QTRY_VERIFY_WITH_TIMEOUT(pool.helperReady(), kStartWait);
        QTemporaryDir folder;
        ApplicationPtr app = createApplication(mServices);
        const QString saved = folder.filePath(QStringLiteral("long.xls"));
        {
            auto book = app->workbooks().Open(TestTemplate(folder.path(), *app));
            const auto sheet = book->ActiveSheet();
            for (int row = 4; row < 604; ++row) // some nine bands, in a file of 100 KB or more
                for (int column = 1; column <= 13; ++column)
                    sheet->PutCell(row, column, QStringLiteral("Row %1 %2").arg(row).arg(column));
            book->SaveAs(saved, 56);
            book->Close();
        }
        const auto picture = [&](const ApplicationPtr& office, const QString& name) {
            const auto book = office->workbooks().item(office->workbooks().count());
            const QString path = folder.filePath(name);
            saveCellsActivesheet(book, path, mMessages);
            book->Close();
            return ReadAll(path);
        };
        QByteArray together;
        if (reopened) {
            ApplicationPtr second = OpenInNewExcel(mServices, saved, {});
            QVERIFY(!pool.helperReady()); // lent at once
            if (pictured)
                together = picture(second, QStringLiteral("together.bmp"));
            second->Quit();
        } else {
            app->workbooks().Open(saved);
            together = picture(app, QStringLiteral("together.bmp"));
            QVERIFY(!pool.helperReady()); // it helped, and is not replaced while app is in use
        }
        if (pictured) {
            app->workbooks().Open(saved);
            const QByteArray alone = picture(app, QStringLiteral("alone.bmp"));
            QVERIFY(together.size() > 40'000'000); // enough bands for the helper to take some
            QVERIFY(together == alone);
        }
        app->Quit();
        app.reset();
        pool.end();
        QTRY_COMPARE_WITH_TIMEOUT(Children().size(), 0, kStartWait);
        QCOMPARE(Leftovers(), QStringList());
    }

private:
    ScriptedBoxes mMessages;
    Services mServices;
};

TESSIVANE_TEST_MAIN(InstancePoolTest)
#include "tst_instancepool.moc"
