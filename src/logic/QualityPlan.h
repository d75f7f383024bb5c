// The order of work of a single-file run that needs no window: which JPG
// qualities are converted and whether their files carry the quality tag.
#pragma once

#include <vector>

namespace pictoria {

/// The JPG conversions of one single-file run.
struct QualityPlan {
    std::vector<int> qualities;  ///< in the order they are converted
    bool tagged = false;         ///< true when the range holds more than one quality
};

/// Qualities from @p from towards @p to by @p step (negative for a falling
/// range), the last one not beyond @p to. A range whose second quality would
/// already lie beyond @p to gives @p from alone, untagged; so does a step of 0.
QualityPlan PlanQualities(int from, int to, int step);

}  // namespace pictoria
