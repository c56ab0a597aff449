// The program itself, as a process: its command line is answered without a display, and whatever
// ends it, early or once its offices are ready, no office of its own outlives it.
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
    void commandLineAnsweredWithoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        const QString version = QStringLiteral("Tessivane " TESSIVANE_VERSION "\n");
        QTest::newRow("--help") << QStringList {"--help"} << 0 << "Usage: tessivane [options]\n"
                                << "";
        QTest::newRow("-h") << QStringList {"-h"} << 0 << "--help"
                            << "";
        QTest::newRow("--version") << QStringList {"--version"} << 0 << version << "";
        QTest::newRow("-v after a Qt option")
            << QStringList {"-style", "fusion", "-v"} << 0 << version << "";
        QTest::newRow("unknown option")
            << QStringList {"--frobnicate"} << 2 << ""
            << "tessivane: Unknown option 'frobnicate'.\nTry 'tessivane --help'";
        QTest::newRow("argument") << QStringList {"rows.csv"} << 2 << ""
                                  << "tessivane: unexpected argument 'rows.csv'.";
    }

    void commandLineAnsweredWithoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, error);
        QTemporaryDir folder;
        // A window would need the X display there is none of: the program would abort.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path());
        environment.insert(QStringLiteral("TEMP"), folder.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSIVANE_EXECUTABLE), arguments);
        QVERIFY(program.waitForFinished(kStartWait));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(output.isEmpty() ? out.isEmpty() : out.contains(output), qPrintable(out));
        QVERIFY2(error.isEmpty() ? err.isEmpty() : err.startsWith(error), qPrintable(err));
        // Nothing started: no office profile, no settings written.
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

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
