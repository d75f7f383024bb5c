// Replays inputs the fuzzers once found troublesome: each must finish with
// either a conversion or a clean read failure.
#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(FuzzRegressions, EveryKeptInputFailsCleanlyOrConverts) {
  for (auto& e : fs::recursive_directory_iterator(PIXMORPH_FUZZ_CASES_DIR))
    if (e.is_regular_file()) convertAlone(e.path().string());
}

}  // namespace
}  // namespace pmtest
