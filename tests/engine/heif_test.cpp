// HEIF through the helper process: answers known from files made here with
// libheif's encoder (orientation, alpha, 10 bits, colour, EXIF), the corpus,
// and the helper's bad ends (a crash, a reader dropped early, many at once).
#include <libheif/heif.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "ColourProfile.h"
#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

using Pixel = std::array<uint16_t, 4>;  // R, G, B, A at the file's bit depth

// A picture to encode, losslessly unless said otherwise.
struct PictureToEncode {
  std::function<Pixel(uint32_t x, uint32_t y)> pixel{};
  uint32_t width = 6, height = 4;
  int bits = 8;
  bool alpha = false, premultiplied = false, lossless = true;
  heif_orientation orientation = heif_orientation_normal;
  Bytes exif{}, icc{};  // initialised, so designated initialisers may leave them out
  int primaries = -1, transfer = -1;  // an nclx box when set
};

template <class T, class F>
std::unique_ptr<T, F> own(T* p, F free) {
  return std::unique_ptr<T, F>(p, free);
}

void ok(heif_error e) { ASSERT_EQ(e.code, heif_error_Ok) << e.message; }

// Writes @p s as @p name in @p tmp and returns its path.
std::string makeHeif(const TempDir& tmp, const std::string& name, const PictureToEncode& s) {
  auto ctx = own(heif_context_alloc(), heif_context_free);
  heif_encoder* rawEncoder = nullptr;
  ok(heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder));
  auto encoder = own(rawEncoder, heif_encoder_release);
  ok(heif_encoder_set_parameter(encoder.get(), "preset", "ultrafast"));
  if (s.lossless) ok(heif_encoder_set_lossless(encoder.get(), 1)), ok(heif_encoder_set_parameter(encoder.get(), "chroma", "444"));
  else ok(heif_encoder_set_lossy_quality(encoder.get(), 80));
  const bool wide = s.bits > 8;
  const int channels = s.alpha ? 4 : 3;
  const heif_chroma chroma = wide ? (s.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (s.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* rawImage = nullptr;
  ok(heif_image_create(int(s.width), int(s.height), heif_colorspace_RGB, chroma, &rawImage));
  auto image = own(rawImage, heif_image_release);
  ok(heif_image_add_plane(rawImage, heif_channel_interleaved, int(s.width), int(s.height), s.bits));
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(rawImage, heif_channel_interleaved, &stride);
  for (uint32_t y = 0; y < s.height; ++y)
    for (uint32_t x = 0; x < s.width; ++x)
      for (int c = 0; c < channels; ++c) {
        const uint16_t v = s.pixel(x, y)[size_t(c)];
        uint8_t* at = plane + size_t(stride) * y + (size_t(x) * channels + c) * (wide ? 2 : 1);
        at[0] = uint8_t(v);
        if (wide) at[1] = uint8_t(v >> 8);
      }
  heif_image_set_premultiplied_alpha(rawImage, s.premultiplied);
  if (!s.icc.empty()) ok(heif_image_set_raw_color_profile(rawImage, "prof", s.icc.data(), s.icc.size()));
  auto nclx = own(heif_nclx_color_profile_alloc(), heif_nclx_color_profile_free);
  // Lossless pictures stay in RGB (matrix 0) rather than YCbCr.
  if (s.lossless) nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
  if (s.primaries >= 0) {
    ok(heif_nclx_color_profile_set_color_primaries(nclx.get(), uint16_t(s.primaries)));
    ok(heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), uint16_t(s.transfer)));
  }
  nclx->full_range_flag = 1;
  ok(heif_image_set_nclx_color_profile(rawImage, nclx.get()));
  auto options = own(heif_encoding_options_alloc(), heif_encoding_options_free);
  options->output_nclx_profile = nclx.get();
  options->save_two_colr_boxes_when_ICC_and_nclx_available = 1;
  options->macOS_compatibility_workaround_no_nclx_profile = 0;
  options->image_orientation = s.orientation;
  heif_image_handle* handle = nullptr;
  ok(heif_context_encode_image(ctx.get(), rawImage, encoder.get(), options.get(), &handle));
  if (!s.exif.empty()) ok(heif_context_add_exif_metadata(ctx.get(), handle, s.exif.data(), int(s.exif.size())));
  heif_image_handle_release(handle);
  const std::string path = tmp.path(name);
  ok(heif_context_write_to_file(ctx.get(), path.c_str()));
  return path;
}

struct Decoded { ImageInfo info; Bytes rows; };

Decoded decode(InputFile& in) {
  auto reader = openReader(in, "in.heic");
  Decoded d{reader->info(), Bytes(reader->info().rowBytes() * reader->info().height)};
  reader->readRows(d.rows.data(), d.info.height);
  return d;
}

Decoded decode(const std::string& path) { InputFile in(path); return decode(in); }

// What @p read throws, or "(read)".
std::string failureOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const ReadError& e) {
    return e.what();
  }
  return "(read)";
}

// A little-endian TIFF structure with Orientation and Make ("Pix") in IFD0.
Bytes exifWithOrientation(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0,
          0x0F, 0x01, 2, 0, 4, 0, 0, 0, 'P', 'i', 'x', 0, 0, 0, 0, 0};
}

// Where stored pixel (x, y) of a w x h picture shows under EXIF orientation
// o: mirrored across its diagonal from 5 on, then flipped.
std::pair<uint32_t, uint32_t> shownAt(int o, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  if (o >= 5) std::swap(x, y), std::swap(w, h);
  const bool flipX = o == 2 || o == 3 || o == 6 || o == 7, flipY = o == 3 || o == 4 || o == 7 || o == 8;
  return {flipX ? w - 1 - x : x, flipY ? h - 1 - y : y};
}

// Every pixel distinct, so any wrong turn shows.
Pixel distinct(uint32_t x, uint32_t y) { return {uint16_t(x * 40), uint16_t(y * 60), 200, 255}; }

TEST(Heif, EachOrientationIsAppliedOnceAndTheExifSaysUpright) {
  TempDir tmp;
  for (int o = 1; o <= 8; ++o) {
    // A phone states it twice: irot/imir and EXIF.
    const PictureToEncode s{.pixel = distinct, .orientation = heif_orientation(o), .exif = exifWithOrientation(o)};
    const Decoded d = decode(makeHeif(tmp, "o" + std::to_string(o) + ".heic", s));
    ASSERT_EQ(d.info.width, o >= 5 ? s.height : s.width) << o;
    ASSERT_EQ(d.info.format, PixelFormat::Rgb) << o;
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.width; ++x) {
        const auto [sx, sy] = shownAt(o, x, y, s.width, s.height);
        const uint8_t* px = &d.rows[(size_t(sy) * d.info.width + sx) * 3];
        EXPECT_EQ(std::pair(px[0], px[1]), std::pair(uint8_t(x * 40), uint8_t(y * 60))) << o << " at " << x << "," << y;
      }
    EXPECT_EQ(d.info.exif, exifWithOrientation(1)) << "the rest of the EXIF travels as it was";
    EXPECT_FALSE(d.info.losslessSource);
  }
  // Through a JPG, whose reader would turn by EXIF again, it stays turned once.
  ASSERT_TRUE(transcode(tmp.path("o6.heic"), tmp.path("o6.jpg")).ok);
  EXPECT_EQ(probe(tmp.path("o6.jpg")).width, 4u);
}

TEST(Heif, AlphaStraightOrPremultipliedComesOutStraight) {
  TempDir tmp;
  const uint16_t alphas[] = {255, 128, 64, 0};
  const auto straight = [&](uint32_t x, uint32_t y) { return Pixel{uint16_t(40 + x * 30), uint16_t(200 - y * 20), 90, alphas[x % 4]}; };
  for (bool premultiplied : {false, true}) {
    const auto stored = [&](uint32_t x, uint32_t y) {
      Pixel p = straight(x, y);
      for (size_t c = 0; c < 3 && premultiplied; ++c) p[c] = uint16_t((p[c] * p[3] + 127) / 255);
      return p;
    };
    const PictureToEncode s{.pixel = stored, .alpha = true, .premultiplied = premultiplied};
    const Decoded d = decode(makeHeif(tmp, premultiplied ? "pre.heic" : "straight.heic", s));
    ASSERT_EQ(d.info.format, PixelFormat::Rgba);
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.width; ++x) {
        const uint8_t* px = &d.rows[(size_t(y) * s.width + x) * 4];
        const Pixel want = straight(x, y);
        ASSERT_EQ(px[3], want[3]) << premultiplied;
        // Undoing the premultiplication cannot restore what the rounding
        // took at low alpha; where alpha is 0 there is no colour to restore.
        for (size_t c = 0; c < 3 && want[3] != 0; ++c)
          EXPECT_NEAR(px[c], want[c], premultiplied ? 2 : 0) << premultiplied << " at " << x << "," << y;
      }
  }
}

TEST(Heif, TenBitSamplesAreRoundedToEight) {
  TempDir tmp;
  const auto colour = [](uint32_t x, uint32_t y) {
    const uint16_t v = uint16_t(x + 64 * y);  // 0..1023
    return Pixel{v, uint16_t(1023 - v), uint16_t(v * 7 % 1024), 1023};
  };
  PictureToEncode s{.pixel = colour, .width = 64, .height = 16, .bits = 10};
  const Decoded d = decode(makeHeif(tmp, "ten.heic", s));
  ASSERT_EQ(d.info.format, PixelFormat::Rgb);
  const auto round8 = [](uint32_t v) { return (v * 255 + 511) / 1023; };  // 3 -> 1 where a shift gives 0
  for (uint32_t i = 0; i < 1024 * 3; ++i) ASSERT_EQ(d.rows[i], round8(s.pixel(i / 3 % 64, i / 192)[i % 3])) << "sample " << i;
  // A grey picture at 10 bits comes out as one channel, rounded the same way.
  s.pixel = [](uint32_t x, uint32_t y) { return Pixel{uint16_t(x + 64 * y), uint16_t(x + 64 * y), uint16_t(x + 64 * y), 1023}; };
  const Decoded grey = decode(makeHeif(tmp, "grey.heic", s));
  ASSERT_EQ(grey.info.format, PixelFormat::Gray);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(grey.rows[i], round8(i)) << i;
}

TEST(Heif, ColourFromTheIccProfileElseFromTheCodePoints) {
  TempDir tmp;
  PictureToEncode s{.pixel = distinct, .primaries = 9, .transfer = 1};  // BT.2020 primaries
  EXPECT_EQ(decode(makeHeif(tmp, "nclx.heic", s)).info.icc, iccFromCicp(9, 1));
  s.icc = Bytes(200, 7);
  EXPECT_EQ(decode(makeHeif(tmp, "both.heic", s)).info.icc, s.icc);
  s.icc.clear(), s.primaries = 1, s.transfer = 13;  // sRGB needs no profile
  EXPECT_TRUE(decode(makeHeif(tmp, "srgb.heic", s)).info.icc.empty());
}

TEST(Heif, SizeBeyondTheLimitIsRefusedBeforeDecoding) {
  TempDir tmp;
  Bytes file = readFile(makeHeif(tmp, "small.heic", {.pixel = distinct}));
  // Every ispe (the coded picture's and its wrapper's): "ispe", version
  // and flags, width, height.
  const char* ispe = "ispe";
  int boxes = 0;
  for (auto at = file.begin(); (at = std::search(at, file.end(), ispe, ispe + 4)) != file.end(); ++at, ++boxes)
    for (int i = 0; i < 8; ++i) at[8 + i] = i % 4 == 2 ? 0x50 : 0;  // 20480 x 20480
  ASSERT_GT(boxes, 0);
  writeFile(tmp.path("huge.heic"), file);
  const TranscodeResult r = convertAlone(tmp.path("huge.heic"));
  EXPECT_TRUE(r.message.starts_with("Image is too large (")) << r.message;
}

// HEIF's brands and AVIF's share the ftyp box; each goes to its own reader.
TEST(Heif, SniffedByBrandApartFromAvif) {
  const auto head = [](const char* major, std::initializer_list<const char*> compatible) {
    Bytes h = {0, 0, 0, uint8_t(16 + 4 * compatible.size()), 'f', 't', 'y', 'p'};
    h.insert(h.end(), major, major + 4);
    h.insert(h.end(), 4, 0);
    for (const char* b : compatible) h.insert(h.end(), b, b + 4);
    return h;
  };
  using F = FileFormat;
  for (auto [h, format] : {std::pair{head("heic", {"mif1", "heic"}), F::Heif}, {head("heix", {}), F::Heif},
                           {head("mif1", {"mif1", "heic"}), F::Heif}, {head("msf1", {"hevc"}), F::Heif},
                           {head("heic", {"mif1", "heix"}), F::Heif}, {head("mif1", {"mif1", "miaf", "avif"}), F::Avif},
                           {head("avif", {"mif1", "miaf"}), F::Avif}, {head("mif1", {"mif1", "avis"}), F::Avif},
                           {head("avis", {"msf1"}), F::Avif}, {head("isom", {"heic"}), F::Unknown}})
    EXPECT_EQ(sniffFormat(h.data(), h.size()), format) << std::string(h.begin() + 8, h.end());
}

// The HEIF corpus: what must be refused is, with its reason; what libheif
// 1.15 may not support is either; everything else decodes.
TEST(HeifCorpus, EachFileDecodesOrIsRefusedAsExpected) {
  PM_REQUIRE_CORPUS();
  const std::string f = "libheif/fuzzing/data/corpus/", c = "mpeg-conformance/";
  const std::vector<std::string> refused = {"generated/", "pillow-heif/heif_corrupted/", "pillow-heif/heif_truncated/",
                                            f + "clusterfuzz-testcase-", f + "crash-", f + "github_",
                                            f + "clap-overflow-divide-zero.heic", f + "region-mask-missing-refs.heic",
                                            f + "hbo_heif_context.h_126_1.heic"};
  const std::vector<std::string> either = {f + "avc32", f + "jpeg32", f + "j2k32", f + "vvc32", f + "unci32",
                                           f + "hevc32-mini", f + "avif32", "libheif/tests/data/uncompressed_",
                                           c + "C041.heic", c + "multilayer001.heic", c + "C008.heic", c + "C014.heic"};
  const auto startsWithAny = [](const std::string& name, const std::vector<std::string>& starts) {
    return std::any_of(starts.begin(), starts.end(), [&](const std::string& start) { return name.starts_with(start); });
  };
  const std::set<std::string> reasons = {"HEIC file is truncated", "HEIC file is damaged", "Not a valid HEIC file",
                                         "Input file is empty", "Invalid HEIC image size (zero width or height)"};
  // libheif's own words follow ours after a colon.
  const auto reason = [&](const std::string& m) { return reasons.count(m) || (m.starts_with("HEIC file is damaged: ") && m.size() > 22); };
  size_t files = 0;
  for (const char* ext : {".heic", ".heif", ".hif"})
    for (const std::string& file : corpusFiles("heif", ext)) {
      ++files;
      const std::string name = file.substr(corpusDir().size() + 6), failure = failureOf([&] { decode(file); });
      EXPECT_EQ(failure.find("crashed"), std::string::npos) << name;
      if (startsWithAny(name, either)) continue;
      EXPECT_TRUE(startsWithAny(name, refused) ? reason(failure) : failure == "(read)") << name << ": " << failure;
    }
  EXPECT_EQ(files, 73u);
}

TEST(HeifCorpus, KnownPictures) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/heif/";
  // The phone photo: a grid of tiles turned by irot.
  const ImageInfo arrow = probe(dir + "pillow-heif/heif_other/arrow.heic");
  EXPECT_EQ(std::pair(arrow.width, arrow.height), std::pair(3024u, 4032u));
  EXPECT_EQ(exifOrientation(arrow.exif), 1);
  EXPECT_FALSE(arrow.icc.empty());
  EXPECT_EQ(probe(dir + "pillow-heif/heif/L_12__29x100.heif").format, PixelFormat::Gray);
  EXPECT_EQ(probe(dir + "pillow-heif/heif/LA_8__128x128.heif").format, PixelFormat::GrayAlpha);
  EXPECT_EQ(probe(dir + "pillow-heif/heif/RGBA_10__29x100.heif").format, PixelFormat::Rgba);

  // C007's primary image is a 2 x 2 grid of 1280 x 720 pictures, which
  // libheif composes; the corpus test decodes it.
  const ImageInfo grid = probe(dir + "mpeg-conformance/C007.heic");
  EXPECT_EQ(std::pair(grid.width, grid.height), std::pair(2560u, 1440u));
}

// Child processes of this one: their stat reads "pid (name) state ppid ...".
std::vector<pid_t> children() {
  std::vector<pid_t> out;
  for (auto& e : fs::directory_iterator("/proc")) {
    std::string stat;
    std::getline(std::ifstream(e.path() / "stat"), stat);
    const size_t name = stat.rfind(") ");
    if (name != std::string::npos && std::atoi(stat.c_str() + name + 4) == getpid()) out.push_back(std::atoi(stat.c_str()));
  }
  return out;
}

TEST(HeifHelper, ACrashOrAReaderDroppedEarlyLeavesNoProcessNorDescriptor) {
  TempDir tmp;
  // Rows of more than the pipe holds, so the helper is still writing when
  // the reader has its header.
  const auto pattern = [](uint32_t x, uint32_t y) { return Pixel{uint16_t(x / 4), uint16_t(y / 3), uint16_t((x ^ y) & 255), 255}; };
  const std::string large = makeHeif(tmp, "large.heic", {.pixel = pattern, .width = 1024, .height = 768, .lossless = false});
  const size_t descriptors = entries("/proc/self/fd");
  for (int i = 0; i < 4; ++i) {
    InputFile in(large);
    auto reader = openReader(in, large);
    Bytes rows(reader->info().rowBytes() * reader->info().height);
    if (i == 0) {  // the first helper crashes mid-read; the others are dropped after a row
      const std::vector<pid_t> helpers = children();
      ASSERT_EQ(helpers.size(), 1u);
      ASSERT_EQ(kill(helpers[0], SIGSEGV), 0);
    }
    const std::string failure = failureOf([&] { reader->readRows(rows.data(), i == 0 ? reader->info().height : 1); });
    EXPECT_EQ(failure, i == 0 ? "The HEIC decoder failed on this file (it crashed)" : "(read)");
  }
  EXPECT_TRUE(children().empty());
  EXPECT_EQ(entries("/proc/self/fd"), descriptors);

  // A file on which libheif itself crashes: C019 with its overlay, which
  // libheif 1.15 cannot compose, made the primary item.
  PM_REQUIRE_CORPUS();
  Bytes c019 = readFile(corpusDir() + "/heif/mpeg-conformance/C019.heic");
  const auto pitm = std::search(c019.begin(), c019.end(), std::begin("pitm"), std::end("pitm") - 1);
  ASSERT_NE(pitm, c019.end());
  ASSERT_EQ(pitm[8] << 8 | pitm[9], 1002);
  pitm[8] = 1006 >> 8, pitm[9] = 1006 & 255;
  writeFile(tmp.path("overlay.heic"), c019);
  EXPECT_EQ(convertAlone(tmp.path("overlay.heic")).message, "The HEIC decoder failed on this file (it crashed)");
}

TEST(HeifHelper, ReadsFromMemoryAndFromSeveralThreadsAtOnce) {
  TempDir tmp;
  std::vector<std::string> files;
  std::vector<Bytes> expected;
  for (int i = 0; i < 4; ++i) {
    const auto colour = [i](uint32_t x, uint32_t y) { return Pixel{uint16_t(x * 5 + i), uint16_t(y * 9), uint16_t(i * 50), 200}; };
    files.push_back(makeHeif(tmp, "t" + std::to_string(i) + ".heic", {.pixel = colour, .width = 40 + 8 * uint32_t(i), .height = 24, .alpha = i % 2 == 1}));
    expected.push_back(decode(files.back()).rows);
  }
  const Bytes bytes = readFile(files[0]);
  InputFile inMemory(bytes.data(), bytes.size());
  EXPECT_EQ(decode(inMemory).rows, expected[0]);

  std::vector<std::thread> threads;
  std::atomic<int> mismatches = 0;
  for (size_t t = 0; t < 8; ++t)
    threads.emplace_back([&, t] { for (int round = 0; round < 3; ++round) mismatches += decode(files[t % 4]).rows != expected[t % 4]; });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(children().empty());
}

}  // namespace
}  // namespace pmtest
