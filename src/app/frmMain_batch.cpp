// Batch conversion: "Convert files" and its checks, the two folder listings,
// and the window's side of a conversion run (its questions, messages, report
// and progress label).
#include "frmMain.h"

#include "BatchText.h"
#include "FileProc.h"
#include "FolderFiles.h"
#include "FormHelpers.h"
#include "Grafix.h"
#include "ImageFormats.h"
#include "Launch.h"
#include "RunState.h"
#include "SmallestQuality.h"
#include "StrProc.h"
#include "UserPrompts.h"
#include "frmTargetFileExists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
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

    if (IsLossyFormat(OutputFormatFilter)) {
        QString text = txbQuality->text();
        CleanNumberText(text, false);
        txbQuality->setText(text);
        // A value beyond the 16-bit range is refused like any other out of range.
        const std::optional<qint16> quality = QualityFromText(text);
        if (quality)
            intQuality = *quality;
        if (!quality || intQuality < intMinQuality || intQuality > intMaxQuality) {
            showMessage(this, QualityRangeMessage(OutputFormatFilter, intMinQuality, intMaxQuality),
                        QStringLiteral("Input error"));
            return;
        }
    }
    intScoreTarget = 0;
    if (IsLossyFormat(OutputFormatFilter) && chkSmallestLooksSame->isChecked()) {
        QString text = txbTarget->text();
        CleanNumberText(text, false);
        txbTarget->setText(text);
        const std::optional<int> target = ScoreTargetFromText(text);
        if (!target) {
            showMessage(this, ScoreTargetMessage(), QStringLiteral("Input error"), MsgIcon::Exclamation);
            return;
        }
        intScoreTarget = *target;
    }
    // A format written at a quality may be written again at another.
    if (!IsLossyFormat(InputFormatFilter) && OutputFormatFilter == InputFormatFilter) {
        showMessage(this, QStringLiteral("The output file format must be different from the input file format."),
                    QStringLiteral("Input error"), MsgIcon::Exclamation);
        return;
    }

    ProcessFiles(kConvertBatch);
}

void frmMain::ProcessFiles(int intOperation)
{
    const bool listOutput = intOperation == kListOutput;
    const QString folder = folderText(txbFolderForImages[listOutput ? 1 : 0]);
    const QString format = listOutput ? OutputFormatFilter : InputFormatFilter;
    const QStringList specifications = FileSpecsOf(format);

    BeginRunState(*this);
    auto endWithMessage = [this](const QString& text, const QString& title, MsgIcon icon) {
        if (!isQuitting())
            showMessage(this, text, title, icon);
        EndRunState(*this);
    };

    // One listing serves the whole run, so files written during the run (the
    // targets, the viewer page) are never met as inputs.
    QString error;
    const std::optional<QStringList> names = FolderFileNames(folder, error);
    if (!names)
        return endWithMessage(error, kErrorTitle, MsgIcon::Information);
    QStringList matching;
    for (const QString& name : *names)
        if (MatchesAnyFileSpec(name, specifications))
            matching << name;
    if (matching.isEmpty())
        return endWithMessage(NoFilesMessage(intOperation, InputFormatFilter, OutputFormatFilter),
                              QStringLiteral("No files"), MsgIcon::Exclamation);

    txbReport->clear();
    cmdStop->show();
    lblOnlineDocumentation->hide();
    if (intOperation == kConvertBatch) {
        RunParameters parameters;
        parameters.operation = kConvertBatch;
        parameters.inputFolder = folder;
        parameters.outputFolder = folderText(txbFolderForImages[1]);
        parameters.inputFormat = InputFormatFilter;
        parameters.warnOnOverwrite = chkWarnOnOverwrite->isChecked();
        parameters.viewInBrowser = chkViewMultipleInBrowser->isChecked();
        parameters.matchingFiles = int(matching.size());
        parameters.maxInFlight = std::max(1, conversionPool().maxThreadCount());
        for (const QString& name : matching)
            parameters.items.push_back({name, OutputFormatFilter, intQuality, QString(), intScoreTarget});
        StartConversionRun(std::move(parameters));
        return;
    }

    // A listing only measures files: it runs through at once.
    for (const QString& name : matching) {
        AppendToReport(name);
        const std::optional<qint64> length = FileLength(folder + name, error);
        if (length) {
            AppendToReport(ListingTail(SizeText(*length)));
        } else {
            AppendToReport(kBreak);
            showRunError(error);
        }
    }
    cmdStop->hide();
    lblOnlineDocumentation->show();
    AppendToReport(kBreak + SummaryLine(intOperation, InputFormatFilter, OutputFormatFilter, 0, int(matching.size())) +
                   kBreak);
    EndRunState(*this);
}

void frmMain::StartConversionRun(RunParameters parameters)
{
    const int operation = parameters.operation;
    conversionRun_ = new ConversionRun(std::move(parameters), *this, transcoder(), this);
    connect(conversionRun_, &ConversionRun::finished, this, [this, operation] {
        ConversionRun* run = conversionRun_;
        conversionRun_ = nullptr;
        run->deleteLater();
        cmdStop->hide();
        lblOnlineDocumentation->show();
        EndRunState(*this);
        const QString page = run->viewerPageWithImages();
        if (!page.isEmpty() && !isQuitting())
            OpenDocument(page, true);
        if (operation == kConvertSingle)
            FocusNextControl();
        emit conversionRunFinished();
        if (isQuitting())
            QCoreApplication::exit(0);
    });
    conversionRun_->start();
}

void frmMain::cmdStop_Click()
{
    if (conversionRun_)
        conversionRun_->stop();
}

TargetChoice frmMain::askExistingTarget(const QString& targetPath, bool singleFile)
{
    if (isQuitting())
        return {TargetChoice::Action::CancelAll, QString()};
    frmTargetFileExists& dialog = *targetExistsDialog();
    dialog.lngBackColor = kTargetDialogBackColor;
    dialog.strEntryFilepath = targetPath;
    dialog.blnSingleFileOperation = singleFile;
    dialog.blnSameFileExtensionMandatory = true;
    dialog.setWindowIcon(windowIcon());
    prompts().showModal(dialog);
    if (isQuitting())  // closed unanswered by a signal or logout
        return {TargetChoice::Action::CancelAll, QString()};
    if (!dialog.blnCancelOperationThisFile)
        return {TargetChoice::Action::Write, dialog.strExitFilepath};
    return {dialog.blnCancelOperationAllFiles ? TargetChoice::Action::CancelAll : TargetChoice::Action::SkipFile,
            QString()};
}

void frmMain::showRunError(const QString& description)
{
    if (!isQuitting())
        showMessage(this, description, kErrorTitle, MsgIcon::Information);
}

void frmMain::showViewerPageError(const QString& reason)
{
    if (!isQuitting())
        showMessage(this, reason, QStringLiteral("Error creating HTML file"), MsgIcon::Exclamation);
}

void frmMain::appendToReport(const QString& text) { AppendToReport(text); }

void frmMain::showProgress(const QString& text)
{
    lblConvertingFile->setText(text);
    lblConvertingFile->setVisible(!text.isEmpty());
}

}  // namespace pictoria
