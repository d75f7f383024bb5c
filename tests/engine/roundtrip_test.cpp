// Every writer read back by the engine's readers: lossless paths must give
// identical pixels, JPG must stay close, and the stored layout must be the
// one the target can hold most compactly.
#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

// Name, layout, palette size, whether palette entry 1 is transparent.
using Case = std::tuple<const char*, PixelFormat, size_t, bool>;

const Case kCases[] = {
    {"gray", PixelFormat::Gray, 0, false},    {"grayalpha", PixelFormat::GrayAlpha, 0, false},
    {"rgb", PixelFormat::Rgb, 0, false},      {"rgba", PixelFormat::Rgba, 0, false},
    {"pal2", PixelFormat::Indexed, 2, false}, {"pal4", PixelFormat::Indexed, 3, false},
    {"pal16", PixelFormat::Indexed, 16, false}, {"pal200", PixelFormat::Indexed, 200, false},
    {"palclear", PixelFormat::Indexed, 7, true},
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, PngAndBmpAreLosslessJpgIsCloseAndEachKeepsTheLayout) {
  const auto& [name, format, paletteSize, clear] = GetParam();
  TempDir tmp;
  // Odd width exercises row padding and sub-byte packing; 700x520 RGBA is
  // over 1 MB so the PNG data spans several compressed pieces.
  const bool big = format == PixelFormat::Rgba;
  ImageInfo info = makeInfo(format, big ? 700u : 37u, big ? 520u : 23u);
  for (size_t i = 0; i < paletteSize; ++i)
    info.palette.push_back({uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 5), uint8_t(clear && i == 1 ? 0 : 255)});
  const std::string src = tmp.path("src.png");
  writeImage(src, info, makePattern(info));
  const RgbaImage want = loadRgba(src);

  PixelFormat bmpFormat = format == PixelFormat::Gray ? PixelFormat::Indexed : format;
  if (format == PixelFormat::GrayAlpha || clear) bmpFormat = PixelFormat::Rgba;
  // JPG colours are compared only where there is no alpha to compose away.
  const bool gray = format == PixelFormat::Gray || format == PixelFormat::GrayAlpha;
  const int jpgTolerance = format == PixelFormat::Gray || format == PixelFormat::Rgb ? 40 : 255;
  // AVIF holds no palette; only its layout is checked here (avif_test.cpp
  // checks its pixels).
  const PixelFormat avifFormat = format == PixelFormat::Indexed ? (clear ? PixelFormat::Rgba : PixelFormat::Rgb) : format;
  for (auto [ext, stored, tolerance] : {std::tuple{"png", format, 0}, {"bmp", bmpFormat, 0},
                                        {"jpg", gray ? PixelFormat::Gray : PixelFormat::Rgb, jpgTolerance},
                                        {"avif", avifFormat, 255}}) {
    const std::string out = tmp.path(std::string("out.") + ext);
    ASSERT_EQ(transcode(src, out, 95).message, "No Error") << ext;
    EXPECT_EQ(probe(out).format, stored) << ext;
    EXPECT_LE(maxDifference(loadRgba(out), want), tolerance) << ext;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(std::get<0>(p.param)); });

TEST(JpgOutput, AlphaIsComposedOverWhiteAndQualityDecidesTheSize) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgba, 32, 16);
  Bytes px(info.rowBytes() * info.height);
  for (size_t i = 0; i < px.size(); i += 4) {  // left: transparent red; right: half-transparent black
    const bool left = (i / 4) % 32 < 16;
    px[i] = left ? 255 : 0, px[i + 3] = left ? 0 : 128;
  }
  writeImage(tmp.path("a.png"), info, px);
  ASSERT_TRUE(transcode(tmp.path("a.png"), tmp.path("a.jpg"), 100).ok);
  RgbaImage img = loadRgba(tmp.path("a.jpg"));
  EXPECT_GE(std::min({img.at(4, 8).r, img.at(4, 8).g, img.at(4, 8).b}), 250);
  EXPECT_NEAR(img.at(28, 8).r, 127, 3);
  EXPECT_NEAR(img.at(28, 8).g, 127, 3);

  const std::string src = makeSource(tmp, "s.png", 128, 96);
  ASSERT_TRUE(transcode(src, tmp.path("lo.jpg"), 20).ok && transcode(src, tmp.path("hi.jpg"), 95).ok);
  EXPECT_LT(fs::file_size(tmp.path("lo.jpg")), fs::file_size(tmp.path("hi.jpg")));
}

TEST(Metadata, ExifOrientationIsAppliedThenReset) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgb, 40, 20);
  Bytes px(info.rowBytes() * info.height, 0);
  for (uint32_t y = 0; y < 8; ++y)  // a red block in the stored top-left corner
    for (uint32_t x = 0; x < 8; ++x) px[(y * 40 + x) * 3] = 255;
  // Where the stored top-left corner ends up (TL, TR, BR, BL) for EXIF
  // orientations 0..9; 5..8 also swap the sides, 0 and 9 are not orientations.
  const int corner[] = {0, 0, 1, 2, 3, 0, 1, 2, 3, 0};
  for (uint8_t o = 0; o <= 9; ++o) {
    SCOPED_TRACE(int(o));
    // A TIFF header and one IFD0 entry, orientation (0x0112) SHORT 1 = o, in either byte order.
    info.exif = o % 2 ? Bytes{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, o, 0, 0, 0, 0, 0, 0}
                      : Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, o, 0, 0, 0, 0, 0, 0, 0};
    writeImage(tmp.path("o.jpg"), info, px, 100);
    for (const std::string out : {"up.png", "up.jpg"}) {
      ASSERT_TRUE(transcode(tmp.path("o.jpg"), tmp.path(out), 95).ok);
      EXPECT_EQ(exifOrientation(probe(tmp.path(out)).exif), 1) << out;  // so no viewer turns it again
      const RgbaImage img = loadRgba(tmp.path(out));
      ASSERT_EQ(img.width, o >= 5 && o <= 8 ? 20u : 40u) << out;
      const uint32_t right = img.width - 4, bottom = img.height - 4;
      const uint8_t reds[] = {img.at(3, 3).r, img.at(right, 3).r, img.at(right, bottom).r, img.at(3, bottom).r};
      for (int k = 0; k < 4; ++k) EXPECT_EQ(reds[k] > 128, k == corner[o]) << out << " corner " << k;
    }
  }
  // Damaged EXIF reads as upright: an IFD beyond the data, an entry cut short.
  EXPECT_EQ(exifOrientation({'M', 'M', 0, 42, 0x7F, 0xFF, 0xFF, 0xFF}), 1);
  EXPECT_EQ(exifOrientation(Bytes(info.exif.begin(), info.exif.begin() + 20)), 1);
}

}  // namespace
}  // namespace pmtest
