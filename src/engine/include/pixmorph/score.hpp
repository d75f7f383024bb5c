// How close a converted picture looks to its source: the SSIMULACRA 2.1 score.
#pragma once

#include <string>

#include "pixmorph/transcode.hpp"

namespace pixmorph {

struct ScoreResult {
  bool ok = false;
  /// 100 for identical pictures, about 90 for a very good copy, 70 good,
  /// 50 medium; no lower bound (heavy damage goes below 0).
  double score = 0;
  /// Read when a file could not be read, None otherwise.
  FailureSide side = FailureSide::None;
  std::string message;  // "No Error" on success, never ends with a period
};

/// Scores @p distorted against @p original, both read as sRGB (any colour
/// profile is ignored). The pictures must have the same size. Pictures with
/// alpha are scored over a dark and a light background and the lower score
/// counts; but an original with alpha against a picture without it (a JPG
/// made from it) is compared as that picture was made: with the original
/// composed over white. Pictures narrower or lower than 8 pixels are scored
/// with their last column and row repeated to make them 8 wide and high.
ScoreResult scoreFiles(const std::string& original, const std::string& distorted);

}  // namespace pixmorph
