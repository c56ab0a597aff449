#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace tessivane {

namespace {

// QGuiApplication and QApplication take these from the command line themselves; they are
// accepted here so that a desktop's session restore (-session) or a user's -style still start.
const char* const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme",
    "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
    "style", "stylesheet", "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

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
    const QCommandLineOption output(QStringLiteral("output"),
        QStringLiteral("Writes the filled workbook to <file> without a window: .xls as the run "
                       "saves it, or .pdf, .xlsx, .ods."),
        QStringLiteral("file"));
    const QCommandLineOption input(QStringLiteral("input"),
        QStringLiteral("With --output: the rows from this CSV, tab-separated or workbook file "
                       "instead of the stored list."),
        QStringLiteral("file"));
    const QCommandLineOption skipRefused(QStringLiteral("skip-refused"),
        QStringLiteral("With --input: writes the good rows when some are refused."));
    const QCommandLineOption quiet(
        QStringLiteral("quiet"), QStringLiteral("With --output: tells only errors."));
    parser.addOptions({output, input, skipRefused, quiet});
    parser.addPositionalArgument(QStringLiteral("file"),
        QStringLiteral("A list file (CSV, tab-separated, .xls, .xlsx, .ods) to review for "
                       "import."),
        QStringLiteral("[file]"));
    addQtOptions(parser);

    const QString program = QStringLiteral("tessivane");
    const auto refuse = [&program](const QString& message) {
        print(stderr,
            QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                .arg(program, message));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments())) {
        line.answer = refuse(parser.errorText());
        return line;
    }
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (parser.isSet(help) || helpAll) {
        // Named as it is typed, not by the path the launcher starts it from.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
            QStringLiteral("Usage: %1 [options] [file]").arg(program));
        print(stdout, text + (helpAll ? qtOptionsText() : QString()));
        line.answer = 0;
        return line;
    }
    if (parser.isSet(version)) {
        print(stdout,
            QStringLiteral("%1 %2\n").arg(
                QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        line.answer = 0;
        return line;
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(output)) {
        const QString file = parser.value(output);
        if (!files.isEmpty())
            line.answer = refuse(
                QStringLiteral("unexpected argument '%1' with --output.").arg(files.constFirst()));
        else if (file.isEmpty())
            line.answer = refuse(QStringLiteral("--output needs a file name."));
        else if (!isOutputKind(file))
            line.answer = refuse(
                QStringLiteral("'%1': the output's name must end in .xls, .pdf, .xlsx or .ods.")
                    .arg(file));
        else if (parser.isSet(input) && parser.value(input).isEmpty())
            line.answer = refuse(QStringLiteral("--input needs a file name."));
        if (line.answer)
            return line;
        line.output = OutputRequest {file, parser.value(input), parser.isSet(skipRefused)};
        line.quiet = parser.isSet(quiet);
        return line;
    }
    for (const QCommandLineOption& option : {input, skipRefused, quiet})
        if (parser.isSet(option)) {
            line.answer = refuse(QStringLiteral("--%1 is given only with --output.")
                                     .arg(option.names().constFirst()));
            return line;
        }
    if (files.size() > 1) {
        line.answer = refuse(QStringLiteral("unexpected argument '%1'.").arg(files.at(1)));
        return line;
    }
    if (!files.isEmpty())
        line.openFile = QFileInfo(files.constFirst()).absoluteFilePath();
    return line;
}

} // namespace tessivane
