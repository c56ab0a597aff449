// A working office is never ended for being slow; a hung or killed one, or one whose program
// was killed, is found, ended and leaves nothing behind. On the real LibreOffice.

#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"
#include "support/sharedoffice.h"
#include "support/testmain.h"

#include "office/services/libreoffice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

class OfficeFailuresTest : public QObject, protected SharedOffice
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Another office of the program stays up throughout: ending a failed one must leave
        // its profile and pipe alone.
        startSharedOffice();
    }

    void cleanupTestCase() { endSharedOffice(); }
    void init() { resetOfficeSettings(); }

    void aSlowCallOnAWorkingOfficeIsNeverEnded()
    {
        // The limit is how long the office may stay silent, not how long a call may take: a
        // write and a save far longer than it go through.
        mServices.office.callLimit = 500ms;
        ApplicationPtr app = createApplication(mServices);
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        const std::shared_ptr<Worksheet> sheet = app->Worksheets(1);
        QElapsedTimer took;
        took.start();
        for (int row = 4; row < 6004; ++row)
            for (int column = 1; column <= 13; ++column)
                sheet->PutCell(row, column, QStringLiteral("cell %1.%2").arg(row).arg(column));
        app->flushCellWrites();
        book->SaveAs(mFolder.filePath(QStringLiteral("slow.xls")), 56);
        qInfo("writing and saving took %lld ms", qint64(took.elapsed()));
        QVERIFY(app->isAlive());
        book->Close();
        app->Quit();
    }

    void hungInstanceFailsWithinItsLimit()
    {
        const QList<pid_t> offices = OfficeChildren();
        const QStringList profiles = ProfileFolders();
        // The caller's hook runs, on the caller's thread, while a call waits: also for one
        // that never returns, which the limit still ends.
        int waits = 0;
        bool waitsOnCaller = true;
        mServices.office.callLimit = 1s;
        ApplicationPtr app = createApplication(mServices, [&] {
            ++waits;
            waitsOnCaller = waitsOnCaller && QThread::currentThread() == qApp->thread();
        });
        const QString pipe = InstancePipeFile(NewProfile(profiles));
        QVERIFY(QFile::exists(pipe));
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        app->Worksheets(1)->PutCell(4, 1, QStringLiteral("before"));
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(::kill(office, SIGSTOP), 0);
        QTRY_VERIFY(HasStopped(office));
        waits = 0;
        try {
            app->Range_Select(QStringLiteral("B4")); // flushes the put, then selects
            QFAIL("a stopped instance answered");
        } catch (const SpreadsheetGone& e) {
            QVERIFY2(
                QString::fromUtf8(e.what()).contains(QStringLiteral("did not answer")), e.what());
        }
        QVERIFY(waits > 0);
        QVERIFY(waitsOnCaller);
        QVERIFY(!app->isAlive());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Worksheets(1)->PutCell(4, 1, 1));
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, book->SaveAs(mFolder.filePath("h.xls"), 56));
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Quit());
        book.reset();
        app.reset();
        QCOMPARE(GroupMembers(office), 0);
        QCOMPARE(Leftovers().size(), 2); // the shared instance's profile and pipe
        QVERIFY(!QFile::exists(pipe));
        QVERIFY(!ScratchFolderLeft(office));
    }

    void killedInstanceIsGone()
    {
        const QList<pid_t> offices = OfficeChildren();
        const QStringList profiles = ProfileFolders();
        ApplicationPtr app = createApplication(mServices);
        const QString pipe = InstancePipeFile(NewProfile(profiles));
        QVERIFY(QFile::exists(pipe));
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(::kill(office, SIGKILL), 0);
        try {
            book->ActiveSheet();
            QFAIL("a killed instance answered");
        } catch (const SpreadsheetGone& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("LibreOffice")), e.what());
        }
        QVERIFY(!app->isAlive());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Worksheets(1)->PutCell(4, 1, 1));
        book.reset();
        app.reset();
        QCOMPARE(Leftovers().size(), 2); // the shared instance's profile and pipe
        QVERIFY(!QFile::exists(pipe));
        QVERIFY(!ScratchFolderLeft(office));
    }

    void killedProgramTakesItsInstanceAlong()
    {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-instance")});
        QVERIFY(holder.waitForReadyRead(60000));
        const qint64 holderPid = holder.processId();
        const pid_t office = holder.readLine().trimmed().toInt();
        QVERIFY(office > 0);
        const QString profile = QStringLiteral("tessivane-office-%1-").arg(holderPid);
        QVERIFY(!QDir::temp().entryList({profile + '*'}, QDir::Dirs).isEmpty());
        holder.kill(); // SIGKILL: no destructor runs
        QVERIFY(holder.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(GroupMembers(office) == 0, 10000);
        // The profile and pipe file of the killed program go with the next start. Whether
        // they are still there before it is not checked: the pipe files are in the shared
        // /tmp, and a test program starting at the same moment cleans them just the same.
        const QStringList pipe {QStringLiteral("OSL_PIPE_*_tessivane-%1-*").arg(holderPid)};
        ApplicationPtr app = createApplication(mServices);
        QVERIFY(QDir::temp().entryList({profile + '*'}, QDir::Dirs).isEmpty());
        QVERIFY(
            QDir(QStringLiteral("/tmp")).entryList(pipe, QDir::System | QDir::Hidden).isEmpty());
        app->Quit();
    }
};

/// The helper mode of this program: start an instance, tell its process, and wait to be
/// killed.
int HoldInstance()
{
    const Services services;
    const ApplicationPtr app = createApplication(services);
    std::printf("%d\n", int(OfficeChildren().value(0, -1)));
    std::fflush(stdout);
    ::pause();
    return 0;
}

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--hold-instance") == 0)
        return HoldInstance();
    return RunTests<QApplication, OfficeFailuresTest>(argc, argv);
}

#include "tst_officefailures.moc"
