// The SSIMULACRA 2.1 score: agreement with the published tool on the shared
// reference pairs, and the properties that need no reference.
#include <map>
#include <sstream>

#include "DecodedSource.h"
#include "QualitySearch.h"
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

TEST(Score, FinalCurvePassesThroughItsPublishedPoints) {
  for (auto [error, score] : {std::pair{0.4511949, 90.0}, {1.3722503, 80.0}, {2.6471381, 70.0}, {6.1588555, 50.0},
                              {10.9837007, 30.0}, {21.2628037, 0.0}, {1.0, 83.5696784}})
    EXPECT_NEAR(ssimulacra2FromError(error), score, 1e-5) << error;
  EXPECT_EQ(ssimulacra2FromError(0), 100);
}

TEST(Score, IdenticalPicturesAndInvisibleChangesScore100) {
  RgbaPicture pic = patternPicture(67, 45);
  EXPECT_EQ(Ssimulacra2Reference(pic).score(pic), 100);
  // With alpha: colour changed only where alpha is 0.
  pic.hasAlpha = true;
  for (size_t i = 0; i < pic.rgba.size(); i += 4) pic.rgba[i + 3] = uint8_t(i % 12 == 0 ? 0 : 40 + i % 200);
  RgbaPicture hidden = pic;
  for (size_t i = 0; i < hidden.rgba.size(); i += 4)
    if (hidden.rgba[i + 3] == 0) hidden.rgba[i] ^= 0xff;
  const Ssimulacra2Reference reference(pic);
  EXPECT_EQ(reference.score(pic), 100);
  EXPECT_EQ(reference.score(hidden), 100);
}

TEST(Score, SmallerThan8x8IsScoredWithItsEdgesRepeated) {
  for (auto [w, h] : {std::pair{1u, 1u}, {3u, 20u}, {20u, 7u}}) {
    const RgbaPicture pic = patternPicture(w, h);
    RgbaPicture changed = pic;
    changed.rgba[0] ^= 0x80;
    const Ssimulacra2Reference reference(pic);
    EXPECT_EQ(reference.score(pic), 100) << w << "x" << h;
    EXPECT_LT(reference.score(changed), 100) << w << "x" << h;
  }
  EXPECT_THROW(Ssimulacra2Reference(patternPicture(8, 8)).score(patternPicture(8, 9)), std::invalid_argument);
}

// Writes @p pic as a JPG at @p quality in @p tmp and returns its path.
std::string writeJpeg(const TempDir& tmp, const RgbaPicture& pic, int quality) {
  ImageInfo info = makeInfo(PixelFormat::Rgba, pic.width, pic.height);
  const std::string png = tmp.path("source.png"), jpg = tmp.path("q" + std::to_string(quality) + ".jpg");
  writeImage(png, info, pic.rgba);
  EXPECT_TRUE(transcode(png, jpg, quality).ok);
  return jpg;
}

TEST(Score, RisesWithJpegQuality) {
  TempDir tmp;
  const RgbaPicture pic = patternPicture(160, 120);
  const Ssimulacra2Reference reference(pic);
  double previous = -1e9;
  for (int quality : {10, 30, 50, 70, 90, 100}) {
    const double score = reference.score(readPicture(writeJpeg(tmp, pic, quality)));
    EXPECT_GT(score, previous) << quality;
    previous = score;
  }
}

TEST(Score, TransparentSourceAgainstAnOpaqueOutputIsComposedOverWhite) {
  TempDir tmp;
  RgbaPicture pic = patternPicture(96, 64);
  pic.hasAlpha = true;
  for (size_t i = 0; i < pic.rgba.size(); i += 4) pic.rgba[i + 3] = uint8_t(i / 4 % 96 * 2);
  const std::string jpg = writeJpeg(tmp, pic, 95);
  const ScoreResult r = scoreFiles(tmp.path("source.png"), jpg);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_GT(r.score, 60);
  // Over a dark background the white behind the JPG shows.
  EXPECT_LT(Ssimulacra2Reference(pic).score(readPicture(jpg)), 0);
}

TEST(QualitySearch, BisectionFindsTheLowestQualityInSevenScores) {
  for (int threshold = 10; threshold <= 101; ++threshold) {
    int calls = 0;
    bool scored100 = false;
    // A score rising with quality that reaches exactly 50 at the threshold.
    const int found = lowestQualityReaching(50, [&](int q) {
      ++calls;
      scored100 = scored100 || q == 100;
      return 50.0 + (q - threshold) * 0.25;
    });
    EXPECT_EQ(found, threshold);
    EXPECT_LE(calls, 7);
    EXPECT_TRUE(threshold < 101 || scored100);
  }
  EXPECT_EQ(lowestQualityReaching(50, [](int) { return std::nan(""); }), 0);
}

TEST(QualitySearch, ChoiceMatchesAScanOfEveryQuality) {
  TempDir tmp;
  const RgbaPicture pic = patternPicture(72, 56);
  writeImage(tmp.path("source.png"), makeInfo(PixelFormat::Rgba, pic.width, pic.height), pic.rgba);
  const auto source = decodeSource(tmp.path("source.png"));
  const Ssimulacra2Reference reference(pic);
  std::map<int, double> scan;
  for (int q = 10; q <= 100; ++q) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeTarget(*source, "x.jpg", q, bytes).ok);
    InputFile in(bytes.data(), bytes.size());
    scan[q] = reference.score(readRgbaPicture(in, "x.jpg"));
  }
  for (int target : {40, 60, 75, 85, 95}) {
    const auto chosen = findSmallest(*source, "jpg", target);
    const QualityChoice& c = chosen->choice;
    ASSERT_TRUE(c.result.ok) << c.result.message;
    const auto lowest = std::find_if(scan.begin(), scan.end(), [&](auto& e) { return e.second >= target; });
    ASSERT_NE(lowest, scan.end()) << target;
    EXPECT_TRUE(c.reachedTarget);
    EXPECT_EQ(c.score, scan[c.quality]) << target;
    EXPECT_GE(c.score, target);
    EXPECT_LE(c.quality - lowest->first, 1) << target;
  }
}

TEST(QualitySearch, FallsBackTo100AndRefusesWhatItCannotSearch) {
  TempDir tmp;
  // Strong colour noise that no JPG keeps to a score of 99.
  RgbaPicture pic = patternPicture(64, 64);
  std::mt19937 rng(7);
  for (size_t i = 0; i < pic.rgba.size(); ++i)
    if (i % 4 != 3) pic.rgba[i] = uint8_t(rng());
  writeImage(tmp.path("noise.png"), makeInfo(PixelFormat::Rgba, 64, 64), pic.rgba);
  const QualityChoice best = transcodeSmallest(tmp.path("noise.png"), tmp.path("noise.jpg"), 99);
  ASSERT_TRUE(best.result.ok) << best.result.message;
  EXPECT_FALSE(best.reachedTarget);
  EXPECT_EQ(best.quality, 100);
  EXPECT_NEAR(scoreFiles(tmp.path("noise.png"), tmp.path("noise.jpg")).score, best.score, 1e-9);

  const QualityChoice missing = transcodeSmallest(tmp.path("nope.png"), tmp.path("nope.jpg"), 80);
  EXPECT_EQ(missing.result.side, FailureSide::Read);
  EXPECT_EQ(missing.result.message, "Input file not found");
  const auto source = decodeSource(tmp.path("noise.png"));
  EXPECT_FALSE(findSmallest(*source, "png", 80)->choice.result.ok);
  EXPECT_FALSE(findSmallest(*source, "jpg", 100)->choice.result.ok);
  const auto chosen = findSmallest(*source, "jpg", 50);
  EXPECT_FALSE(writeChosen(*chosen, tmp.path("noise.png")).ok);
  EXPECT_EQ(entries(tmp.dir()), 2u);
}

}  // namespace
}  // namespace pmtest
