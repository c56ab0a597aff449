// The program itself, as a process: whatever ends it, early or once its offices are ready, no
// office of its own outlives it.
#include "support/officeprocesses.h"
#include "support/testmain.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

using namespace tessivane::test;

namespace {

// Waits for office starts, not a measure of anything.
constexpr int kStartWait = 120000;

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void noOfficeOutlivesTheProgram_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("officesFirst");
        QTest::newRow("SIGTERM while the first office starts") << int(SIGTERM) << 1;
        QTest::newRow("SIGTERM with both offices ready") << int(SIGTERM) << 2;
        QTest::newRow("SIGKILL with both offices ready") << int(SIGKILL) << 2;
    }

    void noOfficeOutlivesTheProgram()
    {
        QFETCH(int, signal);
        QFETCH(int, officesFirst);
        QTemporaryDir folder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path());
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
        environment.insert(QStringLiteral("TEMP"), folder.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSIVANE_EXECUTABLE), QStringList());
        QVERIFY(program.waitForStarted());
        const pid_t pid = pid_t(program.processId());

        QTRY_VERIFY_WITH_TIMEOUT(OfficeChildrenOf(pid).size() >= officesFirst, kStartWait);
        const QList<pid_t> offices = OfficeChildrenOf(pid);
        QCOMPARE(::kill(pid, signal), 0);
        QVERIFY(program.waitForFinished(kStartWait));
        if (signal == SIGTERM) {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            // Every office it started is gone with its profile, not only the ones seen.
            QCOMPARE(QDir(folder.path())
                         .entryList({QStringLiteral("tessivane-office-*")}, QDir::AllEntries),
                QStringList());
        }
        for (pid_t office : offices)
            QTRY_COMPARE_WITH_TIMEOUT(GroupMembers(office), 0, 10000);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestProgram)
#include "tst_program.moc"
