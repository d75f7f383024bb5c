// The main window's one existing-target dialog: created on first use, owned by
// the window, and afterwards only shown and hidden.
#include "frmMain.h"

#include "frmTargetFileExists.h"

namespace pictoria {

frmTargetFileExists* frmMain::targetExistsDialog()
{
    if (!targetExistsDialog_)
        targetExistsDialog_ = new frmTargetFileExists(this);
    return targetExistsDialog_;
}

}  // namespace pictoria
