// The bisection behind the automatic quality (findSmallest, transcode.hpp).
#pragma once

#include <functional>

namespace pixmorph {

/// The lowest quality in 10..100 whose score (from @p scoreAt) reaches
/// @p target, taking scores to rise with quality: at most 7 calls. 101 when
/// not even 100 reaches it (100 was then scored); 0 when @p scoreAt gave
/// NaN, a failure, which ends the search.
int lowestQualityReaching(double target, const std::function<double(int)>& scoreAt);

}  // namespace pixmorph
