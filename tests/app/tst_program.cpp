// The program itself, as a process: its command line is answered without a display, whatever
// ends it, early or once its offices are ready, no office of its own outlives it, and one
// program runs per stored list (real windows on a private X server).
#include "support/filetesting.h"
#include "support/officeprocesses.h"
#include "support/privatedisplay.h"
#include "support/testmain.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

using namespace tessivane::test;

namespace {

// Waits for office starts, not a measure of anything.
constexpr int kStartWait = 120000;

// The program's settings, temporary and runtime folders, all in one private folder.
QProcessEnvironment ProgramEnvironment(const QString& folder, const QString& display = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
        display.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("TMPDIR"), folder);
    environment.insert(QStringLiteral("TEMP"), folder);
    QDir(folder).mkpath(QStringLiteral("config/Velmora"));
    QDir(folder).mkdir(QStringLiteral("runtime"));
    QFile::setPermissions(folder + QStringLiteral("/runtime"),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return environment;
}

// A stored list of one row; returns the file's bytes.
QByteArray StoreOneRow(const QString& folder)
{
    const QByteArray bytes = "[Tessivane]\nRowCount=1\nRowSource1%201=SN-100000\n"
                             "RowSource2%201=Desk \"oak\"\n";
    QFile file(folder + QStringLiteral("/config/Velmora/Tessivane.ini"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return bytes;
}

QByteArray StoredBytes(const QString& folder)
{
    return ReadAll(folder + QStringLiteral("/config/Velmora/Tessivane.ini"));
}

// The program's shown windows: the main window, or a message box of its own.
QList<TopWindow> ProgramWindows(const DisplayLook& look)
{
    QList<TopWindow> windows = look.shownWindows();
    windows.removeIf([](const TopWindow& window) { return window.name != "Tessivane"; });
    return windows;
}

/// Programs with real windows on a private X server, sharing one settings store of one row.
struct OnPrivateDisplay
{
    PrivateDisplay server;
    DisplayLook look {server.display()};
    QTemporaryDir folder;
    QProcessEnvironment environment = ProgramEnvironment(folder.path(), server.display());
    QByteArray stored = StoreOneRow(folder.path());

    bool ready() const { return !server.display().isEmpty() && look.ok() && !stored.isEmpty(); }
    void start(QProcess& program) const
    {
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSIVANE_EXECUTABLE), QStringList());
    }
};

// Ends a program as a logout would, its rows written.
void EndProgram(QProcess& program)
{
    ::kill(pid_t(program.processId()), SIGTERM);
    if (!program.waitForFinished(kStartWait)) {
        program.kill();
        program.waitForFinished();
    }
}

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
        QTest::newRow("--help") << QStringList {"--help"} << 0
                                << "Usage: tessivane [options] [file]\n"
                                << "";
        QTest::newRow("-h") << QStringList {"-h"} << 0 << "--help"
                            << "";
        QTest::newRow("--version") << QStringList {"--version"} << 0 << version << "";
        QTest::newRow("-v after a Qt option")
            << QStringList {"-style", "fusion", "-v"} << 0 << version << "";
        QTest::newRow("unknown option")
            << QStringList {"--frobnicate"} << 2 << ""
            << "tessivane: Unknown option 'frobnicate'.\nTry 'tessivane --help'";
        QTest::newRow("two files") << QStringList {"a.csv", "b.csv"} << 2 << ""
                                   << "tessivane: unexpected argument 'b.csv'.";
        QTest::newRow("an option of --output without it")
            << QStringList {"--skip-refused"} << 2 << ""
            << "tessivane: --skip-refused is given only with --output.";
        QTest::newRow("an output of a kind not written")
            << QStringList {"--output", "list.txt"} << 2 << ""
            << "tessivane: 'list.txt': the output's name must end in .xls, .pdf, .xlsx or .ods.";
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
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
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

    // The command needs no display, writes only its output, never the store, and leaves
    // nothing behind, also when a shutdown signal ends it while its office works.
    void commandRunsWithoutADisplayAndLeavesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("written") << 0;
        QTest::newRow("SIGTERM while the office works") << int(SIGTERM);
    }

    void commandRunsWithoutADisplayAndLeavesNothing()
    {
        QFETCH(int, signal);
        QTemporaryDir folder;
        QProcessEnvironment environment = ProgramEnvironment(folder.path());
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        const QByteArray stored = StoreOneRow(folder.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSIVANE_EXECUTABLE),
            {QStringLiteral("--output"), folder.filePath(QStringLiteral("list.pdf"))});
        QVERIFY(program.waitForStarted());
        if (signal != 0) {
            QTRY_VERIFY_WITH_TIMEOUT(!OfficeChildrenOf(pid_t(program.processId())).isEmpty()
                    || program.state() == QProcess::NotRunning,
                kStartWait);
            QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        }
        QVERIFY(program.waitForFinished(kStartWait));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), signal == 0 ? 0 : 128 + signal);
        QCOMPARE(program.readAllStandardError(), QByteArray());
        QStringList expected {QStringLiteral("config"), QStringLiteral("runtime")};
        if (signal == 0)
            expected.insert(1, QStringLiteral("list.pdf"));
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            expected);
        QCOMPARE(StoredBytes(folder.path()), stored);
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
        QProcess program;
        program.setProcessEnvironment(ProgramEnvironment(folder.path()));
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

    // A second start brings the running program's window forward and ends, writing nothing;
    // two starts at the same moment give one program all the same.
    void secondStartBringsTheFirstForward_data()
    {
        QTest::addColumn<bool>("sameMoment");
        QTest::newRow("once the first window is up") << false;
        QTest::newRow("two starts at the same moment") << true;
    }

    void secondStartBringsTheFirstForward()
    {
        QFETCH(bool, sameMoment);
        const OnPrivateDisplay x;
        if (!x.ready())
            QSKIP("Xvfb could not be started");
        const DisplayLook& look = x.look;
        QProcess first, second;
        x.start(first);
        if (!sameMoment) {
            // Without a window manager a window shown is not given the focus.
            QTRY_COMPARE_WITH_TIMEOUT(ProgramWindows(look).size(), 1, kStartWait);
            QCOMPARE(look.focus(), 0u);
        }
        x.start(second);
        QTRY_VERIFY_WITH_TIMEOUT(
            first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning,
            kStartWait);
        const bool firstEnded = first.state() == QProcess::NotRunning;
        QProcess& ended = firstEnded ? first : second;
        QProcess& running = firstEnded ? second : first;
        QVERIFY(sameMoment || !firstEnded);
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(ProgramWindows(look).size(), 1, kStartWait);
        const TopWindow window = ProgramWindows(look).constFirst();
        QCOMPARE(window.pid, running.processId());
        QTRY_COMPARE_WITH_TIMEOUT(look.focus(), window.id, 10000);
        QCOMPARE(running.state(), QProcess::Running);
        QCOMPARE(StoredBytes(x.folder.path()), x.stored);
        EndProgram(running);
    }

    // A second start with a list file ends at once, and the running program opens that
    // file's import review; the list is not touched meanwhile.
    void secondStartWithAFileOpensTheReview()
    {
        const OnPrivateDisplay x;
        if (!x.ready())
            QSKIP("Xvfb could not be started");
        const QString list = x.folder.filePath(QStringLiteral("list.csv"));
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("SN-7,Lathe\r\n") > 0);
        file.close();
        QProcess first, second;
        x.start(first);
        QTRY_COMPARE_WITH_TIMEOUT(ProgramWindows(x.look).size(), 1, kStartWait);
        second.setProcessEnvironment(x.environment);
        second.start(QStringLiteral(TESSIVANE_EXECUTABLE), {list});
        QVERIFY(second.waitForFinished(kStartWait));
        QCOMPARE(second.exitCode(), 0);
        const auto reviewShown = [&] {
            const QList<TopWindow> windows = x.look.shownWindows();
            return std::any_of(windows.cbegin(), windows.cend(), [&](const TopWindow& window) {
                return window.name == "Import Rows" && window.pid == first.processId();
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(reviewShown(), kStartWait);
        QCOMPARE(StoredBytes(x.folder.path()), x.stored);
        EndProgram(first);
    }

    // A program that was killed leaves its lock and socket; the next start takes them over.
    void staleLockOfAKilledProgramIsTakenOver()
    {
        const OnPrivateDisplay x;
        if (!x.ready())
            QSKIP("Xvfb could not be started");
        QProcess killed;
        x.start(killed);
        QTRY_COMPARE_WITH_TIMEOUT(ProgramWindows(x.look).size(), 1, kStartWait);
        killed.kill();
        QVERIFY(killed.waitForFinished());
        const QDir runtime(x.folder.filePath(QStringLiteral("runtime")));
        QCOMPARE(
            runtime.entryList({QStringLiteral("tessivane-*")}, QDir::System | QDir::Files).size(),
            2);

        QProcess next;
        x.start(next);
        QTRY_VERIFY_WITH_TIMEOUT(ProgramWindows(x.look).size() == 1
                && ProgramWindows(x.look).constFirst().pid == next.processId(),
            kStartWait);
        QCOMPARE(next.state(), QProcess::Running);
        QCOMPARE(StoredBytes(x.folder.path()), x.stored);
        EndProgram(next);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestProgram)
#include "tst_program.moc"
