#include "CommandLine.h"
#include "frmMain.h"
#include "OutsideEnds.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane Systems"));

    // Read before QApplication connects to a display, and before start-up
    // moves the current directory that relative paths are taken against.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const pictoria::CommandLine commandLine = pictoria::ReadCommandLine(arguments, QDir::currentPath());
    if (commandLine.answered) {
        std::fputs(commandLine.output.toLocal8Bit().constData(), commandLine.exitCode == 0 ? stdout : stderr);
        return commandLine.exitCode;
    }

    QApplication app(argc, argv);
    pictoria::frmMain window;
    pictoria::QuitOnOutsideEnds(window);
    if (!window.Form_Load())
        return 1;
    // Once the window is up and the event loop runs.
    if (!commandLine.paths.isEmpty())
        QTimer::singleShot(0, &window, [&window, &commandLine] { window.OpenPaths(commandLine.paths); });
    return app.exec();
}
