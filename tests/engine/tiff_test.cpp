// The TIFF reader and writer: the shared corpus, known answers on files
// made here with libtiff, and round trips of every layout the writer takes.
#include <tiffio.h>

#include <cstring>
#include <map>

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

bool startsWithAny(const std::string& s, std::initializer_list<const char*> starts) {
  return std::any_of(starts.begin(), starts.end(), [&](const char* start) { return s.starts_with(start); });
}

std::vector<std::string> tiffCorpus() {
  std::vector<std::string> files;
  for (const char* ext : {".tif", ".tiff", ".bin"})
    for (std::string& f : corpusFiles("tiff", ext)) files.push_back(std::move(f));
  return files;
}

TEST(TiffCorpus, EveryFileDecodesOrIsRefusedWithAReason) {
  PM_REQUIRE_CORPUS();
  const auto files = tiffCorpus();
  ASSERT_GT(files.size(), 250u);
  // libtiff's warnings and errors are kept, never printed.
  ::testing::internal::CaptureStderr();
  for (const std::string& file : files) {
    const std::string name = file.substr(corpusDir().size() + 6);
    const TranscodeResult r = convertAlone(file);
    if (std::any_of(std::begin(kRefused), std::end(kRefused), [&](const char* p) { return name.starts_with(p); })) {
      EXPECT_FALSE(r.ok) << name;
      EXPECT_TRUE(startsWithAny(r.message, {"TIFF", "Invalid TIFF", "Image is too large", "Input file is empty"}))
          << name << ": " << r.message;
    } else {
      EXPECT_TRUE(r.ok) << name << ": " << r.message;
    }
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(TiffCorpus, DecodesMatchTheSuitesReferences) {
  PM_REQUIRE_CORPUS();
  const std::string t = corpusDir() + "/tiff/";
  const std::pair<const char*, const char*> exact[] = {
      {"golang-image/testdata/video-001-16bit.tiff", "golang-image/testdata/video-001.png"},
      {"golang-image/testdata/video-001-tile-64x64.tiff", "golang-image/testdata/video-001.png"},
      {"golang-image/testdata/video-001-strip-64.tiff", "golang-image/testdata/video-001.png"},
      {"golang-image/testdata/bw-gopher_ccittGroup3.tiff", "golang-image/testdata/bw-gopher.png"},
      {"golang-image/testdata/blue-purple-pink.lzwcompressed.tiff", "golang-image/testdata/blue-purple-pink.png"},
      {"pillow/tiff_tiled_planar_raw.tif", "pillow/tiff_adobe_deflate.png"},
      {"pillow/pil136.tiff", "pillow/pil136.png"},
  };
  for (auto [tiff, reference] : exact) EXPECT_EQ(maxDifference(loadRgba(t + tiff), loadRgba(t + reference)), 0) << tiff;
  EXPECT_FALSE(probe(t + "pillow/hopper_jpg.tif").losslessSource);
  EXPECT_TRUE(probe(t + "pillow/hopper_lzw.tif").losslessSource);
  // CMYK in TIFF stores ink amounts; the same picture as a JPG stores them
  // inverted. Both must come out alike.
  EXPECT_LE(maxDifference(loadRgba(t + "pillow/tiff_strip_cmyk_jpeg.tif"),
                          loadRgba(corpusDir() + "/jpeg/pillow/pil_sample_cmyk.jpg")), 2);

  // Every variant of one generated picture (depth aside) holds the same pixels.
  std::map<std::string, std::vector<std::string>> byPicture;
  // Named seq-<layout>-<picture's hash>.tiff.
  for (const std::string& f : corpusFiles("tiff/image-tiff/tests/images/seq", ".tiff"))
    byPicture[f.substr(f.size() - 13, 8)].push_back(f);
  size_t compared = 0;
  for (const auto& [hash, variants] : byPicture) {
    const RgbaImage first = loadRgba(variants[0]);
    for (size_t i = 1; i < variants.size(); ++i, ++compared)
      EXPECT_EQ(maxDifference(first, loadRgba(variants[i])), 0) << variants[0] << " vs " << variants[i];
  }
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

// A one-strip TIFF with the given tags and raw sample bytes; @p second adds
// a second page of another size.
struct Fixture {
  Fixture(uint32_t w, uint32_t h, uint16_t bitsPerSample = 8, uint16_t samplesPerPixel = 1,
          uint16_t model = PHOTOMETRIC_MINISBLACK)
      : width(w), height(h), bits(bitsPerSample), samples(samplesPerPixel), photometric(model) {}
  uint32_t width, height;
  uint16_t bits, samples, photometric;
  std::vector<uint16_t> extra;
  uint16_t orientation = 1;
  std::vector<uint16_t> colourMap;  // red, green and blue parts one after another
};

void writeFixture(const std::string& path, const Fixture& f, const Bytes& data, bool second = false) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  for (int page = 0; page < (second ? 2 : 1); ++page) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, f.width + page);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, f.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, f.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, f.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, f.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, f.orientation);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, f.height);
    if (!f.extra.empty()) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(f.extra.size()), f.extra.data());
    if (!f.colourMap.empty()) {
      const size_t n = f.colourMap.size() / 3;
      TIFFSetField(t, TIFFTAG_COLORMAP, f.colourMap.data(), f.colourMap.data() + n, f.colourMap.data() + 2 * n);
    }
    Bytes page0 = data;
    page0.resize(size_t(TIFFStripSize(t)));
    ASSERT_GE(TIFFWriteEncodedStrip(t, 0, page0.data(), tmsize_t(page0.size())), 0);
    ASSERT_TRUE(TIFFWriteDirectory(t));
  }
  TIFFClose(t);
}

struct Decoded {
  ImageInfo info;
  Bytes rows;
};

Decoded decode(const std::string& path) {
  InputFile in(path);
  auto r = openReader(in, path);
  Decoded d{r->info(), Bytes(r->info().rowBytes() * r->info().height)};
  r->readRows(d.rows.data(), d.info.height);
  return d;
}

template <class T>
Bytes bytesOf(std::initializer_list<T> values) {
  Bytes b(values.size() * sizeof(T));
  std::memcpy(b.data(), std::data(values), b.size());
  return b;
}

TEST(TiffReader, SixteenBitSamplesAreRoundedAndPaletteMapsToo) {
  TempDir tmp;
  const std::string grey = tmp.path("grey16.tif");
  // 200 is 0.78 in 8 bits and 65280 is 254.01, which dropping the low byte
  // makes 0 and 255.
  writeFixture(grey, {3, 1, 16}, bytesOf<uint16_t>({200, 65280, 65535}));
  Decoded d = decode(grey);
  EXPECT_EQ(d.info.format, PixelFormat::Gray);
  EXPECT_EQ(d.rows, (Bytes{1, 254, 255}));

  const std::string palette = tmp.path("palette.tif");
  Fixture f{2, 1, 4, 1, PHOTOMETRIC_PALETTE};
  f.colourMap.assign(48, 0);
  f.colourMap[1] = 200;          // red of entry 1
  f.colourMap[16 + 2] = 0xFFFF;  // green of entry 2
  writeFixture(palette, f, {0x12});
  d = decode(palette);
  ASSERT_EQ(d.info.format, PixelFormat::Indexed);
  ASSERT_EQ(d.info.palette.size(), 16u);
  EXPECT_EQ(d.info.palette[1], (Rgba8{1, 0, 0, 255}));
  EXPECT_EQ(d.info.palette[2], (Rgba8{0, 255, 0, 255}));
  EXPECT_EQ(d.rows, (Bytes{1, 2}));
}

TEST(TiffReader, BilevelMinIsWhiteAndCmyk) {
  TempDir tmp;
  const std::string fax = tmp.path("bilevel.tif");
  writeFixture(fax, {3, 1, 1, 1, PHOTOMETRIC_MINISWHITE}, {0b01000000});
  Decoded d = decode(fax);
  EXPECT_EQ(d.info.grayBits, 1u);
  EXPECT_EQ(d.rows, (Bytes{255, 0, 255}));

  const std::string cmyk = tmp.path("cmyk.tif");
  writeFixture(cmyk, {3, 1, 8, 4, PHOTOMETRIC_SEPARATED}, {255, 0, 0, 0, 0, 0, 0, 255, 128, 0, 0, 64});
  d = decode(cmyk);
  ASSERT_EQ(d.info.format, PixelFormat::Rgb);
  // Cyan ink leaves green and blue; full black leaves nothing; half cyan on
  // a quarter black leaves (127 * 191) / 255 of red.
  EXPECT_EQ(d.rows, (Bytes{0, 255, 255, 0, 0, 0, 95, 191, 191}));
}

TEST(TiffReader, AssociatedAlphaIsDividedOutUnassociatedKept) {
  TempDir tmp;
  const Bytes px = {64, 32, 0, 128};
  for (uint16_t kind : {EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA}) {
    const std::string path = tmp.path("alpha" + std::to_string(kind) + ".tif");
    Fixture f{1, 1, 8, 4, PHOTOMETRIC_RGB};
    f.extra = {kind};
    writeFixture(path, f, px);
    const Decoded d = decode(path);
    ASSERT_EQ(d.info.format, PixelFormat::Rgba);
    EXPECT_EQ(d.rows, kind == EXTRASAMPLE_ASSOCALPHA ? (Bytes{128, 64, 0, 128}) : px);
  }
}

TEST(TiffReader, OrientationIsAppliedAndOnlyTheFirstPageRead) {
  TempDir tmp;
  const std::string path = tmp.path("turned.tif");
  Fixture f{3, 2};
  f.orientation = ORIENTATION_RIGHTTOP;  // the stored rows are the picture's columns, turned a quarter
  writeFixture(path, f, {1, 2, 3, 4, 5, 6}, true);
  const Decoded d = decode(path);
  EXPECT_EQ(d.info.width, 2u);
  EXPECT_EQ(d.info.height, 3u);
  EXPECT_EQ(d.rows, (Bytes{4, 1, 5, 2, 6, 3}));
}

TEST(TiffReader, ClaimedHugeSizeIsRefusedFromTheHeader) {
  TempDir tmp;
  // A classic header and a directory of width and height only: 100000 x 100000.
  Bytes file = {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0};
  for (uint16_t tag : {256, 257}) {
    const uint8_t entry[12] = {uint8_t(tag), uint8_t(tag >> 8), 4, 0, 1, 0, 0, 0, 0xA0, 0x86, 0x01, 0};
    file.insert(file.end(), entry, entry + 12);
  }
  file.insert(file.end(), 4, 0);
  writeFile(tmp.path("huge.tif"), file);
  try {
    decode(tmp.path("huge.tif"));
    ADD_FAILURE() << "accepted";
  } catch (const ReadError& e) {
    EXPECT_STREQ(e.what(), "Image is too large (more than 268435456 pixels)");
  }
  // 1 x 2^27 pixels in as many strips: allowed, but the tables of strips
  // claimed must be in the file before anything is made for them.
  file = {'I', 'I', 42, 0, 8, 0, 0, 0, 4, 0};
  for (auto [tag, count, value] : {std::tuple<uint16_t, uint32_t, uint32_t>{256, 1, 1}, {257, 1, 1u << 27},
                                   {273, 1u << 27, 4096}, {279, 1u << 27, 8192}}) {
    uint8_t entry[12] = {uint8_t(tag), uint8_t(tag >> 8), 4, 0};
    tiffPut(entry + 4, count, 4, true);
    tiffPut(entry + 8, value, 4, true);
    file.insert(file.end(), entry, entry + 12);
  }
  file.insert(file.end(), 4, 0);
  writeFile(tmp.path("strips.tif"), file);
  EXPECT_THROW(decode(tmp.path("strips.tif")), ReadError);
}

// --- Writer -------------------------------------------------------------------

struct Layout {
  const char* name;
  PixelFormat format;
  unsigned grayBits = 8;
  size_t colours = 0;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

class TiffRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(TiffRoundTrip, RowsComeBackExactlyInTheSameLayout) {
  const Layout& l = GetParam();
  TempDir tmp;
  ImageInfo info = makeInfo(l.format, 301, 67);
  info.grayBits = l.grayBits;
  for (size_t i = 0; i < l.colours; ++i) info.palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3), 255});
  Bytes px = makePattern(info);
  if (l.format == PixelFormat::Gray)
    for (uint8_t& v : px) v = uint8_t(v / (255 / ((1u << l.grayBits) - 1)) * (255 / ((1u << l.grayBits) - 1)));
  writeImage(tmp.path("out.tif"), info, px);
  const Decoded d = decode(tmp.path("out.tif"));
  EXPECT_EQ(d.info.format, l.format);
  EXPECT_EQ(d.info.width, info.width);
  if (l.format == PixelFormat::Indexed) {
    ASSERT_GE(d.info.palette.size(), info.palette.size());
    EXPECT_TRUE(std::equal(info.palette.begin(), info.palette.end(), d.info.palette.begin()));
  }
  if (l.format == PixelFormat::Gray) {
    EXPECT_EQ(d.info.grayBits, l.grayBits);
  }
  EXPECT_TRUE(d.rows == px);
}

const Layout kLayouts[] = {
    {"Palette2", PixelFormat::Indexed, 8, 2},   {"Palette4", PixelFormat::Indexed, 8, 4},
    {"Palette16", PixelFormat::Indexed, 8, 13}, {"Palette256", PixelFormat::Indexed, 8, 256},
    {"Gray1", PixelFormat::Gray, 1},            {"Gray2", PixelFormat::Gray, 2},
    {"Gray4", PixelFormat::Gray, 4},            {"Gray8", PixelFormat::Gray, 8},
    {"GrayAlpha", PixelFormat::GrayAlpha},      {"Rgb", PixelFormat::Rgb},
    {"Rgba", PixelFormat::Rgba},
};
INSTANTIATE_TEST_SUITE_P(Layouts, TiffRoundTrip, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.name); });

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
  IfdEntry pointer{kTagExifIfd, TIFF_LONG, 1, Bytes(4)};
  std::vector<IfdEntry> first = {ascii(TIFFTAG_MAKE, "Pictoria Camera"), pointer};
  const uint32_t exifAt = uint32_t(8 + serializeIfd(first, little, 8).size());
  tiffPut(first[1].value.data(), exifAt, 4, little);
  Bytes blob = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M'), 0, 0, 0, 0, 0, 0};
  tiffPut(&blob[2], 42, 2, little);
  tiffPut(&blob[4], 8, 4, little);
  for (const Bytes& part : {serializeIfd(first, little, 8), serializeIfd(exif, little, exifAt)})
    blob.insert(blob.end(), part.begin(), part.end());
  return blob;
}

std::map<uint16_t, Bytes> exifEntries(const Bytes& blob) {
  const bool little = blob.at(0) == 'I';
  const ByteSource src = [&](uint64_t at, void* dst, size_t n) {
    if (at + n > blob.size()) return false;
    std::memcpy(dst, blob.data() + at, n);
    return true;
  };
  std::map<uint16_t, Bytes> out;
  for (const IfdEntry& e : readIfd(src, little, false, tiffGet(&blob[4], 4, little))) {
    out[e.tag] = e.value;
    if (e.tag == kTagExifIfd)
      for (const IfdEntry& x : readIfd(src, little, false, tiffGet(e.value.data(), 4, little))) out[x.tag] = x.value;
  }
  return out;
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
    ASSERT_FALSE(d.info.exif.empty());
    EXPECT_EQ(d.info.exif[0], little ? 'I' : 'M');
    auto before = exifEntries(info.exif), after = exifEntries(d.info.exif);
    for (uint16_t tag : {uint16_t(TIFFTAG_MAKE), uint16_t(0x9003), uint16_t(0x829A)})
      EXPECT_EQ(after[tag], before[tag]) << std::hex << tag;
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
