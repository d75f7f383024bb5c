// pictoria-window-single FORMATS FROM TO STEP FILE...: loads the real main
// window, clicks "Convert single file" and answers the open-file dialog with
// FILE (several files are handed over as a drop hands them), answers the
// output formats dialog with FORMATS (for example "BMP,PNG,JPG") and the JPG
// range FROM, TO, STEP (no overwrite question, no viewer), and prints the
// seconds from the click until the run has written its last report line,
// that line, the process's peak resident memory in MB, and the processor
// seconds its threads spent from the click on (less moved than the wall time
// by the machine's other load).
#include "UserPrompts.h"
#include "WindowRun.h"
#include "frmConvertSingleFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

namespace {

// Answers what the command asks as a user who chose FORMATS would.
class Answers final : public pictoria::UserPrompts {
public:
    Answers(QString file, QStringList formats, QStringList range)
        : file_(std::move(file)), formats_(std::move(formats)), range_(std::move(range)) {}

    pictoria::MsgAnswer message(QWidget*, const QString& text, const QString&, pictoria::MsgButtons,
                                pictoria::MsgIcon) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        QApplication::exit(2);
        return pictoria::MsgAnswer::No;
    }
    QString openFileName(QWidget*, const QString&, const QString&) override { return file_; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString browseForFolder(QWidget*, const QString&) override { return {}; }
    void showModal(QDialog& dialog) override
    {
        auto* formats = qobject_cast<pictoria::frmConvertSingleFile*>(&dialog);
        if (!formats) {
            std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(dialog.objectName()));
            QApplication::exit(2);
            return;
        }
        dialog.show();
        formats->chkBMP->setChecked(formats_.contains(QLatin1String("BMP")));
        formats->chkPNG->setChecked(formats_.contains(QLatin1String("PNG")));
        formats->chkJPG->setChecked(formats_.contains(QLatin1String("JPG")));
        formats->txbQuality[0]->setText(range_[0]);
        formats->txbQuality[1]->setText(range_[1]);
        formats->cboStep->setCurrentText(range_[2]);
        formats->chkWarnOnOverwrite->setChecked(false);
        formats->chkViewInBrowser->setChecked(false);
        formats->cmdDoIt->click();
    }
    pictoria::ShellResult launch(const QString&, bool) override { return 42; }

private:
    QString file_;
    QStringList formats_, range_;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s FORMATS FROM TO STEP FILE...\n", argv[0]);
        return 3;
    }
    windowbench::prepare();
    QApplication app(argc, argv);
    QStringList files;
    for (int i = 5; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    Answers answers(files.first(), QString::fromLatin1(argv[1]).split(QLatin1Char(',')),
                    {QString::fromLatin1(argv[2]), QString::fromLatin1(argv[3]), QString::fromLatin1(argv[4])});
    pictoria::setPrompts(&answers);
    pictoria::frmMain window;
    if (!window.Form_Load())
        return 1;
    const windowbench::Timed timed = windowbench::timeRun(app, window, [&] {
        if (files.size() == 1)
            window.cmdConvertSingleFile->click();
        else
            window.ConvertSingleFiles(files);
    });
    pictoria::setPrompts(nullptr);
    if (timed.code != 0)
        return timed.code;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f\n%s\n%.1f\n%.3f\n", timed.seconds, qPrintable(timed.lastLine), double(usage.ru_maxrss) / 1024.0,
                timed.processor);
    return 0;
}
