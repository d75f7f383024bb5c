// pictoria-window-batch INPUT_FOLDER OUTPUT_FOLDER INPUT_FORMAT OUTPUT_FORMAT:
// loads the real main window, fills its folder and format boxes as a user
// would, clicks "Convert files" and prints the seconds from the click until
// the run has reported its last file, then the report's summary line.
// The formats are the lists' indices (1 BMP, 2 PNG, 3 JPG, 4 GIF).
#include "WindowRun.h"

#include <QComboBox>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s INPUT_FOLDER OUTPUT_FOLDER INPUT_FORMAT OUTPUT_FORMAT\n", argv[0]);
        return 3;
    }
    windowbench::prepare();
    QApplication app(argc, argv);
    pictoria::frmMain window;
    if (!window.Form_Load())
        return 1;
    window.txbFolderForImages[0]->setText(QString::fromLocal8Bit(argv[1]));
    window.txbFolderForImages[1]->setText(QString::fromLocal8Bit(argv[2]));
    window.cboFileFormat[0]->setCurrentIndex(QString::fromLatin1(argv[3]).toInt());
    window.cboFileFormat[1]->setCurrentIndex(QString::fromLatin1(argv[4]).toInt());
    const windowbench::Timed timed = windowbench::timeRun(app, window, [&] { window.cmdConvertFiles_Click(); });
    if (timed.code != 0)
        return timed.code;
    std::printf("%.3f\n%s\n", timed.seconds, qPrintable(timed.lastLine));
    return 0;
}
