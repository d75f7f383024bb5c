// A source decoded once for several targets (see transcode.hpp), and what
// the engine does with it besides writing files.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CoefficientMemory.h"
#include "Image.h"
#include "pixmorph/transcode.hpp"

namespace pixmorph {

struct DecodedSource {
  std::exception_ptr openFailure;  // the source could not be opened: every write fails with this
  ImageInfo info;
  std::shared_ptr<const std::vector<uint8_t>> rows;  // decoded rows, top to bottom
  std::exception_ptr rowFailure;                     // what cut the rows short
  std::string streamFrom;  // too large to hold here: each write reads this file as transcode() does
  mutable CoefficientMemory coefficients;  // shared by its JPG writes
};

/// Encodes @p source into @p bytes: what writeTarget() would write to a file
/// named @p outputName (whose extension picks the format); with @p fullChroma,
/// its colour at full resolution whatever the quality.
TranscodeResult encodeTarget(const DecodedSource& source, const std::string& outputName, int quality,
                             std::vector<uint8_t>& bytes, bool fullChroma = false);

/// Runs @p work, turning the engine's failures into a result.
TranscodeResult resultOf(const std::function<void()>& work);

}  // namespace pixmorph
