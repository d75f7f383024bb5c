// Batch conversion (not yet built).
#include "frmMain.h"

namespace pictoria {

void frmMain::cmdConvertFiles_Click() {}
void frmMain::ProcessFiles(int) {}
void frmMain::cmdStop_Click() { blnStopRequested = true; }
int frmMain::ConvertOneFile(int, const QString&, bool, const QString&) { return 0; }
void frmMain::OpenViewerPage(const QString&) {}
void frmMain::CloseViewerPage() {}

}  // namespace pictoria
