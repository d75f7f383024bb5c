// Every writer read back by the engine's readers: lossless paths must give
// identical pixels, JPG must stay close, and the stored layout must be the
// one the target can hold most compactly.
#include <cstring>

#include "Exif.h"
#include "TestSupport.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {
namespace {

ImageInfo makeInfo(PixelFormat f, uint32_t w, uint32_t h, size_t paletteSize = 0, bool clear = false) {
  ImageInfo info;
  info.width = w;
  info.height = h;
  info.format = f;
  for (size_t i = 0; i < paletteSize; ++i)
    info.palette.push_back({uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 5),
                            uint8_t(clear && i == 1 ? 0 : 255)});
  return info;
}

struct Case {
  const char* name;
  PixelFormat format;
  size_t palette;
  bool clear;
};

const Case kCases[] = {
    {"gray", PixelFormat::Gray, 0, false},         {"grayalpha", PixelFormat::GrayAlpha, 0, false},
    {"rgb", PixelFormat::Rgb, 0, false},           {"rgba", PixelFormat::Rgba, 0, false},
    {"pal2", PixelFormat::Indexed, 2, false},      {"pal4", PixelFormat::Indexed, 3, false},
    {"pal16", PixelFormat::Indexed, 16, false},    {"pal200", PixelFormat::Indexed, 200, false},
    {"palclear", PixelFormat::Indexed, 7, true},
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, PngAndBmpAreLosslessAndKeepTheLayout) {
  const Case& c = GetParam();
  TempDir tmp;
  // Odd width exercises row padding and sub-byte packing; 700x520 RGBA is
  // over 1 MB so the PNG data spans several compressed pieces.
  ImageInfo info = makeInfo(c.format, c.format == PixelFormat::Rgba ? 700 : 37, c.format == PixelFormat::Rgba ? 520 : 23,
                            c.palette, c.clear);
  auto px = makePattern(info);
  const std::string src = tmp.path("src.png");
  writeImage(src, info, px);
  const RgbaImage want = loadRgba(src);
  EXPECT_EQ(probe(src).format, c.format);

  for (const char* ext : {"png", "bmp"}) {
    const std::string out = tmp.path(std::string("out.") + ext);
    auto r = pixmorph::transcode(src, out, 80);
    ASSERT_TRUE(r.ok) << ext << ": " << r.message;
    EXPECT_EQ(r.message, "No Error");
    EXPECT_EQ(maxDifference(loadRgba(out), want), 0) << ext;
  }

  // The layout each target stores.
  PixelFormat bmpFormat = probe(tmp.path("out.bmp")).format;
  switch (c.format) {
    case PixelFormat::Gray: EXPECT_EQ(bmpFormat, PixelFormat::Indexed); break;
    case PixelFormat::Indexed: EXPECT_EQ(bmpFormat, c.clear ? PixelFormat::Rgba : PixelFormat::Indexed); break;
    case PixelFormat::GrayAlpha: EXPECT_EQ(bmpFormat, PixelFormat::Rgba); break;
    default: EXPECT_EQ(bmpFormat, c.format);
  }
  EXPECT_EQ(probe(tmp.path("out.png")).format, c.format);
}

TEST_P(RoundTrip, JpgKeepsSizeGreynessAndColours) {
  const Case& c = GetParam();
  TempDir tmp;
  ImageInfo info = makeInfo(c.format, 64, 48, c.palette, c.clear);
  auto px = makePattern(info);
  const std::string src = tmp.path("src.png"), out = tmp.path("out.jpg");
  writeImage(src, info, px);
  auto r = pixmorph::transcode(src, out, 95);
  ASSERT_TRUE(r.ok) << r.message;
  ImageInfo got = probe(out);
  EXPECT_EQ(got.width, info.width);
  EXPECT_EQ(got.height, info.height);
  const bool gray = c.format == PixelFormat::Gray || c.format == PixelFormat::GrayAlpha;
  EXPECT_EQ(got.format, gray ? PixelFormat::Gray : PixelFormat::Rgb);
  if (c.format == PixelFormat::Gray || c.format == PixelFormat::Rgb) {
    EXPECT_LE(maxDifference(loadRgba(out), loadRgba(src)), 40);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(JpgOutput, AlphaIsComposedOverWhite) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgba, 32, 16);
  std::vector<uint8_t> px(info.rowBytes() * info.height);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 32; ++x) {
      uint8_t* p = &px[(y * 32 + x) * 4];
      if (x < 16) {  // fully transparent, hiding saturated red
        p[0] = 255, p[1] = 0, p[2] = 0, p[3] = 0;
      } else {  // half-transparent black
        p[0] = p[1] = p[2] = 0, p[3] = 128;
      }
    }
  writeImage(tmp.path("a.png"), info, px);
  ASSERT_TRUE(pixmorph::transcode(tmp.path("a.png"), tmp.path("a.jpg"), 100).ok);
  RgbaImage img = loadRgba(tmp.path("a.jpg"));
  Rgba8 hidden = img.at(4, 8), half = img.at(28, 8);
  EXPECT_GE(hidden.r, 250);
  EXPECT_GE(hidden.g, 250);
  EXPECT_GE(hidden.b, 250);
  EXPECT_NEAR(half.r, 127, 3);
  EXPECT_NEAR(half.g, 127, 3);
}

TEST(JpgOutput, QualityChangesSizeAndOutputIsDeterministic) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgb, 128, 96);
  writeImage(tmp.path("s.png"), info, makePattern(info));
  ASSERT_TRUE(pixmorph::transcode(tmp.path("s.png"), tmp.path("lo.jpg"), 20).ok);
  ASSERT_TRUE(pixmorph::transcode(tmp.path("s.png"), tmp.path("hi.jpg"), 95).ok);
  ASSERT_TRUE(pixmorph::transcode(tmp.path("s.png"), tmp.path("hi2.jpg"), 95).ok);
  EXPECT_LT(fs::file_size(tmp.path("lo.jpg")), fs::file_size(tmp.path("hi.jpg")));
  EXPECT_EQ(readFile(tmp.path("hi.jpg")), readFile(tmp.path("hi2.jpg")));
}

// A structurally valid RGB display profile with no tags; libpng checks
// the header fields before accepting a profile.
std::vector<uint8_t> fakeIccProfile() {
  std::vector<uint8_t> p(132, 0);
  auto put = [&](size_t at, const char* s) { std::memcpy(&p[at], s, 4); };
  p[3] = 132;             // size
  p[8] = 2, p[9] = 0x10;  // version 2.1
  put(12, "mntr");
  put(16, "RGB ");
  put(20, "XYZ ");
  put(36, "acsp");
  // D50 illuminant in s15.16: 0.9642, 1.0, 0.8249.
  const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&p[68], d50, 12);
  return p;
}

TEST(Metadata, IccTravelsAndExifOrientationIsAppliedThenReset) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgb, 40, 20);
  std::vector<uint8_t> px(info.rowBytes() * info.height, 0);
  // A red block in the stored top-left corner.
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 8; ++x) px[(y * 40 + x) * 3] = 255;
  info.icc = fakeIccProfile();
  // Big-endian TIFF, one IFD0 entry: orientation (0x0112) SHORT 1 = 6.
  info.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0};
  writeImage(tmp.path("o.jpg"), info, px, 100);

  for (const char* ext : {"png", "jpg"}) {
    const std::string out = tmp.path(std::string("up.") + ext);
    ASSERT_TRUE(pixmorph::transcode(tmp.path("o.jpg"), out, 95).ok);
    ImageInfo got = probe(out);
    EXPECT_EQ(got.width, 20u) << ext;  // orientation 6 turns the picture a quarter
    EXPECT_EQ(got.height, 40u) << ext;
    if (std::string(ext) == "jpg") {
      EXPECT_EQ(got.icc, info.icc);
    }
    ASSERT_FALSE(got.exif.empty()) << ext;
    EXPECT_EQ(got.exif[19], 1) << ext;  // orientation now 1, so no viewer turns it again
    RgbaImage img = loadRgba(out);
    // Rotating clockwise moves the stored top-left corner to the top-right.
    EXPECT_GT(img.at(16, 3).r, 200) << ext;
    EXPECT_LT(img.at(3, 3).r, 60) << ext;
  }
}

TEST(Metadata, ExifOrientationParsing) {
  // Little-endian TIFF, two IFD0 entries, orientation second.
  std::vector<uint8_t> le = {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0,
                             0x0F, 0x01, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0,  // Make, ASCII
                             0x12, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0,  // Orientation = 8
                             0, 0, 0, 0};
  EXPECT_EQ(pixmorph::exifOrientation(le), 8);
  pixmorph::exifResetOrientation(le);
  EXPECT_EQ(pixmorph::exifOrientation(le), 1);
  EXPECT_EQ(le[30], 1);
  EXPECT_EQ(le[31], 0);
  // Damaged or foreign data reads as upright and is left alone.
  std::vector<uint8_t> cut(le.begin(), le.begin() + 20);
  EXPECT_EQ(pixmorph::exifOrientation(cut), 1);
  std::vector<uint8_t> farIfd = {'M', 'M', 0, 42, 0x7F, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(pixmorph::exifOrientation(farIfd), 1);
  pixmorph::exifResetOrientation(farIfd);
  EXPECT_EQ(farIfd, (std::vector<uint8_t>{'M', 'M', 0, 42, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(pixmorph::exifOrientation({}), 1);
}

TEST(Metadata, IccProfileTravelsToPng) {
  PM_REQUIRE_CORPUS();
  TempDir tmp;
  const std::string jpg = corpusDir() + "/jpeg/pillow/icc_profile_big.jpg";
  ImageInfo src = probe(jpg);
  ASSERT_FALSE(src.icc.empty());
  ASSERT_TRUE(pixmorph::transcode(jpg, tmp.path("i.png"), 80).ok);
  EXPECT_EQ(probe(tmp.path("i.png")).icc, src.icc);
}

TEST(PaletteOutput, GifStaysAPalettePngOfSimilarSize) {
  PM_REQUIRE_CORPUS();
  TempDir tmp;
  const std::string gif = corpusDir() + "/gif/giflib/pic/treescap.gif";
  ASSERT_TRUE(pixmorph::transcode(gif, tmp.path("t.png"), 80).ok);
  EXPECT_EQ(probe(tmp.path("t.png")).format, PixelFormat::Indexed);
  EXPECT_LT(fs::file_size(tmp.path("t.png")), fs::file_size(gif) * 3 / 2);
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("t.png")), loadRgba(gif)), 0);
}

}  // namespace
}  // namespace pmtest
