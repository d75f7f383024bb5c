// C++ face of the conversion engine, used by the tests and the command-line tool.
#pragma once

#include <memory>
#include <string>

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

}  // namespace pixmorph
