// The calls into the conversion engine, and the seam through which tests put
// a stand-in in their place.
#pragma once

#include "EngineOutcome.h"

#include <QString>

#include <functional>

namespace pictoria {

/// Converts @p inputPath into @p outputPath (its extension names the output
/// format) through the engine, with JPG quality @p quality. Safe to call on
/// any thread.
EngineOutcome TranscodeFile(const QString& inputPath, const QString& outputPath, int quality);

/// Writes one target (output path, JPG quality) of a source read once,
/// exactly as TranscodeFile writes it from the source file. It holds the
/// decoded source for as long as it or a copy lives; copies may write at once
/// on several threads.
using TargetWriter = std::function<EngineOutcome(const QString& outputPath, int quality)>;

/// A source file read once for several targets.
struct DecodedFile {
    TargetWriter write;
    /// False when the source could not be read whole: its writes may then
    /// fail on the reading side, as TranscodeFile's would.
    bool whole = false;
};

/// Reads and decodes @p inputPath once. Safe to call on any thread.
DecodedFile DecodeFile(const QString& inputPath);

/// The engine calls that runs make, on worker threads: the engine's own
/// unless a test installed stand-ins.
struct Transcoder {
    /// One source into one target: each file of a batch.
    std::function<EngineOutcome(const QString& inputPath, const QString& outputPath, int quality)> convert =
        TranscodeFile;
    /// One source read once for several targets: the source of a single-file run.
    std::function<DecodedFile(const QString& inputPath)> decode = DecodeFile;
};
const Transcoder& transcoder();

/// Installs @p replacement (a default one restores the engine). Only while
/// no run is in progress.
void setTranscoder(Transcoder replacement);

}  // namespace pictoria
