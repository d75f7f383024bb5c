// The dialog that resolves a clash with an existing target file: overwrite it,
// write under another name, skip this file, or stop the whole operation.
// Loaded once by the main window and afterwards only shown and hidden.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pictoria {

/// Modal dialog "File exists". The caller writes lngBackColor,
/// strEntryFilepath, blnSingleFileOperation and blnSameFileExtensionMandatory,
/// shows it modally, then reads blnCancelOperationThisFile; when that is true
/// blnCancelOperationAllFiles tells whether to stop everything, otherwise
/// strExitFilepath is the path to write.
class frmTargetFileExists : public QDialog {
    Q_OBJECT

public:
    /// Creates the dialog, hidden, as a window of @p mainWindow, whose lower
    /// right corner it sits in when shown.
    explicit frmTargetFileExists(QWidget* mainWindow);

    // ---- Public variables: set by the caller before showing -------------------
    /// Background of the window, its labels and option buttons, in Windows
    /// blue-green-red order (0xFFFFC0 is pale cyan); applied at the first showing.
    quint32 lngBackColor = 0xFFFFC0;
    /// The existing target path; leading and trailing blanks are removed when shown.
    QString strEntryFilepath;
    /// True hides "Cancel the operation on all files".
    bool blnSingleFileOperation = false;
    /// True: an edited name must keep the target's extension.
    bool blnSameFileExtensionMandatory = true;

    // ---- Public variables: read by the caller after the dialog is hidden ------
    /// True: do not write this target. Every showing starts with it true, so a
    /// dialog closed without "Continue" skips the file.
    bool blnCancelOperationThisFile = true;
    /// True: stop the whole operation (only ever together with blnCancelOperationThisFile).
    bool blnCancelOperationAllFiles = false;
    /// The path to write: the entry path, an accepted new path, or "" when nothing is written.
    QString strExitFilepath;
    /// Lower-case extension of strEntryFilepath without the dot; "" without one.
    QString strExtension;

    // ---- Controls ---------------------------------------------------------------
    QLineEdit* txbFilepath = nullptr;
    QLabel* lblFileExists = nullptr;
    QRadioButton* optOverwrite = nullptr;
    QRadioButton* optChooseFilename = nullptr;
    QRadioButton* optCancelOperationThisFile = nullptr;
    QRadioButton* optCancelOperationAllFiles = nullptr;
    QLabel* lblEditFilename = nullptr;
    QPushButton* cmdContinue = nullptr;

    /// Client height in twips as set by the last showing.
    int heightTwips() const { return heightTwips_; }

    // ---- Event handlers ---------------------------------------------------------
    void Form_Load();
    void Form_Activate();
    void optOverwrite_Click();
    void optChooseFilename_Click();
    void optCancelOperationThisFile_Click();
    void optCancelOperationAllFiles_Click();
    void cmdContinue_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool acceptEditedPath();
    void setHeightTwips(int twips);

    bool loaded_ = false;
    int heightTwips_ = 0;
};

}  // namespace pictoria
