// C++ face of the conversion engine, used by the tests and the command-line tool.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pixmorph/transcode.h"

namespace pixmorph {

/// Which side of a conversion failed.
enum class FailureSide { None = 0, Read = 1, Write = -1 };

struct TranscodeResult {
  bool ok = false;
  pixmorph_status status = PIXMORPH_FAILED;
  FailureSide side = FailureSide::None;
  std::string message;  // "No Error" on success, never ends with a period
};

/// Converts @p inputPath (BMP/GIF/JPG/PNG, chosen by content) into
/// @p outputPath (BMP/JPG/PNG, chosen by extension). @p quality (10..100)
/// applies to JPG output. Thread-safe; the target is replaced only when the
/// new file is complete.
TranscodeResult transcode(const std::string& inputPath, const std::string& outputPath,
                          int quality = 80);

/// Removes the named temporary file of an output being written, if there is
/// one, for a program that converts one file at a time and ends on a signal.
/// Safe inside a signal handler. Where outputs are written without a name
/// there is mostly nothing to remove.
void removeUnfinishedOutput() noexcept;

/// A source read and decoded once, then held read-only while several
/// targets are written from it. Its contents are the engine's own.
struct DecodedSource;

/// Reads and decodes @p inputPath whole. A source that cannot be read still
/// gives a DecodedSource: each of its writes fails as transcode() would.
std::shared_ptr<const DecodedSource> decodeSource(const std::string& inputPath);

/// True when @p source is held whole, so that its writes cannot fail on the
/// reading side; false when it could not be read (or is too large to hold
/// and is read again by each write).
bool decodedWhole(const DecodedSource& source);

/// Writes @p source into @p outputPath: byte for byte what transcode() writes
/// for the same input file, target and @p quality, with the same result.
/// Writes of one source may run on several threads at once.
TranscodeResult writeTarget(const DecodedSource& source, const std::string& outputPath, int quality = 80);

/// The automatic quality: the lowest quality (10..100) at which a lossy
/// output still scores at least a target (30..99) on the SSIMULACRA 2.1
/// scale (score.hpp) against its source. Candidates are encoded in memory
/// and decoded back through the engine's readers; the search bisects,
/// taking scores to rise with quality, in at most 7 encodings, so it lands
/// on the lowest such quality or one step above where scores dip.
/// An output without transparency is scored against the source composed
/// over white, as it is made. A transparent source against such an output
/// rarely reaches any target (the composed colours show where the source
/// was clear), so it often gets quality 100.
struct QualityChoice {
  /// Not ok: nothing was chosen. Side Read: the source could not be
  /// decoded whole (or is too large to hold); convert it at a fixed
  /// quality instead.
  TranscodeResult result;
  int quality = 0;
  double score = 0;            // the chosen output's score
  bool reachedTarget = false;  // false: even quality 100 fell short, and 100 was chosen
};

/// The output chosen for a target, held in memory until written.
struct SmallestOutput {
  QualityChoice choice;
  std::string extension;         // the format searched, as given
  std::vector<uint8_t> encoded;  // the chosen output's file
};

/// Finds the lowest quality for @p target of @p source written in the lossy
/// format of @p extension ("jpg"). Never null; see choice.result.
std::unique_ptr<SmallestOutput> findSmallest(const DecodedSource& source, const std::string& extension, int target);

/// Writes the chosen output to @p outputPath (atomically, like every
/// output), whose extension must name the format searched.
TranscodeResult writeChosen(const SmallestOutput& chosen, const std::string& outputPath);

/// decodeSource(), findSmallest() and writeChosen() in one call. When the
/// choice's result fails on the reading side nothing was written: convert
/// at a fixed quality instead.
QualityChoice transcodeSmallest(const std::string& inputPath, const std::string& outputPath, int target);

}  // namespace pixmorph
