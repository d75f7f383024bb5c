// WebP: the corpus's pictures against their reference decodes, an
// animation's first frame on its canvas, headers that claim too much, and
// round trips through the writer (lossless, lossy, alpha, ICC and EXIF).
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>

#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

std::string webpCorpus(const std::string& rel) { return corpusDir() + "/webp/" + rel; }

// Reference decodes that came with the suites, for the files that have one:
// lossless ones and dwebp's output for lossy ones.
std::string referenceFor(const std::string& rel) {
  struct Rule {
    const char *folder, *suffix, *referenceFolder, *referenceSuffix;
  };
  static const Rule kRules[] = {
      {"image-webp/images/animated/", ".webp", "image-webp/reference/animated/", "-1.png"},
      {"image-webp/images/", ".webp", "image-webp/reference/", ".png"},
      {"image-rs/tests/images/", ".webp", "image-rs/tests/reference/", ".webp.png"},
      {"golang-image/testdata/", ".lossless.webp", "golang-image/testdata/", ".png"},
  };
  for (const Rule& r : kRules) {
    const std::string folder = r.folder, suffix = r.suffix;
    if (rel.size() > folder.size() + suffix.size() && rel.starts_with(folder) && rel.ends_with(suffix))
      return r.referenceFolder + rel.substr(folder.size(), rel.size() - folder.size() - suffix.size()) +
             r.referenceSuffix;
  }
  return {};
}

TEST(WebpCorpus, DecodesMatchTheReferencesAndTellLossyFromLossless) {
  PM_REQUIRE_CORPUS();
  int compared = 0;
  for (const std::string& file : corpusFiles("webp", ".webp")) {
    const std::string rel = file.substr(webpCorpus("").size());
    if (rel.starts_with("generated/") || rel.starts_with("image-rs/fuzz-afl/")) continue;
    const ImageInfo info = probe(file);
    // The corpus names say which is which; the animations' notes too.
    const bool lossy = rel.find("lossy") != std::string::npos || rel.find("_webp_a") != std::string::npos ||
                       (rel.starts_with("pillow/") && rel != "pillow/iss634.webp");
    const bool lossless = rel.find("lossless") != std::string::npos || rel.find("_ll") != std::string::npos;
    if (lossless || lossy) {
      EXPECT_EQ(info.losslessSource, lossless) << rel;
    }
    const std::string reference = referenceFor(rel);
    if (reference.empty() || !fs::exists(webpCorpus(reference))) continue;
    // image-rs's own first frame of its animation is within 1 of libwebp's.
    const int tolerance = rel.ends_with("extended_images/anim.webp") ? 1 : 0;
    EXPECT_LE(maxDifference(loadRgba(file), loadRgba(webpCorpus(reference))), tolerance) << rel;
    ++compared;
  }
  EXPECT_GE(compared, 30);
}

TEST(WebpCorpus, MetadataAndLayouts) {
  PM_REQUIRE_CORPUS();
  // An EXIF chunk with the "Exif\0\0" header and one without read alike.
  for (const char* rel : {"pillow/hopper_orientation_6.webp", "image-webp/images/regression/tiny.webp"}) {
    const ImageInfo info = probe(webpCorpus(rel));
    ASSERT_GE(info.exif.size(), 8u) << rel;
    EXPECT_TRUE(std::memcmp(info.exif.data(), "II*", 4) == 0 || std::memcmp(info.exif.data(), "MM\0*", 4) == 0)
        << rel;
  }
  EXPECT_EQ(exifOrientation(probe(webpCorpus("pillow/hopper_orientation_6.webp")).exif), 6);
  const ImageInfo tiny = probe(webpCorpus("image-webp/images/regression/tiny.webp"));
  ASSERT_GE(tiny.icc.size(), 40u);
  EXPECT_EQ(std::memcmp(&tiny.icc[36], "acsp", 4), 0);
  // Alpha is kept only where the file has it; an opaque animation is RGB.
  EXPECT_EQ(probe(webpCorpus("pillow/transparent.webp")).format, PixelFormat::Rgba);
  EXPECT_EQ(probe(webpCorpus("libwebp/test.webp")).format, PixelFormat::Rgb);
  EXPECT_EQ(probe(webpCorpus("image-webp/images/animated/random_lossless.webp")).format, PixelFormat::Rgb);
}

TEST(WebpCorpus, ContentWithoutExtensionIsSniffed) {
  PM_REQUIRE_CORPUS();
  // AFL's mutations: those still starting "RIFF....WEBP" are damaged WebP
  // files, the others are nothing the engine knows.
  for (const auto& e : fs::directory_iterator(webpCorpus("image-rs/fuzz-afl/in/webp"))) {
    const Bytes head = readFile(e.path().string());
    const bool riff = head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0;
    const auto r = convertAlone(e.path().string());
    EXPECT_FALSE(r.ok) << e.path();
    EXPECT_TRUE(r.message.starts_with(riff ? "WebP file is damaged" : pixmorph_message(kInputNotSupported)))
        << e.path() << ": " << r.message;
  }
}

// RGBA pixels of a @p w x @p h picture, a solid block on transparency.
Bytes blockOnTransparency(uint32_t w, uint32_t h, uint32_t x0, uint32_t y0, uint32_t bw, uint32_t bh) {
  Bytes px(size_t(w) * h * 4, 0);
  for (uint32_t y = y0; y < y0 + bh; ++y)
    for (uint32_t x = x0; x < x0 + bw; ++x) {
      uint8_t* p = &px[(size_t(y) * w + x) * 4];
      p[0] = uint8_t(x * 20), p[1] = uint8_t(y * 20), p[2] = 200, p[3] = 255;
    }
  return px;
}

// A lossless animation: @p first, then a frame of solid red.
Bytes makeAnimation(uint32_t w, uint32_t h, const Bytes& first) {
  WebPAnimEncoderOptions options;
  EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(int(w), int(h), &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  Bytes red(size_t(w) * h * 4);
  for (size_t i = 0; i < red.size(); i += 4) red[i] = 255, red[i + 3] = 255;
  int timestamp = 0;
  for (const Bytes* frame : {&first, const_cast<const Bytes*>(&red)}) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = int(w), picture.height = int(h), picture.use_argb = 1;
    EXPECT_TRUE(WebPPictureImportRGBA(&picture, frame->data(), int(w * 4)));
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &picture, timestamp, &config));
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
  WebPData data;
  WebPDataInit(&data);
  EXPECT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  Bytes file(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  return file;
}

TEST(Webp, AnimationGivesItsFirstFrameOnTheCanvas) {
  TempDir tmp;
  const Bytes first = blockOnTransparency(24, 20, 6, 4, 10, 9);
  const Bytes file = makeAnimation(24, 20, first);
  // The encoder stores the first frame as the block alone, at its offset.
  WebPData data{file.data(), file.size()};
  WebPDemuxer* demux = WebPDemux(&data);
  ASSERT_NE(demux, nullptr);
  WebPIterator frame;
  ASSERT_TRUE(WebPDemuxGetFrame(demux, 1, &frame));
  EXPECT_GT(frame.x_offset, 0);
  EXPECT_LT(frame.width, 24);
  WebPDemuxReleaseIterator(&frame);
  WebPDemuxDelete(demux);

  writeFile(tmp.path("anim.webp"), file);
  const ImageInfo info = probe(tmp.path("anim.webp"));
  EXPECT_EQ(info.format, PixelFormat::Rgba);
  EXPECT_TRUE(info.losslessSource);
  const RgbaImage got = loadRgba(tmp.path("anim.webp"));
  ASSERT_EQ(got.width, 24u);
  ASSERT_EQ(got.height, 20u);
  EXPECT_EQ(std::memcmp(got.px.data(), first.data(), first.size()), 0);
}

TEST(Webp, HeadersClaimingTooMuchAreRefusedAtOnce) {
  TempDir tmp;
  // An extended header for a 20000 x 20000 animation, and nothing else.
  Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0,
                0x12, 0, 0, 0, 0x1F, 0x4E, 0, 0x1F, 0x4E, 0,
                'A', 'N', 'I', 'M', 6, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  file[4] = uint8_t(file.size() - 8);
  writeFile(tmp.path("big.webp"), file);
  const auto r = convertAlone(tmp.path("big.webp"));
  EXPECT_EQ(r.message, "Image is too large (more than 268435456 pixels)");
}

struct Written {
  ImageInfo info;
  RgbaImage pixels;
};

Written roundTrip(const TempDir& tmp, const ImageInfo& info, const Bytes& pixels, int quality) {
  writeImage(tmp.path("rt.webp"), info, pixels, quality);
  return {probe(tmp.path("rt.webp")), loadRgba(tmp.path("rt.webp"))};
}

RgbaImage asRgba(const ImageInfo& info, const Bytes& pixels) {
  RgbaImage out{info.width, info.height, std::vector<Rgba8>(size_t(info.width) * info.height)};
  const RowConverter toRgba(info, PixelFormat::Rgba);
  for (uint32_t y = 0; y < info.height; ++y)
    toRgba.convert(&pixels[info.rowBytes() * y], reinterpret_cast<uint8_t*>(&out.px[size_t(y) * info.width]));
  return out;
}

double meanColourDifference(const RgbaImage& a, const RgbaImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.px.size(); ++i)
    sum += std::abs(a.px[i].r - b.px[i].r) + std::abs(a.px[i].g - b.px[i].g) + std::abs(a.px[i].b - b.px[i].b);
  return sum / double(a.px.size() * 3);
}

// Smooth colour (what lossy coding is for) under alpha in bands: clear,
// translucent at every level, opaque.
Bytes smoothTranslucent(const ImageInfo& info) {
  Bytes px(info.rowBytes() * info.height);
  for (uint32_t y = 0; y < info.height; ++y)
    for (uint32_t x = 0; x < info.width; ++x) {
      uint8_t* p = &px[(size_t(y) * info.width + x) * 4];
      p[0] = uint8_t(x * 3), p[1] = uint8_t(y * 4), p[2] = uint8_t(255 - x - y);
      p[3] = y < 8 ? 0 : y < 40 ? uint8_t((x + y * info.width) % 256) : 255;
    }
  return px;
}

TEST(WebpWriter, LosslessSourceAtQuality100IsPixelExact) {
  TempDir tmp;
  for (PixelFormat f : {PixelFormat::Rgb, PixelFormat::Rgba}) {
    const ImageInfo info = makeInfo(f, 61, 37);
    const Bytes px = f == PixelFormat::Rgba ? smoothTranslucent(info) : makePattern(info);
    const Written w = roundTrip(tmp, info, px, 100);
    EXPECT_TRUE(w.info.losslessSource);
    EXPECT_EQ(w.info.format, f);
    EXPECT_EQ(maxDifference(w.pixels, asRgba(info, px)), 0);
  }
}

TEST(WebpWriter, LossyKeepsAlphaAndStaysClose) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgba, 64, 48);
  const Bytes px = smoothTranslucent(info);
  const RgbaImage source = asRgba(info, px);
  for (int quality : {80, 100}) {
    info.losslessSource = quality == 80;  // quality 100 of a lossy source stays lossy
    const Written w = roundTrip(tmp, info, px, quality);
    EXPECT_FALSE(w.info.losslessSource) << quality;
    ASSERT_EQ(w.info.format, PixelFormat::Rgba);
    for (size_t i = 0; i < source.px.size(); ++i) ASSERT_EQ(w.pixels.px[i].a, source.px[i].a) << i;
    // Colour under alpha 0 is the encoder's to change; elsewhere it is close.
    RgbaImage visible = w.pixels, expected = source;
    for (size_t i = 0; i < source.px.size(); ++i)
      if (source.px[i].a == 0) visible.px[i] = expected.px[i] = {};
    EXPECT_LT(meanColourDifference(visible, expected), quality == 80 ? 3.0 : 1.5) << quality;
  }
}

TEST(WebpWriter, IccAndExifTravel) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgb, 20, 10);
  info.icc.assign(300, 7);
  std::memcpy(&info.icc[16], "RGB ", 4);
  info.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  for (int quality : {100, 80}) {
    const Written w = roundTrip(tmp, info, makePattern(info), quality);
    EXPECT_EQ(w.info.icc, info.icc) << quality;
    EXPECT_EQ(w.info.exif, info.exif) << quality;
  }
  // And from a source file through the engine.
  const auto r = transcode(tmp.path("rt.webp"), tmp.path("copy.webp"), 90);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(probe(tmp.path("copy.webp")).exif, info.exif);
}

TEST(WebpWriter, EngineConvertsEveryLayoutAndKnowsLossySources) {
  TempDir tmp;
  // A palette picture with a transparent entry, and a grey one: both
  // reach the writer as colour and come back as they were.
  ImageInfo pal = makeInfo(PixelFormat::Indexed, 30, 20);
  pal.palette = {{255, 0, 0, 255}, {0, 0, 255, 128}, {0, 0, 0, 0}, {10, 200, 30, 255}};
  ImageInfo gray = makeInfo(PixelFormat::Gray, 30, 20);
  for (const ImageInfo& info : {pal, gray}) {
    writeImage(tmp.path("src.png"), info, makePattern(info));
    ASSERT_TRUE(transcode(tmp.path("src.png"), tmp.path("out.webp"), 100).ok);
    EXPECT_EQ(maxDifference(loadRgba(tmp.path("out.webp")), loadRgba(tmp.path("src.png"))), 0);
  }
  // A JPG source is written lossy even at quality 100.
  const std::string jpg = makeSource(tmp, "src.jpg");
  ASSERT_TRUE(transcode(jpg, tmp.path("fromjpg.webp"), 100).ok);
  EXPECT_FALSE(probe(tmp.path("fromjpg.webp")).losslessSource);
  const auto bad = transcode(jpg, tmp.path("q.webp"), 9);
  EXPECT_FALSE(bad.ok);
  EXPECT_FALSE(fs::exists(tmp.path("q.webp")));
}

TEST(WebpWriter, RefusesPicturesWiderThanWebpAllows) {
  TempDir tmp;
  AtomicOutputFile out(tmp.path("wide.webp"));
  EXPECT_THROW(createWebpWriter(out, makeInfo(PixelFormat::Rgb, 16384, 1), 80), WriteError);
}

}  // namespace
}  // namespace pmtest
