// Help window, web links and the catalogue (not yet built).
#include "frmMain.h"

namespace pictoria {

void frmMain::cmdHelp_Click() {}
void frmMain::lblOnlineDocumentation_Click() {}
void frmMain::lblQuorvaneSystems_Click() {}
void frmMain::cmdCopyToClipboard_Click() {}
frmHelp* frmMain::helpWindow() const { return helpWindow_; }

}  // namespace pictoria
