// Single-file conversion (not yet built).
#include "frmMain.h"

namespace pictoria {

void frmMain::cmdConvertSingleFile_Click() { FocusNextControl(); }
void frmMain::LoadSingleFileDialog() {}
frmConvertSingleFile* frmMain::singleFileDialog() const { return singleFileDialog_; }
frmTargetFileExists* frmMain::targetExistsDialog() { return targetExistsDialog_; }

}  // namespace pictoria
