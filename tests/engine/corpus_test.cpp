// The shared corpus through the engine: every good file converts to every
// output, every bad one fails on the read side with its message and leaves
// no file, nothing crashes or hangs, and decodes match the suites' references.
#include <cstring>
#include <map>
#include <set>

#include "TestSupport.h"

namespace pmtest {
namespace {

// What a corpus file must do: kConverts to every output, kEither (only a
// clean run counts), or be refused with a message starting with the text.
const std::string kConverts = "", kEither = "*", kUnsupported = pixmorph_message(kUnsupportedOption),
                  kTruncated = "JPG file is truncated";

struct Suite {
  const char* folder;
  const char* ext;
  // Starts of paths in the folder; the first rule with one that matches
  // decides, and files no rule matches must convert.
  std::vector<std::pair<std::vector<std::string>, std::string>> rules;
};

// libavif 0.11 refuses, besides the files that are broken, a few that newer
// versions read (a meta box of size 0, an audio track beside the pictures).
// no-alpha-ispe lacks the alpha item's ispe exactly as libavif's own
// alpha_noispe does, which is read as valid; both are read.
const std::vector<std::pair<std::vector<std::string>, std::string>> kAvifRules = {
    {{"generated/empty"}, "Input file is empty"},
    {{"generated/", "mp4parse-rust/mp4parse/tests/unknown_mdat_in_oversized_meta",
      "mp4parse-rust/mp4parse/tests/wide_box_size_0", "mp4parse-rust/mp4parse/tests/corrupt/bug-1655846"},
     "AVIF file is truncated"},
    {{"mp4parse-rust/mp4parse/tests/corrupt/no-pixi", "mp4parse-rust/mp4parse/tests/corrupt/no-alpha-ispe"}, kConverts},
    {{"libavif/sofa_grid1x5_420_dimg_repeat", "libavif/color_grid_alpha_grid_tile_shared_in_dimg"},
     "AVIF file is damaged: Invalid image grid"},
    {{"mp4parse-rust/mp4parse/tests/corrupt/", "mp4parse-rust/mp4parse/tests/irot-missing-essential",
      "mp4parse-rust/mp4parse/tests/imir-missing-essential", "mp4parse-rust/mp4parse/tests/valid-avif-colr-prof-and-rICC",
      "libavif/colors-animated-8bpc-audio", "libavif/draw_points_idat_metasize0",
      "libavif/draw_points_idat_progressive_metasize0", "libavif/clap_irot_imir_non_essential",
      "link-u/plum-blossom-small"},
     "AVIF file is damaged: "},
};

const Suite kSuites[] = {
    {"pngsuite", ".png", {{{"xs", "xcr", "xlf"}, "Not a valid PNG file"}, {{"x"}, "PNG file is damaged: "}}},
    // Some "bad" files only misstate fields the reader does not rely on.
    {"bmpsuite", ".bmp",
     {{{"q/pal1huffmsb", "q/rgb24jpeg", "q/rgb24png", "q/rgb24rle24", "q/rgba64"}, kUnsupported},
      {{"b/badbitcount"}, pixmorph_message(kInvalidBpp)},
      {{"b/reallybig"}, "Image is too large"},
      {{"b/shortfile"}, "BMP file is truncated"},
      {{"b/badbitssize", "b/baddens", "b/badfilesize", "b/badpalettesize", "b/rgb16-880"}, kConverts},
      {{"b/"}, "Not a valid BMP file ("}}},
    {"gif", ".gif",
     {{{"image-gif/crashtest/", "image-gif/stall/", "pillow/"}, kEither},
      {{"pygif-test-suite/invalid-code"}, "GIF file is damaged: invalid compressed data"},
      {{"pygif-test-suite/"}, kEither}}},  // decodes compared below
    {"jpeg", ".jpg",
     {{{"generated-cjpeg/truncated_baseline", "generated-cjpeg/truncated_in_header",
        "generated-cjpeg/truncated_progressive", "pillow/truncated_jpeg", "pillow/ultrahdr"},
       kTruncated},
      {{"zune-image/incomplete_image"}, kTruncated},
      {{"libjpeg-turbo/monkey12", "libjpeg-turbo/testorig12", "jpeg-decoder/reftest/images/lossless/"}, kUnsupported},
      {{"jpeg-decoder/crashtest/"}, kEither}}},
    {"jpeg/jpeg-decoder/icc", ".jpeg", {{{""}, kEither}}},
    {"webp", ".webp",
     {{{"generated/empty"}, "Input file is empty"},
      {{"generated/"}, "WebP file is truncated"},
      {{"image-rs/fuzz-afl/"}, "WebP file is damaged: "}}},
    {"avif", ".avif", kAvifRules},
    {"avif", ".avifs", kAvifRules},
};

void PrintTo(const Suite& s, std::ostream* os) { *os << s.folder; }

class Corpus : public ::testing::TestWithParam<Suite> {};

TEST_P(Corpus, EachFileConvertsOrIsRefusedAsExpected) {
  PM_REQUIRE_CORPUS();
  const Suite& s = GetParam();
  const auto files = corpusFiles(s.folder, s.ext);
  ASSERT_FALSE(files.empty()) << s.folder;
  for (const std::string& file : files) {
    const std::string name = file.substr(corpusDir().size() + std::strlen(s.folder) + 2);
    const auto rule = std::find_if(s.rules.begin(), s.rules.end(), [&](const auto& r) {
      return std::any_of(r.first.begin(), r.first.end(), [&](const std::string& start) { return name.starts_with(start); });
    });
    const std::string expected = rule == s.rules.end() ? kConverts : rule->second;
    const auto r = convertAlone(file);
    if (expected == kEither) continue;
    EXPECT_EQ(r.ok, expected == kConverts) << name << ": " << r.message;
    EXPECT_TRUE(r.ok || r.message.starts_with(expected)) << name << ": " << r.message;
    // Large photos go to PNG only: the writers are covered by the small
    // ones, and this keeps the sanitizer run short.
    if (!r.ok || fs::file_size(file) > 256 * 1024) continue;
    TempDir tmp;
    for (const char* out : {"o.bmp", "o.jpg"}) EXPECT_TRUE(transcode(file, tmp.path(out)).ok) << name << " -> " << out;
  }
}

INSTANTIATE_TEST_SUITE_P(Suites, Corpus, ::testing::ValuesIn(kSuites));

// The GIF conformance suite: each case's .conf names the expected first
// frame as raw RGBA; whether a file converts is checked with the other suites.
TEST(CorpusReference, GifConformanceSuiteFirstFrames) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/gif/pygif-test-suite/";
  // Later images shown with no delay merge into the first frame in this
  // suite's model, while the engine takes the first image alone; giflib
  // refuses LZW code sizes above 8 and images with a zero side.
  const std::set<std::string> skipped = {"dispose-restore-previous.gif", "high-color.gif", "images-combine.gif",
                                         "images-overlap.gif", "max-codes.gif", "image-zero-width.gif",
                                         "image-zero-height.gif", "image-zero-size.gif", "no-data.gif"};
  int compared = 0;
  for (const auto& conf : corpusFiles("gif/pygif-test-suite", ".conf")) {
    std::map<std::string, std::string> keys;
    std::ifstream in(conf);
    for (std::string line; std::getline(in, line);)
      if (auto eq = line.find(" = "); eq != std::string::npos) keys.try_emplace(line.substr(0, eq), line.substr(eq + 3));
    if (keys["frames"].empty() || skipped.count(keys["input"])) continue;
    const Bytes raw = readFile(dir + keys["pixels"]);
    RgbaImage want{uint32_t(std::stoul(keys["width"])), uint32_t(std::stoul(keys["height"])), {}};
    if (raw.size() != want.width * 4ul * want.height) continue;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) want.px.push_back({raw[i], raw[i + 1], raw[i + 2], raw[i + 3]});
    EXPECT_EQ(maxDifference(loadRgba(dir + keys["input"]), want), 0) << keys["input"];
    ++compared;
  }
  EXPECT_GT(compared, 50);
  TempDir tmp;  // wider than a JPG can be
  EXPECT_EQ(transcode(dir + "max-width.gif", tmp.path("o.jpg")).side, FailureSide::Write);
}

TEST(CorpusReference, DecodesMatchTheSuitesRenderings) {
  PM_REQUIRE_CORPUS();
  // The same pictures stored Adam7-interlaced (basi*) and plain (basn*).
  int pairs = 0;
  for (const std::string& interlaced : corpusFiles("pngsuite", ".png"))
    if (const size_t at = interlaced.rfind("/basi"); at != std::string::npos) {
      const std::string plain = std::string(interlaced).replace(at + 4, 1, "n");
      EXPECT_EQ(maxDifference(loadRgba(interlaced), loadRgba(plain)), 0) << interlaced;
      ++pairs;
    }
  EXPECT_GT(pairs, 10);
  // Each BMP variant against the suite's rendering of the same picture: the
  // longest start of its name that names one. Skipped: references that read
  // the file differently (aspect ratio, unused bits as alpha, a profile),
  // and the variants refused above.
  const std::set<std::string> skipped = {"pal8nonsquare", "rgb16faketrns", "rgb24prof2", "pal1huffmsb",
                                         "rgb24jpeg",     "rgb24png",      "rgb24rle24"};
  int compared = 0;
  for (const char* sub : {"bmpsuite/g", "bmpsuite/q"})
    for (const std::string& bmp : corpusFiles(sub, ".bmp")) {
      const std::string name = fs::path(bmp).stem().string(), html = corpusDir() + "/bmpsuite/html/";
      size_t n = name.size();
      while (n > 0 && !fs::exists(html + name.substr(0, n) + ".png")) --n;
      if (n == 0 || skipped.count(name)) continue;
      // Odd channel widths round either way.
      EXPECT_LE(maxDifference(loadRgba(bmp), loadRgba(html + name.substr(0, n) + ".png")), 1) << name;
      ++compared;
    }
  EXPECT_GE(compared, 50);
  // Arithmetic coding decodes to the same picture as Huffman coding.
  const std::string lj = corpusDir() + "/jpeg/libjpeg-turbo/";
  EXPECT_EQ(maxDifference(loadRgba(lj + "testimgari.jpg"), loadRgba(lj + "testimgint.jpg")), 0);
  // Other decoders' renderings (different IDCT and upsampling): close.
  const std::string rt = corpusDir() + "/jpeg/jpeg-decoder/reftest/images/";
  for (const char* name : {"mozilla/jpg-cmyk-1", "mozilla/jpg-cmyk-2", "mozilla/jpg-gray", "mozilla/jpg-progressive",
                           "mozilla/jpg-size-33x33", "restarts", "non-interleaved-mcu", "grayscale_16x24_sampling2x2"})
    EXPECT_LE(maxDifference(loadRgba(rt + name + ".jpg"), loadRgba(rt + name + ".png")), 24) << name;
}

}  // namespace
}  // namespace pmtest
