#include "frmTargetFileExists.h"

#include "FileProc.h"
#include "FolderHelpers.h"
#include "FormHelpers.h"
#include "StrProc.h"
#include "Twips.h"
#include "UserPrompts.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>

namespace pictoria {

namespace {

constexpr int kWidthTwips = 5055;
constexpr int kHeightSingleFile = 3200;
constexpr int kHeightBatch = 3600;
constexpr int kCornerGapTwips = 100;
constexpr int kContinueAboveBottom = 1000;

const QString kErrorTitle = QStringLiteral("Error");

template <typename W>
W* place(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* widget = CreateControl<W>(parent, QString::fromLatin1(name), left, top, width, height);
    widget->setText(text);
    return widget;
}

// A Windows colour value holds red in its lowest byte.
QColor fromBgr(quint32 bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

// The option handlers run when an option becomes selected, by the user or by code.
void onSelected(QRadioButton* option, frmTargetFileExists* dialog, void (frmTargetFileExists::*handler)())
{
    QObject::connect(option, &QRadioButton::toggled, dialog, [dialog, handler](bool checked) {
        if (checked)
            (dialog->*handler)();
    });
}

}  // namespace

frmTargetFileExists::frmTargetFileExists(QWidget* mainWindow) : QDialog(mainWindow)
{
    setObjectName(QStringLiteral("frmTargetFileExists"));
    setWindowTitle(QStringLiteral("File exists"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setAutoFillBackground(true);

    txbFilepath = place<QLineEdit>(this, "txbFilepath", QString(), 105, 105, 4845, 330);
    txbFilepath->setReadOnly(true);
    txbFilepath->setAccessibleName(QStringLiteral("Existing file"));
    lblFileExists = place<QLabel>(this, "lblFileExists",
                                  QStringLiteral("This file already exists.   Please select from:"), 105, 525,
                                  4740, 330);
    optOverwrite =
        place<QRadioButton>(this, "optOverwrite", QStringLiteral("Overwrite this file"), 105, 840, 4500, 435);
    optChooseFilename = place<QRadioButton>(this, "optChooseFilename", QStringLiteral("Choose a different filename"),
                                            105, 1260, 4500, 435);
    optCancelOperationThisFile = place<QRadioButton>(
        this, "optCancelOperationThisFile", QStringLiteral("Cancel the operation on this file"), 105, 1680, 4500, 435);
    optCancelOperationAllFiles = place<QRadioButton>(
        this, "optCancelOperationAllFiles", QStringLiteral("Cancel the operation on all files"), 105, 2100, 4500, 435);
    lblEditFilename = place<QLabel>(this, "lblEditFilename", QStringLiteral("Edit filename in the box above."), 105,
                                    2865, 4740, 330);
    cmdContinue = place<QPushButton>(this, "cmdContinue", QStringLiteral("Continue"), 3675, 2865, 1275, 330);
    cmdContinue->setAccessibleName(cmdContinue->text());
    // Enter in the path box means "Continue"; the label never covers the button.
    cmdContinue->setDefault(true);
    cmdContinue->raise();

    setFixedWidth(TwipsToPixels(kWidthTwips));
    setHeightTwips(kHeightBatch);

    onSelected(optOverwrite, this, &frmTargetFileExists::optOverwrite_Click);
    onSelected(optChooseFilename, this, &frmTargetFileExists::optChooseFilename_Click);
    onSelected(optCancelOperationThisFile, this, &frmTargetFileExists::optCancelOperationThisFile_Click);
    onSelected(optCancelOperationAllFiles, this, &frmTargetFileExists::optCancelOperationAllFiles_Click);
    connect(cmdContinue, &QPushButton::clicked, this, &frmTargetFileExists::cmdContinue_Click);
}

void frmTargetFileExists::setHeightTwips(int twips)
{
    heightTwips_ = twips;
    setFixedHeight(TwipsToPixels(twips));
}

void frmTargetFileExists::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Restoring a minimised window is no new showing.
    if (event->spontaneous())
        return;
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    Form_Activate();
}

// ---- Event handlers ------------------------------------------------------------

void frmTargetFileExists::Form_Load()
{
    SetFormFontBold(*this, false);
    SetFormFontName(*this, QStringLiteral("Arial"), true);

    // The path box and the button keep the system's colours.
    const QColor back = fromBgr(lngBackColor);
    for (QWidget* w : std::initializer_list<QWidget*>{this, lblFileExists, optOverwrite, optCancelOperationThisFile,
                                                      optCancelOperationAllFiles, optChooseFilename,
                                                      lblEditFilename}) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, back);
        w->setPalette(palette);
    }
    optCancelOperationThisFile->setChecked(true);
}

void frmTargetFileExists::Form_Activate()
{
    strEntryFilepath = strEntryFilepath.trimmed();
    txbFilepath->setText(strEntryFilepath);
    strExtension = ExtensionOf(strEntryFilepath, true);
    strExitFilepath.clear();
    txbFilepath->setReadOnly(true);
    blnCancelOperationThisFile = true;
    blnCancelOperationAllFiles = false;

    // Every clash is a new question: start again from skipping this file, with
    // nothing left selected or unlocked from the last one.
    {
        const QSignalBlocker quiet(optCancelOperationThisFile);
        optCancelOperationThisFile->setChecked(true);
    }
    optCancelOperationThisFile_Click();

    optCancelOperationAllFiles->setVisible(!blnSingleFileOperation);
    setHeightTwips(blnSingleFileOperation ? kHeightSingleFile : kHeightBatch);

    // In the lower right corner of the main window.
    if (const QWidget* main = parentWidget()) {
        const QRect mainRect = main->geometry();
        const int gap = TwipsToPixels(kCornerGapTwips);
        PlaceWindow(*this, QPoint(mainRect.x() + mainRect.width() - width() - gap,
                                  mainRect.y() + mainRect.height() - height() - gap));
    }
    cmdContinue->move(cmdContinue->x(), TwipsToPixels(heightTwips_ - kContinueAboveBottom));
}

void frmTargetFileExists::optOverwrite_Click()
{
    FocusIfAvailable(cmdContinue);
    lblEditFilename->hide();
    txbFilepath->setReadOnly(true);
    txbFilepath->setText(strEntryFilepath);  // an edit made for another name is dropped
}

void frmTargetFileExists::optChooseFilename_Click()
{
    FocusIfAvailable(cmdContinue);
    lblEditFilename->move(lblEditFilename->x(), cmdContinue->y());
    lblEditFilename->show();
    txbFilepath->setReadOnly(false);
}

void frmTargetFileExists::optCancelOperationThisFile_Click()
{
    FocusIfAvailable(cmdContinue);
    lblEditFilename->hide();
    txbFilepath->setReadOnly(true);
}

void frmTargetFileExists::optCancelOperationAllFiles_Click()
{
    FocusIfAvailable(cmdContinue);
    lblEditFilename->hide();
    txbFilepath->setReadOnly(true);
}

void frmTargetFileExists::cmdContinue_Click()
{
    if (optCancelOperationThisFile->isChecked()) {
        strExitFilepath.clear();
        blnCancelOperationThisFile = true;
        blnCancelOperationAllFiles = false;
    } else if (optCancelOperationAllFiles->isChecked()) {
        strExitFilepath.clear();
        blnCancelOperationThisFile = true;
        blnCancelOperationAllFiles = true;
    } else if (optOverwrite->isChecked()) {
        strExitFilepath = strEntryFilepath;
        blnCancelOperationThisFile = false;
        blnCancelOperationAllFiles = false;
    } else if (!acceptEditedPath()) {
        return;  // the user corrects the name or picks another option
    }
    accept();
}

// Checks the name typed under "Choose a different filename"; on success it is
// the path to write. A failed check has told the user why.
bool frmTargetFileExists::acceptEditedPath()
{
    const QString path = txbFilepath->text().trimmed();
    txbFilepath->setText(path);

    if (blnSameFileExtensionMandatory && ExtensionOf(path, true) != strExtension) {
        showMessage(this, QStringLiteral("New filename must have extension .") + strExtension + QLatin1Char('.'),
                    kErrorTitle);
        return false;
    }
    // Without any "/" the folder part is empty and no folder of that name exists.
    if (!FolderExists(FolderOf(path, false))) {
        showMessage(this, QStringLiteral("Subdirectory does not exist."), kErrorTitle, MsgIcon::Exclamation);
        return false;
    }
    // The name needs at least one character besides its dot and extension, and
    // must not be a folder ("..", or a folder that happens to be called so).
    const QString name = FileNameOf(path, false);
    const qsizetype stem = name.size() - (name.contains(QLatin1Char('.')) ? ExtensionOf(path, false).size() + 1 : 0);
    if (stem < 1 || QFileInfo(path).isDir()) {
        showMessage(this, QStringLiteral("New filename is invalid."), kErrorTitle, MsgIcon::Exclamation);
        return false;
    }
    if (path != strEntryFilepath && FileExists(path) &&
        !askYesNo(this, QStringLiteral("New filename already in use.  Overwrite file?"),
                  QStringLiteral("File exists")))
        return false;

    strExitFilepath = path;
    blnCancelOperationThisFile = false;
    blnCancelOperationAllFiles = false;
    return true;
}

}  // namespace pictoria
