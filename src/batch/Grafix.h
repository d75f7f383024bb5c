// The one call into the conversion engine, and the seam through which tests
// put a stand-in in its place.
#pragma once

#include "EngineOutcome.h"

#include <QString>

#include <functional>

namespace pictoria {

/// Converts @p inputPath into @p outputPath (its extension names the output
/// format) through the engine, with JPG quality @p quality. Safe to call on
/// any thread.
EngineOutcome TranscodeFile(const QString& inputPath, const QString& outputPath, int quality);

/// The conversion that runs use: TranscodeFile unless a test installed a
/// stand-in. Called on worker threads.
using Transcoder = std::function<EngineOutcome(const QString& inputPath, const QString& outputPath, int quality)>;
const Transcoder& transcoder();

/// Installs @p replacement (an empty one restores TranscodeFile). Only while
/// no run is in progress.
void setTranscoder(Transcoder replacement);

}  // namespace pictoria
