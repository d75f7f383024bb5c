// The main window's busy state while a conversion run or a listing works.
#pragma once

namespace pictoria {

class frmMain;

/// Disables every command of @p window except "Quit" and a bold "Stop" (the
/// text boxes stay usable) and hides the top line. The run's end enables the
/// commands again (SetFormControlsEnabled) and shows the top line.
void BeginRunState(frmMain& window);

/// Enables the commands again and shows the top line.
void EndRunState(frmMain& window);

}  // namespace pictoria
