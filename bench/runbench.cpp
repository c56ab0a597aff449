// The program as a user meets it, beside LibreOffice's own round trip (a fresh private office
// converting a two-line CSV to .xls, then quitting), every figure in one run so that the ratios
// share the machine's mood. Each program start is a child process of its own (this executable
// again), so that its start-up and its memory are clean. Run by hand (`make bench`).
#include "procstats.h"
#include "support/privatedisplay.h"
#include "windowrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr char kOffice[] = "/usr/lib/libreoffice/program/soffice.bin";
// A fresh profile makes the first start end with this code and expect a restart.
constexpr int kFreshProfileRestart = 81;

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

/// Seconds for one `soffice --headless --convert-to xls` of a two-line CSV in a fresh
/// private profile, restarts of a fresh profile included; negative on failure.
double OfficeRoundTrip()
{
    QTemporaryDir folder;
    QFile csv(folder.filePath(QStringLiteral("two.csv")));
    if (!csv.open(QIODevice::WriteOnly))
        return -1;
    csv.write("Serial,Description\nSN-100000,Desk\n");
    csv.close();
    const QStringList arguments = {QStringLiteral("-env:UserInstallation=file://")
            + folder.filePath(QStringLiteral("profile")),
        QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xls"),
        QStringLiteral("--outdir"), folder.filePath(QStringLiteral("out")), csv.fileName()};
    const qint64 start = windowrun::MonotonicNs();
    for (int restarts = 0;; ++restarts) {
        QProcess office;
        office.setProcessChannelMode(QProcess::MergedChannels);
        office.start(QString::fromLatin1(kOffice), arguments);
        if (!office.waitForFinished(120000)) {
            office.kill();
            office.waitForFinished();
            return -1;
        }
        if (office.exitCode() == kFreshProfileRestart && restarts < 3)
            continue;
        break;
    }
    const double seconds = double(windowrun::MonotonicNs() - start) / 1e9;
    return QFile::exists(folder.filePath(QStringLiteral("out/two.xls"))) ? seconds : -1;
}

// The figure of a run left out with --only.
constexpr double kSkipped = -2;

/// The "@key value" figures of one program run.
struct Results
{
    QMap<QString, double> figures;
    bool skipped = false;

    double value(const QString& key, double fallback) const
    {
        return skipped ? kSkipped : figures.value(key, fallback);
    }
};

struct Runner
{
    QString display; ///< empty: the offscreen platform
    QList<int> only; ///< the list sizes to run; empty: all
    bool failed = false;

    /// Runs this executable again with arguments in a fresh settings folder holding rows stored
    /// rows and a fresh temporary folder; returns its "@key value" lines.
    Results child(int rows, const QStringList& arguments)
    {
        if (!only.isEmpty() && !only.contains(rows))
            return {{}, true};
        QTemporaryDir config;
        QTemporaryDir temp;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("TEMP"), temp.path());
        environment.insert(QStringLiteral("TMPDIR"), temp.path());
        if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR"))) {
            QDir(temp.path()).mkdir(QStringLiteral("runtime"));
            QFile::setPermissions(temp.filePath(QStringLiteral("runtime")),
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            environment.insert(
                QStringLiteral("XDG_RUNTIME_DIR"), temp.filePath(QStringLiteral("runtime")));
        }
        if (display.isEmpty()) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            environment.insert(QStringLiteral("DISPLAY"), display);
        }
        if (!run(environment, {QStringLiteral("--store"), QString::number(rows)}))
            return {};
        Results results;
        const QStringList full = QStringList {QStringLiteral("--spawned"), QString()} + arguments;
        run(environment, full, &results);
        return results;
    }

    /// `tessivane --quiet --output` of rows stored rows to a file of that kind, without a
    /// display, as a child of this process: seconds and the program's peak resident memory in
    /// megabytes (sampled every 50 ms; its offices not counted).
    Results command(int rows, const char* kind)
    {
        if (!only.isEmpty() && !only.contains(rows))
            return {{}, true};
        QTemporaryDir config;
        QTemporaryDir temp;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("TEMP"), temp.path());
        environment.insert(QStringLiteral("TMPDIR"), temp.path());
        if (!run(environment, {QStringLiteral("--store"), QString::number(rows)}))
            return {};
        const QString output = temp.filePath(QStringLiteral("list.") + QLatin1String(kind));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 start = windowrun::MonotonicNs();
        program.start(QStringLiteral(TESSIVANE_EXECUTABLE),
            {QStringLiteral("--quiet"), QStringLiteral("--output"), output});
        double peak = 0;
        while (!program.waitForFinished(50)) {
            if (program.state() == QProcess::NotRunning)
                break;
            peak = std::max(peak, benchstats::ResidentMegabytes(program.processId()));
            if (windowrun::MonotonicNs() - start > 900 * qint64(1000000000)) {
                program.kill();
                program.waitForFinished();
            }
        }
        Results results;
        if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0
            || !QFile::exists(output)) {
            std::fprintf(stderr, "runbench: tessivane --output %s failed (exit code %d)\n",
                qPrintable(output), program.exitCode());
            failed = true;
            return results;
        }
        results.figures.insert(
            QStringLiteral("seconds"), double(windowrun::MonotonicNs() - start) / 1e9);
        results.figures.insert(QStringLiteral("peak"), peak);
        return results;
    }

private:
    bool run(
        const QProcessEnvironment& environment, QStringList arguments, Results* results = nullptr)
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (arguments.value(0) == QStringLiteral("--spawned"))
            arguments[1] = QString::number(windowrun::MonotonicNs());
        program.start(QCoreApplication::applicationFilePath(), arguments);
        if (!program.waitForFinished(900000)) {
            program.kill();
            program.waitForFinished();
        }
        const QList<QByteArray> lines = program.readAllStandardOutput().split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> parts = line.split(' ');
            if (results && line.startsWith('@') && parts.size() == 2)
                results->figures.insert(QString::fromLatin1(parts[0].mid(1)), parts[1].toDouble());
        }
        const bool ok = program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
        if (!ok) {
            std::fprintf(stderr, "runbench: %s failed (exit code %d)\n",
                qPrintable(arguments.join(QLatin1Char(' '))), program.exitCode());
            failed = true;
        }
        return ok;
    }
};

void Line(const char* work, const QString& figure, double ratio, const char* goal, int met)
{
    const QString ratioText = ratio >= 0 ? QStringLiteral("%1 x").arg(ratio, 0, 'f', 2) : "";
    const char* verdict
        = met < 0 || figure == QStringLiteral("skipped") ? "" : (met ? "met" : "NOT MET");
    std::printf("| %-56s | %10s | %7s | %-26s | %-7s |\n", work, qPrintable(figure),
        qPrintable(ratioText), goal, verdict);
}

QString Seconds(double value)
{
    if (value == kSkipped)
        return QStringLiteral("skipped");
    return value >= 0 ? QStringLiteral("%1 s").arg(value, 0, 'f', 2) : QStringLiteral("failed");
}

QString Milliseconds(double seconds, int decimals)
{
    if (seconds == kSkipped)
        return QStringLiteral("skipped");
    return seconds >= 0 ? QStringLiteral("%1 ms").arg(seconds * 1000, 0, 'f', decimals)
                        : QStringLiteral("failed");
}

QString Megabytes(double value)
{
    return value == kSkipped ? QStringLiteral("skipped")
                             : QStringLiteral("%1 MB").arg(value, 0, 'f', 0);
}

int Parent(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList options = QCoreApplication::arguments();
    const bool offscreen = options.contains(QStringLiteral("--offscreen"));
    std::unique_ptr<tessivane::test::PrivateDisplay> server;
    Runner runner;
    // --only=16,2000: only the program runs of those list sizes (quicker comparisons).
    for (const QString& option : options) {
        if (option.startsWith(QStringLiteral("--only=")))
            for (const QString& rows : option.mid(7).split(QLatin1Char(',')))
                runner.only.append(rows.toInt());
    }
    if (!offscreen) {
        server = std::make_unique<tessivane::test::PrivateDisplay>();
        runner.display = server->display();
    }
    std::printf("Window path on %s; every figure from this one run (the machine may be shared: "
                "compare ratios, not seconds).\n",
        runner.display.isEmpty() ? "the offscreen platform"
                                 : qPrintable(QStringLiteral("a private Xvfb ") + runner.display));
    std::fflush(stdout);

    // The reference before and after the program's runs, so that a change in the machine's load
    // during the bench shows in the spread.
    std::vector<double> trips;
    const auto roundTrips = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const double trip = OfficeRoundTrip();
            if (trip < 0)
                runner.failed = true;
            else
                trips.push_back(trip);
            std::printf("  LibreOffice round trip: %s\n", qPrintable(Seconds(trip)));
            std::fflush(stdout);
        }
    };
    roundTrips(3);

    const QStringList click = {QStringLiteral("--click")};
    const Results small = runner.child(16, click + QStringList {QStringLiteral("--second")});
    const Results middle = runner.child(500, click);
    const Results large = runner.child(2000, click);
    const QStringList scroll = {QStringLiteral("--scroll")};
    const Results tall
        = runner.child(10000, click + scroll + QStringList {QStringLiteral("--second")});
    const Results taller = runner.child(20000, click + scroll);
    const Results big = runner.child(10000, {QStringLiteral("--focus-out")});
    std::vector<double> starts16 = {small.value(QStringLiteral("start"), -1)};
    std::vector<double> starts10k = {big.value(QStringLiteral("start"), -1)};
    for (int i = 0; runner.only.isEmpty() && i < 2; ++i) {
        starts16.push_back(runner.child(16, {}).value(QStringLiteral("start"), -1));
        starts10k.push_back(runner.child(10000, {}).value(QStringLiteral("start"), -1));
    }
    const Results command16 = runner.command(16, "xls");
    const Results command10k = runner.command(10000, "pdf");
    roundTrips(2);

    const double trip = Median(trips);
    const double start16 = Median(starts16);
    const double start10k = Median(starts10k);
    const auto ratio
        = [](double value, double base) { return value >= 0 && base > 0 ? value / base : -1; };
    const auto atMost = [](double ratio, double goal) { return ratio >= 0 && ratio <= goal; };
    const auto clickLine = [&](const char* work, double seconds, double goal, const char* text) {
        const double r = ratio(seconds, trip);
        Line(work, Seconds(seconds), r, text, atMost(r, goal));
    };

    std::printf(
        "\n| %-56s | %10s | %7s | %-26s | %-7s |\n", "Work", "Measured", "Ratio", "Goal", "");
    std::printf("|%s|%s|%s|%s|%s|\n", QByteArray(58, '-').constData(),
        QByteArray(12, '-').constData(), QByteArray(9, '-').constData(),
        QByteArray(28, '-').constData(), QByteArray(9, '-').constData());
    Line("LibreOffice round trip (median of 5)", Seconds(trip), 1, "the reference", -1);
    clickLine("Click to preview, 16 rows, the first run after start",
        small.value(QStringLiteral("click"), -1), 0.4, "at most 0.4 x round trip");
    clickLine("Click to preview, 16 rows, second run after \"< Back\"",
        small.value(QStringLiteral("click2"), -1), 0.4, "at most 0.4 x round trip");
    clickLine("Click to preview, 500 rows", middle.value(QStringLiteral("click"), -1), 0.8,
        "at most 0.8 x round trip");
    clickLine("Click to preview, 2,000 rows", large.value(QStringLiteral("click"), -1), 1.5,
        "at most 1.5 x round trip");
    clickLine("Click to preview, 10,000 rows, the first run",
        tall.value(QStringLiteral("click"), -1), 6, "at most 6 x round trip");
    clickLine("Click to preview, 10,000 rows, second run after \"< Back\"",
        tall.value(QStringLiteral("click2"), -1), 6, "at most 6 x round trip");
    const double click20k = taller.value(QStringLiteral("click"), -1);
    Line("Click to preview, 20,000 rows", Seconds(click20k), ratio(click20k, trip), "reported", -1);
    clickLine("Start to window, 16 rows (median of 3)", start16, 1.1, "at most 1.1 x round trip");
    const double bigRatio = ratio(start10k, start16);
    Line("Start to window, 10,000 rows (median of 3)", Seconds(start10k), bigRatio,
        "at most 1.2 x 16-row start", atMost(bigRatio, 1.2));
    const double stall = big.value(QStringLiteral("stall"), -1);
    Line("Grid focus-out, 10,000 rows: longest event-loop gap", Milliseconds(stall, 0), -1,
        "no stall over 100 ms", stall >= 0 && stall <= 0.1);
    const double peak = large.value(QStringLiteral("hwm"), -1);
    Line("Peak memory of the program, 2,000-row run (VmHWM)", Megabytes(peak), -1, "at most 400 MB",
        peak > 0 && peak <= 400);
    Line("Peak memory of its offices, 2,000-row run (sum of RSS)",
        Megabytes(large.value(QStringLiteral("officepeak"), -1)), -1, "reported", -1);
    for (const auto& [rows, results] :
        {std::pair {"10,000", &tall}, std::pair {"20,000", &taller}}) {
        const double runPeak = results->value(QStringLiteral("hwm"), -1);
        const double scrollPeak = results->value(QStringLiteral("hwmscroll"), -1);
        Line(qPrintable(QStringLiteral("Peak memory of the program, %1-row run").arg(rows)),
            Megabytes(runPeak), -1, "at most 400 MB", runPeak > 0 && runPeak <= 400);
        Line("  the same after scrolling all of it at 0.25 and at 1.0", Megabytes(scrollPeak), -1,
            "at most 400 MB", scrollPeak > 0 && scrollPeak <= 400);
        const double officePeak = results->value(QStringLiteral("officepeak"), -1);
        Line(qPrintable(QStringLiteral("Peak memory of its offices, %1-row run").arg(rows)),
            Megabytes(officePeak), -1, "at most 1.2 GB, reported",
            officePeak > 0 && officePeak <= 1200);
        for (const auto& [key, zoom] :
            {std::pair {"paint025", "0.25"}, std::pair {"paint100", "1.0"}}) {
            const double paint = results->value(QString::fromLatin1(key), -1);
            Line(qPrintable(
                     QStringLiteral("Longest paint scrolling all %1 rows at %2").arg(rows, zoom)),
                Milliseconds(paint, 1), -1, "no frame over 50 ms", paint >= 0 && paint <= 0.05);
        }
    }
    clickLine("tessivane --output, 16 rows to .xls, no display",
        command16.value(QStringLiteral("seconds"), -1), 2, "at most 2 x round trip");
    const double command10kSeconds = command10k.value(QStringLiteral("seconds"), -1);
    Line("tessivane --output, 10,000 rows to .pdf, no display", Seconds(command10kSeconds),
        ratio(command10kSeconds, trip), "finishes, reported", command10kSeconds >= 0);
    const double commandPeak = command10k.value(QStringLiteral("peak"), -1);
    Line("  its peak memory (the program's RSS, sampled)", Megabytes(commandPeak), -1,
        "at most 300 MB", commandPeak > 0 && commandPeak <= 300);
    Line("Offices of the program while idle, 16 rows (sum of RSS)",
        Megabytes(small.value(QStringLiteral("idleoffice"), -1)), -1, "reported", -1);
    std::printf(
        "\nRound trips: %zu of 5 succeeded; start-to-window samples 16 rows:", trips.size());
    for (double s : starts16)
        std::printf(" %.2f", s);
    std::printf(" s, 10,000 rows:");
    for (double s : starts10k)
        std::printf(" %.2f", s);
    std::printf(" s.\n");
    if (runner.failed)
        std::printf("Some measurement failed (see the messages above).\n");
    return runner.failed ? 1 : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--store") == 0)
        return windowrun::StoreRows(argc, argv, QByteArray(argv[2]).toInt());
    if (argc >= 3 && qstrcmp(argv[1], "--spawned") == 0) {
        windowrun::Plan plan;
        plan.spawnedNs = QByteArray(argv[2]).toLongLong();
        for (int i = 3; i < argc; ++i) {
            const QByteArray option(argv[i]);
            plan.click |= option == "--click";
            plan.second |= option == "--second";
            plan.focusOut |= option == "--focus-out";
            plan.scroll |= option == "--scroll";
        }
        return windowrun::RunWindow(argc, argv, plan);
    }
    return Parent(argc, argv);
}
