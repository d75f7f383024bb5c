// The files of a folder as one run works through them.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pictoria {

/// Names of the regular files (hidden ones included) in @p folder, sorted by
/// name without regard to case. Nothing when the folder cannot be read; then
/// @p error receives the reason.
std::optional<QStringList> FolderFileNames(const QString& folder, QString& error);

/// Length of the file @p path in bytes; nothing when it cannot be read (it
/// vanished, or is no file), with the reason in @p error.
std::optional<qint64> FileLength(const QString& path, QString& error);

}  // namespace pictoria
