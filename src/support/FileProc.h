// File questions the rest of the program asks: does a file exist, and which
// numbered file name of a stem is free in a folder.
#pragma once

#include <QString>

namespace pictoria {

/// What a path names, as far as opening it goes.
enum class PathKind { File, Folder, Missing, Unreadable, Other };

/// What @p path names now: a file or a folder the program may read, one it
/// may not, something else (a device, a pipe), or nothing.
PathKind ProbePath(const QString& path);

/// True when @p path names an existing regular file (a link to one counts);
/// false for "", for a folder and for anything that does not exist.
bool FileExists(const QString& path);

/// The first name folder/stem01extension .. folder/stem99extension under
/// which a new file can be created, or "" with the reason in @p errorText
/// (left alone on success). @p folder may end with "/" or not; @p extension
/// may be given with or without its leading ".".
///
/// The name is free when returned, not reserved: the caller must create the
/// file exclusively (QIODevice::NewOnly) and, when that fails because someone
/// else took the name in between, call again for the next free number.
QString MakeNumberedFileName(const QString& folder, const QString& stem, const QString& extension,
                             QString& errorText);

/// 1 exactly when nothing exists at @p path and a file can be created there;
/// any other value when the name is not usable.
int FileIsCreatable(const QString& path);

}  // namespace pictoria
