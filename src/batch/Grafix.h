// The one call into the conversion engine.
#pragma once

#include <QString>

namespace pictoria {

/// Converts @p inputPath into @p outputPath (its extension names the output
/// format) through the engine, with JPG quality @p quality; @p option is
/// handed to the engine unchanged (callers pass 0).
///
/// Returns the engine's message followed by ".", so success reads
/// "No Error.". @p failureSide receives 1 when reading the input failed, -1
/// when writing the output failed, 0 otherwise.
QString TranscodeFile(const QString& inputPath, const QString& outputPath, int quality, int option,
                      int& failureSide);

}  // namespace pictoria
