// AVIF through the engine. Known answers come from files made here with
// libavif's lossless mode (4:4:4, identity matrix, quantiser 0), so every
// decoded value is exactly what was stored; corpus twins check the
// transforms on real pictures.
#include <avif/avif.h>

#include <array>
#include <cstring>
#include <functional>

#include "ColourProfile.h"
#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

using AvifImagePtr = std::unique_ptr<avifImage, decltype(&avifImageDestroy)>;
using Sample = std::array<unsigned, 4>;  // r, g, b, a at the image's depth

// EXIF saying "turn 90 degrees clockwise".
const Bytes kExifTurnRight = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};

// A picture whose pixel (x, y) is @p pixel(x, y), for a lossless encode.
AvifImagePtr makeImage(uint32_t w, uint32_t h, uint32_t depth, bool alpha, const std::function<Sample(uint32_t, uint32_t)>& pixel,
                       avifPixelFormat yuv = AVIF_PIXEL_FORMAT_YUV444) {
  AvifImagePtr im(avifImageCreate(w, h, depth, yuv), avifImageDestroy);
  im->yuvRange = AVIF_RANGE_FULL;
  im->matrixCoefficients = yuv == AVIF_PIXEL_FORMAT_YUV400 ? AVIF_MATRIX_COEFFICIENTS_BT601 : AVIF_MATRIX_COEFFICIENTS_IDENTITY;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, im.get());
  rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
  avifRGBImageAllocatePixels(&rgb);
  const size_t c = alpha ? 4 : 3, wide = depth > 8;
  for (uint32_t y = 0; y < h; ++y)
    for (size_t i = 0; i < w * c; ++i) {
      const unsigned v = pixel(uint32_t(i / c), y)[i % c];
      if (wide) reinterpret_cast<uint16_t*>(rgb.pixels + y * rgb.rowBytes)[i] = uint16_t(v);
      else rgb.pixels[y * rgb.rowBytes + i] = uint8_t(v);
    }
  EXPECT_EQ(avifImageRGBToYUV(im.get(), &rgb), AVIF_RESULT_OK);
  avifRGBImageFreePixels(&rgb);
  return im;
}

// The frames encoded losslessly as in.avif in @p tmp (a sequence when
// several); returns its path.
std::string saveLossless(const TempDir& tmp, const std::vector<const avifImage*>& frames) {
  avifEncoder* e = avifEncoderCreate();
  e->speed = AVIF_SPEED_FASTEST;
  e->minQuantizer = e->maxQuantizer = e->minQuantizerAlpha = e->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
  const avifAddImageFlags flags = frames.size() == 1 ? AVIF_ADD_IMAGE_FLAG_SINGLE : AVIF_ADD_IMAGE_FLAG_NONE;
  for (const avifImage* f : frames) EXPECT_EQ(avifEncoderAddImage(e, f, 1, flags), AVIF_RESULT_OK);
  avifRWData out = AVIF_DATA_EMPTY;
  EXPECT_EQ(avifEncoderFinish(e, &out), AVIF_RESULT_OK);
  writeFile(tmp.path("in.avif"), Bytes(out.data, out.data + out.size));
  avifRWDataFree(&out);
  avifEncoderDestroy(e);
  return tmp.path("in.avif");
}

uint8_t to8(unsigned v, unsigned maxValue) { return uint8_t((v * 255 + maxValue / 2) / maxValue); }

TEST(AvifReader, DeepSamplesAreRoundedToEightBits) {
  TempDir tmp;
  for (uint32_t depth : {10u, 12u}) {
    const unsigned top = (1u << depth) - 1;
    // Every value of the depth appears: x + y * 64 covers 0..top.
    const auto sample = [&](uint32_t x, uint32_t y) { return Sample{x + y * 64, top - x - y * 64, (x + y * 64) / 2, top}; };
    const RgbaImage got = loadRgba(saveLossless(tmp, {makeImage(64, (top + 1) / 64, depth, false, sample).get()}));
    for (uint32_t y = 0; y < got.height; ++y)
      for (uint32_t x = 0; x < got.width; ++x) {
        const Sample s = sample(x, y);
        ASSERT_EQ(got.at(x, y), (Rgba8{to8(s[0], top), to8(s[1], top), to8(s[2], top), 255})) << depth << "-bit value " << s[0];
      }
  }
}

TEST(AvifReader, PremultipliedAlphaIsStraightenedWithOneRounding) {
  TempDir tmp;
  for (uint32_t depth : {8u, 10u}) {
    const unsigned top = (1u << depth) - 1;
    const auto alphaAt = [&](uint32_t x) { return x * top / 63; };
    const auto colourAt = [&](uint32_t x, uint32_t y) { return alphaAt(x) * y / 15; };  // never above alpha
    const auto stored = [&](uint32_t x, uint32_t y) { return Sample{colourAt(x, y), alphaAt(x) - colourAt(x, y), 0, alphaAt(x)}; };
    auto im = makeImage(64, 16, depth, true, stored);
    im->alphaPremultiplied = AVIF_TRUE;
    const RgbaImage got = loadRgba(saveLossless(tmp, {im.get()}));
    for (uint32_t y = 0; y < 16; ++y)
      for (uint32_t x = 0; x < 64; ++x) {
        const unsigned a = alphaAt(x), c = colourAt(x, y);
        const Rgba8 want = a == 0 ? Rgba8{0, 0, 0, 0}
                                  : Rgba8{uint8_t((c * 255 + a / 2) / a), uint8_t(((a - c) * 255 + a / 2) / a), 0, to8(a, top)};
        ASSERT_EQ(got.at(x, y), want) << depth << "-bit, alpha " << a << ", colour " << c;
      }
  }
}

// Each picture is the first of a two-frame sequence, which gives its first.
TEST(AvifReader, MonochromeIsReadAsGreyAndASequenceAsItsFirstFrame) {
  TempDir tmp;
  for (bool alpha : {false, true}) {
    const auto grey = [](uint32_t x, uint32_t y) { return Sample{x * 8 + y, x * 8 + y, x * 8 + y, 255 - x * 8 - y}; };
    const auto black = [](uint32_t, uint32_t) { return Sample{0, 0, 0, 255}; };
    const std::string path = saveLossless(tmp, {makeImage(32, 8, 8, alpha, grey, AVIF_PIXEL_FORMAT_YUV400).get(),
                                                makeImage(32, 8, 8, alpha, black, AVIF_PIXEL_FORMAT_YUV400).get()});
    const ImageInfo info = probe(path);
    const RgbaImage got = loadRgba(path);
    EXPECT_EQ(info.format, alpha ? PixelFormat::GrayAlpha : PixelFormat::Gray);
    EXPECT_FALSE(info.losslessSource);
    for (uint32_t i = 0; i < 256; ++i) {
      const Sample s = grey(i % 32, i / 32);
      ASSERT_EQ(got.px[i], (Rgba8{uint8_t(s[0]), uint8_t(s[0]), uint8_t(s[0]), uint8_t(alpha ? s[3] : 255)})) << i;
    }
  }
}

TEST(AvifReader, RotationAndMirrorAreAppliedOnceAndTheExifOrientationCleared) {
  TempDir tmp;
  const uint32_t w = 5, h = 3;
  const auto colour = [](uint32_t x, uint32_t y) { return Sample{x * 50, y * 100, 200 - x * 10 - y * 30, 255}; };
  for (int turns = 0; turns < 4; ++turns)
    for (int mirror = -1; mirror <= 1; ++mirror) {  // none, top and bottom exchanged, left and right
      auto im = makeImage(w, h, 8, false, colour);
      // libavif takes irot and imir from the EXIF orientation; ours replace
      // them, and the EXIF must not be applied on top.
      avifImageSetMetadataExif(im.get(), kExifTurnRight.data(), kExifTurnRight.size());
      im->transformFlags = (turns ? AVIF_TRANSFORM_IROT : AVIF_TRANSFORM_NONE) | (mirror >= 0 ? AVIF_TRANSFORM_IMIR : AVIF_TRANSFORM_NONE);
      im->irot.angle = uint8_t(turns), im->imir.mode = uint8_t(std::max(mirror, 0));
      const RgbaImage got = loadRgba(saveLossless(tmp, {im.get()}));
      ASSERT_EQ(std::pair(got.width, got.height), turns % 2 ? std::pair(h, w) : std::pair(w, h)) << turns << " turns, mirror " << mirror;
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
          // Where (x, y) shows: turned anti-clockwise a quarter at a time, then mirrored.
          uint32_t sx = x, sy = y, sw = w, sh = h;
          for (int t = 0; t < turns; ++t) std::tie(sx, sy, sw, sh) = std::tuple(sy, sw - 1 - sx, sh, sw);
          if (mirror == 1) sx = sw - 1 - sx;
          if (mirror == 0) sy = sh - 1 - sy;
          const Sample s = colour(x, y);
          EXPECT_EQ(got.at(sx, sy), (Rgba8{uint8_t(s[0]), uint8_t(s[1]), uint8_t(s[2]), 255})) << turns << " turns, mirror " << mirror;
        }
      EXPECT_EQ(exifOrientation(probe(tmp.path("in.avif")).exif), 1);
    }
}

// Mean absolute difference of two pictures of one size.
double meanDifference(const RgbaImage& a, const RgbaImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.px.size(); ++i)
    sum += std::abs(a.px[i].r - b.px[i].r) + std::abs(a.px[i].g - b.px[i].g) + std::abs(a.px[i].b - b.px[i].b);
  return sum / (3.0 * double(a.px.size()));
}

TEST(AvifReader, CorpusTwinsMatchOnceTurned) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/avif/link-u/";
  const RgbaImage upright = loadRgba(dir + "kimono.avif");
  for (const char* twin : {"kimono.rotate90.avif", "kimono.rotate270.avif", "kimono.mirror-horizontal.avif",
                           "kimono.mirror-vertical.avif", "kimono.mirror-vertical.rotate270.avif"}) {
    const RgbaImage got = loadRgba(dir + twin);
    ASSERT_EQ(std::pair(got.width, got.height), std::pair(upright.width, upright.height)) << twin;
    // Coded separately, so only alike; a wrong turn differs by tens of levels.
    EXPECT_LT(meanDifference(got, upright), 5.0) << twin;
  }
  const ImageInfo grid = probe(corpusDir() + "/avif/libavif/sofa_grid1x5_420.avif");
  EXPECT_EQ(std::pair(grid.width, grid.height), std::pair(1024u, 770u));
}

// The reader converts YUV a strip at a time; 4:2:0 chroma must show no seam
// where libavif converting the whole picture at once shows none.
TEST(AvifReader, StripsMatchOneWholePictureConversion) {
  PM_REQUIRE_CORPUS();
  for (const char* name : {"libavif/io/kodim03_yuv420_8bpc.avif", "link-u/fox.profile0.8bpc.yuv420.odd-width.odd-height.avif"}) {
    const std::string path = corpusDir() + "/avif/" + name;
    const std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> decoder(avifDecoderCreate(), avifDecoderDestroy);
    const AvifImagePtr whole(avifImageCreateEmpty(), avifImageDestroy);
    ASSERT_EQ(avifDecoderReadFile(decoder.get(), whole.get(), path.c_str()), AVIF_RESULT_OK) << name;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, whole.get());
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    avifRGBImageAllocatePixels(&rgb);
    ASSERT_EQ(avifImageYUVToRGB(whole.get(), &rgb), AVIF_RESULT_OK);
    const RgbaImage got = loadRgba(path);
    ASSERT_EQ(std::pair(got.width, got.height), std::pair(rgb.width, rgb.height));
    for (uint32_t y = 0; y < got.height; ++y)
      ASSERT_EQ(std::memcmp(&got.px[size_t(y) * got.width], rgb.pixels + size_t(y) * rgb.rowBytes, got.width * 4), 0)
          << name << " row " << y;
    avifRGBImageFreePixels(&rgb);
  }
}

TEST(AvifReader, ColourCodePointsBecomeAProfileAndAnEmbeddedOneWinsAndTravels) {
  TempDir tmp;
  auto im = makeImage(8, 8, 8, false, [](uint32_t x, uint32_t y) { return Sample{x * 30, y * 30, 90, 255}; });
  const auto profileRead = [&] { return probe(saveLossless(tmp, {im.get()})).icc; };
  im->colorPrimaries = AVIF_COLOR_PRIMARIES_SMPTE432;  // Display P3
  im->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  EXPECT_EQ(profileRead(), iccFromCicp(AVIF_COLOR_PRIMARIES_SMPTE432, AVIF_TRANSFER_CHARACTERISTICS_SRGB));
  im->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  EXPECT_TRUE(profileRead().empty());
  const Bytes profile = iccFromCicp(AVIF_COLOR_PRIMARIES_BT2020, AVIF_TRANSFER_CHARACTERISTICS_BT709);
  avifImageSetProfileICC(im.get(), profile.data(), profile.size());
  EXPECT_EQ(profileRead(), profile);
  ASSERT_TRUE(transcode(tmp.path("in.avif"), tmp.path("out.avif"), 90).ok);
  EXPECT_EQ(probe(tmp.path("out.avif")).icc, profile);
}

TEST(AvifReader, HeaderClaimingTooMuchIsRefusedBeforeDecoding) {
  TempDir tmp;
  Bytes file = readFile(saveLossless(tmp, {makeImage(16, 16, 8, false, [](uint32_t, uint32_t) { return Sample{1, 2, 3, 255}; }).get()}));
  const auto at = std::search(file.begin(), file.end(), std::begin("ispe"), std::end("ispe") - 1);
  ASSERT_NE(at, file.end());
  at[10] = at[14] = 0xEA, at[11] = at[15] = 0x60;  // after the version and flags: 60000 x 60000
  writeFile(tmp.path("huge.avif"), file);
  const TranscodeResult r = convertAlone(tmp.path("huge.avif"));
  EXPECT_TRUE(r.message.starts_with("Image is too large")) << r.message;
}

TEST(AvifWriter, QualityNamesTheQuantiser) {
  for (auto [quality, quantiser] : {std::pair{100, 0}, {90, 6}, {50, 32}, {10, 57}})
    EXPECT_EQ(avifQuantizerForQuality(quality), quantiser) << quality;
}

TEST(AvifWriter, RoundTripsKeepPixelsAlphaAndExif) {
  TempDir tmp;
  const Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x28, 0, 3, 0, 0, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0};
  for (PixelFormat format : {PixelFormat::Rgb, PixelFormat::Rgba, PixelFormat::Gray, PixelFormat::GrayAlpha}) {
    ImageInfo info = makeInfo(format, 61, 37);  // odd sides: 4:2:0 chroma covers a half pixel
    info.exif = exif;
    // Smooth colour, as in photos (4:2:0 keeps a quarter of the chroma), and
    // alpha in steps.
    Bytes px(info.rowBytes() * info.height);
    const size_t c = size_t(info.channels());
    const bool alpha = c % 2 == 0, gray = c <= 2;
    for (size_t i = 0; i < px.size(); ++i) {
      const size_t x = i / c % info.width, y = i / c / info.width, k = i % c;
      px[i] = uint8_t(alpha && k == c - 1 ? (x / 8) * 36 : (x * (k + 2) + y * (3 - k)) / 2);
    }
    writeImage(tmp.path("q100.avif"), info, px, 100);
    writeImage(tmp.path("q50.avif"), info, px, 50);
    writeImage(tmp.path("ref.png"), info, px);
    const RgbaImage want = loadRgba(tmp.path("ref.png")), best = loadRgba(tmp.path("q100.avif"));
    // Grey and alpha are coded losslessly at quality 100; colour loses only
    // what YUV 4:2:0 loses.
    EXPECT_LE(maxDifference(best, want), gray ? 0 : 6) << int(format);
    EXPECT_LT(meanDifference(best, want), gray ? 0.01 : 1.5) << int(format);
    for (size_t i = 0; i < want.px.size(); ++i) ASSERT_EQ(best.px[i].a, want.px[i].a) << int(format);
    EXPECT_LT(fs::file_size(tmp.path("q50.avif")), fs::file_size(tmp.path("q100.avif")));
    EXPECT_EQ(probe(tmp.path("q100.avif")).exif, exif);  // roundtrip_test checks the layout
  }
}

// libavif turns an EXIF orientation into irot and imir, so the picture shows
// as the EXIF asks, and reads back upright with the orientation cleared.
TEST(AvifWriter, ExifOrientationBecomesTheTransforms) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Gray, 6, 4);
  info.exif = kExifTurnRight;
  Bytes px(24, 0);
  px[0] = 255;  // top left, to be top right once turned clockwise
  writeImage(tmp.path("o.avif"), info, px, 100);
  const RgbaImage got = loadRgba(tmp.path("o.avif"));
  ASSERT_EQ(std::pair(got.width, got.height), std::pair(4u, 6u));
  EXPECT_EQ(std::pair(got.at(3, 0).r, got.at(0, 0).r), std::pair(uint8_t(255), uint8_t(0)));
  EXPECT_EQ(exifOrientation(probe(tmp.path("o.avif")).exif), 1);
}

}  // namespace
}  // namespace pmtest
