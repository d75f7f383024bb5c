// C++ face of the conversion engine, used by the tests and the command-line tool.
#pragma once

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

}  // namespace pixmorph
