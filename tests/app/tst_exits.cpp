// The program ends in order on every way out: a close once its offices are ready, a shutdown
// request during the start-up check, the start-up check that finds no office, a report at
// start-up. Each ends with status 0, leaves no office, profile or run folder, and writes
// nothing it did not load. `make check-exits` runs it many times on a build under the address
// checker (TESSIVANE_EXECUTABLE_UNDER_TEST, TESSIVANE_EXIT_ROUNDS), where any report fails it.
#include "support/filetesting.h"
#include "support/officeprocesses.h"
#include "support/testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace tessivane::test;

namespace {

// Waits for office starts, not a measure of anything.
constexpr int kStartWait = 120000;

QString Executable()
{
    const QString underTest = qEnvironmentVariable("TESSIVANE_EXECUTABLE_UNDER_TEST");
    return underTest.isEmpty() ? QStringLiteral(TESSIVANE_EXECUTABLE) : underTest;
}

int Rounds()
{
    return std::max(1, qEnvironmentVariableIntValue("TESSIVANE_EXIT_ROUNDS"));
}

/// Whether the process has its shutdown handler in place: a signalfd that takes SIGTERM.
bool CatchesSigterm(qint64 pid)
{
    const QString folder = QStringLiteral("/proc/%1/fdinfo").arg(pid);
    for (const QString& descriptor : QDir(folder).entryList(QDir::Files)) {
        QFile info(folder + QLatin1Char('/') + descriptor);
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("sigmask:")
                && (line.mid(8).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1)
                return true;
    }
    return false;
}

/// Everything under a folder, for a report that names what was left.
QStringList LeftIn(const QString& folder)
{
    QStringList found;
    QDirIterator entries(folder,
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (entries.hasNext())
        found << QDir(folder).relativeFilePath(entries.next());
    return found;
}

} // namespace

class TestExits : public QObject
{
    Q_OBJECT

private slots:
    void everyWayOutEndsInOrder_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("close with the offices ready") << "close";
        QTest::newRow("shutdown during the start-up check") << "during check";
        QTest::newRow("the start-up check finds no office") << "no office";
        QTest::newRow("a report at start-up") << "report";
    }

    void everyWayOutEndsInOrder()
    {
        QFETCH(QString, way);
        for (int round = 0; round < Rounds(); ++round) {
            wayOut(way);
            if (QTest::currentTestFailed())
                return;
        }
    }

private:
    void wayOut(const QString& way)
    {
        QTemporaryDir folder;
        const QString temp = folder.filePath(QStringLiteral("temp"));
        QVERIFY(QDir().mkpath(temp));
        const QString store = folder.filePath(QStringLiteral("config/Velmora/Tessivane.ini"));
        QVERIFY(QDir().mkpath(QFileInfo(store).path()));
        {
            QFile rows(store);
            QVERIFY(rows.open(QIODevice::WriteOnly));
            rows.write(way == QLatin1String("report") ? "[Tessivane]\nRowCount=abc\n"
                                                      : "[Tessivane]\nRowCount=0\n");
        }
        const QByteArray stored = ReadAll(store);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath("config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
        // No office can make its profile inside a file, whoever runs the test.
        const QString notAFolder = folder.filePath(QStringLiteral("file"));
        QVERIFY(QFile(notAFolder).open(QIODevice::WriteOnly));
        environment.insert(
            QStringLiteral("TMPDIR"), way == QLatin1String("no office") ? notAFolder : temp);
        environment.insert(QStringLiteral("TEMP"), temp);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(Executable(), QStringList());
        QVERIFY(program.waitForStarted());
        const qint64 pid = program.processId();

        QTRY_VERIFY_WITH_TIMEOUT(CatchesSigterm(pid), kStartWait);
        if (way == QLatin1String("close"))
            QTRY_VERIFY_WITH_TIMEOUT(OfficeChildrenOf(pid_t(pid)).size() >= 2, kStartWait);
        else if (way == QLatin1String("during check"))
            QTRY_VERIFY_WITH_TIMEOUT(OfficeChildrenOf(pid_t(pid)).size() >= 1, kStartWait);
        else // somewhere in the start-up, or with its box open
            QThread::msleep(QRandomGenerator::global()->bounded(600));
        const QList<pid_t> offices = OfficeChildrenOf(pid_t(pid));
        QCOMPARE(::kill(pid_t(pid), SIGTERM), 0);
        QVERIFY(program.waitForFinished(kStartWait));

        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(!errors.contains(QLatin1String("Sanitizer")), qPrintable(errors));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        for (pid_t office : offices)
            QTRY_COMPARE_WITH_TIMEOUT(GroupMembers(office), 0, 10000);
        const QStringList left = LeftIn(temp);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral(", "))));
        // Ended before its main loop: nothing written. A shutdown request that comes while the
        // check waits for its office is heard once the window is up: a close, which saves.
        if (way == QLatin1String("no office") || way == QLatin1String("report"))
            QCOMPARE(ReadAll(store), stored);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestExits)
#include "tst_exits.moc"
