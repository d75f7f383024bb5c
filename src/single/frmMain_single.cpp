// The "Convert single file" command: one picked file converted into each
// chosen output format, JPG once per quality of the chosen range, all into the
// file's own folder.
#include "frmMain.h"

#include "BatchText.h"
#include "FormHelpers.h"
#include "Launch.h"
#include "RunState.h"
#include "SingleFileRun.h"
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
        singleFileDialog_ = new frmConvertSingleFile(this);
    singleFileDialog_->chkWarnOnOverwrite->setChecked(true);
}

frmConvertSingleFile* frmMain::singleFileDialog() const { return singleFileDialog_; }

void frmMain::cmdConvertSingleFile_Click()
{
    blnRunViewInBrowser = false;
    blnViewerOpened = false;
    blnViewerHasImages = false;
    blnSourceShown = false;

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
    prompts().showModal(dialog);
    if (!dialog.blnProceed || isQuitting()) {
        FocusNextControl();
        return;
    }

    blnStopRequested = false;
    BeginRunState(*this);

    blnRunViewInBrowser = dialog.chkViewInBrowser->isChecked();
    const QString fileName = FileNameOf(filePath, false);
    InputFormatFilter = ExtensionOf(fileName, true).toUpper();
    cboFileFormat[0]->setCurrentIndex(FindFormatIndex(strFormatNames, intFormatCounts[0], InputFormatFilter) + 1);
    const QString folder = FolderOf(filePath, false);
    txbFolderForImages[0]->setText(folder);
    txbFolderForImages[1]->setText(folder);
    txbReport->clear();
    cmdStop->show();
    lblOnlineDocumentation->hide();
    blnRunWarnOnOverwrite = dialog.chkWarnOnOverwrite->isChecked();
    repaint();

    // One conversion (ConvertOneFile tells the user of its own run-time
    // errors). Stop ends the run after the conversion in hand, as in a batch;
    // returns false then.
    int result = 0;
    auto convert = [&](const QString& qualityTag) {
        result = ConvertOneFile(kConvertSingle, fileName, true, qualityTag);
        if (!blnStopRequested)
            return true;
        AppendToReport(QStringLiteral("Operation stopped.\r\n"));
        return false;
    };
    auto chooseOutput = [&](const QString& format) {
        OutputFormatFilter = format;
        cboFileFormat[1]->setCurrentIndex(FindFormatIndex(strFormatNames, intFormatCounts[1], format) + 1);
    };

    bool going = true;
    if (dialog.chkBMP->isChecked()) {
        chooseOutput(QStringLiteral("BMP"));
        going = convert(QString());
    }
    if (going && dialog.chkPNG->isChecked() && result != -1) {
        chooseOutput(QStringLiteral("PNG"));
        going = convert(QString());
    }
    if (going && dialog.chkJPG->isChecked() && result != -1) {
        chooseOutput(QStringLiteral("JPG"));
        // A failed quality does not stop the others: each is its own file.
        const QualityPlan plan = PlanQualities(intQualityFrom, intQualityTo, intQualityStep);
        for (const int quality : plan.qualities) {
            intQuality = quality;
            if (!convert(plan.tagged ? QString::number(quality) : QString()))
                break;
        }
    }

    cmdStop->hide();
    lblOnlineDocumentation->show();
    SetFormControlsEnabled(*this, true, false, false, true);
    lblTopLine->show();
    // A stopped run completes its page too: the file is always closed and
    // what was converted before the stop can be seen.
    if (blnViewerFileOpen)
        CloseViewerPage();
    if (blnViewerHasImages && !isQuitting())
        OpenDocument(strViewerFilepath, true);
    FocusNextControl();
}

}  // namespace pictoria
