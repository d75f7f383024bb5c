// The SSIMULACRA 2.1 score: agreement with the published tool on the shared
// reference pairs, and the properties that need no reference.
#include <map>
#include <sstream>

#include "Score.h"
#include "TestSupport.h"
#include "pixmorph/score.hpp"

namespace pmtest {
namespace {

RgbaPicture readPicture(const std::string& path) {
  InputFile in(path);
  return readRgbaPicture(in, path);
}

// A photo-like picture as RGBA.
RgbaPicture patternPicture(uint32_t w, uint32_t h) {
  const ImageInfo info = makeInfo(PixelFormat::Rgb, w, h);
  const Bytes rgb = makePattern(info);
  RgbaPicture pic{w, h, std::vector<uint8_t>(size_t(w) * h * 4, 255), false};
  for (size_t i = 0; i < size_t(w) * h; ++i) std::copy_n(&rgb[3 * i], 3, &pic.rgba[4 * i]);
  return pic;
}

std::string metricDir() {
  std::error_code ec;
  return fs::is_directory(PIXMORPH_METRIC_DIR, ec) ? std::string(PIXMORPH_METRIC_DIR) : std::string();
}

TEST(Score, AgreesWithThePublishedToolOnEveryReferencePair) {
  if (metricDir().empty()) {
    const std::string missing = std::string("reference pairs ") + PIXMORPH_METRIC_DIR + " not found";
    if (const char* required = std::getenv("PICTORIA_REQUIRE_CORPUS"); required && std::string(required) == "1")
      FAIL() << missing << ", and PICTORIA_REQUIRE_CORPUS=1 requires it";
    GTEST_SKIP() << missing;
  }
  std::ifstream table(metricDir() + "/pairs.tsv");
  std::string line;
  std::getline(table, line);
  // Rows grouped by original, so that each original is prepared once.
  std::map<std::string, std::vector<std::pair<std::string, double>>> pairs;
  size_t rows = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string original, distorted, method, score;
    std::getline(fields, original, '\t');
    std::getline(fields, distorted, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, score, '\t');
    pairs[original].emplace_back(distorted, std::stod(score));
    ++rows;
  }
  EXPECT_EQ(rows, 93u);
  std::string misses;
  double worst = 0;
  for (const auto& [original, distorted] : pairs) {
    const Ssimulacra2Reference reference(readPicture(metricDir() + "/" + original));
    for (const auto& [file, expected] : distorted) {
      const double got = reference.score(readPicture(metricDir() + "/" + file));
      worst = std::max(worst, std::abs(got - expected));
      if (!(std::abs(got - expected) <= 0.5))
        misses += "\n  " + file + ": expected " + std::to_string(expected) + ", got " + std::to_string(got);
    }
  }
  EXPECT_TRUE(misses.empty()) << "pairs off by more than 0.5:" << misses;
  std::printf("largest difference from the published tool: %.6f\n", worst);
}

}  // namespace
}  // namespace pmtest
