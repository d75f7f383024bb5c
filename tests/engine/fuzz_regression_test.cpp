// Replays inputs the fuzzers once found troublesome: each must finish with
// either a conversion or a clean read failure.
#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(FuzzRegressions, EveryKeptInputFailsCleanlyOrConverts) {
  int replayed = 0;
  for (auto& e : fs::recursive_directory_iterator(PIXMORPH_FUZZ_CASES_DIR))
    if (e.is_regular_file() && e.path().filename().string()[0] != '.') {
      convertAlone(e.path().string());
      ++replayed;
    }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace pmtest
