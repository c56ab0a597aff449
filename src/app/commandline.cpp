#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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

std::optional<int> answerCommandLine(int argc, char* argv[])
{
    // A core application only: it needs no display, and it names the program in the usage line.
    int coreArgc = argc;
    QCoreApplication core(coreArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessivane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps an equipment inventory list and turns it into a formatted\n"
                       "Excel 97-2003 workbook (.xls) through a private LibreOffice Calc."));
    // Qt's own options are single-dash words (-platform xcb), not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addQtOptions(parser);

    const QString program = QStringLiteral("tessivane");
    const auto refuse = [&program](const QString& message) {
        print(stderr,
            QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                .arg(program, message));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (parser.isSet(help) || helpAll) {
        // Named as it is typed, not by the path the launcher starts it from.
        QString text = parser.helpText();
        text.replace(
            0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: %1 [options]").arg(program));
        print(stdout, text + (helpAll ? qtOptionsText() : QString()));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout,
            QStringLiteral("%1 %2\n").arg(
                QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst()));
    return std::nullopt;
}

} // namespace tessivane
