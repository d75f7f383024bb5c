// The help window, the two web links and the product catalogue.
#include "frmMain.h"

#include "FormHelpers.h"
#include "Launch.h"
#include "UserPrompts.h"
#include "frmHelp.h"
#include "frmQVsoftware.h"

#include <QLabel>
#include <QPushButton>

namespace pictoria {

namespace {

const QString kMakerHomePage = QStringLiteral("https://quorvane.example/");
// The address as the narrow label beneath the maker's name shows it.
const QString kMakerHomePageShown = QStringLiteral("quorvane.example");

}  // namespace

void frmMain::InitWebLinks()
{
    lblOnlineDocumentation->setToolTip(QStringLiteral("Click here for the online user manual at ") +
                                       strOnlineManualURL + QLatin1Char('.'));
    lblQuorvaneSystems->setToolTip(QStringLiteral("Click here for the Quorvane Systems website at ") +
                                   kMakerHomePage + QLatin1Char('.'));
    lblQV_URL->setText(kMakerHomePageShown);
}

void frmMain::cmdHelp_Click()
{
    if (helpWindow_ && helpWindow_->isMinimized()) {
        helpWindow_->showNormal();
        return;
    }
    // Loaded on first use and after the close box destroyed it; a window that
    // Close only hid comes back as the user left it.
    if (!helpWindow_)
        helpWindow_ = new frmHelp(*this);
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void frmMain::lblOnlineDocumentation_Click()
{
    OpenWebPage(strOnlineManualURL);
    FocusNextControl();
}

void frmMain::lblQuorvaneSystems_Click()
{
    OpenWebPage(kMakerHomePage);
    FocusNextControl();
}

void frmMain::cmdCopyToClipboard_Click()
{
    hide();
    frmQVsoftware catalogue(this);
    prompts().showModal(catalogue);
    if (isQuitting())
        return;
    show();
    FocusIfAvailable(cmdHelp);
}

frmHelp* frmMain::helpWindow() const { return helpWindow_; }

}  // namespace pictoria
