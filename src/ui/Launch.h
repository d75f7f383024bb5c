// Opening a document or a web address with the program the desktop
// associates with it, with the user told when that fails.
#pragma once

#include "UserPrompts.h"

#include <QString>

namespace pictoria {

/// Opens the file @p path with its associated program. On failure returns
/// false and, when @p showError, says so in an "Error" message box.
bool OpenDocument(const QString& path, bool showError);

/// Opens @p address in the default browser; a failure is shown to the user.
void OpenWebPage(const QString& address);

/// The message OpenWebPage shows for shell error @p code (32 or less).
QString WebPageErrorMessage(int code, const QString& address);

/// Opens a file (@p isFile) or a web address through the desktop's launcher,
/// xdg-open, and returns its outcome as the shell's result code: the real
/// launch behind prompts().launch.
ShellResult LaunchWithDesktop(const QString& target, bool isFile);

}  // namespace pictoria
