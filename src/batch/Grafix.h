// The calls into the conversion engine, and the seam through which tests put
// a stand-in in their place.
#pragma once

#include "EngineOutcome.h"
#include "SmallestQuality.h"

#include <QString>

#include <functional>
#include <optional>

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

/// What the search for the lowest quality of a decoded source chose; the
/// chosen candidate is kept in memory until it is written or let go.
struct SearchedTarget {
    /// Converted when a quality was chosen; otherwise why the search failed.
    EngineOutcome outcome;
    FoundQuality found;
    /// Writes the chosen candidate, exactly as it was scored.
    std::function<EngineOutcome(const QString& outputPath)> write;
};

/// Searches the lowest quality 10..100 at which a decoded source, written in
/// the lossy format named ("JPG"), scores at least the target (30..99)
/// against itself; quality 100 when none does.
using TargetSearcher = std::function<SearchedTarget(const QString& outputFormat, int target)>;

/// A source file read once for several targets.
struct DecodedFile {
    TargetWriter write;
    /// False when the source could not be read whole: its writes may then
    /// fail on the reading side, as TranscodeFile's would.
    bool whole = false;
    /// Only for a source held whole.
    TargetSearcher search;
};

/// Reads and decodes @p inputPath once. Safe to call on any thread.
DecodedFile DecodeFile(const QString& inputPath);

/// A conversion with its automatic quality, when it had one.
struct SearchedOutcome {
    EngineOutcome outcome;
    std::optional<FoundQuality> found;
};

/// Converts @p inputPath into @p outputPath (a lossy format) at the lowest
/// quality whose score reaches @p target; a source that cannot be held whole
/// is written at @p fixedQuality instead, unsearched. Safe on any thread.
SearchedOutcome TranscodeSmallest(const QString& inputPath, const QString& outputPath, int fixedQuality, int target);

/// How closely a converted picture matches its source.
struct ScoreOutcome {
    bool ok = false;
    double score = 0;
    /// Why there is no score, when there is none.
    QString message;
};

/// Scores @p distorted against @p original. Safe on any thread.
ScoreOutcome ScoreFiles(const QString& original, const QString& distorted);

/// The engine calls that runs make, on worker threads: the engine's own
/// unless a test installed stand-ins.
struct Transcoder {
    /// One source into one target: each file of a batch.
    std::function<EngineOutcome(const QString& inputPath, const QString& outputPath, int quality)> convert =
        TranscodeFile;
    /// One source read once for several targets: the source of a single-file run.
    std::function<DecodedFile(const QString& inputPath)> decode = DecodeFile;
    /// One source into one target at the automatic quality: each file of such a batch.
    std::function<SearchedOutcome(const QString& inputPath, const QString& outputPath, int fixedQuality, int target)>
        convertSmallest = TranscodeSmallest;
    /// An output scored against its source, for the viewer page.
    std::function<ScoreOutcome(const QString& original, const QString& distorted)> score = ScoreFiles;
};
const Transcoder& transcoder();

/// Installs @p replacement (a default one restores the engine). Only while
/// no run is in progress.
void setTranscoder(Transcoder replacement);

}  // namespace pictoria
