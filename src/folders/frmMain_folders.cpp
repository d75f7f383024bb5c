// Image folders: choosing, checking, summarising and listing.
#include "frmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pictoria {

void frmMain::cmdFolderForImages_Click(int) { FocusNextControl(); }
void frmMain::txbFolderForImages_LostFocus(int) {}

void frmMain::cmdClearFolderForImages_Click(int index)
{
    if (index == 2)
        ClearReportWindow();
    else
        txbFolderForImages[index]->setText(QString());
    FocusNextControl();
}

void frmMain::ShowFolderSummary(int) {}

void frmMain::cboFileFormat_Click(int index)
{
    if (index == 1) {
        const int jpgEntry = 3;  // "Select", BMP, PNG, JPG
        lblQuality->setVisible(cboFileFormat[1]->currentIndex() == jpgEntry);
        txbQuality->setVisible(lblQuality->isVisibleTo(this));
    }
    if (isVisible() && cmdConvertFiles->isEnabled())
        cmdConvertFiles->setFocus();
}

void frmMain::cmdList_Click(int) {}

}  // namespace pictoria
