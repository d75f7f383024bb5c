// Batch conversion: "Convert files", the run over a folder (also serving the
// two listings), converting one file, and the image viewer page.
#include "frmMain.h"

#include "BatchText.h"
#include "FileProc.h"
#include "FolderFiles.h"
#include "FormHelpers.h"
#include "Grafix.h"
#include "Launch.h"
#include "RunState.h"
#include "StrProc.h"
#include "UserPrompts.h"
#include "ViewerPage.h"
#include "frmTargetFileExists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace pictoria {

namespace {

const QString kBreak = QStringLiteral("\r\n");
const QString kErrorTitle = QStringLiteral("Error");

// Background of the existing-target dialog: a pale cyan.
constexpr quint32 kTargetDialogBackColor = 0xFFFFC0;  // Windows blue-green-red order

// The text of a folder box with the "/" that file names are appended to.
QString folderText(const QLineEdit* box)
{
    QString folder = box->text();
    EnsureTrailingSeparator(folder);
    return folder;
}

void yieldToEventLoop()
{
    QCoreApplication::processEvents();
}

}  // namespace

void frmMain::cmdConvertFiles_Click()
{
    struct Requirement {
        bool missing;
        const char* text;
        QPushButton* focus;
    };
    const Requirement requirements[] = {
        {txbFolderForImages[0]->text().isEmpty(), "Please specify the folder for the input images.",
         cmdFolderForImages[0]},
        {txbFolderForImages[1]->text().isEmpty(), "Please specify the folder for the output images.",
         cmdFolderForImages[1]},
        {cboFileFormat[0]->currentIndex() == 0, "Please specify the file format for the input images.",
         cmdFolderForImages[0]},
        {cboFileFormat[1]->currentIndex() == 0, "Please specify the file format for the output images.",
         cmdFolderForImages[1]},
    };
    for (const Requirement& r : requirements) {
        if (!r.missing)
            continue;
        showMessage(this, QString::fromLatin1(r.text), QStringLiteral("Need more input"));
        if (r.focus->isEnabled())
            r.focus->setFocus();
        return;
    }

    InputFormatFilter = cboFileFormat[0]->currentText();
    OutputFormatFilter = cboFileFormat[1]->currentText();

    if (OutputFormatFilter == QLatin1String("JPG")) {
        QString text = txbQuality->text();
        CleanNumberText(text, false);
        txbQuality->setText(text);
        // A value beyond the 16-bit range is refused like any other out of range.
        const std::optional<qint16> quality = QualityFromText(text);
        if (quality)
            intQuality = *quality;
        if (!quality || intQuality < intMinQuality || intQuality > intMaxQuality) {
            showMessage(this, QualityRangeMessage(intMinQuality, intMaxQuality), QStringLiteral("Input error"));
            return;
        }
    }
    if (InputFormatFilter != QLatin1String("JPG") && OutputFormatFilter == InputFormatFilter) {
        showMessage(this, QStringLiteral("The output file format must be different from the input file format."),
                    QStringLiteral("Input error"), MsgIcon::Exclamation);
        return;
    }

    ProcessFiles(kConvertBatch);
    // A stopped run completes its page too, so the file is always closed and
    // what was converted before the stop can be seen.
    if (blnViewerFileOpen)
        CloseViewerPage();
    if (blnViewerHasImages && !isQuitting())
        OpenDocument(strViewerFilepath, true);
}

void frmMain::ProcessFiles(int intOperation)
{
    blnStopRequested = false;
    QString folder;
    QString specification;
    if (intOperation == kListOutput) {
        folder = folderText(txbFolderForImages[1]);
        specification = QStringLiteral("*.") + OutputFormatFilter;
    } else {
        folder = folderText(txbFolderForImages[0]);
        specification = QStringLiteral("*.") + InputFormatFilter;
        if (intOperation == kConvertBatch) {
            blnViewerOpened = false;
            blnViewerHasImages = false;
            blnSourceShown = false;
            blnRunViewInBrowser = chkViewMultipleInBrowser->isChecked();
        }
    }

    BeginRunState(*this);

    // Once quitting, nothing more is shown.
    auto tell = [this](const QString& text, const QString& title, MsgIcon icon) {
        if (!isQuitting())
            showMessage(this, text, title, icon);
    };

    // One listing serves both passes, so files written during the run (the
    // targets, the viewer page) are never met as inputs.
    QString error;
    const std::optional<QStringList> names = FolderFileNames(folder, error);
    if (!names) {
        tell(error, kErrorTitle, MsgIcon::Information);
        if (intOperation == kConvertBatch)
            blnRunViewInBrowser = false;
    } else {
        int total = 0;
        for (const QString& name : *names)
            if (MatchesFileSpec(name, specification, false))
                ++total;
        if (total == 0) {
            tell(NoFilesMessage(intOperation, InputFormatFilter, OutputFormatFilter), QStringLiteral("No files"),
                 MsgIcon::Exclamation);
            if (intOperation != kListOutput)
                blnRunViewInBrowser = false;
        } else {
            txbReport->clear();
            cmdStop->show();
            lblOnlineDocumentation->hide();
            int done = 0;
            for (const QString& name : *names) {
                if (MatchesFileSpec(name, specification, false)) {
                    blnRunWarnOnOverwrite = chkWarnOnOverwrite->isChecked();
                    const int status = ConvertOneFile(intOperation, name, false, QString());
                    if (status == -1)
                        break;
                    if (status == 1)
                        ++done;
                }
                yieldToEventLoop();
                if (blnStopRequested) {
                    AppendToReport(QStringLiteral("Operation stopped.") + kBreak);
                    blnRunViewInBrowser = false;
                    break;
                }
            }
            cmdStop->hide();
            lblOnlineDocumentation->show();
            AppendToReport(kBreak + SummaryLine(intOperation, InputFormatFilter, OutputFormatFilter, done, total) +
                           kBreak);
        }
    }

    SetFormControlsEnabled(*this, true, false, false, true);
    lblTopLine->show();
}

void frmMain::cmdStop_Click()
{
    blnStopRequested = true;
}

int frmMain::ConvertOneFile(int intOperation, const QString& fileName, bool singleFileMode,
                            const QString& qualityTag)
{
    // A program that is quitting starts nothing new.
    if (isQuitting())
        return -1;

    // A file that cannot be measured (it vanished, or is no longer a file)
    // ends its entry; the user is told and the caller goes on with the next
    // file. An unreadable source ends a single-file run as a read failure does.
    auto runTimeError = [&](const QString& description, bool inputUnreadable) {
        lblConvertingFile->hide();
        AppendToReport(kBreak);
        if (!isQuitting())
            showMessage(this, description, kErrorTitle, MsgIcon::Information);
        return singleFileMode && inputUnreadable ? -1 : 0;
    };

    AppendToReport(fileName);
    const QString inputFolder = folderText(txbFolderForImages[0]);
    const QString outputFolder = folderText(txbFolderForImages[1]);
    const QString inputPath = inputFolder + fileName;
    QString error;

    if (intOperation == kListInput || intOperation == kListOutput) {
        const QString listed = intOperation == kListInput ? inputPath : outputFolder + fileName;
        const std::optional<qint64> length = FileLength(listed, error);
        if (!length)
            return runTimeError(error, true);
        AppendToReport(ListingTail(SizeText(*length)));
        return 1;
    }

    int status = 1;
    QString targetName =
        TargetFileName(fileName, OutputFormatFilter, intOperation == kConvertSingle ? qualityTag : QString());
    QString targetPath = outputFolder + targetName;

    if (blnRunWarnOnOverwrite && chkWarnOnOverwrite->isChecked() && FileExists(targetPath)) {
        frmTargetFileExists& dialog = *targetExistsDialog();
        dialog.lngBackColor = kTargetDialogBackColor;
        dialog.strEntryFilepath = targetPath;
        dialog.blnSingleFileOperation = singleFileMode;
        dialog.blnSameFileExtensionMandatory = true;
        dialog.setWindowIcon(windowIcon());
        prompts().showModal(dialog);
        if (dialog.blnCancelOperationThisFile) {
            status = dialog.blnCancelOperationAllFiles ? -1 : 0;
            AppendToReport(TargetKeptTail(OutputFormatFilter, status == -1));
            return status;
        }
        if (dialog.strExitFilepath != targetPath) {
            targetPath = dialog.strExitFilepath;
            targetName = FileNameOf(targetPath, false);
        }
    }

    const std::optional<qint64> inputLength = FileLength(inputPath, error);
    if (!inputLength)
        return runTimeError(error, true);
    const QString inputSize = SizeText(*inputLength);
    lblConvertingFile->setText(QStringLiteral("Converting ") + fileName + QStringLiteral(" (") + inputSize +
                               QLatin1Char(')'));
    lblConvertingFile->show();
    if (intOperation == kConvertSingle)
        AppendToReport(QStringLiteral(" (") + inputSize + QLatin1Char(')'));

    repaint();
    txbReport->moveCursor(QTextCursor::End);
    yieldToEventLoop();

    if (blnRunViewInBrowser && !blnViewerOpened) {
        OpenViewerPage(inputPath);
        if (intViewerFileNumber == -1)
            blnRunViewInBrowser = false;
        else
            blnViewerOpened = true;
    }

    int failureSide = 0;
    const QString message = TranscodeFile(inputPath, targetPath, intQuality, 0, failureSide);
    lblConvertingFile->hide();
    yieldToEventLoop();
    repaint();

    if (message == kEngineSuccess) {
        const std::optional<qint64> outputLength = FileLength(targetPath, error);
        if (!outputLength)
            return runTimeError(error, false);
        const QString outputSize = SizeText(*outputLength);
        if (intOperation == kConvertSingle) {
            const bool jpg = ExtensionOf(targetPath, false).toUpper() == QLatin1String("JPG");
            AppendToReport(SingleSuccessTail(targetName, outputSize, jpg ? std::optional<int>(intQuality)
                                                                         : std::nullopt));
            if (jpg)
                txbQuality->setText(QString::number(intQuality));
        } else {
            AppendToReport(BatchSuccessTail(targetName));
        }
        if (blnRunViewInBrowser && viewerFile_) {
            QString entries;
            if (intOperation == kConvertBatch || !blnSourceShown) {
                entries += ViewerSourceEntry(inputPath, inputSize);
                if (intOperation == kConvertSingle)
                    blnSourceShown = true;
            }
            entries += ViewerTargetEntry(targetPath, outputSize, fileName);
            viewerFile_->write(entries.toUtf8());
            blnViewerHasImages = true;
        }
    } else {
        AppendToReport(FailureTail(message, failureSide, InputFormatFilter, OutputFormatFilter));
        status = 0;
    }

    if ((singleFileMode && failureSide == 1) || StopsWholeOperation(message))
        status = -1;
    return status;
}

void frmMain::OpenViewerPage(const QString& inputPath)
{
    intViewerFileNumber = -1;
    const QString folder = FolderOf(inputPath, false);
    QString unusedReason;
    // The free name is not reserved: when another writer creates it first,
    // the next free number is taken.
    for (int attempt = 0; attempt < 99; ++attempt) {
        strViewerFilepath = MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), unusedReason);
        if (strViewerFilepath.isEmpty())
            return;
        auto page = std::make_unique<QFile>(strViewerFilepath);
        QString reason;
        if (!page->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(strViewerFilepath))
                continue;
            reason = page->errorString();
        } else {
            const QByteArray head = ViewerPageHead(strViewerFilepath).toUtf8();
            if (page->write(head) == head.size() && page->flush()) {
                intViewerFileNumber = page->handle();
                viewerFile_ = std::move(page);
                blnViewerFileOpen = true;
                return;
            }
            // A page that could not be written whole is not left behind.
            reason = page->errorString();
            page->close();
            page->remove();
        }
        strViewerFilepath.clear();
        if (!isQuitting())
            showMessage(this, reason, QStringLiteral("Error creating HTML file"), MsgIcon::Exclamation);
        return;
    }
    strViewerFilepath.clear();
}

void frmMain::CloseViewerPage()
{
    if (viewerFile_) {
        viewerFile_->write(ViewerPageTail().toUtf8());
        viewerFile_->close();
        viewerFile_.reset();
    }
    blnViewerFileOpen = false;
    intViewerFileNumber = -1;
    if (blnViewerHasImages)
        AppendToReport(QStringLiteral("Viewer file: ") + strViewerFilepath + kBreak);
    else
        QFile::remove(strViewerFilepath);
}

}  // namespace pictoria
