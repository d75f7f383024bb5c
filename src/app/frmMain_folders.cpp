// Image folders: choosing, checking, summarising and listing.
#include "frmMain.h"

#include "FolderHelpers.h"
#include "FolderSummary.h"
#include "FolderText.h"
#include "ImageFormats.h"
#include "Language.h"
#include "StrProc.h"
#include "UserPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pictoria {

namespace {

// Writes @p text into @p box only when it differs, so an unchanged box keeps
// its cursor and its undo history.
void setBoxText(QLineEdit* box, const QString& text)
{
    if (box->text() != text)
        box->setText(text);
}

}  // namespace

void frmMain::cmdFolderForImages_Click(int index)
{
    const QString title = GetProgramText(index == 0 ? 3 : 4);
    const QString folder = BrowseForFolder(this, title, false);
    if (folder.isEmpty())
        FocusNextControl();
    else
        FolderChosen(index, folder);
}

void frmMain::FolderChosen(int index, QString folder)
{
    EnsureTrailingSeparator(folder);
    setBoxText(txbFolderForImages[index], folder);
    ShowFolderSummary(index);
    if (isQuitting())
        return;
    // The output box is checked whichever side was chosen: it may name a
    // folder that has gone since it was filled in.
    txbFolderForImages_LostFocus(1);
    const QString input = txbFolderForImages[0]->text();
    if (index == 0 && txbFolderForImages[1]->text().isEmpty() && !input.isEmpty() && FolderExists(input) &&
        askYesNo(this, QStringLiteral("Output images folder the same?"), QStringLiteral("Output images folder")))
        txbFolderForImages[1]->setText(input);
    FocusNextControl();
}

void frmMain::txbFolderForImages_LostFocus(int index)
{
    if (isQuitting())
        return;
    QLineEdit* box = txbFolderForImages[index];
    const QString folder = NormaliseFolderText(box->text(), QDir::currentPath(), QDir::homePath());
    setBoxText(box, folder);
    if (!folder.isEmpty() && !FolderExists(folder))
        showMessage(this,
                    index == 0 ? QStringLiteral("Input images folder not found!")
                               : QStringLiteral("Output images folder not found!"),
                    QStringLiteral("Error"), MsgIcon::Exclamation);
    FocusNextControl();
}

void frmMain::cmdClearFolderForImages_Click(int index)
{
    if (index == 2)
        ClearReportWindow();
    else
        txbFolderForImages[index]->setText(QString());
    FocusNextControl();
}

void frmMain::ShowFolderSummary(int index)
{
    const QString folder = txbFolderForImages[index]->text();
    QStringList formats = strFormatNames[0];
    QList<qint64> counts;
    QString errorText;
    bool accessDenied = false;
    qint32 count = 0;
    for (qsizetype f = 0; f < formats.size() && count >= 0 && !accessDenied; ++f) {
        double noSize = 0;
        count = CountFiles(folder, FileSpecsOf(formats[f]), false, errorText, noSize, accessDenied);
        counts << count;
    }
    // Counting yields to the event loop, so the user may have quit meanwhile.
    if (isQuitting())
        return;
    if (accessDenied)
        showMessage(this, FolderAccessDeniedSentence(index), QStringLiteral("Error"), MsgIcon::Exclamation);
    else if (count < 0)
        showMessage(this, FolderUnreadableSentence(index, errorText), QStringLiteral("Error"), MsgIcon::Exclamation);
    else {
        const bool none = std::all_of(counts.begin(), counts.end(), [](qint64 n) { return n == 0; });
        KeepSummarisedFormats(formats, counts);
        showMessage(this, FolderSummarySentence(index, formats, counts), GetProgramText(none ? 5 : 6));
    }
}

void frmMain::cboFileFormat_Click(int index)
{
    if (index == 1) {
        // Every format written at a quality shows the quality box.
        const int entry = cboFileFormat[1]->currentIndex();
        lblQuality->setVisible(entry > 0 && IsLossyFormat(strFormatNames[1].value(entry - 1)));
        txbQuality->setVisible(lblQuality->isVisibleTo(this));
        chkSmallestLooksSame->setVisible(lblQuality->isVisibleTo(this));
        txbTarget->setVisible(lblQuality->isVisibleTo(this));
    }
    if (isVisible() && cmdConvertFiles->isEnabled())
        cmdConvertFiles->setFocus();
}

void frmMain::cmdList_Click(int index)
{
    const QString side = index == 0 ? QStringLiteral("input") : QStringLiteral("output");
    if (txbFolderForImages[index]->text().trimmed().isEmpty()) {
        showMessage(this, QStringLiteral("Please specify folder for ") + side + QStringLiteral(" images."),
                    QStringLiteral("Need more input"));
        if (cmdFolderForImages[index]->isEnabled())
            cmdFolderForImages[index]->setFocus();
        return;
    }
    if (cboFileFormat[index]->currentIndex() == 0 &&
        !askYesNo(this, QStringLiteral("List all files in the ") + side + QStringLiteral(" folder?"),
                  QStringLiteral("List all files?"))) {
        if (cmdFolderForImages[index]->isEnabled())
            cmdFolderForImages[index]->setFocus();
        return;
    }
    auto filterOf = [](const QComboBox* box) {
        return box->currentIndex() == 0 ? QStringLiteral("*") : box->currentText();
    };
    InputFormatFilter = filterOf(cboFileFormat[0]);
    OutputFormatFilter = filterOf(cboFileFormat[1]);
    ProcessFiles(index);
}

}  // namespace pictoria
