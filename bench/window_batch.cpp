// pictoria-window-batch INPUT_FOLDER OUTPUT_FOLDER INPUT_FORMAT OUTPUT_FORMAT:
// loads the real main window, fills its folder and format boxes as a user
// would, clicks "Convert files" and prints the seconds from the click until
// the run has reported its last file, then the report's summary line.
// The formats are the lists' indices (1 BMP, 2 PNG, 3 JPG, 4 GIF).
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s INPUT_FOLDER OUTPUT_FOLDER INPUT_FORMAT OUTPUT_FORMAT\n", argv[0]);
        return 3;
    }
    // No display is needed: the window paints into memory as it would on screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane Systems"));

    pictoria::frmMain window;
    if (!window.Form_Load())
        return 1;
    window.txbFolderForImages[0]->setText(QString::fromLocal8Bit(argv[1]));
    window.txbFolderForImages[1]->setText(QString::fromLocal8Bit(argv[2]));
    window.cboFileFormat[0]->setCurrentIndex(QString::fromLatin1(argv[3]).toInt());
    window.cboFileFormat[1]->setCurrentIndex(QString::fromLatin1(argv[4]).toInt());

    QElapsedTimer clock;
    double seconds = -1;
    QObject::connect(&window, &pictoria::frmMain::conversionRunFinished, &app, [&] {
        seconds = double(clock.nsecsElapsed()) / 1e9;
        QApplication::quit();
    });
    // The click comes once the shown window has settled, as a user's would.
    QTimer::singleShot(200, &window, [&] {
        clock.start();
        window.cmdConvertFiles_Click();
        if (!window.conversionRun())
            QApplication::exit(2);
    });
    const int code = app.exec();
    if (code != 0 || seconds < 0)
        return code ? code : 2;
    const QStringList lines = window.txbReport->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::printf("%.3f\n%s\n", seconds, lines.isEmpty() ? "" : qPrintable(lines.last().trimmed()));
    return 0;
}
