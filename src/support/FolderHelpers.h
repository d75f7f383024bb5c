// Folder and drive helpers: the application-data folder, folder existence
// and the start directory. Every rule that differs between
// platforms (drives, separators, special folders) lives here.
#pragma once

#include <QString>


namespace pictoria {

/// The user's application-data folder (~/.config), or "" when unknown.
QString AppDataFolderPath();

/// Full path of @p fileName inside @p subfolder of the application-data
/// folder; the subfolder is created when missing.
QString AppDataSubfolderPath(const QString& fileName, const QString& subfolder);

/// True when @p path, without leading and trailing blanks, names a directory.
bool FolderExists(const QString& path);

/// Makes the start directory (the user's home folder; there are no drives
/// here) the current directory.
void SetStartDirectory();

}  // namespace pictoria
