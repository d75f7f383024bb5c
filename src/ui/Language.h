// The program text table: numbered user-visible texts loaded from pxfm.dat
// beside the executable, and the product identity built from them.
#pragma once

#include <QString>

class QWidget;

namespace pictoria {

/// Language of every lookup; 0 from the start and never changed by the
/// program (the main window sets it to 0 again when it initialises).
extern qint16 CurrentLanguage;

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

/// Full path of the program text file: @p folder, "/" unless it already ends
/// with one, then @p fileName; the bare file name when @p folder is "".
QString ProgramTextPath(const QString& folder, const QString& fileName);

/// The message shown when loading the program text file at @p fullPath gave
/// @p status (0 or less); "" for a status of 1 or more.
QString ProgramTextLoadMessage(int status, const QString& fullPath);

/// Version as shown in the caption: major, ".", minor, "0" (1, 0 give "1.00").
QString FormatVersionText(int major, int minor);

}  // namespace pictoria
