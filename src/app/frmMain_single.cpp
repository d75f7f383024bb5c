// The "Convert single file" command: one picked file converted into each
// chosen output format, JPG once per quality of the chosen range, all into the
// file's own folder.
#include "frmMain.h"

#include "BatchText.h"
#include "FormHelpers.h"
#include "Launch.h"
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

    if (!singleFileDialog_)
        LoadSingleFileDialog();
    frmConvertSingleFile& dialog = *singleFileDialog_;
    dialog.strFilepath = UpperCaseDriveLetter(filePath);
    dialog.txbFile->setText(dialog.strFilepath);
    dialog.intMinQuality = intMinQuality;
    dialog.intMaxQuality = intMaxQuality;
    prompts().showModal(dialog);
    if (!dialog.blnProceed || isQuitting()) {
        FocusNextControl();
        return;
    }
    if (dialog.chkJPG->isChecked()) {
        intQualityFrom = dialog.intQualityFrom;
        intQualityTo = dialog.intQualityTo;
        intQualityStep = dialog.intQualityStep;
    }

    BeginRunState(*this);
    const QString fileName = FileNameOf(filePath, false);
    InputFormatFilter = ExtensionOf(fileName, true).toUpper();
    cboFileFormat[0]->setCurrentIndex(FindFormatIndex(strFormatNames, intFormatCounts[0], InputFormatFilter) + 1);
    const QString folder = FolderOf(filePath, false);
    txbFolderForImages[0]->setText(folder);
    txbFolderForImages[1]->setText(folder);
    txbReport->clear();
    cmdStop->show();
    lblOnlineDocumentation->hide();

    // One conversion at a time, always BMP, PNG, then each JPG quality: a
    // source that cannot be read ends the run before the next format.
    RunParameters parameters;
    parameters.operation = kConvertSingle;
    parameters.inputFolder = folder;
    parameters.outputFolder = folder;
    parameters.inputFormat = InputFormatFilter;
    parameters.warnOnOverwrite = dialog.chkWarnOnOverwrite->isChecked() && chkWarnOnOverwrite->isChecked();
    parameters.viewInBrowser = dialog.chkViewInBrowser->isChecked();
    if (dialog.chkBMP->isChecked())
        parameters.items.push_back({fileName, QStringLiteral("BMP"), intQuality, QString()});
    if (dialog.chkPNG->isChecked())
        parameters.items.push_back({fileName, QStringLiteral("PNG"), intQuality, QString()});
    if (dialog.chkJPG->isChecked()) {
        const QualityPlan plan = PlanQualities(intQualityFrom, intQualityTo, intQualityStep);
        for (const int quality : plan.qualities)
            parameters.items.push_back(
                {fileName, QStringLiteral("JPG"), quality, plan.tagged ? QString::number(quality) : QString()});
    }
    StartConversionRun(std::move(parameters));
}

void frmMain::conversionStarting(const ConversionItem& item)
{
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
