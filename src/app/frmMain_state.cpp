// Saved state: written and read by the state-file work (not yet built).
#include "frmMain.h"

namespace pictoria {

void frmMain::WriteState(const QString&) {}
void frmMain::ReadState(const QString&) {}
void frmMain::cmdSaveState_Click(int) {}

}  // namespace pictoria
