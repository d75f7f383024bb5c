// The TIFF reader and writer: the shared corpus, known answers on files
// made here with libtiff, and round trips of every layout the writer takes.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <ranges>

#include "TestSupport.h"
#include "TiffSupport.h"

namespace pmtest {
namespace {

// --- Corpus -----------------------------------------------------------------

// Starts of the paths of files that must be refused, and of the few valid
// ones this reader refuses: 64-bit integer samples, and a damaged fax file
// libtiff 4.5 cannot decode.
const char* const kRefused[] = {
    "generated/", "golang-image/tiff/testdata/", "image-tiff/tests/fuzz_images/", "pillow/crash-", "pillow/oom-",
    "pillow/seek_too_large.", "pillow/libtiff_segfault.", "image-tiff/tests/images/gradient-3c-64b.",
    "image-tiff/tests/libtiffpic/text.", "libtiff/test/images/testfax3_bug54_1dnoEOL.",
    "libtiff/test/images/testfax3_bug_513."};
const char* const kReasons[] = {"TIFF", "Invalid TIFF", "Image is too large", "Input file is empty"};

bool startsWithAny(const std::string& s, const auto& starts) {
  return std::ranges::any_of(starts, [&](const char* start) { return s.starts_with(start); });
}

TEST(TiffCorpus, EveryFileDecodesOrIsRefusedWithAReason) {
  PM_REQUIRE_CORPUS();
  std::vector<std::string> files;
  for (const char* ext : {".tif", ".tiff", ".bin"})
    std::ranges::move(corpusFiles("tiff", ext), std::back_inserter(files));
  ASSERT_GT(files.size(), 250u);
  // libtiff's warnings and errors are kept, never printed.
  ::testing::internal::CaptureStderr();
  for (const std::string& file : files) {
    const std::string name = file.substr(corpusDir().size() + 6);
    const TranscodeResult r = convertAlone(file);
    if (startsWithAny(name, kRefused)) {
      EXPECT_FALSE(r.ok) << name;
      EXPECT_TRUE(startsWithAny(r.message, kReasons)) << name << ": " << r.message;
    } else {
      EXPECT_TRUE(r.ok) << name << ": " << r.message;
    }
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(TiffCorpus, DecodesMatchTheSuitesReferences) {
  PM_REQUIRE_CORPUS();
  const std::string t = corpusDir() + "/tiff/", go = "golang-image/testdata/";
  for (auto [tiff, reference] : std::initializer_list<std::pair<std::string, std::string>>{
           {go + "video-001-16bit.tiff", go + "video-001.png"}, {go + "video-001-strip-64.tiff", go + "video-001.png"},
           {go + "video-001-tile-64x64.tiff", go + "video-001.png"},
           {go + "bw-gopher_ccittGroup3.tiff", go + "bw-gopher.png"},
           {go + "blue-purple-pink.lzwcompressed.tiff", go + "blue-purple-pink.png"},
           {"pillow/tiff_tiled_planar_raw.tif", "pillow/tiff_adobe_deflate.png"},
           {"pillow/pil136.tiff", "pillow/pil136.png"}})
    EXPECT_EQ(maxDifference(loadRgba(t + tiff), loadRgba(t + reference)), 0) << tiff;
  EXPECT_FALSE(probe(t + "pillow/hopper_jpg.tif").losslessSource);
  EXPECT_TRUE(probe(t + "pillow/hopper_lzw.tif").losslessSource);
  // CMYK in TIFF stores ink amounts; the same picture as a JPG stores them
  // inverted. Both must come out alike.
  EXPECT_LE(maxDifference(loadRgba(t + "pillow/tiff_strip_cmyk_jpeg.tif"),
                          loadRgba(corpusDir() + "/jpeg/pillow/pil_sample_cmyk.jpg")), 2);

  // Every variant of one generated picture (depth aside) holds the same
  // pixels. Named seq-<layout>-<picture's hash>.tiff.
  std::map<std::string, std::vector<std::string>> byPicture;
  for (const std::string& f : corpusFiles("tiff/image-tiff/tests/images/seq", ".tiff"))
    byPicture[f.substr(f.size() - 13, 8)].push_back(f);
  size_t compared = 0;
  for (const auto& [hash, variants] : byPicture)
    for (size_t i = 1; i < variants.size(); ++i, ++compared)
      EXPECT_EQ(maxDifference(loadRgba(variants[0]), loadRgba(variants[i])), 0) << variants[0] << " vs " << variants[i];
  EXPECT_GT(compared, 20u);

  // One fax page stored in each orientation: turned upright, all alike but
  // for the fax coder's edges (a wrong turn differs in most pixels).
  const RgbaImage upright = loadRgba(t + "pillow/g4_orientation_1.tif");
  for (int o = 2; o <= 8; ++o) {
    const RgbaImage turned = loadRgba(t + "pillow/g4_orientation_" + std::to_string(o) + ".tif");
    ASSERT_EQ(turned.width, upright.width) << o;
    size_t differ = 0;
    for (size_t i = 0; i < upright.px.size(); ++i) differ += !(turned.px[i] == upright.px[i]);
    EXPECT_LT(differ, upright.px.size() / 100) << o;
  }
}

// --- Files made here ----------------------------------------------------------

// The tags of a one-strip TIFF; twoPages adds a second page of another size.
struct Fixture {
  uint32_t width, height, bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
  std::vector<uint16_t> extra = {};
  uint32_t orientation = ORIENTATION_TOPLEFT;
  std::vector<uint16_t> colourMap = {};  // red, green and blue parts one after another
  bool twoPages = false;
};

void writeFixture(const std::string& path, const Fixture& f, Bytes data) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  for (uint32_t page = 0; page < (f.twoPages ? 2u : 1u); ++page) {
    for (auto [tag, value] : {std::pair<uint32_t, uint32_t>{TIFFTAG_IMAGEWIDTH, f.width + page},
                              {TIFFTAG_IMAGELENGTH, f.height}, {TIFFTAG_BITSPERSAMPLE, f.bits},
                              {TIFFTAG_SAMPLESPERPIXEL, f.samples}, {TIFFTAG_PHOTOMETRIC, f.photometric},
                              {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG}, {TIFFTAG_ORIENTATION, f.orientation},
                              {TIFFTAG_ROWSPERSTRIP, f.height}})
      TIFFSetField(t, tag, value);
    if (!f.extra.empty()) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(f.extra.size()), f.extra.data());
    const size_t n = f.colourMap.size() / 3;
    if (n) TIFFSetField(t, TIFFTAG_COLORMAP, f.colourMap.data(), f.colourMap.data() + n, f.colourMap.data() + 2 * n);
    data.resize(size_t(TIFFStripSize(t)));
    ASSERT_GE(TIFFWriteEncodedStrip(t, 0, data.data(), tmsize_t(data.size())), 0);
    ASSERT_TRUE(TIFFWriteDirectory(t));
  }
  TIFFClose(t);
}

struct Decoded { ImageInfo info; Bytes rows; };

Decoded decode(const std::string& path) {
  InputFile in(path);
  auto r = openReader(in, path);
  Decoded d{r->info(), Bytes(r->info().rowBytes() * r->info().height)};
  r->readRows(d.rows.data(), d.info.height);
  return d;
}

TEST(TiffReader, KnownAnswersForEachLayout) {
  TempDir tmp;
  std::vector<uint16_t> map(48);
  map[1] = 200;          // red of entry 1
  map[16 + 2] = 0xFFFF;  // green of entry 2
  const uint16_t grey16[] = {200, 65280, 65535};
  using enum PixelFormat;
  const struct { const char* name; Fixture fixture; Bytes data; PixelFormat format; Bytes rows; } cases[] = {
      // 200 is 0.78 in 8 bits and 65280 is 254.01, which dropping the low
      // byte makes 0 and 255.
      {"grey16", {3, 1, 16}, Bytes((const uint8_t*)grey16, (const uint8_t*)grey16 + 6), Gray, {1, 254, 255}},
      {"palette", {2, 1, 4, 1, PHOTOMETRIC_PALETTE, {}, 1, map}, {0x12}, Indexed, {1, 2}},
      {"bilevel", {3, 1, 1, 1, PHOTOMETRIC_MINISWHITE}, {0b01000000}, Gray, {255, 0, 255}},
      // Cyan ink leaves green and blue; full black leaves nothing; half cyan
      // on a quarter black leaves (127 * 191) / 255 of red.
      {"cmyk", {3, 1, 8, 4, PHOTOMETRIC_SEPARATED}, {255, 0, 0, 0, 0, 0, 0, 255, 128, 0, 0, 64}, Rgb,
       {0, 255, 255, 0, 0, 0, 95, 191, 191}},
      {"associated", {1, 1, 8, 4, PHOTOMETRIC_RGB, {EXTRASAMPLE_ASSOCALPHA}}, {64, 32, 0, 128}, Rgba, {128, 64, 0, 128}},
      {"unassociated", {1, 1, 8, 4, PHOTOMETRIC_RGB, {EXTRASAMPLE_UNASSALPHA}}, {64, 32, 0, 128}, Rgba, {64, 32, 0, 128}},
      // The stored rows are the picture's columns, turned a quarter; the
      // second page is not read.
      {"turned", {3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, {}, ORIENTATION_RIGHTTOP, {}, true}, {1, 2, 3, 4, 5, 6},
       Gray, {4, 1, 5, 2, 6, 3}},
  };
  std::map<std::string, Decoded> got;
  for (const auto& c : cases) {
    writeFixture(tmp.path(c.name), c.fixture, c.data);
    const Decoded& d = got[c.name] = decode(tmp.path(c.name));
    EXPECT_EQ(d.info.format, c.format) << c.name;
    EXPECT_EQ(d.rows, c.rows) << c.name;
  }
  const std::vector<Rgba8>& palette = got["palette"].info.palette;
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(std::vector(palette.begin(), palette.begin() + 3),
            (std::vector<Rgba8>{{0, 0, 0, 255}, {1, 0, 0, 255}, {0, 255, 0, 255}}));
  EXPECT_EQ(got["bilevel"].info.grayBits, 1u);
  EXPECT_EQ(std::pair(got["turned"].info.width, got["turned"].info.height), std::pair(2u, 3u));
}

TEST(TiffReader, ClaimedHugeSizeIsRefusedFromTheHeader) {
  TempDir tmp;
  // A classic little-endian header and one directory of LONG entries.
  auto header = [&](std::initializer_list<std::tuple<uint16_t, uint32_t, uint32_t>> entries) {
    Bytes file = {'I', 'I', 42, 0, 8, 0, 0, 0, uint8_t(entries.size()), 0};
    for (auto [tag, count, value] : entries) {
      uint8_t entry[12] = {uint8_t(tag), uint8_t(tag >> 8), TIFF_LONG, 0};
      tiffPut(entry + 4, count, 4, true);
      tiffPut(entry + 8, value, 4, true);
      file.insert(file.end(), entry, entry + 12);
    }
    file.insert(file.end(), 4, 0);
    writeFile(tmp.path("huge.tif"), file);
    return tmp.path("huge.tif");
  };
  EXPECT_EQ(convertAlone(header({{256, 1, 100000}, {257, 1, 100000}})).message,
            "Image is too large (more than 268435456 pixels)");
  // 1 x 2^27 pixels in as many strips: allowed, but the tables of strips
  // claimed must be in the file before anything is made for them.
  EXPECT_FALSE(convertAlone(header({{256, 1, 1}, {257, 1, 1u << 27}, {273, 1u << 27, 4096}, {279, 1u << 27, 8192}})).ok);
}

// --- Writer -------------------------------------------------------------------

TEST(TiffWriter, RowsComeBackExactlyInEveryLayout) {
  using enum PixelFormat;
  const struct { PixelFormat format; unsigned grayBits = 8; size_t colours = 0; } layouts[] = {
      {Indexed, 8, 2}, {Indexed, 8, 4}, {Indexed, 8, 13}, {Indexed, 8, 256}, {Gray, 1}, {Gray, 2},
      {Gray, 4},       {Gray, 8},       {GrayAlpha},      {Rgb},             {Rgba}};
  TempDir tmp;
  for (const auto& l : layouts) {
    SCOPED_TRACE(::testing::Message() << int(l.format) << " grey bits " << l.grayBits << " colours " << l.colours);
    ImageInfo info = makeInfo(l.format, 301, 67);
    info.grayBits = l.grayBits;
    for (size_t i = 0; i < l.colours; ++i) info.palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3), 255});
    Bytes px = makePattern(info);
    const unsigned step = 255 / ((1u << l.grayBits) - 1);  // 1 but for grey of fewer bits
    for (uint8_t& v : px) v = uint8_t(v / step * step);
    writeImage(tmp.path("out.tif"), info, px);
    const Decoded d = decode(tmp.path("out.tif"));
    EXPECT_EQ(d.info.format, l.format);
    EXPECT_TRUE(std::ranges::equal(info.palette, d.info.palette | std::views::take(info.palette.size())));
    if (l.format == Gray) { EXPECT_EQ(d.info.grayBits, l.grayBits); }
    EXPECT_TRUE(d.rows == px);
  }
}

// An EXIF blob in either byte order: a first directory with a camera name
// and a pointer to an EXIF directory holding a date (ASCII) and an
// exposure time (RATIONAL, stored out of line).
Bytes exifBlob(bool little) {
  auto ascii = [](uint16_t tag, const std::string& s) {
    return IfdEntry{tag, TIFF_ASCII, uint32_t(s.size() + 1), Bytes(s.c_str(), s.c_str() + s.size() + 1)};
  };
  Bytes rational(8);
  tiffPut(rational.data(), 1, 4, little);
  tiffPut(rational.data() + 4, 250, 4, little);
  const std::vector<IfdEntry> exif = {ascii(0x9003, "2024:01:02 03:04:05"), {0x829A, TIFF_RATIONAL, 1, rational}};
  std::vector<IfdEntry> first = {ascii(TIFFTAG_MAKE, "Pictoria Camera"), {kTagExifIfd, TIFF_LONG, 1, Bytes(4)}};
  const uint32_t exifAt = uint32_t(8 + serializeIfd(first, little, 8).size());
  tiffPut(first[1].value.data(), exifAt, 4, little);
  Bytes blob = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M'), 0, 0, 0, 0, 0, 0};
  tiffPut(&blob[2], 42, 2, little);
  tiffPut(&blob[4], 8, 4, little);
  for (const Bytes& part : {serializeIfd(first, little, 8), serializeIfd(exif, little, exifAt)})
    blob.insert(blob.end(), part.begin(), part.end());
  return blob;
}

TEST(TiffWriter, IccAndExifTravelInEitherByteOrder) {
  TempDir tmp;
  for (bool little : {true, false}) {
    ImageInfo info = makeInfo(PixelFormat::Rgb, 40, 30);
    info.icc.assign(200, 7);
    std::memcpy(&info.icc[16], "RGB ", 4);
    info.exif = exifBlob(little);
    writeImage(tmp.path("meta.tif"), info, makePattern(info));
    const Decoded d = decode(tmp.path("meta.tif"));
    EXPECT_EQ(d.info.icc, info.icc);
    EXPECT_EQ(d.info.exif, info.exif) << little;
  }
}

TEST(TiffWriter, RefusesATranslucentPalette) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Indexed, 4, 4);
  info.palette = {{0, 0, 0, 255}, {255, 255, 255, 100}};
  AtomicOutputFile out(tmp.path("x.tif"));
  EXPECT_THROW(createTiffWriter(out, info, 90), WriteError);
}

}  // namespace
}  // namespace pmtest
