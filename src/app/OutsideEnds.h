// Ends that come from outside the window: SIGTERM, SIGINT and SIGHUP (a
// shutdown, `kill`, Ctrl+C, a closed terminal) and the X11 session's logout.
#pragma once

namespace pictoria {

class frmMain;

/// Makes each of those ends do what Quit does, through
/// frmMain::QuitFromOutside on the window's thread. A second signal while
/// the first one's Quit waits for the files in flight ends the program at
/// once with 128 + that signal's number.
void QuitOnOutsideEnds(frmMain& window);

}  // namespace pictoria
