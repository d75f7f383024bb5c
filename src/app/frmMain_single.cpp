// The "Convert single file" command: a picked file (or several handed over)
// converted into each chosen output format, JPG once per quality of the
// chosen range, each into the file's own folder.
#include "frmMain.h"

#include "BatchText.h"
#include "FormHelpers.h"
#include "Launch.h"
#include "OpenedPaths.h"
#include "RunState.h"
#include "QualityPlan.h"
#include "StrProc.h"
#include "UserPrompts.h"
#include "frmConvertSingleFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace pictoria {

void frmMain::LoadSingleFileDialog()
{
    if (!singleFileDialog_)
        singleFileDialog_ = new frmConvertSingleFile(this, lblTopLine, txbFolderForImages[0]);
    singleFileDialog_->chkWarnOnOverwrite->setChecked(true);
}

frmConvertSingleFile* frmMain::singleFileDialog() const { return singleFileDialog_; }

void frmMain::cmdConvertSingleFile_Click()
{
    // The open-file dialog starts in the input images folder; when that folder
    // is gone the current directory simply stays as it is.
    if (!txbFolderForImages[0]->text().isEmpty())
        QDir::setCurrent(txbFolderForImages[0]->text());
    const QString filePath = prompts().openFileName(this, QStringLiteral("Specify file to be converted"),
                                                    QStringLiteral("BMP, GIF, JPG and PNG|*.bmp;*.gif;*.jpg;*.png"));
    if (filePath.isEmpty() || isQuitting()) {
        FocusNextControl();
        return;
    }
    ConvertSingleFiles({filePath});
}

void frmMain::ConvertSingleFiles(const QStringList& files)
{
    if (!singleFileDialog_)
        LoadSingleFileDialog();
    frmConvertSingleFile& dialog = *singleFileDialog_;
    dialog.strFilepath = UpperCaseDriveLetter(files.first());
    dialog.strMoreFilepaths = files.mid(1);
    dialog.txbFile->setText(FileBoxText(QStringList(dialog.strFilepath) + dialog.strMoreFilepaths));
    dialog.intMinQuality = intMinQuality;
    dialog.intMaxQuality = intMaxQuality;
    dialog.txbTarget->setText(txbTarget->text());
    prompts().showModal(dialog);
    if (!dialog.blnProceed || isQuitting()) {
        FocusNextControl();
        return;
    }
    // One target, kept by the window and the dialog alike.
    const bool searched = dialog.chkJPG->isChecked() && dialog.chkSmallestLooksSame->isChecked();
    if (searched)
        txbTarget->setText(QString::number(dialog.intScoreTarget));
    if (dialog.chkJPG->isChecked()) {
        intQualityFrom = dialog.intQualityFrom;
        intQualityTo = dialog.intQualityTo;
        intQualityStep = dialog.intQualityStep;
    }

    BeginRunState(*this);
    txbReport->clear();
    cmdStop->show();
    lblOnlineDocumentation->hide();

    // File by file, each always BMP, PNG, then each JPG quality, as many at
    // once as a batch converts files: a source that cannot be read ends its
    // own formats. A format the dialog would not offer for a file alone is
    // left out for it.
    RunParameters parameters;
    parameters.operation = kConvertSingle;
    parameters.warnOnOverwrite = dialog.chkWarnOnOverwrite->isChecked() && chkWarnOnOverwrite->isChecked();
    parameters.viewInBrowser = dialog.chkViewInBrowser->isChecked();
    parameters.maxInFlight = std::max(1, conversionPool().maxThreadCount());
    const QualityPlan plan = PlanQualities(intQualityFrom, intQualityTo, intQualityStep);
    for (const QString& path : files) {
        SourceFile source;
        source.folder = FolderOf(path, false);
        source.fileName = FileNameOf(path, false);
        source.inputFormat = ExtensionOf(source.fileName, true).toUpper();
        for (const auto& [box, format] :
             {std::pair(dialog.chkBMP, QStringLiteral("BMP")), std::pair(dialog.chkPNG, QStringLiteral("PNG"))})
            if (box->isChecked() && TakesOutputFormat(path, format))
                source.targets.push_back({source.fileName, format, intQuality, QString()});
        // An automatic output is one file, named by the quality its search
        // finds; the range's first quality is taken when it cannot search.
        if (searched)
            source.targets.push_back({source.fileName, QStringLiteral("JPG"), intQualityFrom,
                                      QString::number(intQualityFrom), dialog.intScoreTarget});
        else if (dialog.chkJPG->isChecked())
            for (const int quality : plan.qualities)
                source.targets.push_back({source.fileName, QStringLiteral("JPG"), quality,
                                          plan.tagged ? QString::number(quality) : QString()});
        if (!source.targets.empty())
            parameters.sources.push_back(std::move(source));
    }
    StartConversionRun(std::move(parameters));
}

// The window follows the run file by file, so its boxes end as for the last file.
void frmMain::conversionStarting(const SourceFile& source, const ConversionItem& item)
{
    InputFormatFilter = source.inputFormat;
    cboFileFormat[0]->setCurrentIndex(FindFormatIndex(strFormatNames, intFormatCounts[0], InputFormatFilter) + 1);
    for (QLineEdit* box : txbFolderForImages)
        if (box->text() != source.folder)
            box->setText(source.folder);
    OutputFormatFilter = item.outputFormat;
    cboFileFormat[1]->setCurrentIndex(FindFormatIndex(strFormatNames, intFormatCounts[1], item.outputFormat) + 1);
    if (item.outputFormat == QLatin1String("JPG"))
        intQuality = item.quality;
}

void frmMain::conversionReported(const ConversionItem& item)
{
    if (item.outputFormat == QLatin1String("JPG"))
        txbQuality->setText(QString::number(item.quality));
}

}  // namespace pictoria
