// Saving the batch parameters to a state file and restoring them.
#include "frmMain.h"

#include "FileProc.h"
#include "StateFile.h"
#include "StrProc.h"
#include "UserPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>

namespace pictoria {

namespace {

// A state file is a few hundred bytes; anything far larger is not one, and is
// not read into memory.
constexpr qint64 kMaxStateFileSize = 1 << 20;

const QString kStateFilter = QStringLiteral("State files (*.sta)|*.sta");

}  // namespace

void frmMain::WriteState(const QString& fileName)
{
    SavedState state;
    state.inputFolder = txbFolderForImages[0]->text();
    state.outputFolder = txbFolderForImages[1]->text();
    state.inputFormatIndex = cboFileFormat[0]->currentIndex();
    state.outputFormatIndex = cboFileFormat[1]->currentIndex();
    state.warnOnOverwrite = chkWarnOnOverwrite->isChecked();
    state.viewInBrowser = chkViewMultipleInBrowser->isChecked();
    state.saveStateOnQuit = chkSaveStateOnQuit->isChecked();
    state.scoreTarget = ScoreTargetFromText(txbTarget->text().trimmed()).value_or(kDefaultScoreTarget);

    // Written beside the old file and renamed over it only when complete, so
    // a failed save leaves the previous state file as it was. The explicit
    // flush matters: commit() would rename a file whose last write failed.
    QSaveFile file(fileName);
    const QByteArray bytes = FormatStateFile(state);
    const bool opened = file.open(QIODevice::WriteOnly);
    const bool written = opened && file.write(bytes) == bytes.size() && file.flush();
    const int writeErrno = errno;
    bool saved = written;
    QString reason;
    if (!written) {
        // A failed flush leaves no description in the file object; errno has it.
        reason = opened ? qt_error_string(writeErrno) : file.errorString();
        file.cancelWriting();
    } else if (!file.commit()) {
        saved = false;
        reason = file.errorString();
    }
    if (!saved) {
        const QString text = QStringLiteral("Error when attempting to save the state: ") + reason;
        // After a signal or a logout there is nobody to answer a message box.
        if (quitFromOutside_)
            std::fprintf(stderr, "%s\n", qPrintable(text));
        else
            showMessage(this, text, QStringLiteral("Save state"), MsgIcon::Exclamation);
        return;
    }
    FocusNextControl();
}

void frmMain::ReadState(const QString& fileName)
{
    std::optional<SavedState> state;
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(kMaxStateFileSize + 1);
        if (file.error() == QFileDevice::NoError && bytes.size() <= kMaxStateFileSize)
            state = ParseStateFile(bytes, {cboFileFormat[0]->count(), cboFileFormat[1]->count()});
        file.close();
    }
    if (!state) {
        ResetParameters();
    } else {
        // Each value is applied in file order; the boxes' own handlers run as
        // they would for the user's change.
        txbFolderForImages[0]->setText(state->inputFolder);
        txbFolderForImages[1]->setText(state->outputFolder);
        cboFileFormat[0]->setCurrentIndex(state->inputFormatIndex);
        cboFileFormat[1]->setCurrentIndex(state->outputFormatIndex);
        chkWarnOnOverwrite->setChecked(state->warnOnOverwrite);
        chkViewMultipleInBrowser->setChecked(state->viewInBrowser);
        chkSaveStateOnQuit->setChecked(state->saveStateOnQuit);
        txbTarget->setText(QString::number(state->scoreTarget));
    }
    FocusNextControl();
}

void frmMain::cmdSaveState_Click(int index)
{
    const bool saving = index == 0;
    QString name = saving ? prompts().saveFileName(this, QStringLiteral("Specify filename for saved state"), kStateFilter)
                          : prompts().openFileName(this, QStringLiteral("Specify filename for state to restore"),
                                                   kStateFilter);
    if (!name.isEmpty()) {
        name = UpperCaseDriveLetter(name);
        if (saving && FileExists(name) &&
            !askYesNo(this,
                      QStringLiteral("The state file ") + name +
                          QStringLiteral("\r\nalready exists and will be overwritten.  Is this OK?"),
                      QStringLiteral("Confirm overwrite of file")))
            name.clear();
        if (!name.isEmpty()) {
            if (saving)
                WriteState(name);
            else
                ReadState(name);
        }
    }
    FocusNextControl();
}

}  // namespace pictoria
