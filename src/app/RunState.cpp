#include "RunState.h"

#include "FormHelpers.h"
#include "frmMain.h"

#include <QLabel>
#include <QPushButton>

namespace pictoria {

void BeginRunState(frmMain& window)
{
    SetFormControlsEnabled(window, false, false, false, true);
    window.lblTopLine->hide();
    window.cmdQuit->setEnabled(true);
    window.cmdStop->setEnabled(true);
    QFont stopFont = window.cmdStop->font();
    stopFont.setBold(true);
    window.cmdStop->setFont(stopFont);
}

void EndRunState(frmMain& window)
{
    SetFormControlsEnabled(window, true, false, false, true);
    window.lblTopLine->show();
}

}  // namespace pictoria
