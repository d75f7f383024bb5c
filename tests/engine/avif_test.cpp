// AVIF through the engine. Known answers come from files made here with
// libavif's lossless mode (4:4:4, identity matrix, quantiser 0), so every
// decoded value is exactly what was stored; corpus twins check the
// transforms on real pictures.
#include <avif/avif.h>

#include <array>
#include <cstring>
#include <functional>

#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

struct ImageDeleter {
  void operator()(avifImage* im) const { avifImageDestroy(im); }
};
using AvifImagePtr = std::unique_ptr<avifImage, ImageDeleter>;
using Sample = std::array<unsigned, 4>;  // r, g, b, a at the image's depth

// A picture whose pixel (x, y) is @p pixel(x, y), for a lossless encode.
AvifImagePtr makeImage(uint32_t w, uint32_t h, uint32_t depth, bool alpha, const std::function<Sample(uint32_t, uint32_t)>& pixel,
                       avifPixelFormat yuv = AVIF_PIXEL_FORMAT_YUV444) {
  AvifImagePtr im(avifImageCreate(w, h, depth, yuv));
  im->yuvRange = AVIF_RANGE_FULL;
  im->matrixCoefficients = yuv == AVIF_PIXEL_FORMAT_YUV400 ? AVIF_MATRIX_COEFFICIENTS_BT601 : AVIF_MATRIX_COEFFICIENTS_IDENTITY;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, im.get());
  rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
  avifRGBImageAllocatePixels(&rgb);
  const int c = alpha ? 4 : 3;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const Sample s = pixel(x, y);
      for (int k = 0; k < c; ++k) {
        const size_t at = size_t(y) * rgb.rowBytes + (size_t(x) * c + k) * (depth > 8 ? 2 : 1);
        if (depth > 8)
          reinterpret_cast<uint16_t*>(rgb.pixels + at)[0] = uint16_t(s[k]);
        else
          rgb.pixels[at] = uint8_t(s[k]);
      }
    }
  EXPECT_EQ(avifImageRGBToYUV(im.get(), &rgb), AVIF_RESULT_OK);
  avifRGBImageFreePixels(&rgb);
  return im;
}

// The frames encoded losslessly as one file (a sequence when several).
Bytes encodeLossless(const std::vector<const avifImage*>& frames) {
  avifEncoder* e = avifEncoderCreate();
  e->speed = AVIF_SPEED_FASTEST;
  e->minQuantizer = e->maxQuantizer = e->minQuantizerAlpha = e->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
  const avifAddImageFlags flags = frames.size() == 1 ? AVIF_ADD_IMAGE_FLAG_SINGLE : AVIF_ADD_IMAGE_FLAG_NONE;
  for (const avifImage* f : frames) EXPECT_EQ(avifEncoderAddImage(e, f, 1, flags), AVIF_RESULT_OK);
  avifRWData out = AVIF_DATA_EMPTY;
  EXPECT_EQ(avifEncoderFinish(e, &out), AVIF_RESULT_OK);
  Bytes bytes(out.data, out.data + out.size);
  avifRWDataFree(&out);
  avifEncoderDestroy(e);
  return bytes;
}

// Decodes @p bytes through the engine, keeping its info.
RgbaImage decode(const TempDir& tmp, const Bytes& bytes, ImageInfo* info = nullptr) {
  const std::string path = tmp.path("in.avif");
  writeFile(path, bytes);
  if (info) *info = probe(path);
  return loadRgba(path);
}

unsigned to8(unsigned v, unsigned maxValue) { return (v * 255 + maxValue / 2) / maxValue; }

TEST(AvifReader, DeepSamplesAreRoundedToEightBits) {
  TempDir tmp;
  for (uint32_t depth : {10u, 12u}) {
    const unsigned top = (1u << depth) - 1;
    // Every value of the depth appears: x + y * 64 covers 0..top.
    auto value = [&](uint32_t x, uint32_t y) { return (x + y * 64) & top; };
    auto im = makeImage(64, (top + 1) / 64, depth, false,
                        [&](uint32_t x, uint32_t y) { return Sample{value(x, y), top - value(x, y), value(x, y) / 2, top}; });
    const RgbaImage got = decode(tmp, encodeLossless({im.get()}));
    for (uint32_t y = 0; y < got.height; ++y)
      for (uint32_t x = 0; x < got.width; ++x) {
        const unsigned v = value(x, y);
        ASSERT_EQ(got.at(x, y), (Rgba8{uint8_t(to8(v, top)), uint8_t(to8(top - v, top)), uint8_t(to8(v / 2, top)), 255}))
            << depth << "-bit value " << v;
      }
  }
}

TEST(AvifReader, PremultipliedAlphaIsStraightenedWithOneRounding) {
  TempDir tmp;
  for (uint32_t depth : {8u, 10u}) {
    const unsigned top = (1u << depth) - 1;
    auto alphaAt = [&](uint32_t x) { return x * top / 63; };
    auto colourAt = [&](uint32_t x, uint32_t y) { return alphaAt(x) * y / 15; };  // never above alpha
    auto im = makeImage(64, 16, depth, true, [&](uint32_t x, uint32_t y) {
      return Sample{colourAt(x, y), alphaAt(x) - colourAt(x, y), 0, alphaAt(x)};
    });
    im->alphaPremultiplied = AVIF_TRUE;
    const RgbaImage got = decode(tmp, encodeLossless({im.get()}));
    for (uint32_t y = 0; y < 16; ++y)
      for (uint32_t x = 0; x < 64; ++x) {
        const unsigned a = alphaAt(x), c = colourAt(x, y);
        const Rgba8 want = a == 0 ? Rgba8{0, 0, 0, 0}
                                  : Rgba8{uint8_t((c * 255 + a / 2) / a), uint8_t(((a - c) * 255 + a / 2) / a), 0,
                                          uint8_t(to8(a, top))};
        ASSERT_EQ(got.at(x, y), want) << depth << "-bit, alpha " << a << ", colour " << c;
      }
  }
}

TEST(AvifReader, MonochromeIsReadAsGrey) {
  TempDir tmp;
  for (bool alpha : {false, true}) {
    auto im = makeImage(32, 8, 8, alpha, [](uint32_t x, uint32_t y) {
      const unsigned v = x * 8 + y;
      return Sample{v, v, v, 255 - v};
    }, AVIF_PIXEL_FORMAT_YUV400);
    ImageInfo info;
    const RgbaImage got = decode(tmp, encodeLossless({im.get()}), &info);
    EXPECT_EQ(info.format, alpha ? PixelFormat::GrayAlpha : PixelFormat::Gray);
    EXPECT_FALSE(info.losslessSource);
    for (uint32_t y = 0; y < 8; ++y)
      for (uint32_t x = 0; x < 32; ++x) {
        const uint8_t v = uint8_t(x * 8 + y);
        ASSERT_EQ(got.at(x, y), (Rgba8{v, v, v, alpha ? uint8_t(255 - v) : uint8_t(255)})) << x << "," << y;
      }
  }
}

TEST(AvifReader, SequenceGivesItsFirstFrame) {
  TempDir tmp;
  auto red = makeImage(16, 16, 8, false, [](uint32_t, uint32_t) { return Sample{255, 0, 0, 255}; });
  auto blue = makeImage(16, 16, 8, false, [](uint32_t, uint32_t) { return Sample{0, 0, 255, 255}; });
  const RgbaImage got = decode(tmp, encodeLossless({red.get(), blue.get(), blue.get()}));
  EXPECT_EQ(got.at(0, 0), (Rgba8{255, 0, 0, 255}));
  EXPECT_EQ(got.at(15, 15), (Rgba8{255, 0, 0, 255}));
}

// Turns @p px (w x h, row-major) anti-clockwise @p turns times, then mirrors
// it: mode 0 exchanges top and bottom, 1 left and right.
std::vector<Rgba8> transformed(std::vector<Rgba8> px, uint32_t& w, uint32_t& h, int turns, int mirror) {
  for (int t = 0; t < turns; ++t) {
    std::vector<Rgba8> out(px.size());
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) out[size_t(w - 1 - x) * h + y] = px[size_t(y) * w + x];
    px = out;
    std::swap(w, h);
  }
  std::vector<Rgba8> out(px.size());
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t sx = mirror == 1 ? w - 1 - x : x, sy = mirror == 0 ? h - 1 - y : y;
      out[size_t(y) * w + x] = px[size_t(sy) * w + sx];
    }
  return out;
}

TEST(AvifReader, RotationAndMirrorAreAppliedOnceAndTheExifOrientationCleared) {
  TempDir tmp;
  const uint32_t w = 5, h = 3;
  auto colour = [](uint32_t x, uint32_t y) { return Sample{x * 50, y * 100, 200 - x * 10 - y * 30, 255}; };
  std::vector<Rgba8> stored;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const Sample s = colour(x, y);
      stored.push_back({uint8_t(s[0]), uint8_t(s[1]), uint8_t(s[2]), 255});
    }
  // EXIF saying "turn 90 degrees clockwise", which must not be applied on top.
  const Bytes exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
  for (int turns = 0; turns < 4; ++turns)
    for (int mirror = -1; mirror <= 1; ++mirror) {
      auto im = makeImage(w, h, 8, false, colour);
      // libavif takes irot and imir from the EXIF orientation; ours replace them.
      avifImageSetMetadataExif(im.get(), exif.data(), exif.size());
      im->transformFlags = AVIF_TRANSFORM_NONE;
      if (turns) im->transformFlags |= AVIF_TRANSFORM_IROT, im->irot.angle = uint8_t(turns);
      if (mirror >= 0) im->transformFlags |= AVIF_TRANSFORM_IMIR, im->imir.mode = uint8_t(mirror);
      ImageInfo info;
      const RgbaImage got = decode(tmp, encodeLossless({im.get()}), &info);
      uint32_t ew = w, eh = h;
      const std::vector<Rgba8> want = transformed(stored, ew, eh, turns, mirror);
      ASSERT_EQ(got.width, ew) << turns << " turns, mirror " << mirror;
      ASSERT_EQ(got.height, eh);
      EXPECT_EQ(got.px, want) << turns << " turns, mirror " << mirror;
      EXPECT_EQ(exifOrientation(info.exif), 1);
    }
}

// Mean absolute difference of two pictures of one size.
double meanDifference(const RgbaImage& a, const RgbaImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.px.size(); ++i)
    sum += std::abs(a.px[i].r - b.px[i].r) + std::abs(a.px[i].g - b.px[i].g) + std::abs(a.px[i].b - b.px[i].b);
  return sum / (3.0 * double(a.px.size()));
}

TEST(AvifReader, CorpusTwinsMatchOnceTurnedAndDeepOnesAreNotTruncated) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/avif/link-u/";
  const RgbaImage upright = loadRgba(dir + "kimono.avif");
  for (const char* twin : {"kimono.rotate90.avif", "kimono.rotate270.avif", "kimono.mirror-horizontal.avif",
                           "kimono.mirror-vertical.avif", "kimono.mirror-vertical.rotate270.avif"}) {
    const RgbaImage got = loadRgba(dir + twin);
    ASSERT_EQ(got.width, upright.width) << twin;
    ASSERT_EQ(got.height, upright.height) << twin;
    // Coded separately, so only alike; a wrong turn differs by tens of levels.
    EXPECT_LT(meanDifference(got, upright), 5.0) << twin;
  }
  // The same photo at 8, 10 and 12 bits: truncating the deep ones would
  // darken them by about half a level on average.
  const RgbaImage eight = loadRgba(dir + "fox.profile2.8bpc.yuv422.avif");
  for (const char* deep : {"fox.profile2.10bpc.yuv422.avif", "fox.profile2.12bpc.yuv422.avif"}) {
    const RgbaImage got = loadRgba(dir + deep);
    double bias = 0;
    for (size_t i = 0; i < got.px.size(); ++i) bias += got.px[i].g - eight.px[i].g;
    EXPECT_LT(std::abs(bias / double(got.px.size())), 0.25) << deep;
  }
  const ImageInfo grid = probe(corpusDir() + "/avif/libavif/sofa_grid1x5_420.avif");
  EXPECT_EQ(grid.width, 1024u);
  EXPECT_EQ(grid.height, 770u);
}

// The reader converts YUV a strip at a time; 4:2:0 chroma must show no seam
// where libavif converting the whole picture at once shows none.
TEST(AvifReader, StripsMatchOneWholePictureConversion) {
  PM_REQUIRE_CORPUS();
  for (const char* name : {"libavif/io/kodim03_yuv420_8bpc.avif", "link-u/fox.profile0.8bpc.yuv420.odd-width.odd-height.avif"}) {
    const std::string path = corpusDir() + "/avif/" + name;
    avifDecoder* d = avifDecoderCreate();
    AvifImagePtr whole(avifImageCreateEmpty());
    ASSERT_EQ(avifDecoderReadFile(d, whole.get(), path.c_str()), AVIF_RESULT_OK) << name;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, whole.get());
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    avifRGBImageAllocatePixels(&rgb);
    ASSERT_EQ(avifImageYUVToRGB(whole.get(), &rgb), AVIF_RESULT_OK);
    const RgbaImage got = loadRgba(path);
    ASSERT_EQ(got.width, rgb.width);
    ASSERT_EQ(got.height, rgb.height);
    for (uint32_t y = 0; y < got.height; ++y)
      ASSERT_EQ(std::memcmp(&got.px[size_t(y) * got.width], rgb.pixels + size_t(y) * rgb.rowBytes, got.width * 4), 0)
          << name << " row " << y;
    avifRGBImageFreePixels(&rgb);
    avifDecoderDestroy(d);
  }
}

TEST(AvifReader, ColourCodePointsBecomeAProfileAndAnEmbeddedOneWins) {
  TempDir tmp;
  auto im = makeImage(8, 8, 8, false, [](uint32_t x, uint32_t y) { return Sample{x * 30, y * 30, 90, 255}; });
  im->colorPrimaries = AVIF_COLOR_PRIMARIES_SMPTE432;  // Display P3
  im->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  ImageInfo p3;
  decode(tmp, encodeLossless({im.get()}), &p3);
  ASSERT_GE(p3.icc.size(), 132u);
  EXPECT_EQ(std::string(p3.icc.begin() + 16, p3.icc.begin() + 20), "RGB ");

  im->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  ImageInfo srgb;
  decode(tmp, encodeLossless({im.get()}), &srgb);
  EXPECT_TRUE(srgb.icc.empty());

  const Bytes profile(p3.icc.begin(), p3.icc.end() - 1);  // any bytes: the reader passes them on
  avifImageSetProfileICC(im.get(), profile.data(), profile.size());
  ImageInfo embedded;
  decode(tmp, encodeLossless({im.get()}), &embedded);
  EXPECT_EQ(embedded.icc, profile);
}

// @p bytes with the first ispe box's width and height replaced.
Bytes withClaimedSize(Bytes bytes, uint32_t w, uint32_t h) {
  const uint8_t tag[4] = {'i', 's', 'p', 'e'};
  auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
  EXPECT_NE(at, bytes.end());
  const size_t p = size_t(at - bytes.begin()) + 8;  // type, version and flags
  for (int i = 0; i < 4; ++i) {
    bytes[p + i] = uint8_t(w >> (24 - 8 * i));
    bytes[p + 4 + i] = uint8_t(h >> (24 - 8 * i));
  }
  return bytes;
}

TEST(AvifReader, HeaderClaimingTooMuchIsRefusedBeforeDecoding) {
  TempDir tmp;
  auto im = makeImage(16, 16, 8, false, [](uint32_t, uint32_t) { return Sample{1, 2, 3, 255}; });
  writeFile(tmp.path("huge.avif"), withClaimedSize(encodeLossless({im.get()}), 60000, 60000));
  const TranscodeResult r = transcode(tmp.path("huge.avif"), tmp.path("out.png"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.side, FailureSide::Read);
  EXPECT_TRUE(r.message.starts_with("Image is too large")) << r.message;
}

TEST(AvifSniff, BrandMayBeMajorOrCompatible) {
  auto ftyp = [](const char* major, const char* compatible) {
    Bytes b = {0, 0, 0, 24, 'f', 't', 'y', 'p'};
    b.insert(b.end(), major, major + 4);
    b.insert(b.end(), {0, 0, 0, 0});
    b.insert(b.end(), {'m', 'i', 'f', '1'});
    b.insert(b.end(), compatible, compatible + 4);
    return b;
  };
  for (auto [major, compatible, avif] : {std::tuple{"avif", "miaf", true}, {"mif1", "avis", true},
                                         {"mif1", "avif", true}, {"heic", "heix", false}}) {
    const Bytes b = ftyp(major, compatible);
    EXPECT_EQ(sniffFormat(b.data(), b.size()) == FileFormat::Avif, avif) << major << "/" << compatible;
  }
}

TEST(AvifWriter, QualityNamesTheQuantiser) {
  EXPECT_EQ(avifQuantizerForQuality(100), 0);
  EXPECT_EQ(avifQuantizerForQuality(90), 6);
  EXPECT_EQ(avifQuantizerForQuality(50), 32);
  EXPECT_EQ(avifQuantizerForQuality(10), 57);
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
    const int c = info.channels();
    for (uint32_t y = 0; y < info.height; ++y)
      for (uint32_t x = 0; x < info.width; ++x)
        for (int k = 0; k < c; ++k) {
          const bool alpha = (c == 2 || c == 4) && k == c - 1;
          px[(size_t(y) * info.width + x) * c + k] = uint8_t(alpha ? (x / 8) * 36 : (x * (k + 2) + y * (3 - k)) / 2);
        }
    writeImage(tmp.path("q100.avif"), info, px, 100);
    writeImage(tmp.path("q50.avif"), info, px, 50);
    writeImage(tmp.path("ref.png"), info, px);
    const RgbaImage want = loadRgba(tmp.path("ref.png")), best = loadRgba(tmp.path("q100.avif"));
    const bool gray = format == PixelFormat::Gray || format == PixelFormat::GrayAlpha;
    // Grey and alpha are coded losslessly at quality 100; colour loses only
    // what YUV 4:2:0 loses.
    EXPECT_LE(maxDifference(best, want), gray ? 0 : 6) << int(format);
    EXPECT_LT(meanDifference(best, want), gray ? 0.01 : 1.5) << int(format);
    for (size_t i = 0; i < want.px.size(); ++i) ASSERT_EQ(best.px[i].a, want.px[i].a) << int(format);
    EXPECT_LT(fs::file_size(tmp.path("q50.avif")), fs::file_size(tmp.path("q100.avif")));
    const ImageInfo back = probe(tmp.path("q100.avif"));
    EXPECT_EQ(back.format, format);
    EXPECT_EQ(back.exif, exif);
  }
}

// libavif turns an EXIF orientation into irot and imir, so the picture shows
// as the EXIF asks, and reads back upright with the orientation cleared.
TEST(AvifWriter, ExifOrientationBecomesTheTransforms) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Gray, 6, 4);
  info.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
  Bytes px(24, 0);
  px[0] = 255;  // top left, to be top right once turned clockwise
  writeImage(tmp.path("o.avif"), info, px, 100);
  ImageInfo back;
  const RgbaImage got = decode(tmp, readFile(tmp.path("o.avif")), &back);
  ASSERT_EQ(got.width, 4u);
  ASSERT_EQ(got.height, 6u);
  EXPECT_EQ(got.at(3, 0).r, 255);
  EXPECT_EQ(got.at(0, 0).r, 0);
  EXPECT_EQ(exifOrientation(back.exif), 1);
}

TEST(AvifWriter, ProfileTravels) {
  PM_REQUIRE_CORPUS();
  TempDir tmp;
  const std::string source = corpusDir() + "/avif/pillow/icc_profile.avif";
  ASSERT_TRUE(transcode(source, tmp.path("out.avif"), 90).ok);
  const ImageInfo in = probe(source), out = probe(tmp.path("out.avif"));
  ASSERT_FALSE(in.icc.empty());
  EXPECT_EQ(out.icc, in.icc);
}

}  // namespace
}  // namespace pmtest
