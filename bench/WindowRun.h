// What the window's benchmark programs share: the real main window on Qt's
// offscreen platform (unless another is named), under the program's own
// names, and a run timed from a click to its last report line.
#pragma once

#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <sys/resource.h>

#include <functional>

namespace windowbench {

/// Before the QApplication is made. No display is needed: the window paints
/// into memory as it would on screen.
inline void prepare()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane Systems"));
}

inline double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timed {
    int code = 2;              ///< 0 when the run started and ended
    double seconds = -1;       ///< from the click to the run's end
    double processor = 0;      ///< processor seconds of every thread meanwhile
    QString lastLine;          ///< the report's last line
};

/// Calls @p click once the shown window has settled, as a user's would, and
/// times it until the run it starts has written its last report line.
inline Timed timeRun(QApplication& app, pictoria::frmMain& window, const std::function<void()>& click)
{
    Timed timed;
    QElapsedTimer clock;
    double processorAtClick = 0;
    QObject::connect(&window, &pictoria::frmMain::conversionRunFinished, &app, [&] {
        timed.seconds = double(clock.nsecsElapsed()) / 1e9;
        timed.processor = processorSeconds() - processorAtClick;
        QApplication::quit();
    });
    QTimer::singleShot(200, &window, [&] {
        processorAtClick = processorSeconds();
        clock.start();
        click();
        if (!window.conversionRun())
            QApplication::exit(2);
    });
    timed.code = app.exec();
    if (timed.code == 0 && timed.seconds < 0)
        timed.code = 2;
    const QStringList lines = window.txbReport->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    timed.lastLine = lines.isEmpty() ? QString() : lines.last().trimmed();
    return timed;
}

}  // namespace windowbench
