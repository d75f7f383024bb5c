// The shared corpus through the engine: every good file converts to every
// output, every bad one fails on the read side with its message and leaves
// no file, nothing crashes or hangs, and decodes match the suites' references.
#include <fstream>
#include <map>
#include <set>

#include "Errors.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

// What a corpus file must do: kConverts, kEither (only a clean run counts),
// or be refused with a message that starts with the given text.
const std::string kConverts = "", kEither = "*";
const std::string kUnsupported = pixmorph_message(pixmorph::kUnsupportedOption);

struct Suite {
  const char* folder;
  const char* ext;
  std::string usual;
  std::vector<std::pair<std::string, std::string>> exceptions;  // path start in the folder; first match wins
};

const Suite kSuites[] = {
    {"pngsuite", ".png", kConverts,
     {{"xs", "Not a valid PNG file"}, {"xcr", "Not a valid PNG file"}, {"xlf", "Not a valid PNG file"},
      {"x", "PNG file is damaged: "}}},
    {"bmpsuite/g", ".bmp", kConverts, {}},
    {"bmpsuite/x", ".bmp", kConverts, {}},
    {"bmpsuite/q", ".bmp", kConverts,
     {{"pal1huffmsb", kUnsupported}, {"rgb24jpeg", kUnsupported}, {"rgb24png", kUnsupported},
      {"rgb24rle24", kUnsupported}, {"rgba64", kUnsupported}}},
    // Some "bad" files only misstate fields the reader does not rely on.
    {"bmpsuite/b", ".bmp", "Not a valid BMP file (",
     {{"badbitcount", pixmorph_message(pixmorph::kInvalidBpp)}, {"reallybig", "Image is too large"},
      {"shortfile", "BMP file is truncated"}, {"badbitssize", kConverts}, {"baddens", kConverts},
      {"badfilesize", kConverts}, {"badpalettesize", kConverts}, {"rgb16-880", kConverts}}},
    {"gif/giflib/pic", ".gif", kConverts, {}},
    {"gif/peterdn-gif-test-suite", ".gif", kConverts, {}},
    {"gif/image-gif/samples", ".gif", kConverts, {}},
    {"gif/image-gif/regression", ".gif", kConverts, {}},
    {"gif/image-gif/crashtest", ".gif", kEither, {}},
    {"gif/image-gif/stall", ".gif", kEither, {}},
    {"gif/pillow", ".gif", kEither, {}},
    {"jpeg/generated-cjpeg", ".jpg", kConverts,
     {{"truncated_baseline_420", "JPG file is truncated"}, {"truncated_in_header", "JPG file is truncated"},
      {"truncated_progressive_420", "JPG file is truncated"}}},
    {"jpeg/exif-orientation-examples", ".jpg", kConverts, {}},
    {"jpeg/libjpeg-turbo", ".jpg", kConverts, {{"monkey12", kUnsupported}, {"testorig12", kUnsupported}}},
    {"jpeg/zune-image", ".jpg", kConverts, {{"incomplete_image", "JPG file is truncated"}}},
    {"jpeg/pillow", ".jpg", kConverts,
     {{"truncated_jpeg", "JPG file is truncated"}, {"ultrahdr", "JPG file is truncated"}}},
    {"jpeg/jpeg-decoder/reftest/images", ".jpg", kConverts, {{"lossless/", kUnsupported}}},
    {"jpeg/jpeg-decoder/crashtest", ".jpg", kEither, {}},
    {"jpeg/jpeg-decoder/icc", ".jpeg", kEither, {}},
};

void PrintTo(const Suite& s, std::ostream* os) { *os << s.folder; }

class Corpus : public ::testing::TestWithParam<Suite> {};

TEST_P(Corpus, EachFileConvertsOrIsRefusedAsExpected) {
  PM_REQUIRE_CORPUS();
  const Suite& s = GetParam();
  const std::string root = corpusDir() + "/" + s.folder + "/";
  const auto files = corpusFiles(s.folder, s.ext);
  ASSERT_FALSE(files.empty()) << root;
  for (const std::string& file : files) {
    const std::string name = file.substr(root.size());
    std::string expected = s.usual;
    for (const auto& [start, outcome] : s.exceptions)
      if (name.rfind(start, 0) == 0) {
        expected = outcome;
        break;
      }
    const auto r = convertAlone(file);
    if (expected == kEither) continue;
    if (expected != kConverts) {
      EXPECT_FALSE(r.ok) << name;
      EXPECT_EQ(r.message.rfind(expected, 0), 0u) << name << ": " << r.message;
      continue;
    }
    // Large photos go to PNG only: the writers are covered by the small
    // ones, and this keeps the sanitizer run short.
    EXPECT_TRUE(r.ok) << name << ": " << r.message;
    if (fs::file_size(file) > 256 * 1024) continue;
    TempDir tmp;
    for (const char* out : {"o.bmp", "o.jpg"}) EXPECT_TRUE(transcode(file, tmp.path(out)).ok) << name << " -> " << out;
  }
}

INSTANTIATE_TEST_SUITE_P(Suites, Corpus, ::testing::ValuesIn(kSuites), [](const auto& p) {
  std::string n = p.param.folder;
  for (char& c : n)
    if (!isalnum(uint8_t(c))) c = '_';
  return n;
});

// The GIF conformance suite: each case's .conf names the expected first
// frame as raw RGBA.
TEST(CorpusReference, GifConformanceSuiteFirstFrames) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/gif/pygif-test-suite/";
  // Later images shown with no delay merge into the first frame in this
  // suite's model; the engine takes the first image alone.
  const std::set<std::string> mergedImages = {"dispose-restore-previous.gif", "high-color.gif", "images-combine.gif",
                                              "images-overlap.gif"};
  // giflib refuses these before any pixel is read: LZW code sizes above 8
  // and image descriptors with a zero side.
  const std::set<std::string> giflibRefuses = {"max-codes.gif", "image-zero-width.gif", "image-zero-height.gif",
                                               "image-zero-size.gif", "no-data.gif"};
  int compared = 0;
  for (const auto& conf : corpusFiles("gif/pygif-test-suite", ".conf")) {
    std::map<std::string, std::string> keys;
    std::ifstream in(conf);
    for (std::string line; std::getline(in, line);)
      if (auto eq = line.find(" = "); eq != std::string::npos) keys.try_emplace(line.substr(0, eq), line.substr(eq + 3));
    const std::string gif = dir + keys["input"];
    SCOPED_TRACE(keys["input"]);
    const auto r = convertAlone(gif);
    if (keys["frames"].empty() || giflibRefuses.count(keys["input"])) continue;
    EXPECT_TRUE(r.ok) << r.message;
    const uint32_t w = uint32_t(std::stoul(keys["width"])), h = uint32_t(std::stoul(keys["height"]));
    TempDir tmp;
    if (w > 65500 || h > 65500) {  // beyond what a JPG can hold
      EXPECT_EQ(transcode(gif, tmp.path("o.jpg")).side, FailureSide::Write);
    } else {
      EXPECT_TRUE(transcode(gif, tmp.path("o.jpg")).ok);
    }
    const Bytes raw = readFile(dir + keys["pixels"]);
    if (mergedImages.count(keys["input"]) || raw.size() != size_t(w) * h * 4) continue;
    RgbaImage want{w, h, {}};
    for (size_t i = 0; i < raw.size(); i += 4) want.px.push_back({raw[i], raw[i + 1], raw[i + 2], raw[i + 3]});
    EXPECT_EQ(maxDifference(loadRgba(gif), want), 0);
    ++compared;
  }
  EXPECT_GT(compared, 50);
  EXPECT_EQ(convertAlone(dir + "invalid-code.gif").message, "GIF file is damaged: invalid compressed data");
}

TEST(CorpusReference, DecodesMatchTheSuitesRenderings) {
  PM_REQUIRE_CORPUS();
  // The same pictures stored plain and Adam7-interlaced, at every depth.
  const std::string ps = corpusDir() + "/pngsuite/";
  for (const std::string p : {"0g01", "0g02", "0g04", "0g08", "0g16", "2c08", "2c16", "3p01", "3p02", "3p04", "3p08",
                              "4a08", "4a16", "6a08", "6a16"})
    EXPECT_EQ(maxDifference(loadRgba(ps + "basn" + p + ".png"), loadRgba(ps + "basi" + p + ".png")), 0) << p;
  int compared = 0;
  for (const std::string& bmp : corpusFiles("bmpsuite/g", ".bmp")) {
    const std::string name = fs::path(bmp).stem().string(), ref = corpusDir() + "/bmpsuite/html/" + name + ".png";
    if (!fs::exists(ref)) continue;
    // Reference renderings of 16-bit images round differently; allow that.
    EXPECT_LE(maxDifference(loadRgba(bmp), loadRgba(ref)), name.starts_with("rgb16") ? 8 : 0) << name;
    ++compared;
  }
  EXPECT_GE(compared, 12);
  // Arithmetic coding decodes to the same picture as Huffman coding.
  const std::string lj = corpusDir() + "/jpeg/libjpeg-turbo/";
  EXPECT_EQ(maxDifference(loadRgba(lj + "testimgari.jpg"), loadRgba(lj + "testimgint.jpg")), 0);
  // Other decoders' renderings (different IDCT and upsampling): close.
  const std::string rt = corpusDir() + "/jpeg/jpeg-decoder/reftest/images/";
  for (const char* name : {"mozilla/jpg-cmyk-1", "mozilla/jpg-cmyk-2", "mozilla/jpg-gray", "mozilla/jpg-progressive",
                           "mozilla/jpg-size-33x33", "restarts", "non-interleaved-mcu", "grayscale_16x24_sampling2x2"})
    EXPECT_LE(maxDifference(loadRgba(rt + name + ".jpg"), loadRgba(rt + name + ".png")), 24) << name;
}

TEST(CorpusReference, ExifOrientationsAllLookTheSame) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/jpeg/exif-orientation-examples/";
  for (const std::string kind : {"Landscape", "Portrait"}) {
    const RgbaImage upright = loadRgba(dir + kind + "_1.jpg");
    for (int o = 2; o <= 8; ++o) {
      SCOPED_TRACE(kind + std::to_string(o));
      const RgbaImage img = loadRgba(dir + kind + "_" + std::to_string(o) + ".jpg");
      ASSERT_EQ(img.width, upright.width);
      ASSERT_EQ(img.height, upright.height);
      // Same photo re-encoded per orientation: compare block averages.
      long diff = 0, n = 0;
      for (uint32_t y = 8; y + 8 < img.height; y += 32)
        for (uint32_t x = 8; x + 8 < img.width; x += 32, ++n) diff += std::abs(int(img.at(x, y).g) - int(upright.at(x, y).g));
      EXPECT_LT(diff / n, 20);
    }
  }
}

}  // namespace
}  // namespace pmtest
