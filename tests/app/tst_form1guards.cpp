// The main window's guards: a stored list that cannot be read is never written over, a failed
// save's notice never takes the click that caused it and waits for the run, and the run's
// progress window never flashes.
#include "support/fakespreadsheet.h"
#include "support/filetesting.h"
#include "support/inventorytesting.h"
#include "support/scriptedboxes.h"

#include "app/form1.h"
#include "app/runprogress.h"
#include "app/savefailurenotice.h"
#include "grid/datagrid.h"
#include "office/services/services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

const QString kNotSaved = QStringLiteral("The inventory list could not be saved.\r\n");

/// What is at a path: a file's bytes, or a folder's entries.
QByteArray Contents(const QString& path)
{
    if (!QFileInfo(path).isDir())
        return ReadAll(path);
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join('|').toUtf8();
}

} // namespace

class TestForm1Guards : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir mConfig;
    ScriptedBoxes mBoxes;
    Services mServices;
    WindowContext mContext {mBoxes};
    FakeOffice mOffice;
    std::optional<FakeOffice::Installed> mInstalled;

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", mConfig.path().toLocal8Bit());
        mInstalled.emplace(mServices, mOffice);
    }

    void init()
    {
        mBoxes.calls.clear();
        clearStore();
    }

    void anUnreadableStoreIsSaidAndNeverWrittenOver_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in the file's place") << true << "a folder is in its place";
        QTest::newRow("no read permission") << false << "Permission denied";
    }
    void anUnreadableStoreIsSaidAndNeverWrittenOver()
    {
        QFETCH(bool, folder);
        QFETCH(QString, reason);
        const QString fileName = store()->fileName();
        QVERIFY(QDir().mkpath(QFileInfo(fileName).path()));
        QFile::remove(fileName);
        if (folder) {
            QVERIFY(QDir().mkpath(fileName + "/rows"));
        } else {
            QFile file(fileName);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Tessivane]\nRowCount=1\nRowSource1%201=SN-1\n");
            file.close();
            QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
        }
        const auto cleanUp = qScopeGuard([&] {
            QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QFile::remove(fileName);
            QDir(fileName).removeRecursively();
        });
        const QByteArray before = Contents(fileName);
        // Root reads every file: the permission is tried as an ordinary user.
        const bool root = geteuid() == 0;
        if (root) {
            for (const QString& path : {mConfig.path(), QFileInfo(fileName).path()})
                QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
            QVERIFY(seteuid(65534) == 0);
        }
        {
            Form1 form(mServices, mContext);
            form.Form_Load();
            QCOMPARE(mBoxes.failures().size(), 1);
            QVERIFY(mBoxes.calls[0].prompt.contains(fileName));
            QVERIFY2(mBoxes.calls[0].prompt.contains(reason), qPrintable(mBoxes.calls[0].prompt));
            QVERIFY(mBoxes.calls[0].prompt.contains("Form1.Form_Load at line 162"));
            QCOMPARE(form.table().RecordCount(), 16);
            form.DataGrid1_Validate();
            form.DataGrid1_Validate();
            QTRY_COMPARE(mBoxes.calls.size(), 2);
            QVERIFY(mBoxes.calls[1].prompt.startsWith(kNotSaved));
            QVERIFY(mBoxes.calls[1].prompt.contains(fileName));
            form.close();
        }
        if (root)
            QVERIFY(seteuid(0) == 0);
        QCOMPARE(mBoxes.calls.size(), 2); // said once
        QCOMPARE(Contents(fileName), before);
    }

    void aFailedSaveIsSaidAfterTheClickThatCausedIt()
    {
        // The settings folder replaced by a file: every write fails.
        const QString folder = QFileInfo(store()->fileName()).path();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto cleanUp = qScopeGuard([&] { QFile::remove(folder); });

        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.grid()->setFocus();
        QTest::mousePress(form.pushButton(6), Qt::LeftButton);
        QTest::qWait(300); // the background write fails meanwhile
        QVERIFY(mBoxes.calls.isEmpty());
        QTest::mouseRelease(form.pushButton(6), Qt::LeftButton);
        QTRY_COMPARE(mBoxes.calls.size(), 2);
        QVERIFY(mBoxes.calls[0].prompt.startsWith("Questions? Please contact Team Velmora"));
        QVERIFY(mBoxes.calls[1].prompt.startsWith(kNotSaved));
        form.hide();
    }

    void aSaveFailureDuringARunIsSaidOnceAfterIt()
    {
        bool running = true;
        SaveFailureNotice notice(
            mBoxes, [&] { return running; }, nullptr);
        notice.report("first");
        notice.report("second");
        notice.showPending();
        QVERIFY(mBoxes.calls.isEmpty());
        running = false;
        notice.showPending();
        notice.showPending();
        QCOMPARE(mBoxes.prompts(), QStringList {kNotSaved + "second"});
    }

    // The run's clock in milliseconds: when its current step began and when it waits.
    void theProgressWindowShowsOnlyForASlowStep_data()
    {
        QTest::addColumn<int>("stepBegins");
        QTest::addColumn<int>("waitsAt");
        QTest::addColumn<bool>("shown");
        QTest::newRow("before the delay") << 0 << 400 << false;
        QTest::newRow("a slow step after the delay") << 100 << 600 << true;
        QTest::newRow("quick steps near the end") << 550 << 650 << false;
        QTest::newRow("a later step that is slow") << 550 << 900 << true;
    }
    void theProgressWindowShowsOnlyForASlowStep()
    {
        QFETCH(int, stepBegins);
        QFETCH(int, waitsAt);
        QFETCH(bool, shown);
        QWidget window;
        window.show();
        qint64 now = 0;
        RunProgress progress(&window, 500ms, [&now] { return now; });
        progress.report(QStringLiteral("Starting LibreOffice"), 0, 0);
        now = stepBegins;
        progress.report(QStringLiteral("Making the picture"), 0, 0);
        now = waitsAt;
        progress.whileWaiting();
        QCOMPARE(window.findChild<QWidget*>("runProgress") != nullptr, shown);
    }

    void theProgressWindowStaysToBeReadOrGoesWithTheMainWindow_data()
    {
        QTest::addColumn<bool>("mainWindowHidden");
        QTest::newRow("the run ends over the main window") << false;
        QTest::newRow("the preview took the main window's place") << true;
    }
    void theProgressWindowStaysToBeReadOrGoesWithTheMainWindow()
    {
        QFETCH(bool, mainWindowHidden);
        QWidget window;
        window.show();
        qint64 now = 0;
        RunProgress progress(&window, 500ms, [&now] { return now; });
        progress.report(QStringLiteral("Opening the template"), 0, 0);
        now = 600;
        progress.whileWaiting();
        QVERIFY(window.findChild<QWidget*>("runProgress"));
        now = 700;
        if (mainWindowHidden)
            window.hide();
        progress.finish();
        QCOMPARE(window.findChild<QWidget*>("runProgress") != nullptr, !mainWindowHidden);
        QTRY_VERIFY(!window.findChild<QWidget*>("runProgress"));
    }
};

TESSIVANE_TEST_MAIN(TestForm1Guards)
#include "tst_form1guards.moc"
