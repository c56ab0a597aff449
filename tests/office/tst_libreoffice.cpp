// The spreadsheet layer's instances against the real LibreOffice: they leave nothing behind,
// and the failures: a missing program, one that never answers, a hung or killed instance.
#include "support/officeprocesses.h"
#include "support/officetemplate.h"
#include "support/scriptedboxes.h"

#include "core/messagebox.h"
#include "office/excel1.h"
#include "office/isinstalled.h"
#include "office/libreoffice.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

/// The office process that was started after the given list was taken.
pid_t NewOfficeChild(const QList<pid_t>& before)
{
    for (pid_t pid : OfficeChildren())
        if (!before.contains(pid))
            return pid;
    return -1;
}

/// Whether every thread of the child has stopped (a stop that the parent may wait for). A
/// SIGSTOP stops the process only once one of its threads takes it; until then its other
/// threads still run, and an office can still answer a call made meanwhile.
bool HasStopped(pid_t child)
{
    siginfo_t info {};
    return ::waitid(P_PID, id_t(child), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == child;
}

/// Whether a killed office's own scratch folder ("lu<pid>….tmp") stayed in the system's
/// temporary folder instead of going with its private profile.
bool ScratchFolderLeft(pid_t office)
{
    return !QDir(QDir::tempPath())
                .entryList({QStringLiteral("lu%1*.tmp").arg(office)}, QDir::Dirs)
                .isEmpty();
}

/// The office's own single-instance pipe file of a profile folder.
QString InstancePipeFile(const QString& profile)
{
    const QString url
        = QUrl::fromLocalFile(QDir::temp().filePath(profile)).toString(QUrl::FullyEncoded);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(url.utf16()), url.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("/tmp/OSL_PIPE_%1_SingleOfficeIPC_").arg(getuid());
    for (const char byte : digest)
        name += QString::number(quint8(byte), 16);
    return name;
}

/// The profile folder that was made after the given list was taken.
QString NewProfile(const QStringList& before)
{
    for (const QString& folder : ProfileFolders())
        if (!before.contains(folder))
            return folder;
    return QString();
}

void WriteScript(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class LibreOfficeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(mFolder.isValid());
        mApp = createApplication(mServices); // shared by the functions that only read
        mTemplate = TestTemplate(mFolder.path(), *mApp);
    }

    void cleanupTestCase() { EndSharedOffice(mServices, mApp); }
    void init() { ResetOfficeSettings(mServices, mMessages); }

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
        mServices.programEnder = [&] { ++ends; };
        CheckExcelInstance(mServices);
        mServices.programEnder = nullptr;
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
        const QByteArray systemTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, createApplication(mServices));
        if (systemTemp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", systemTemp);
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
        // The profile and pipe file of the killed program go with the next start.
        const QStringList pipe {QStringLiteral("OSL_PIPE_*_tessivane-%1-*").arg(holderPid)};
        QVERIFY(
            !QDir(QStringLiteral("/tmp")).entryList(pipe, QDir::System | QDir::Hidden).isEmpty());
        ApplicationPtr app = createApplication(mServices);
        QVERIFY(QDir::temp().entryList({profile + '*'}, QDir::Dirs).isEmpty());
        QVERIFY(
            QDir(QStringLiteral("/tmp")).entryList(pipe, QDir::System | QDir::Hidden).isEmpty());
        app->Quit();
    }

    void startUpCheckReleasesItsProbe()
    {
        const int before = Children().size();
        CheckExcelInstance(mServices);
        QVERIFY(mMessages.calls.isEmpty());
        mServices.releases->waitForAll();
        QCOMPARE(Children().size(), before);
        QCOMPARE(ProfileFolders().size(), 1);
    }

private:
    ScriptedBoxes mMessages;
    Services mServices {mMessages};
    QTemporaryDir mFolder;
    QString mTemplate;
    ApplicationPtr mApp;
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
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    LibreOfficeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_libreoffice.moc"
