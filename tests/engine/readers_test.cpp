// Readers on hand-built files whose every pixel is known, for the BMP
// variants, and on corpus files with reference decodes for the others.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "Errors.h"
#include "TestSupport.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {
namespace {

// Builds a BMP: file header, info header (@p header bytes, of which the
// caller fills fields past the common ones), palette, pixel data.
struct Bmp {
  std::vector<uint8_t> b;
  void u16(size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
  }
  void u32(size_t at, uint32_t v) { u16(at, v), u16(at + 2, v >> 16); }
  void append(std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }

  static Bmp windows(int32_t w, int32_t h, unsigned bpp, uint32_t compression, uint32_t headerSize = 40,
                     uint32_t colors = 0) {
    Bmp m;
    m.b.assign(14 + headerSize, 0);
    m.b[0] = 'B', m.b[1] = 'M';
    m.u32(14, headerSize);
    m.u32(18, uint32_t(w));
    m.u32(22, uint32_t(h));
    m.u16(26, 1);
    m.u16(28, bpp);
    m.u32(30, compression);
    m.u32(46, colors);
    return m;
  }
  void dataStartsHere() { u32(10, uint32_t(b.size())); }
  std::string save(const TempDir& t, const char* name) {
    u32(2, uint32_t(b.size()));
    writeFile(t.path(name), b);
    return t.path(name);
  }
};

TEST(BmpReader, Rle8WithDeltaLeavesSkippedPixelsTransparent) {
  TempDir tmp;
  Bmp m = Bmp::windows(4, 2, 8, 1, 40, 2);
  m.append({0, 0, 255, 0, 255, 0, 0, 0});  // palette: red, blue (BGRx)
  m.dataStartsHere();
  // Bottom row: two index-1 pixels, then end of line. Top row: delta right
  // by 1, one index-0 pixel, end of bitmap.
  m.append({2, 1, 0, 0, 0, 2, 1, 0, 1, 0, 0, 1});
  RgbaImage img = loadRgba(m.save(tmp, "rle.bmp"));
  ASSERT_EQ(img.width, 4u);
  EXPECT_EQ(img.at(0, 1), (Rgba8{0, 0, 255, 255}));
  EXPECT_EQ(img.at(1, 1), (Rgba8{0, 0, 255, 255}));
  EXPECT_EQ(img.at(2, 1).a, 0);
  EXPECT_EQ(img.at(0, 0).a, 0);
  EXPECT_EQ(img.at(1, 0), (Rgba8{255, 0, 0, 255}));
  EXPECT_EQ(img.at(3, 0).a, 0);
}

TEST(BmpReader, Rle4AbsoluteRunsAndPadding) {
  TempDir tmp;
  Bmp m = Bmp::windows(3, 1, 4, 2, 40, 3);
  m.append({0, 0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 0});  // black, white, green
  m.dataStartsHere();
  m.append({0, 3, 0x12, 0x10, 0, 1});  // absolute run of 3 nibbles 1,2,1, padded
  RgbaImage img = loadRgba(m.save(tmp, "rle4.bmp"));
  EXPECT_EQ(img.at(0, 0), (Rgba8{255, 255, 255, 255}));
  EXPECT_EQ(img.at(1, 0), (Rgba8{0, 255, 0, 255}));
  EXPECT_EQ(img.at(2, 0), (Rgba8{255, 255, 255, 255}));
}

TEST(BmpReader, BitfieldsScaleEveryChannelToFullRange) {
  TempDir tmp;
  Bmp m = Bmp::windows(2, 1, 16, 3);
  m.append({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});  // 565 masks
  m.dataStartsHere();
  m.append({0xFF, 0xFF, 0x1F, 0x00});  // white, pure blue
  RgbaImage img = loadRgba(m.save(tmp, "565.bmp"));
  EXPECT_EQ(img.at(0, 0), (Rgba8{255, 255, 255, 255}));
  EXPECT_EQ(img.at(1, 0), (Rgba8{0, 0, 255, 255}));
}

TEST(BmpReader, AlphaMaskIsUsedUnlessEveryAlphaIsZero) {
  TempDir tmp;
  for (uint8_t alpha : {uint8_t(0x80), uint8_t(0)}) {
    Bmp m = Bmp::windows(1, 2, 32, 3, 108);
    m.u32(54, 0x00FF0000), m.u32(58, 0x0000FF00), m.u32(62, 0x000000FF), m.u32(66, 0xFF000000);
    m.dataStartsHere();
    m.append({10, 20, 30, alpha, 40, 50, 60, alpha});
    std::string p = m.save(tmp, "a.bmp");
    EXPECT_EQ(probe(p).format, alpha ? PixelFormat::Rgba : PixelFormat::Rgb);
    RgbaImage img = loadRgba(p);
    EXPECT_EQ(img.at(0, 1), (Rgba8{30, 20, 10, uint8_t(alpha ? alpha : 255)}));  // bottom-up
    EXPECT_EQ(img.at(0, 0), (Rgba8{60, 50, 40, uint8_t(alpha ? alpha : 255)}));
  }
}

TEST(BmpReader, TopDownAndOs2CoreHeader) {
  TempDir tmp;
  Bmp td = Bmp::windows(1, -2, 24, 0);
  td.dataStartsHere();
  td.append({1, 2, 3, 0, 4, 5, 6, 0});
  RgbaImage a = loadRgba(td.save(tmp, "td.bmp"));
  EXPECT_EQ(a.at(0, 0), (Rgba8{3, 2, 1, 255}));
  EXPECT_EQ(a.at(0, 1), (Rgba8{6, 5, 4, 255}));

  Bmp os2;
  os2.b.assign(26, 0);
  os2.b[0] = 'B', os2.b[1] = 'M';
  os2.u32(14, 12), os2.u16(18, 9), os2.u16(20, 1), os2.u16(22, 1), os2.u16(24, 1);
  os2.append({0, 0, 0, 255, 255, 255});  // 3-byte palette entries
  os2.dataStartsHere();
  os2.append({0x80, 0x40, 0, 0});  // pixels 0 and 9 would be set; 9 is padding
  RgbaImage b = loadRgba(os2.save(tmp, "os2.bmp"));
  EXPECT_EQ(b.width, 9u);
  EXPECT_EQ(b.at(0, 0), (Rgba8{255, 255, 255, 255}));
  EXPECT_EQ(b.at(1, 0), (Rgba8{0, 0, 0, 255}));
  EXPECT_EQ(b.at(8, 0), (Rgba8{0, 0, 0, 255}));
}

TEST(BmpReader, RejectsWithTheRightMessage) {
  TempDir tmp;
  struct Bad {
    Bmp bmp;
    const char* message;
  };
  std::vector<Bad> cases;
  auto headerOnly = [](Bmp b) {
    b.dataStartsHere();
    return b;
  };
  cases.push_back({headerOnly(Bmp::windows(2, 2, 7, 0)), pixmorph_message(pixmorph::kInvalidBpp)});
  cases.push_back({headerOnly(Bmp::windows(2, 2, 24, 4)), pixmorph_message(pixmorph::kUnsupportedOption)});  // embedded JPEG
  cases.push_back({headerOnly(Bmp::windows(2, 2, 24, 5)), pixmorph_message(pixmorph::kUnsupportedOption)});  // embedded PNG
  cases.push_back({headerOnly(Bmp::windows(2, 2, 24, 0)), "BMP file is truncated"});
  Bmp overrun = Bmp::windows(2, 1, 8, 1, 40, 1);
  overrun.append({0, 0, 0, 0});
  overrun.dataStartsHere();
  overrun.append({5, 0, 0, 1});  // a run of 5 in a 2-pixel row
  cases.push_back({overrun, "Not a valid BMP file (compressed data is damaged)"});
  int i = 0;
  for (auto& c : cases) {
    std::string in = c.bmp.save(tmp, ("bad" + std::to_string(i++) + ".bmp").c_str());
    auto r = pixmorph::transcode(in, tmp.path("out.png"), 80);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.side, pixmorph::FailureSide::Read);
    EXPECT_EQ(r.message, c.message);
    EXPECT_FALSE(fs::exists(tmp.path("out.png")));
  }
}

// Tiny files whose headers claim an image beyond the pixel limit, for every
// reader, or (PNG) more data than the file can hold. Each must be refused
// from the header, before any buffer it sizes.
TEST(Limits, HeadersClaimingTooMuchAreRefused) {
  auto be32 = [](std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
  };
  auto png = [&](uint32_t w, uint32_t h, uint8_t interlace) {
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr = {'I', 'H', 'D', 'R'};
    be32(ihdr, w), be32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, interlace});
    be32(b, 13);
    b.insert(b.end(), ihdr.begin(), ihdr.end());
    be32(b, uint32_t(crc32(0, ihdr.data(), uInt(ihdr.size()))));
    b.insert(b.end(), {0, 0, 0, 2, 'I', 'D', 'A', 'T', 0x78, 0x9C, 0, 0, 0, 0});  // cut short
    return b;
  };
  auto gif = [](uint16_t sw, uint16_t sh, uint16_t fw, uint16_t fh) {
    return std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', uint8_t(sw), uint8_t(sw >> 8), uint8_t(sh), uint8_t(sh >> 8),
                                0, 0, 0, ',', 0, 0, 0, 0, uint8_t(fw), uint8_t(fw >> 8), uint8_t(fh), uint8_t(fh >> 8),
                                0, 2, 2, 0x4C, 1, 0, 0, ';'};
  };
  auto jpg = [](uint16_t w, uint16_t h, uint8_t sof) {
    std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    b.insert(b.end(), 64, 1);
    b.insert(b.end(), {0xFF, sof, 0, 11, 8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w), 1, 1, 0x11, 0,
                       0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 0xFF, 0xD9});
    return b;
  };
  Bmp bmp = Bmp::windows(100000, 100000, 24, 0);
  bmp.dataStartsHere();
  bmp.u32(2, uint32_t(bmp.b.size()));
  const char* tooLarge = "Image is too large (more than 268435456 pixels)";
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {"wide.png", png(0x7FFFFFFF, 1, 0), tooLarge},
      {"interlaced.png", png(1u << 30, 3, 1), tooLarge},
      {"at-the-limit.png", png(1u << 28, 1, 0), "PNG file is truncated"},
      {"screen.gif", gif(65535, 65535, 1, 1), tooLarge},
      {"frame.gif", gif(0, 0, 65535, 65535), tooLarge},
      {"baseline.jpg", jpg(65500, 65500, 0xC0), tooLarge},
      {"progressive.jpg", jpg(65500, 8000, 0xC2), tooLarge},
      {"huge.bmp", bmp.b, tooLarge},
  };
  TempDir tmp;
  for (const auto& c : cases) {
    writeFile(tmp.path(c.name), c.bytes);
    auto r = pixmorph::transcode(tmp.path(c.name), tmp.path("out.png"), 80);
    EXPECT_EQ(r.side, pixmorph::FailureSide::Read) << c.name;
    EXPECT_EQ(r.message, c.message) << c.name;
  }
}

// A flat CMYK JPG written with libjpeg, with or without Adobe's marker, and
// with a CMYK profile.
void writeCmykJpeg(const std::string& path, const uint8_t ink[4], bool adobeMarker) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  jpeg_stdio_dest(&c, f);
  c.image_width = 16, c.image_height = 16, c.input_components = 4, c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  c.write_Adobe_marker = adobeMarker;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> profile(132, 0);
  std::memcpy(&profile[16], "CMYK", 4);
  jpeg_write_icc_profile(&c, profile.data(), unsigned(profile.size()));
  std::vector<uint8_t> row(16 * 4);
  for (size_t i = 0; i < row.size(); ++i) row[i] = ink[i % 4];
  JSAMPROW rows[1] = {row.data()};
  for (int y = 0; y < 16; ++y) jpeg_write_scanlines(&c, rows, 1);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

TEST(JpegReader, CmykIsInvertedInkWithOrWithoutAdobeMarkerAndItsProfileStaysBehind) {
  TempDir tmp;
  const uint8_t ink[4] = {255, 128, 0, 200};  // stored values: 0 is full ink
  for (bool marker : {true, false}) {
    SCOPED_TRACE(marker ? "Adobe marker" : "no marker");
    writeCmykJpeg(tmp.path("cmyk.jpg"), ink, marker);
    RgbaImage img = loadRgba(tmp.path("cmyk.jpg"));
    EXPECT_NEAR(img.at(8, 8).r, 200, 2);
    EXPECT_NEAR(img.at(8, 8).g, 100, 2);
    EXPECT_NEAR(img.at(8, 8).b, 0, 2);
    ASSERT_TRUE(pixmorph::transcode(tmp.path("cmyk.jpg"), tmp.path("rgb.jpg"), 90).ok);
    EXPECT_TRUE(probe(tmp.path("rgb.jpg")).icc.empty());
  }
}

// Reference decodes shipped with the corpus.

RgbaImage loadRaw(const std::string& path, uint32_t w, uint32_t h, int channels) {
  auto bytes = readFile(path);
  RgbaImage img;
  img.width = w, img.height = h;
  for (size_t i = 0; i + channels <= bytes.size() && img.px.size() < size_t(w) * h; i += channels)
    img.px.push_back({bytes[i], bytes[i + 1], bytes[i + 2], 255});
  return img;
}

RgbaImage loadPpm(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  uint32_t w, h, maxv;
  f >> magic >> w >> h >> maxv;
  f.get();
  std::vector<uint8_t> data(size_t(w) * h * 3);
  f.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
  RgbaImage img;
  img.width = w, img.height = h;
  for (size_t i = 0; i < data.size(); i += 3) img.px.push_back({data[i], data[i + 1], data[i + 2], 255});
  return img;
}

TEST(Reference, BmpSuiteGoodFilesMatchTheirRenderings) {
  PM_REQUIRE_CORPUS();
  const std::string html = corpusDir() + "/bmpsuite/html/";
  int compared = 0;
  for (const std::string& bmp : corpusFiles("bmpsuite/g", ".bmp")) {
    std::string name = fs::path(bmp).stem().string();
    std::string ref = html + name + ".png";
    if (!fs::exists(ref)) continue;
    SCOPED_TRACE(name);
    // Reference renderings of 16-bit images round differently; allow that.
    int tolerance = name.rfind("rgb16", 0) == 0 ? 8 : 0;
    EXPECT_LE(maxDifference(loadRgba(bmp), loadRgba(ref)), tolerance);
    ++compared;
  }
  EXPECT_GE(compared, 12);
}

TEST(Reference, GifsMatchGiflibDecodes) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/gif/giflib/";
  for (const char* name : {"treescap", "treescap-interlaced", "porsche", "solid2", "gifgrid"}) {
    SCOPED_TRACE(name);
    RgbaImage got = loadRgba(dir + "pic/" + name + ".gif");
    RgbaImage want = loadRaw(dir + "tests/" + name + ".rgb", got.width, got.height, 3);
    EXPECT_EQ(maxDifference(got, want), 0);
  }
}

TEST(Reference, JpegsMatchReferenceDecodes) {
  PM_REQUIRE_CORPUS();
  const std::string lj = corpusDir() + "/jpeg/libjpeg-turbo/";
  // The uncompressed original of the IJG test picture: close at its quality.
  EXPECT_LE(maxDifference(loadRgba(lj + "testorig.jpg"), loadPpm(lj + "testorig.ppm")), 8);
  // Arithmetic coding decodes to the same picture as Huffman coding.
  EXPECT_LE(maxDifference(loadRgba(lj + "testimgari.jpg"), loadRgba(lj + "testimgint.jpg")), 0);
  // Other decoders' renderings (different IDCT and upsampling): close.
  const std::string rt = corpusDir() + "/jpeg/jpeg-decoder/reftest/images/";
  for (const char* name : {"mozilla/jpg-cmyk-1", "mozilla/jpg-cmyk-2", "mozilla/jpg-gray", "mozilla/jpg-progressive",
                           "mozilla/jpg-size-33x33", "restarts", "non-interleaved-mcu", "grayscale_16x24_sampling2x2"}) {
    SCOPED_TRACE(name);
    EXPECT_LE(maxDifference(loadRgba(rt + name + ".jpg"), loadRgba(rt + name + ".png")), 24);
  }
}

TEST(Reference, ExifOrientationsAllLookTheSame) {
  PM_REQUIRE_CORPUS();
  const std::string dir = corpusDir() + "/jpeg/exif-orientation-examples/";
  for (const char* kind : {"Landscape", "Portrait"}) {
    RgbaImage upright = loadRgba(dir + kind + "_1.jpg");
    for (int o = 2; o <= 8; ++o) {
      SCOPED_TRACE(std::string(kind) + std::to_string(o));
      RgbaImage img = loadRgba(dir + kind + "_" + std::to_string(o) + ".jpg");
      ASSERT_EQ(img.width, upright.width);
      ASSERT_EQ(img.height, upright.height);
      // Same photo re-encoded per orientation: compare block averages.
      long diff = 0, n = 0;
      for (uint32_t y = 8; y + 8 < img.height; y += 32)
        for (uint32_t x = 8; x + 8 < img.width; x += 32, ++n)
          diff += std::abs(int(img.at(x, y).g) - int(upright.at(x, y).g));
      EXPECT_LT(diff / n, 20);
    }
  }
}

}  // namespace
}  // namespace pmtest
