// The program text table: numbered user-visible texts loaded from pxfm.dat
// beside the executable, and the product identity built from them.
#pragma once

#include <QString>

class QWidget;

namespace pictoria {

/// Product name (program text 1) and version text ("1.00"), set by
/// SetSoftwareIdentity.
extern QString ProductName;
extern QString VersionText;

/// Loads the program text file @p fileName from the executable's folder.
/// Returns true when loaded; otherwise shows the reason in a critical message
/// box (empty title) and returns false, and the caller ends the program.
bool LoadProgramText(const QString& fileName);

/// The text with that number in the current language, or "" ("~" in the file
/// stands for an empty text).
QString GetProgramText(int number);

/// Sets ProductName from text 1 and VersionText from the program version.
void SetSoftwareIdentity();

/// Caption of the main window: product name, a blank, version text.
void SetMainWindowCaption(QWidget& mainWindow);

}  // namespace pictoria
