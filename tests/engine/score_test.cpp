// The SSIMULACRA 2.1 score: agreement with the published tool on the shared
// reference pairs, and the properties that need no reference.
#include <avif/avif.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <sstream>

#include "DecodedSource.h"
#include "QualitySearch.h"
#include "Score.h"
#include "Ssimulacra2Kernels.h"
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
  RgbaPicture pic{w, h, makePattern(makeInfo(PixelFormat::Rgba, w, h)), false};
  for (size_t i = 3; i < pic.rgba.size(); i += 4) pic.rgba[i] = 255;
  return pic;
}

// Writes @p pic as a PNG named @p name in @p tmp and returns its path.
std::string writePng(const TempDir& tmp, const RgbaPicture& pic, const std::string& name = "source.png") {
  writeImage(tmp.path(name), makeInfo(PixelFormat::Rgba, pic.width, pic.height), pic.rgba);
  return tmp.path(name);
}

TEST(Score, AgreesWithThePublishedToolOnEveryReferencePair) {
  const std::string dir = PIXMORPH_METRIC_DIR;
  if (std::error_code ec; !fs::is_directory(dir, ec)) {
    if (const char* required = std::getenv("PICTORIA_REQUIRE_CORPUS"); required && std::string(required) == "1")
      FAIL() << "reference pairs " << dir << " not found, and PICTORIA_REQUIRE_CORPUS=1 requires it";
    GTEST_SKIP() << "reference pairs " << dir << " not found";
  }
  std::ifstream table(dir + "/pairs.tsv");
  std::string line, original, distorted, method, score;
  // Rows grouped by original, so that each original is prepared once.
  std::map<std::string, std::vector<std::pair<std::string, double>>> pairs;
  size_t rows = 0;
  for (std::getline(table, line) /* the header */; std::getline(table, line); ++rows) {
    std::istringstream fields(line);
    for (std::string* field : {&original, &distorted, &method, &score}) std::getline(fields, *field, '\t');
    pairs[original].emplace_back(distorted, std::stod(score));
  }
  EXPECT_EQ(rows, 93u);
  for (const auto& [original, distorted] : pairs) {
    const Ssimulacra2Reference reference(readPicture(dir + "/" + original));
    std::vector<double> scores;
    for (const auto& [file, expected] : distorted) {
      scores.push_back(reference.score(readPicture(dir + "/" + file)));
      EXPECT_NEAR(scores.back(), expected, 0.5) << file;
    }
    // The first comparison keeps the original's side and later ones read it: to the bit.
    EXPECT_EQ(reference.score(readPicture(dir + "/" + distorted.front().first)), scores.front()) << original;
  }
}

TEST(Score, FinalCurvePassesThroughItsPublishedPoints) {
  for (auto [error, score] : {std::pair{0.4511949, 90.0}, {1.3722503, 80.0}, {2.6471381, 70.0}, {6.1588555, 50.0},
                              {10.9837007, 30.0}, {21.2628037, 0.0}, {1.0, 83.5696784}})
    EXPECT_NEAR(ssimulacra2FromError(error), score, 1e-5) << error;
}

TEST(Score, IdenticalOrInvisiblyChangedPicturesScore100AtAnySize) {
  // Below 8 x 8 the edges are repeated.
  for (auto [w, h] : {std::pair{1u, 1u}, {3u, 20u}, {20u, 7u}, {67u, 45u}}) {
    RgbaPicture pic = patternPicture(w, h), changed = pic;
    changed.rgba[0] ^= 0x80;
    const Ssimulacra2Reference reference(pic);
    EXPECT_EQ(reference.score(pic), 100) << w << "x" << h;
    EXPECT_LT(reference.score(changed), 100) << w << "x" << h;
  }
  EXPECT_THROW(Ssimulacra2Reference(patternPicture(8, 8)).score(patternPicture(8, 9)), std::invalid_argument);
  // With alpha: colour changed only where alpha is 0.
  RgbaPicture pic = patternPicture(67, 45);
  pic.hasAlpha = true;
  for (size_t i = 0; i < pic.rgba.size(); i += 4) pic.rgba[i + 3] = uint8_t(i % 12 == 0 ? 0 : 40 + i % 200);
  RgbaPicture hidden = pic;
  for (size_t i = 0; i < hidden.rgba.size(); i += 4) hidden.rgba[i] ^= hidden.rgba[i + 3] ? 0 : 0xff;
  EXPECT_EQ(Ssimulacra2Reference(pic).score(hidden), 100);
}

// Writes @p pic as a JPG at @p quality in @p tmp (through source.png) and returns its path.
std::string writeJpeg(const TempDir& tmp, const RgbaPicture& pic, int quality) {
  const std::string jpg = tmp.path("q" + std::to_string(quality) + ".jpg");
  EXPECT_TRUE(transcode(writePng(tmp, pic), jpg, quality).ok);
  return jpg;
}

TEST(Score, RisesWithJpegQuality) {
  TempDir tmp;
  const RgbaPicture pic = patternPicture(160, 120);
  const Ssimulacra2Reference reference(pic);
  double previous = -1e9;
  for (int quality : {10, 30, 50, 70, 90, 100}) {
    const double score = reference.score(readPicture(writeJpeg(tmp, pic, quality)));
    EXPECT_GT(score, std::exchange(previous, score)) << quality;
  }
}

TEST(Score, TransparentSourceAgainstAnOpaqueOutputIsComposedOverWhite) {
  TempDir tmp;
  RgbaPicture pic = patternPicture(96, 64);
  pic.hasAlpha = true;
  for (size_t i = 0; i < pic.rgba.size(); i += 4) pic.rgba[i + 3] = uint8_t(i / 4 % 96 * 2);
  const std::string jpg = writeJpeg(tmp, pic, 95);
  EXPECT_GT(scoreFiles(tmp.path("source.png"), jpg).score, 60);
  // Over a dark background the white behind the JPG shows.
  EXPECT_LT(Ssimulacra2Reference(pic).score(readPicture(jpg)), 0);
}

// Samples in 0..1 (the planes' range) from a fixed seed.
std::vector<float> randomSamples(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> v(n);
  for (float& f : v) f = unit(rng);
  return v;
}

TEST(ScoreKernels, RowBlurIsAGaussianOfEachLaneAlone) {
  using ssim2::kLanes;
  // Long enough for the start, the four-at-a-time middle and the end.
  constexpr size_t kLength = 41, kCentre = 20;
  const std::vector<float> rows = randomSamples(kLength * kLanes, 1);
  std::vector<float> together(rows.size()), alone(rows.size()), lane(rows.size());
  ssim2::blurRowsInterleaved(rows.data(), together.data(), kLength);
  for (size_t l = 0; l < kLanes; ++l) {
    std::ranges::fill(lane, 0.0f);
    for (size_t x = 0; x < kLength; ++x) lane[x * kLanes] = rows[x * kLanes + l];
    ssim2::blurRowsInterleaved(lane.data(), alone.data(), kLength);
    for (size_t x = 0; x < kLength; ++x) ASSERT_EQ(alone[x * kLanes], together[x * kLanes + l]) << l << " " << x;
  }
  // An impulse spreads symmetrically, as a Gaussian of sigma 1.5 does.
  std::ranges::fill(lane, 0.0f);
  lane[kCentre * kLanes] = 1;
  ssim2::blurRowsInterleaved(lane.data(), alone.data(), kLength);
  EXPECT_NEAR(alone[kCentre * kLanes], 1 / (1.5 * std::sqrt(2 * std::numbers::pi)), 0.01);
  for (size_t d = 1; d <= 6; ++d)
    EXPECT_NEAR(alone[(kCentre - d) * kLanes], alone[(kCentre + d) * kLanes], 1e-6) << d;
}

TEST(ScoreKernels, RowsInterleaveIntoLaneOrderAndBack) {
  using ssim2::kLanes;
  // Two blocks of eight columns and five more.
  constexpr size_t kLength = 21;
  std::vector<std::vector<float>> samples, factors;
  for (unsigned l = 0; l < kLanes; ++l) {
    samples.push_back(randomSamples(kLength, 20 + l));
    factors.push_back(randomSamples(kLength, 40 + l));
  }
  const float* rows[kLanes];
  const float* by[kLanes];
  for (size_t l = 0; l < kLanes; ++l) rows[l] = samples[l].data(), by[l] = factors[l].data();
  std::vector<float> plain(kLength * kLanes), products(kLength * kLanes);
  ssim2::interleaveRows(rows, nullptr, plain.data(), kLength);
  ssim2::interleaveRows(rows, by, products.data(), kLength);
  for (size_t l = 0; l < kLanes; ++l)
    for (size_t x = 0; x < kLength; ++x) {
      ASSERT_EQ(plain[x * kLanes + l], samples[l][x]) << l << " " << x;
      ASSERT_EQ(products[x * kLanes + l], samples[l][x] * factors[l][x]) << l << " " << x;
    }
  // Back into rows: all eight, or the first three only (a band at the picture's end).
  for (size_t count : {kLanes, size_t(3)}) {
    std::vector<std::vector<float>> back(kLanes, std::vector<float>(kLength, -1.0f));
    float* to[kLanes];
    for (size_t l = 0; l < kLanes; ++l) to[l] = back[l].data();
    ssim2::deinterleaveRows(plain.data(), to, count, kLength);
    for (size_t l = 0; l < kLanes; ++l)
      EXPECT_EQ(back[l], l < count ? samples[l] : std::vector<float>(kLength, -1.0f)) << count << " " << l;
  }
}

TEST(ScoreKernels, ColumnBlurGivesEachColumnWhatItGetsAlone) {
  // 13 columns: a full vector and a partial one.
  constexpr size_t kWidth = 13, kSteps = 12;
  std::vector<float> state(6 * kWidth, 0.0f), out(kWidth);
  std::vector<std::vector<float>> stateAlone(kWidth, std::vector<float>(6, 0.0f));
  for (size_t step = 0; step < kSteps; ++step) {
    const std::vector<float> below = randomSamples(kWidth, unsigned(2 * step)),
                             above = randomSamples(kWidth, unsigned(2 * step + 1));
    ssim2::blurColumnsStep(below.data(), above.data(), state.data(), out.data(), kWidth);
    for (size_t x = 0; x < kWidth; ++x) {
      float outAlone;
      ssim2::blurColumnsStep(&below[x], &above[x], stateAlone[x].data(), &outAlone, 1);
      ASSERT_EQ(outAlone, out[x]) << step << " " << x;
      for (size_t s = 0; s < 6; ++s) ASSERT_EQ(stateAlone[x][s], state[s * kWidth + x]) << step << " " << x;
    }
  }
}

TEST(ScoreKernels, ErrorSumsOfARowsLastColumnsMatchThoseColumnsAtItsStart) {
  // Sums are kept per column modulo 8: columns 8.. of a 13-wide row share the
  // partial sums of columns 0..4 of a 5-wide row, and identical samples
  // (errors of zero) before them change nothing.
  constexpr size_t kShort = 5, kLong = 8 + kShort;
  std::vector<std::vector<float>> rows(5, std::vector<float>(kLong, 0.0f));
  for (unsigned r = 0; r < 5; ++r) std::ranges::copy(randomSamples(kShort, 10 + r), rows[r].begin() + 8);
  ssim2::ErrorSums full, tail;
  const auto add = [&rows](size_t from, size_t n, ssim2::ErrorSums& sums) {
    const auto at = [&](size_t r) { return rows[r].data() + from; };
    ssim2::addEdgeErrors(at(0), at(1), at(2), at(3), n, sums);
    ssim2::addSsimErrors(at(0), at(1), at(2), at(3), at(4), n, sums);
  };
  add(0, kLong, full);
  add(8, kShort, tail);
  EXPECT_GT(tail.ring + tail.blur, 0);
  EXPECT_GT(tail.ssim, 0);
  for (auto field : {&ssim2::ErrorSums::ssim, &ssim2::ErrorSums::ring, &ssim2::ErrorSums::blur,
                     &ssim2::ErrorSums::ssim4, &ssim2::ErrorSums::ring4, &ssim2::ErrorSums::blur4})
    EXPECT_EQ(full.*field, tail.*field);
}

TEST(QualitySearch, BisectionFindsTheLowestQualityInSevenScores) {
  for (double target : {50.0, 90.0})
    for (int threshold = 10; threshold <= 101; ++threshold) {
      // A score rising with quality that reaches exactly the target at the threshold.
      std::vector<int> asked;
      EXPECT_EQ(lowestQualityReaching(target, [&](int q) {
                  asked.push_back(q);
                  return target + (q - threshold) * 0.25;
                }),
                threshold);
      EXPECT_LE(asked.size(), 7u);
      // A high target's usual answers take a call fewer.
      if (target == 90 && threshold > 73) {
        EXPECT_LE(asked.size(), 6u) << threshold;
      }
      EXPECT_TRUE(threshold < 101 || std::ranges::count(asked, 100)) << "101 found without trying 100";
    }
  EXPECT_EQ(lowestQualityReaching(50, [](int) { return std::nan(""); }), 0);
}

TEST(QualitySearch, CandidatesKeepTheirColourAtFullResolution) {
  TempDir tmp;
  const auto source = decodeSource(writePng(tmp, patternPicture(64, 48)));
  // Low enough a target for a quality under 90, where a fixed-quality JPG halves its colour.
  const auto jpg = findSmallest(*source, "jpg", 40);
  ASSERT_TRUE(jpg->choice.result.ok) << jpg->choice.result.message;
  ASSERT_LT(jpg->choice.quality, 90);
  const auto frame = std::ranges::search(jpg->encoded, std::array<uint8_t, 2>{0xFF, 0xC0});
  ASSERT_FALSE(frame.empty());
  EXPECT_EQ(*(frame.begin() + 11), 0x11) << "first component's sampling factors";

  const auto avif = findSmallest(*source, "avif", 40);
  ASSERT_TRUE(avif->choice.result.ok) << avif->choice.result.message;
  std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> decoder(avifDecoderCreate(), avifDecoderDestroy);
  ASSERT_EQ(avifDecoderSetIOMemory(decoder.get(), avif->encoded.data(), avif->encoded.size()), AVIF_RESULT_OK);
  ASSERT_EQ(avifDecoderParse(decoder.get()), AVIF_RESULT_OK);
  EXPECT_EQ(decoder->image->yuvFormat, AVIF_PIXEL_FORMAT_YUV444);
}

TEST(QualitySearch, ChoiceMatchesAScanOfEveryQuality) {
  TempDir tmp;
  const RgbaPicture pic = patternPicture(72, 56);
  const auto source = decodeSource(writePng(tmp, pic));
  const Ssimulacra2Reference reference(pic);
  std::map<int, double> scan;
  for (int q = 10; q <= 100; ++q) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeTarget(*source, "x.jpg", q, bytes, true).ok);
    InputFile in(bytes.data(), bytes.size());
    scan[q] = reference.score(readRgbaPicture(in, "x.jpg"));
  }
  for (int target : {40, 60, 75, 85, 95}) {
    const QualityChoice c = findSmallest(*source, "jpg", target)->choice;
    ASSERT_TRUE(c.result.ok) << c.result.message;
    const auto lowest = std::ranges::find_if(scan, [&](auto& e) { return e.second >= target; });
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
  for (size_t i = 0; i < pic.rgba.size(); ++i) pic.rgba[i] = i % 4 == 3 ? 255 : uint8_t(rng());
  const std::string png = writePng(tmp, pic, "noise.png");
  const QualityChoice best = transcodeSmallest(png, tmp.path("noise.jpg"), 99);
  ASSERT_TRUE(best.result.ok) << best.result.message;
  EXPECT_FALSE(best.reachedTarget);
  EXPECT_EQ(best.quality, 100);
  EXPECT_NEAR(scoreFiles(png, tmp.path("noise.jpg")).score, best.score, 1e-9);

  const QualityChoice missing = transcodeSmallest(tmp.path("nope.png"), tmp.path("nope.jpg"), 80);
  EXPECT_EQ(missing.result.side, FailureSide::Read);
  EXPECT_EQ(missing.result.message, "Input file not found");
  const auto source = decodeSource(png);
  EXPECT_FALSE(findSmallest(*source, "png", 80)->choice.result.ok);
  EXPECT_FALSE(findSmallest(*source, "jpg", 100)->choice.result.ok);
  EXPECT_FALSE(writeChosen(*findSmallest(*source, "jpg", 50), png).ok);
  EXPECT_EQ(entries(tmp.dir()), 2u);
}

}  // namespace
}  // namespace pmtest
