#include "CommandLine.h"

#include "Language.h"
#include "OpenedPaths.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace pictoria {

namespace {

// The options QApplication and its X11 and Wayland platforms take from the
// command line; they are passed on untouched.
const char* const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                           "qwindowgeometry", "geometry", "qwindowtitle", "title",
                                           "qwindowicon", "icon", "session", "style", "stylesheet",
                                           "display", "name", "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "testability", "sync", "nograb", "dograb"};

}  // namespace

CommandLine ReadCommandLine(const QStringList& arguments, const QString& startDir)
{
    QCommandLineParser parser;
    // Qt's options come with one dash: -platform is not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Converts images between BMP, GIF, JPG and PNG."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Image files to convert, or a folder to take as the input images "
                                                "folder."),
                                 QStringLiteral("[PATH...]"));
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

    // Without an application object Qt cannot name the program in its usage line.
    const QString helpText = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                       QFileInfo(arguments.value(0)).fileName());
    CommandLine line;
    if (!parser.parse(arguments)) {
        line.answered = true;
        line.exitCode = 2;
        line.output = parser.errorText() + QLatin1Char('\n') + helpText;
    } else if (parser.isSet(help)) {
        line.answered = true;
        line.output = helpText;
    } else if (parser.isSet(version)) {
        line.answered = true;
        line.output = QStringLiteral("Pictoria ") + FormatVersionText(PICTORIA_VERSION_MAJOR, PICTORIA_VERSION_MINOR) +
                      QLatin1Char('\n');
    } else {
        line.paths = AbsolutePaths(parser.positionalArguments(), startDir, QDir::homePath());
    }
    return line;
}

}  // namespace pictoria
