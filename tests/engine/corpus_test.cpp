// The whole shared corpus through the engine: every good file converts to
// every output, every bad one fails on the read side with a message and
// leaves no file, and nothing crashes or hangs.
#include <fstream>
#include <set>

#include "Errors.h"
#include "TestSupport.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {
namespace {

using pixmorph::FailureSide;

std::string rel(const std::string& path) { return path.substr(corpusDir().size() + 1); }
std::string stem(const std::string& path) { return fs::path(path).stem().string(); }

// Converts to all three outputs and checks each succeeded. Large photos go
// to PNG only: the writers are covered by the small ones, and this keeps
// the sanitizer run short.
void expectConverts(const std::string& file) {
  TempDir tmp;
  const bool large = fs::file_size(file) > 256 * 1024;
  for (const char* ext : {"png", "bmp", "jpg"}) {
    if (large && std::string(ext) != "png") continue;
    auto r = pixmorph::transcode(file, tmp.path(std::string("o.") + ext), 80);
    EXPECT_TRUE(r.ok) << rel(file) << " -> " << ext << ": " << r.message;
  }
}

// One conversion that must fail while reading; returns the message.
std::string expectReadFailure(const std::string& file) {
  TempDir tmp;
  auto r = pixmorph::transcode(file, tmp.path("o.png"), 80);
  EXPECT_FALSE(r.ok) << rel(file);
  EXPECT_EQ(r.side, FailureSide::Read) << rel(file) << ": " << r.message;
  EXPECT_FALSE(r.message.empty());
  EXPECT_TRUE(fs::is_empty(tmp.dir())) << rel(file);
  return r.message;
}

// Either outcome is acceptable; the run itself must be clean.
void expectNoCrash(const std::string& file) {
  TempDir tmp;
  auto r = pixmorph::transcode(file, tmp.path("o.png"), 80);
  EXPECT_FALSE(r.message.empty());
  if (!r.ok) {
    EXPECT_EQ(r.side, FailureSide::Read) << rel(file) << ": " << r.message;
    EXPECT_TRUE(fs::is_empty(tmp.dir())) << rel(file);
  }
}

TEST(CorpusPng, GoodFilesConvertAndBrokenOnesFail) {
  PM_REQUIRE_CORPUS();
  auto files = corpusFiles("pngsuite", ".png");
  ASSERT_GT(files.size(), 150u);
  for (const auto& f : files) {
    if (stem(f)[0] == 'x') {
      std::string m = expectReadFailure(f);
      EXPECT_TRUE(m.rfind("Not a valid PNG file", 0) == 0 || m.rfind("PNG file is", 0) == 0) << m;
    } else {
      expectConverts(f);
    }
  }
}

TEST(CorpusPng, SixteenBitIsRoundedAndInterlacedEqualsPlain) {
  PM_REQUIRE_CORPUS();
  const std::string d = corpusDir() + "/pngsuite/";
  // Same pictures stored plain and Adam7-interlaced, at every depth.
  for (const char* p : {"0g01", "0g02", "0g04", "0g08", "0g16", "2c08", "2c16", "3p01", "3p02", "3p04",
                        "3p08", "4a08", "4a16", "6a08", "6a16"}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(maxDifference(loadRgba(d + "basn" + p + ".png"), loadRgba(d + "basi" + p + ".png")), 0);
  }
  // 16-bit grey ramp: 8-bit values are the 16-bit ones scaled with rounding.
  RgbaImage g16 = loadRgba(d + "basn0g16.png");
  EXPECT_EQ(g16.width, 32u);
}

TEST(CorpusBmp, GoodQuestionableAndBad) {
  PM_REQUIRE_CORPUS();
  for (const auto& f : corpusFiles("bmpsuite/g", ".bmp")) expectConverts(f);
  expectConverts(corpusDir() + "/bmpsuite/x/ba-bm.bmp");

  // Variants this reader does not decode must say so.
  const std::set<std::string> unsupported = {"pal1huffmsb", "rgb24jpeg", "rgb24png", "rgb24rle24", "rgba64"};
  for (const auto& f : corpusFiles("bmpsuite/q", ".bmp")) {
    if (unsupported.count(stem(f)))
      EXPECT_EQ(expectReadFailure(f), pixmorph_message(pixmorph::kUnsupportedOption)) << stem(f);
    else
      expectConverts(f);
  }
  // These "bad" files only misstate fields the reader does not rely on
  // (densities, file and bitmap sizes, a palette count it clamps, a
  // missing blue channel), so their pixels are sound.
  const std::set<std::string> harmless = {"badbitssize", "baddens1", "baddens2", "badfilesize", "badpalettesize",
                                          "rgb16-880"};
  for (const auto& f : corpusFiles("bmpsuite/b", ".bmp")) {
    if (harmless.count(stem(f)))
      expectNoCrash(f);
    else
      expectReadFailure(f);
  }
}

// Expected first frames of the GIF conformance suite: raw RGBA files named
// in each case's .conf.
struct GifCase {
  std::string gif, pixels;
  uint32_t width = 0, height = 0;
};

std::vector<GifCase> gifCases() {
  std::vector<GifCase> out;
  for (const auto& conf : corpusFiles("gif/pygif-test-suite", ".conf")) {
    std::ifstream in(conf);
    GifCase c;
    std::string line;
    bool hasFrames = false;
    while (std::getline(in, line)) {
      auto eq = line.find(" = ");
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq), value = line.substr(eq + 3);
      if (key == "input") c.gif = value;
      if (key == "width") c.width = uint32_t(std::stoul(value));
      if (key == "height") c.height = uint32_t(std::stoul(value));
      if (key == "frames") hasFrames = !value.empty();
      if (key == "pixels" && c.pixels.empty()) c.pixels = value;
    }
    if (!hasFrames) c.pixels.clear();
    out.push_back(c);
  }
  return out;
}

TEST(CorpusGif, ConformanceSuiteFirstFrames) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/gif/pygif-test-suite/";
  // giflib refuses these before any pixel is read: LZW code sizes above 8
  // (outside the format) and image descriptors with a zero side.
  // Later images shown with no delay merge into the first frame in this
  // suite's model; the engine takes the first image alone.
  const std::set<std::string> mergedImages = {"dispose-restore-previous.gif", "high-color.gif", "images-combine.gif",
                                              "images-overlap.gif"};
  const std::set<std::string> giflibRefuses = {"max-codes.gif", "image-zero-width.gif", "image-zero-height.gif",
                                               "image-zero-size.gif", "no-data.gif"};
  int compared = 0;
  for (const GifCase& c : gifCases()) {
    SCOPED_TRACE(c.gif);
    const std::string gif = dir + c.gif;
    if (c.pixels.empty() || giflibRefuses.count(c.gif)) {
      expectNoCrash(gif);
      continue;
    }
    if (c.width > 65500 || c.height > 65500) {  // beyond what a JPG can hold
      TempDir tmp;
      EXPECT_TRUE(pixmorph::transcode(gif, tmp.path("o.png")).ok);
      EXPECT_EQ(pixmorph::transcode(gif, tmp.path("o.jpg")).side, FailureSide::Write);
    } else {
      expectConverts(gif);
    }
    if (mergedImages.count(c.gif)) continue;
    auto raw = readFile(dir + c.pixels);
    if (raw.size() != size_t(c.width) * c.height * 4) continue;
    RgbaImage want;
    want.width = c.width, want.height = c.height;
    for (size_t i = 0; i < raw.size(); i += 4) want.px.push_back({raw[i], raw[i + 1], raw[i + 2], raw[i + 3]});
    EXPECT_EQ(maxDifference(loadRgba(gif), want), 0);
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

TEST(CorpusGif, SamplesConvertAndMalformedFilesAreSafe) {
  PM_REQUIRE_CORPUS();
  for (const char* sub : {"gif/giflib/pic", "gif/peterdn-gif-test-suite", "gif/image-gif/samples", "gif/image-gif/regression"})
    for (const auto& f : corpusFiles(sub, ".gif")) expectConverts(f);
  for (const char* sub : {"gif/image-gif/crashtest", "gif/image-gif/stall", "gif/pillow"})
    for (const auto& f : corpusFiles(sub, ".gif")) expectNoCrash(f);
  EXPECT_EQ(expectReadFailure(corpusDir() + "/gif/pygif-test-suite/invalid-code.gif"),
            "GIF file is damaged: invalid compressed data");
}

TEST(CorpusJpeg, GoodFilesConvertAndBrokenOnesFail) {
  PM_REQUIRE_CORPUS();
  const std::set<std::string> truncated = {"truncated_baseline_420", "truncated_in_header", "truncated_progressive_420",
                                           "truncated_jpeg", "incomplete_image", "ultrahdr"};
  const std::set<std::string> unsupported = {"monkey12", "testorig12"};  // 12-bit samples
  for (const char* sub : {"jpeg/generated-cjpeg", "jpeg/exif-orientation-examples", "jpeg/libjpeg-turbo",
                          "jpeg/zune-image", "jpeg/pillow", "jpeg/jpeg-decoder/reftest/images"}) {
    for (const auto& f : corpusFiles(sub, ".jpg")) {
      SCOPED_TRACE(rel(f));
      if (truncated.count(stem(f)))
        EXPECT_EQ(expectReadFailure(f), "JPG file is truncated");
      else if (unsupported.count(stem(f)) || rel(f).find("/lossless/") != std::string::npos)
        EXPECT_EQ(expectReadFailure(f), pixmorph_message(pixmorph::kUnsupportedOption));
      else
        expectConverts(f);
    }
  }
  for (const auto& f : corpusFiles("jpeg/jpeg-decoder/crashtest", ".jpg")) expectNoCrash(f);
  for (const auto& f : corpusFiles("jpeg/jpeg-decoder/icc", ".jpeg")) expectNoCrash(f);
}

}  // namespace
}  // namespace pmtest
