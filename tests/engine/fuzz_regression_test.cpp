// Replays inputs the fuzzers once found troublesome: each must finish with
// either a conversion or a clean read failure.
#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(FuzzRegressions, EveryKeptInputFailsCleanlyOrConverts) {
  int n = 0;
  for (auto& e : fs::recursive_directory_iterator(PIXMORPH_FUZZ_CASES_DIR))
    if (e.is_regular_file() && e.path().filename().string()[0] != '.') {
      ++n;
      if (!convertAlone(e.path().string()).ok) continue;
      TempDir tmp;
      for (const char* out : {"o.bmp", "o.jpg"}) EXPECT_FALSE(transcode(e.path().string(), tmp.path(out)).message.empty());
    }
  EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace pmtest
