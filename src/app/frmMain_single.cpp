// The "Convert single file" command: a picked file (or several handed over)
// converted into each chosen output format, a format written at a quality
// once per quality of the chosen range, each into the file's own folder.
#include "frmMain.h"

#include "BatchText.h"
#include "FormHelpers.h"
#include "ImageFormats.h"
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
                                                    OpenFileFilter());
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
    const bool searched = dialog.chkSmallestLooksSame->isChecked() && !dialog.checkedLossyFormats().isEmpty();
    if (searched)
        txbTarget->setText(QString::number(dialog.intScoreTarget));
    if (!dialog.checkedLossyFormats().isEmpty()) {
        intQualityFrom = dialog.intQualityFrom;
        intQualityTo = dialog.intQualityTo;
        intQualityStep = dialog.intQualityStep;
    }

    BeginRunState(*this);
    txbReport->clear();
    cmdStop->show();
    lblOnlineDocumentation->hide();

    // File by file, each always the formats written without loss (BMP, PNG,
    // TIFF), then each quality of each one written at a quality (JPG, WEBP,
    // AVIF), as many at once as a batch converts files: a source that cannot
    // be read ends its own formats. A format the dialog would not offer for a
    // file alone is left out for it.
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
        source.inputFormat = FormatNameOfPath(source.fileName);
        for (const QString& format : dialog.checkedFormats()) {
            if (!TakesOutputFormat(path, format))
                continue;
            if (!IsLossyFormat(format)) {
                source.targets.push_back({source.fileName, format, intQuality, QString()});
                continue;
            }
            // An automatic output is one file, named by the quality its
            // search finds; the range's first quality is taken when it cannot search.
            if (searched) {
                source.targets.push_back(
                    {source.fileName, format, intQualityFrom, QString::number(intQualityFrom), dialog.intScoreTarget});
                continue;
            }
            for (const int quality : plan.qualities)
                source.targets.push_back(
                    {source.fileName, format, quality, plan.tagged ? QString::number(quality) : QString()});
        }
        if (!source.targets.empty())
            parameters.sources.push_back(std::move(source));
    }
    StartConversionRun(std::move(parameters));
}

// The window follows the run file by file, so its boxes end as for the last file.
void frmMain::conversionStarting(const SourceFile& source, const ConversionItem& item)
{
    InputFormatFilter = source.inputFormat;
    cboFileFormat[0]->setCurrentIndex(
        FindFormatIndex(strFormatNames[0], qint16(strFormatNames[0].size()), InputFormatFilter) + 1);
    for (QLineEdit* box : txbFolderForImages)
        if (box->text() != source.folder)
            box->setText(source.folder);
    OutputFormatFilter = item.outputFormat;
    cboFileFormat[1]->setCurrentIndex(
        FindFormatIndex(strFormatNames[1], qint16(strFormatNames[1].size()), item.outputFormat) + 1);
    if (IsLossyFormat(item.outputFormat))
        intQuality = item.quality;
}

void frmMain::conversionReported(const ConversionItem& item)
{
    if (IsLossyFormat(item.outputFormat))
        txbQuality->setText(QString::number(item.quality));
}

}  // namespace pictoria
