// Replays inputs the fuzzers once found troublesome: each must finish with
// either a conversion or a read failure carrying a message.
#include "TestSupport.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {
namespace {

TEST(FuzzRegressions, EveryKeptInputFailsCleanlyOrConverts) {
  std::error_code ec;
  if (!fs::is_directory(PIXMORPH_FUZZ_CASES_DIR, ec)) GTEST_SKIP() << "no regression inputs";
  TempDir tmp;
  int n = 0;
  for (auto& e : fs::recursive_directory_iterator(PIXMORPH_FUZZ_CASES_DIR)) {
    if (!e.is_regular_file() || e.path().filename().string()[0] == '.') continue;
    ++n;
    for (const char* ext : {"png", "bmp", "jpg"}) {
      auto r = pixmorph::transcode(e.path().string(), tmp.path(std::string("o.") + ext), 80);
      EXPECT_FALSE(r.message.empty()) << e.path();
      if (!r.ok) {
        EXPECT_EQ(r.side, pixmorph::FailureSide::Read) << e.path() << ": " << r.message;
      }
    }
  }
  RecordProperty("inputs", n);
}

}  // namespace
}  // namespace pmtest
