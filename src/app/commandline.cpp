#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <optional>

namespace tessivane {

namespace {

// QGuiApplication and QApplication take these from the command line themselves; they are
// accepted here so that a desktop's session restore (-session) or a user's -style still start.
const char* const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme",
    "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
    "style", "stylesheet", "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// The program as it is typed, in its messages.
constexpr char kProgram[] = "tessivane";

void addQtOptions(QCommandLineParser& parser)
{
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// For --help-all: the parser lists no Qt option for a core application.
QString qtOptionsText()
{
    QStringList names;
    for (const char* name : kQtOptionsWithValue)
        names << QStringLiteral("-%1 <value>").arg(QString::fromLatin1(name));
    for (const char* name : kQtFlags)
        names << QLatin1Char('-') + QString::fromLatin1(name);
    QString text = QStringLiteral("\nQt's own options, passed on to the window system:\n");
    QString line;
    for (const QString& name : names) {
        if (!line.isEmpty() && line.size() + name.size() > 76) {
            text += QStringLiteral("  ") + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + name;
    }
    return text + QStringLiteral("  ") + line + QLatin1Char('\n');
}

void print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

/// Says on standard error what is wrong with the command line; returns the status of a wrong
/// command line.
int refuse(const QString& message)
{
    print(stderr,
        QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
            .arg(QString::fromLatin1(kProgram), message));
    return 2;
}

/// The program's own options, as added to the parser.
struct ProgramOptions
{
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption output;
    QCommandLineOption input;
    QCommandLineOption skipRefused;
    QCommandLineOption quiet;
};

ProgramOptions addProgramOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Keeps an equipment inventory list and turns it into a formatted\n"
                       "Excel 97-2003 workbook (.xls) through a private LibreOffice Calc.\n"
                       "With --output it makes the workbook without a window, from the\n"
                       "stored list or from --input; with a FILE alone it opens the\n"
                       "window and reviews that list file for import."));
    // Qt's own options are single-dash words (-platform xcb), not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const ProgramOptions options {help, version,
        QCommandLineOption(QStringLiteral("output"),
            QStringLiteral("Writes the filled workbook to <file> without a window: .xls as the "
                           "run saves it, or .pdf, .xlsx, .ods."),
            QStringLiteral("file")),
        QCommandLineOption(QStringLiteral("input"),
            QStringLiteral("With --output: the rows from this CSV, tab-separated or workbook "
                           "file instead of the stored list."),
            QStringLiteral("file")),
        QCommandLineOption(QStringLiteral("skip-refused"),
            QStringLiteral("With --input: writes the good rows when some are refused.")),
        QCommandLineOption(
            QStringLiteral("quiet"), QStringLiteral("With --output: tells only errors."))};
    parser.addOptions({options.output, options.input, options.skipRefused, options.quiet});
    parser.addPositionalArgument(QStringLiteral("file"),
        QStringLiteral("A list file (CSV, tab-separated, .xls, .xlsx, .ods) to review for "
                       "import."),
        QStringLiteral("[file]"));
    addQtOptions(parser);
    return options;
}

/// --help, --help-all and --version: their text on standard output, and status 0.
std::optional<int> answerQuestion(const QCommandLineParser& parser, const ProgramOptions& options)
{
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (parser.isSet(options.help) || helpAll) {
        // Named as it is typed, not by the path the launcher starts it from.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
            QStringLiteral("Usage: %1 [options] [file]").arg(QString::fromLatin1(kProgram)));
        print(stdout, text + (helpAll ? qtOptionsText() : QString()));
        return 0;
    }
    if (parser.isSet(options.version)) {
        print(stdout,
            QStringLiteral("%1 %2\n").arg(
                QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

/// `--output FILE [--input FILE] [--skip-refused] [--quiet]`, and no list file.
void readOutputRequest(
    const QCommandLineParser& parser, const ProgramOptions& options, CommandLine& line)
{
    const QStringList files = parser.positionalArguments();
    const QString file = parser.value(options.output);
    if (!files.isEmpty())
        line.answer = refuse(
            QStringLiteral("unexpected argument '%1' with --output.").arg(files.constFirst()));
    else if (file.isEmpty())
        line.answer = refuse(QStringLiteral("--output needs a file name."));
    else if (!isOutputKind(file))
        line.answer = refuse(
            QStringLiteral("'%1': the output's name must end in .xls, .pdf, .xlsx or .ods.")
                .arg(file));
    else if (parser.isSet(options.input) && parser.value(options.input).isEmpty())
        line.answer = refuse(QStringLiteral("--input needs a file name."));
    if (line.answer)
        return;
    line.output
        = OutputRequest {file, parser.value(options.input), parser.isSet(options.skipRefused)};
    line.quiet = parser.isSet(options.quiet);
}

/// The window's command line: none of the command's options, at most one list file.
void readWindowRequest(
    const QCommandLineParser& parser, const ProgramOptions& options, CommandLine& line)
{
    for (const QCommandLineOption& option : {options.input, options.skipRefused, options.quiet})
        if (parser.isSet(option)) {
            line.answer = refuse(QStringLiteral("--%1 is given only with --output.")
                                     .arg(option.names().constFirst()));
            return;
        }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        line.answer = refuse(QStringLiteral("unexpected argument '%1'.").arg(files.at(1)));
        return;
    }
    if (!files.isEmpty())
        line.openFile = QFileInfo(files.constFirst()).absoluteFilePath();
}

} // namespace

CommandLine readCommandLine(int argc, char* argv[])
{
    CommandLine line;
    // A core application only: it needs no display, and it names the program in the usage line.
    int coreArgc = argc;
    QCoreApplication core(coreArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessivane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVANE_VERSION));

    QCommandLineParser parser;
    const ProgramOptions options = addProgramOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        line.answer = refuse(parser.errorText());
        return line;
    }
    line.answer = answerQuestion(parser, options);
    if (line.answer)
        return line;
    if (parser.isSet(options.output))
        readOutputRequest(parser, options, line);
    else
        readWindowRequest(parser, options, line);
    return line;
}

} // namespace tessivane
