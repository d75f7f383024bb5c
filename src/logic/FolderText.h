// Folder texts as the folder boxes hold them: a typed text is tidied and
// made absolute, and every folder text ends with "/".
#pragma once

#include <QString>

namespace pictoria {

/// The absolute form of the folder text @p text: a text that starts with "/"
/// is absolute already; "~" alone or followed by "/" stands for @p homeDir;
/// anything else is relative to @p currentDir. This is the one place that
/// knows how this platform writes absolute paths.
QString ResolveFolderText(const QString& text, const QString& currentDir, const QString& homeDir);

/// What a folder box shows after the user typed @p typed: blanks around it
/// removed, made absolute (ResolveFolderText) and ending with "/"; "" when
/// only blanks were typed.
QString NormaliseFolderText(const QString& typed, const QString& currentDir, const QString& homeDir);

}  // namespace pictoria
