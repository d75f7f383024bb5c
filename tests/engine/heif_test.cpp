// HEIF through the helper process: answers known from files made here with
// libheif's encoder (orientation, alpha, 10 bits, colour, EXIF), the corpus,
// and the helper's bad ends (a crash, a reader dropped early, many at once).
#include <algorithm>
#include <libheif/heif.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <thread>

#include "ColourProfile.h"
#include "Exif.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

using Pixel = std::array<uint16_t, 4>;  // R, G, B, A at the file's bit depth

// A picture to encode, losslessly unless said otherwise.
struct PictureToEncode {
  uint32_t width = 6, height = 4;
  int bits = 8;
  bool alpha = false, premultiplied = false, lossless = true;
  heif_orientation orientation = heif_orientation_normal;
  Bytes exif, icc;
  int primaries = -1, transfer = -1;  // an nclx box when set
  std::function<Pixel(uint32_t x, uint32_t y)> pixel;
};

template <class T, class F>
std::unique_ptr<T, F> own(T* p, F free) {
  return std::unique_ptr<T, F>(p, free);
}

void ok(heif_error e) { ASSERT_EQ(e.code, heif_error_Ok) << e.message; }

void encodeHeif(const std::string& path, const PictureToEncode& s) {
  auto ctx = own(heif_context_alloc(), heif_context_free);
  heif_encoder* rawEncoder = nullptr;
  ok(heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder));
  auto encoder = own(rawEncoder, heif_encoder_release);
  ok(heif_encoder_set_parameter(encoder.get(), "preset", "ultrafast"));
  if (s.lossless) {
    ok(heif_encoder_set_lossless(encoder.get(), 1));
    ok(heif_encoder_set_parameter(encoder.get(), "chroma", "444"));
  } else {
    ok(heif_encoder_set_lossy_quality(encoder.get(), 80));
  }
  const bool wide = s.bits > 8;
  const heif_chroma chroma = wide ? (s.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (s.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* rawImage = nullptr;
  ok(heif_image_create(int(s.width), int(s.height), heif_colorspace_RGB, chroma, &rawImage));
  auto image = own(rawImage, heif_image_release);
  ok(heif_image_add_plane(rawImage, heif_channel_interleaved, int(s.width), int(s.height), s.bits));
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(rawImage, heif_channel_interleaved, &stride);
  const int channels = s.alpha ? 4 : 3;
  for (uint32_t y = 0; y < s.height; ++y)
    for (uint32_t x = 0; x < s.width; ++x) {
      const Pixel p = s.pixel(x, y);
      for (int c = 0; c < channels; ++c) {
        uint8_t* at = plane + size_t(stride) * y + (size_t(x) * channels + c) * (wide ? 2 : 1);
        if (wide) at[0] = uint8_t(p[c]), at[1] = uint8_t(p[c] >> 8);
        else *at = uint8_t(p[c]);
      }
    }
  if (s.premultiplied) heif_image_set_premultiplied_alpha(rawImage, 1);
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
  ok(heif_context_write_to_file(ctx.get(), path.c_str()));
}

std::string makeHeif(const TempDir& tmp, const std::string& name, const PictureToEncode& s) {
  const std::string path = tmp.path(name);
  encodeHeif(path, s);
  return path;
}

struct Decoded {
  ImageInfo info;
  Bytes rows;
};

Decoded decode(InputFile& in) {
  auto reader = openReader(in, "in.heic");
  Decoded d{reader->info(), Bytes(reader->info().rowBytes() * reader->info().height)};
  reader->readRows(d.rows.data(), d.info.height);
  return d;
}

Decoded decode(const std::string& path) {
  InputFile in(path);
  return decode(in);
}

std::string readFailure(const std::string& path) {
  try {
    decode(path);
  } catch (const ReadError& e) {
    return e.what();
  }
  return "(read)";
}

// A little-endian TIFF structure with Orientation and Make in IFD0.
Bytes exifWithOrientation(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0,  // header, IFD0 at 8
          2, 0,                          // two entries
          0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0,  // Orientation, SHORT
          0x0F, 0x01, 2, 0, 4, 0, 0, 0, 'P', 'i', 'x', 0,              // Make, ASCII "Pix"
          0, 0, 0, 0};
}

// Where stored pixel (x, y) of a w x h picture shows under EXIF orientation o.
std::pair<uint32_t, uint32_t> shownAt(int o, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  switch (o) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {h - 1 - y, x};
    case 7: return {h - 1 - y, w - 1 - x};
    case 8: return {y, w - 1 - x};
    default: return {x, y};
  }
}

// Every pixel distinct, so any wrong turn shows.
Pixel distinct(uint32_t x, uint32_t y) { return {uint16_t(x * 40), uint16_t(y * 60), 200, 255}; }

TEST(Heif, EachOrientationIsAppliedOnceAndTheExifSaysUpright) {
  TempDir tmp;
  for (int o = 1; o <= 8; ++o) {
    PictureToEncode s;
    s.orientation = heif_orientation(o);
    s.exif = exifWithOrientation(o);  // a phone states it twice: irot/imir and EXIF
    s.pixel = distinct;
    const Decoded d = decode(makeHeif(tmp, "o" + std::to_string(o) + ".heic", s));
    const bool turned = o >= 5;
    ASSERT_EQ(d.info.width, turned ? s.height : s.width) << o;
    ASSERT_EQ(d.info.format, PixelFormat::Rgb) << o;
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.width; ++x) {
        const auto [sx, sy] = shownAt(o, x, y, s.width, s.height);
        const uint8_t* px = &d.rows[(size_t(sy) * d.info.width + sx) * 3];
        EXPECT_EQ(px[0], x * 40) << "orientation " << o << " at " << x << "," << y;
        EXPECT_EQ(px[1], y * 60) << "orientation " << o << " at " << x << "," << y;
      }
    EXPECT_EQ(exifOrientation(d.info.exif), 1) << o;
    Bytes upright = exifWithOrientation(1);
    EXPECT_EQ(d.info.exif, upright) << "the rest of the EXIF travels as it was";
    EXPECT_FALSE(d.info.losslessSource);
  }
  // Through a JPG, whose reader would turn by EXIF again, it stays turned once.
  ASSERT_TRUE(transcode(tmp.path("o6.heic"), tmp.path("o6.jpg")).ok);
  EXPECT_EQ(probe(tmp.path("o6.jpg")).width, 4u);
}

TEST(Heif, AlphaStraightOrPremultipliedComesOutStraight) {
  TempDir tmp;
  const uint16_t alphas[] = {255, 128, 64, 0};
  const auto straight = [](uint32_t x, uint32_t y) { return Pixel{uint16_t(40 + x * 30), uint16_t(200 - y * 20), 90, 0}; };
  for (bool premultiplied : {false, true}) {
    PictureToEncode s;
    s.alpha = true, s.premultiplied = premultiplied;
    s.pixel = [&](uint32_t x, uint32_t y) {
      Pixel p = straight(x, y);
      p[3] = alphas[x % 4];
      if (premultiplied)
        for (int c = 0; c < 3; ++c) p[c] = uint16_t((p[c] * p[3] + 127) / 255);
      return p;
    };
    const Decoded d = decode(makeHeif(tmp, premultiplied ? "pre.heic" : "straight.heic", s));
    ASSERT_EQ(d.info.format, PixelFormat::Rgba);
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.width; ++x) {
        const uint8_t* px = &d.rows[(size_t(y) * s.width + x) * 4];
        const uint16_t a = alphas[x % 4];
        ASSERT_EQ(px[3], a) << premultiplied;
        // Undoing the premultiplication cannot restore what the rounding
        // took at low alpha; where alpha is 0 there is no colour to restore.
        const int tolerance = premultiplied ? 2 : 0;
        for (int c = 0; c < 3 && a != 0; ++c)
          EXPECT_NEAR(px[c], straight(x, y)[size_t(c)], tolerance) << premultiplied << " at " << x << "," << y;
      }
  }
}

TEST(Heif, TenBitSamplesAreRoundedToEight) {
  TempDir tmp;
  PictureToEncode s;
  s.width = 64, s.height = 16, s.bits = 10;
  const auto value = [](uint32_t x, uint32_t y) { return uint16_t(x + 64 * y); };  // 0..1023
  s.pixel = [&](uint32_t x, uint32_t y) {
    const uint16_t v = value(x, y);
    return Pixel{v, uint16_t(1023 - v), uint16_t(v * 7 % 1024), 1023};
  };
  const Decoded d = decode(makeHeif(tmp, "ten.heic", s));
  ASSERT_EQ(d.info.format, PixelFormat::Rgb);
  const auto round8 = [](uint32_t v) { return (v * 255 + 511) / 1023; };  // 3 -> 1 where a shift gives 0
  for (uint32_t y = 0; y < s.height; ++y)
    for (uint32_t x = 0; x < s.width; ++x) {
      const Pixel p = s.pixel(x, y);
      const uint8_t* px = &d.rows[(size_t(y) * s.width + x) * 3];
      for (int c = 0; c < 3; ++c) ASSERT_EQ(px[c], round8(p[size_t(c)])) << x << "," << y << " channel " << c;
    }
  // A grey picture at 10 bits comes out as one channel, rounded the same way.
  s.pixel = [&](uint32_t x, uint32_t y) { return Pixel{value(x, y), value(x, y), value(x, y), 1023}; };
  const Decoded grey = decode(makeHeif(tmp, "grey.heic", s));
  ASSERT_EQ(grey.info.format, PixelFormat::Gray);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(grey.rows[i], round8(i)) << i;
}

TEST(Heif, ColourFromTheIccProfileElseFromTheCodePoints) {
  TempDir tmp;
  PictureToEncode s;
  s.pixel = distinct;
  s.primaries = 9, s.transfer = 1;  // BT.2020 primaries
  const Decoded coded = decode(makeHeif(tmp, "nclx.heic", s));
  EXPECT_EQ(coded.info.icc, iccFromCicp(9, 1));
  s.icc = Bytes(200, 7);
  const Decoded both = decode(makeHeif(tmp, "both.heic", s));
  EXPECT_EQ(both.info.icc, s.icc);
  s.icc.clear(), s.primaries = 1, s.transfer = 13;  // sRGB needs no profile
  EXPECT_TRUE(decode(makeHeif(tmp, "srgb.heic", s)).info.icc.empty());
}

TEST(Heif, SizeBeyondTheLimitIsRefusedBeforeDecoding) {
  TempDir tmp;
  PictureToEncode s;
  s.pixel = distinct;
  Bytes file = readFile(makeHeif(tmp, "small.heic", s));
  // Every ispe (the coded picture's and its wrapper's): "ispe", version
  // and flags, width, height.
  const char* ispe = "ispe";
  int boxes = 0;
  for (auto at = file.begin(); (at = std::search(at, file.end(), ispe, ispe + 4)) != file.end(); ++at, ++boxes)
    for (int i = 0; i < 8; ++i) at[8 + i] = i % 4 == 2 ? 0x50 : 0;  // 20480 x 20480
  ASSERT_GT(boxes, 0);
  writeFile(tmp.path("huge.heic"), file);
  EXPECT_TRUE(readFailure(tmp.path("huge.heic")).starts_with("Image is too large (")) << readFailure(tmp.path("huge.heic"));
}

TEST(Heif, SniffedByBrandLeavingAvifAlone) {
  const auto head = [](const char* major, std::initializer_list<const char*> compatible) {
    Bytes h = {0, 0, 0, uint8_t(16 + 4 * compatible.size()), 'f', 't', 'y', 'p'};
    h.insert(h.end(), major, major + 4);
    h.insert(h.end(), 4, 0);
    for (const char* b : compatible) h.insert(h.end(), b, b + 4);
    return h;
  };
  for (auto [h, heif] : {std::pair{head("heic", {"mif1", "heic"}), true}, {head("heix", {}), true},
                         {head("mif1", {"mif1", "heic"}), true}, {head("msf1", {"hevc"}), true},
                         {head("mif1", {"mif1", "miaf", "avif"}), false}, {head("avif", {"mif1"}), false},
                         {head("avis", {"msf1"}), false}, {head("isom", {"heic"}), false}}) {
    EXPECT_EQ(sniffFormat(h.data(), h.size()) == FileFormat::Heif, heif) << std::string(h.begin() + 8, h.begin() + 12);
  }
}

// The HEIF corpus: what must be refused is, with its reason; what libheif
// 1.15 may not support is either; everything else decodes.
TEST(HeifCorpus, EachFileDecodesOrIsRefusedAsExpected) {
  PM_REQUIRE_CORPUS();
  const auto startsWithAny = [](const std::string& text, std::initializer_list<const char*> starts) {
    return std::any_of(starts.begin(), starts.end(), [&](const char* start) { return text.starts_with(start); });
  };
  const std::string fuzzing = "libheif/fuzzing/data/corpus/";
  const auto refused = [&](const std::string& name) {
    return startsWithAny(name, {"generated/", "pillow-heif/heif_corrupted/", "pillow-heif/heif_truncated/"}) ||
           (name.starts_with(fuzzing) &&
            startsWithAny(name.substr(fuzzing.size()),
                          {"clusterfuzz-testcase-", "crash-", "github_", "clap-overflow-divide-zero.heic",
                           "region-mask-missing-refs.heic", "hbo_heif_context.h_126_1.heic"}));
  };
  const auto either = [&](const std::string& name) {
    return (name.starts_with(fuzzing) && startsWithAny(name.substr(fuzzing.size()),
                                                       {"avc32", "jpeg32", "j2k32", "vvc32", "unci32",
                                                        "hevc32-mini", "avif32"})) ||
           startsWithAny(name, {"libheif/tests/data/uncompressed_", "mpeg-conformance/C041.heic",
                                "mpeg-conformance/multilayer001.heic", "mpeg-conformance/C008.heic",
                                "mpeg-conformance/C014.heic"});
  };
  // libheif's own words follow ours after a colon.
  const auto reason = [](const std::string& failure) {
    return failure == "HEIC file is truncated" || failure == "HEIC file is damaged" ||
           (failure.starts_with("HEIC file is damaged: ") && failure.size() > 22) ||
           failure == "Not a valid HEIC file" || failure == "Input file is empty" ||
           failure == "Invalid HEIC image size (zero width or height)";
  };
  size_t files = 0;
  for (const char* ext : {".heic", ".heif", ".hif"})
    for (const std::string& file : corpusFiles("heif", ext)) {
      ++files;
      const std::string name = file.substr(corpusDir().size() + 6);
      const std::string failure = readFailure(file);
      EXPECT_EQ(failure.find("crashed"), std::string::npos) << name;
      if (either(name)) continue;
      if (refused(name)) {
        EXPECT_TRUE(reason(failure)) << name << ": " << failure;
      } else {
        EXPECT_EQ(failure, "(read)") << name;
      }
    }
  EXPECT_EQ(files, 73u);
}

TEST(HeifCorpus, KnownPictures) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/heif/";
  // The phone photo: a grid of tiles turned by irot.
  const ImageInfo arrow = probe(dir + "pillow-heif/heif_other/arrow.heic");
  EXPECT_EQ(arrow.width, 3024u);
  EXPECT_EQ(arrow.height, 4032u);
  EXPECT_EQ(exifOrientation(arrow.exif), 1);
  EXPECT_FALSE(arrow.icc.empty());
  EXPECT_EQ(probe(dir + "pillow-heif/heif/L_12__29x100.heif").format, PixelFormat::Gray);
  EXPECT_EQ(probe(dir + "pillow-heif/heif/LA_8__128x128.heif").format, PixelFormat::GrayAlpha);
  EXPECT_EQ(probe(dir + "pillow-heif/heif/RGBA_10__29x100.heif").format, PixelFormat::Rgba);
  // Its primary item is a coded picture; only the overlay beside it crashes libheif.
  EXPECT_EQ(probe(dir + "mpeg-conformance/C019.heic").width, 640u);

  // C007's primary image is a 2 x 2 grid of the four other top-level
  // pictures, which libheif decodes here in turn.
  const Decoded grid = decode(dir + "mpeg-conformance/C007.heic");
  ASSERT_EQ(grid.info.width, 2560u);
  ASSERT_EQ(grid.info.height, 1440u);
  auto ctx = own(heif_context_alloc(), heif_context_free);
  ok(heif_context_read_from_file(ctx.get(), (dir + "mpeg-conformance/C007.heic").c_str(), nullptr));
  heif_item_id ids[8], primary = 0;
  const int n = heif_context_get_list_of_top_level_image_IDs(ctx.get(), ids, 8);
  ok(heif_context_get_primary_image_ID(ctx.get(), &primary));
  int tile = 0;
  for (int i = 0; i < n; ++i) {
    if (ids[i] == primary) continue;
    heif_image_handle* h = nullptr;
    ok(heif_context_get_image_handle(ctx.get(), ids[i], &h));
    heif_image* img = nullptr;
    ok(heif_decode_image(h, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr));
    int stride = 0;
    const uint8_t* p = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
    const size_t x0 = size_t(tile % 2) * 1280, y0 = size_t(tile / 2) * 720;
    int worst = 0;
    for (size_t y = 0; y < 720; ++y)
      for (size_t x = 0; x < 1280 * 3; ++x)
        worst = std::max(worst, std::abs(int(p[y * size_t(stride) + x]) - int(grid.rows[((y0 + y) * 2560 + x0) * 3 + x])));
    EXPECT_LE(worst, 2) << "tile " << tile;
    heif_image_release(img);
    heif_image_handle_release(h);
    ++tile;
  }
  EXPECT_EQ(tile, 4);
}

// Child processes of this one, and its open descriptors.
std::vector<pid_t> children() {
  std::vector<pid_t> out;
  for (auto& e : fs::directory_iterator("/proc")) {
    std::ifstream stat(e.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    char state;
    pid_t ppid;
    if (fields >> state >> ppid && ppid == getpid()) out.push_back(pid_t(std::stoi(e.path().filename().string())));
  }
  return out;
}
size_t openDescriptors() { return entries("/proc/self/fd"); }

// A picture whose rows are more than the pipe holds, so the helper is still
// writing when the reader has its header.
std::string makeLarge(const TempDir& tmp) {
  PictureToEncode s;
  s.width = 1024, s.height = 768, s.lossless = false;
  s.pixel = [](uint32_t x, uint32_t y) { return Pixel{uint16_t(x / 4), uint16_t(y / 3), uint16_t((x ^ y) & 255), 255}; };
  return makeHeif(tmp, "large.heic", s);
}

TEST(HeifHelper, ACrashIsAReadErrorAndTheCallerLivesOn) {
  TempDir tmp;
  const std::string large = makeLarge(tmp);
  const size_t fds = openDescriptors();
  {
    InputFile in(large);
    auto reader = openReader(in, large);
    const std::vector<pid_t> helpers = children();
    ASSERT_EQ(helpers.size(), 1u);
    ASSERT_EQ(kill(helpers[0], SIGSEGV), 0);
    Bytes rows(reader->info().rowBytes() * reader->info().height);
    try {
      reader->readRows(rows.data(), reader->info().height);
      ADD_FAILURE() << "rows read from a dead helper";
    } catch (const ReadError& e) {
      EXPECT_STREQ(e.what(), "The HEIC decoder failed on this file (it crashed)");
    }
  }
  EXPECT_TRUE(children().empty());
  EXPECT_EQ(openDescriptors(), fds);

  // A file on which libheif itself crashes: C019 with its overlay, which
  // libheif 1.15 cannot compose, made the primary item.
  PM_REQUIRE_CORPUS();
  Bytes c019 = readFile(corpusDir() + "/heif/mpeg-conformance/C019.heic");
  const auto pitm = std::search(c019.begin(), c019.end(), std::begin("pitm"), std::end("pitm") - 1);
  ASSERT_NE(pitm, c019.end());
  ASSERT_EQ(pitm[8] << 8 | pitm[9], 1002);
  pitm[8] = 1006 >> 8, pitm[9] = 1006 & 255;
  writeFile(tmp.path("overlay.heic"), c019);
  EXPECT_EQ(readFailure(tmp.path("overlay.heic")), "The HEIC decoder failed on this file (it crashed)");
  FILE* p = popen((PIXMORPH_CLI " '" + tmp.path("overlay.heic") + "' '" + tmp.path("o.png") + "'").c_str(), "r");
  std::string printed(256, '\0');
  printed.resize(fread(printed.data(), 1, printed.size(), p));
  const int status = pclose(p);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(printed, "The HEIC decoder failed on this file (it crashed).\n");
  EXPECT_FALSE(fs::exists(tmp.path("o.png")));
}

TEST(HeifHelper, AReaderDroppedEarlyLeavesNoProcessNorDescriptor) {
  TempDir tmp;
  const std::string large = makeLarge(tmp);
  const size_t fds = openDescriptors();
  for (int i = 0; i < 3; ++i) {
    InputFile in(large);
    auto reader = openReader(in, large);
    Bytes row(reader->info().rowBytes());
    reader->readRows(row.data(), 1);
  }
  EXPECT_TRUE(children().empty());
  EXPECT_EQ(openDescriptors(), fds);
}

TEST(HeifHelper, ReadsFromMemoryAndFromSeveralThreadsAtOnce) {
  TempDir tmp;
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    PictureToEncode s;
    s.width = 40 + 8 * uint32_t(i), s.height = 24, s.alpha = i % 2;
    s.pixel = [i](uint32_t x, uint32_t y) { return Pixel{uint16_t(x * 5 + i), uint16_t(y * 9), uint16_t(i * 50), 200}; };
    files.push_back(makeHeif(tmp, "t" + std::to_string(i) + ".heic", s));
  }
  std::vector<Bytes> expected;
  for (const auto& f : files) expected.push_back(decode(f).rows);

  const Bytes bytes = readFile(files[0]);
  InputFile inMemory(bytes.data(), bytes.size());
  EXPECT_EQ(decode(inMemory).rows, expected[0]);

  std::vector<std::thread> threads;
  std::vector<int> mismatches(8, 0);
  for (size_t t = 0; t < mismatches.size(); ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) mismatches[t] += decode(files[t % 4]).rows != expected[t % 4];
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(8, 0));
  EXPECT_TRUE(children().empty());
}

}  // namespace
}  // namespace pmtest
