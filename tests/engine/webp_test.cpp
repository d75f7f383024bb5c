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
  // Folder and suffix of the files, then of their references.
  for (auto [folder, suffix, referenceFolder, referenceSuffix] : std::initializer_list<std::array<std::string, 4>>{
           {"image-webp/images/animated/", ".webp", "image-webp/reference/animated/", "-1.png"},
           {"image-webp/images/", ".webp", "image-webp/reference/", ".png"},
           {"image-rs/tests/images/", ".webp", "image-rs/tests/reference/", ".webp.png"},
           {"golang-image/testdata/", ".lossless.webp", "golang-image/testdata/", ".png"}})
    if (rel.size() > folder.size() + suffix.size() && rel.starts_with(folder) && rel.ends_with(suffix))
      return referenceFolder + rel.substr(folder.size(), rel.size() - folder.size() - suffix.size()) + referenceSuffix;
  return {};
}

TEST(WebpCorpus, DecodesMatchTheReferencesAndTellLossyFromLossless) {
  PM_REQUIRE_CORPUS();
  int compared = 0;
  for (const std::string& file : corpusFiles("webp", ".webp")) {
    const std::string rel = file.substr(webpCorpus("").size());
    if (rel.starts_with("generated/") || rel.starts_with("image-rs/fuzz-afl/")) continue;
    // The corpus names say which is which; the animations' notes too.
    const bool lossy = rel.find("lossy") != std::string::npos || rel.find("_webp_a") != std::string::npos ||
                       (rel.starts_with("pillow/") && rel != "pillow/iss634.webp");
    const bool lossless = rel.find("lossless") != std::string::npos || rel.find("_ll") != std::string::npos;
    if (lossless || lossy) { EXPECT_EQ(probe(file).losslessSource, lossless) << rel; }
    const std::string reference = referenceFor(rel);
    if (reference.empty() || !fs::exists(webpCorpus(reference))) continue;
    // image-rs's own first frame of its animation is within 1 of libwebp's.
    EXPECT_LE(maxDifference(loadRgba(file), loadRgba(webpCorpus(reference))), rel.ends_with("extended_images/anim.webp"))
        << rel;
    ++compared;
  }
  EXPECT_GE(compared, 30);
}

TEST(WebpCorpus, MetadataAndLayouts) {
  PM_REQUIRE_CORPUS();
  // An EXIF chunk with the "Exif\0\0" header and one without read alike.
  for (const char* rel : {"pillow/hopper_orientation_6.webp", "image-webp/images/regression/tiny.webp"}) {
    const Bytes exif = probe(webpCorpus(rel)).exif;
    const std::string head(exif.begin(), exif.begin() + std::min<size_t>(exif.size(), 4));
    EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4)) << rel;
  }
  EXPECT_EQ(exifOrientation(probe(webpCorpus("pillow/hopper_orientation_6.webp")).exif), 6);
  const Bytes icc = probe(webpCorpus("image-webp/images/regression/tiny.webp")).icc;
  EXPECT_TRUE(icc.size() >= 40 && std::memcmp(&icc[36], "acsp", 4) == 0);
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

TEST(Webp, AnimationGivesItsFirstFrameOnTheCanvas) {
  // A lossless animation: a block on transparency, then a frame of solid red.
  const int w = 24, h = 20;
  std::vector<Rgba8> first(w * h, Rgba8{0, 0, 0, 0}), red(w * h, Rgba8{255, 0, 0, 255});
  for (int y = 4; y < 13; ++y)
    for (int x = 6; x < 16; ++x) first[size_t(y * w + x)] = {uint8_t(x * 20), uint8_t(y * 20), 200, 255};
  WebPAnimEncoderOptions options;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(w, h, &options);
  WebPConfig config;
  ASSERT_TRUE(WebPConfigInit(&config));
  config.lossless = 1;
  for (int i = 0; i < 2; ++i) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = w, picture.height = h, picture.use_argb = 1;
    EXPECT_TRUE(WebPPictureImportRGBA(&picture, reinterpret_cast<const uint8_t*>((i ? red : first).data()), w * 4));
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &picture, i * 100, &config));
    WebPPictureFree(&picture);
  }
  WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr);
  WebPData data;
  WebPDataInit(&data);
  EXPECT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  TempDir tmp;
  writeFile(tmp.path("anim.webp"), Bytes(data.bytes, data.bytes + data.size));
  // The encoder stores the first frame as the block alone, at its offset.
  WebPDemuxer* demux = WebPDemux(&data);
  WebPIterator frame;
  EXPECT_TRUE(WebPDemuxGetFrame(demux, 1, &frame) && frame.x_offset > 0);
  WebPDemuxReleaseIterator(&frame);
  WebPDemuxDelete(demux);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);

  const ImageInfo info = probe(tmp.path("anim.webp"));
  EXPECT_EQ(info.format, PixelFormat::Rgba);
  EXPECT_TRUE(info.losslessSource);
  const RgbaImage got = loadRgba(tmp.path("anim.webp"));
  ASSERT_EQ(std::pair(got.width, got.height), std::pair(24u, 20u));
  EXPECT_TRUE(got.px == first);
}

TEST(Webp, HeadersClaimingTooMuchAreRefusedAtOnce) {
  TempDir tmp;
  // An extended header for a 20000 x 20000 animation, and nothing else.
  Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0, 0x12, 0, 0, 0,
                0x1F, 0x4E, 0, 0x1F, 0x4E, 0, 'A', 'N', 'I', 'M', 6, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  file[4] = uint8_t(file.size() - 8);
  writeFile(tmp.path("big.webp"), file);
  EXPECT_EQ(convertAlone(tmp.path("big.webp")).message, "Image is too large (more than 268435456 pixels)");
}

// Smooth colour (what lossy coding is for) under alpha in bands: clear,
// translucent at every level, opaque.
Bytes smoothTranslucent(const ImageInfo& info) {
  Bytes px(info.rowBytes() * info.height);
  auto* p = reinterpret_cast<Rgba8*>(px.data());
  for (size_t i = 0; i < px.size() / 4; ++i) {
    const size_t x = i % info.width, y = i / info.width;
    p[i] = {uint8_t(x * 3), uint8_t(y * 4), uint8_t(255 - x - y), uint8_t(y < 8 ? 0 : y < 40 ? i % 256 : 255)};
  }
  return px;
}

TEST(WebpWriter, LosslessOnlyFromALosslessSourceAt100AndEveryWayKeepsAlphaIccAndExif) {
  TempDir tmp;
  Bytes icc(300, 7);
  std::memcpy(&icc[16], "RGB ", 4);
  const Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  using enum PixelFormat;
  for (auto [format, quality, losslessSource] :
       {std::tuple{Rgb, 100, true}, {Rgba, 100, true}, {Rgba, 80, true}, {Rgba, 100, false}}) {
    SCOPED_TRACE(::testing::Message() << int(format) << " quality " << quality << " lossless " << losslessSource);
    ImageInfo info = makeInfo(format, 61, 48);
    info.losslessSource = losslessSource, info.icc = icc, info.exif = exif;
    const Bytes px = format == Rgba ? smoothTranslucent(info) : makePattern(info);
    writeImage(tmp.path("rt.webp"), info, px, quality);
    writeImage(tmp.path("rt.png"), info, px);  // to compare with
    const ImageInfo got = probe(tmp.path("rt.webp"));
    const bool exact = losslessSource && quality == 100;
    EXPECT_EQ(got.losslessSource, exact);
    EXPECT_EQ(got.format, format);
    EXPECT_EQ(got.icc, icc);
    EXPECT_EQ(got.exif, exif);
    // Alpha stays exact; colour under alpha 0 is the encoder's to change,
    // elsewhere it is close, or the same when lossless.
    const RgbaImage written = loadRgba(tmp.path("rt.webp")), source = loadRgba(tmp.path("rt.png"));
    double sum = 0;
    for (size_t i = 0; i < source.px.size(); ++i) {
      const Rgba8 &a = written.px[i], &b = source.px[i];
      ASSERT_EQ(a.a, b.a) << i;
      if (b.a) sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }
    EXPECT_LE(sum / double(source.px.size() * 3), exact ? 0.0 : quality == 80 ? 3.0 : 1.5);
  }
  // And from a source file through the engine.
  ASSERT_TRUE(transcode(tmp.path("rt.webp"), tmp.path("copy.webp"), 90).ok);
  EXPECT_EQ(probe(tmp.path("copy.webp")).exif, exif);
}

TEST(WebpWriter, EngineConvertsEveryLayoutAndRefusesWhatWebpCannotHold) {
  TempDir tmp;
  // A palette picture with a transparent entry, and a grey one: both
  // reach the writer as colour and come back as they were.
  ImageInfo pal = makeInfo(PixelFormat::Indexed, 30, 20);
  pal.palette = {{255, 0, 0, 255}, {0, 0, 255, 128}, {0, 0, 0, 0}, {10, 200, 30, 255}};
  for (const ImageInfo& info : {pal, makeInfo(PixelFormat::Gray, 30, 20)}) {
    writeImage(tmp.path("src.png"), info, makePattern(info));
    ASSERT_TRUE(transcode(tmp.path("src.png"), tmp.path("out.webp"), 100).ok);
    EXPECT_EQ(maxDifference(loadRgba(tmp.path("out.webp")), loadRgba(tmp.path("src.png"))), 0);
  }
  // A JPG source is written lossy even at quality 100.
  const std::string jpg = makeSource(tmp, "src.jpg");
  ASSERT_TRUE(transcode(jpg, tmp.path("fromjpg.webp"), 100).ok);
  EXPECT_FALSE(probe(tmp.path("fromjpg.webp")).losslessSource);
  EXPECT_FALSE(transcode(jpg, tmp.path("q.webp"), 9).ok);
  EXPECT_FALSE(fs::exists(tmp.path("q.webp")));
  AtomicOutputFile out(tmp.path("wide.webp"));
  EXPECT_THROW(createWebpWriter(out, makeInfo(PixelFormat::Rgb, 16384, 1), WriteOptions{}), WriteError);
}

}  // namespace
}  // namespace pmtest
