// Readers on hand-built files: BMP variants whose every pixel is known,
// headers claiming more than the limits allow, CMYK JPGs.
#include <zlib.h>

#include <cstdio>
#include <cstring>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "TestSupport.h"

namespace pmtest {
namespace {

void putLe(Bytes& b, size_t at, uint32_t v, int size) {
  for (int i = 0; i < size; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A BMP with a Windows info header of @p headerSize bytes; @p extra (masks,
// palette) follows the common fields, then the pixel data.
Bytes bmp(int32_t w, int32_t h, unsigned bpp, uint32_t compression, const Bytes& extra, const Bytes& data,
          uint32_t headerSize = 40, uint32_t colors = 0) {
  Bytes b(54, 0);
  b[0] = 'B', b[1] = 'M';
  putLe(b, 14, headerSize, 4), putLe(b, 18, uint32_t(w), 4), putLe(b, 22, uint32_t(h), 4);
  putLe(b, 26, 1, 2), putLe(b, 28, bpp, 2), putLe(b, 30, compression, 4), putLe(b, 46, colors, 4);
  b.insert(b.end(), extra.begin(), extra.end());
  b.resize(std::max<size_t>(b.size(), 14 + headerSize));
  putLe(b, 10, uint32_t(b.size()), 4);
  b.insert(b.end(), data.begin(), data.end());
  putLe(b, 2, uint32_t(b.size()), 4);
  return b;
}

struct Pixel {
  uint32_t x, y;
  Rgba8 want;  // colour compared only where visible
};

struct BmpCase {
  const char* name;
  Bytes file;
  std::vector<Pixel> pixels;
};

const Rgba8 kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255},
    kClear{0, 0, 0, 0};
const Bytes kRgbaMasks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF};

const BmpCase kBmpCases[] = {
    // Bottom row: two index-1 pixels, end of line. Top row: delta right by 1,
    // one index-0 pixel, end of bitmap. Skipped pixels stay transparent.
    {"rle8Delta", bmp(4, 2, 8, 1, {0, 0, 255, 0, 255, 0, 0, 0}, {2, 1, 0, 0, 0, 2, 1, 0, 1, 0, 0, 1}, 40, 2),
     {{0, 1, kBlue}, {1, 1, kBlue}, {2, 1, kClear}, {0, 0, kClear}, {1, 0, kRed}, {3, 0, kClear}}},
    // An absolute run of 3 nibbles (1, 2, 1), padded to a word.
    {"rle4Absolute", bmp(3, 1, 4, 2, {0, 0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 0}, {0, 3, 0x12, 0x10, 0, 1}, 40, 3),
     {{0, 0, kWhite}, {1, 0, {0, 255, 0, 255}}, {2, 0, kWhite}}},
    {"bitfields565", bmp(2, 1, 16, 3, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, {0xFF, 0xFF, 0x1F, 0x00}),
     {{0, 0, kWhite}, {1, 0, kBlue}}},
    {"alphaMask", bmp(1, 2, 32, 3, kRgbaMasks, {10, 20, 30, 0x80, 40, 50, 60, 0x80}, 108),
     {{0, 1, {30, 20, 10, 0x80}}, {0, 0, {60, 50, 40, 0x80}}}},
    {"alphaMaskAllZeroIsOpaque", bmp(1, 2, 32, 3, kRgbaMasks, {10, 20, 30, 0, 40, 50, 60, 0}, 108),
     {{0, 1, {30, 20, 10, 255}}, {0, 0, {60, 50, 40, 255}}}},
    {"topDown", bmp(1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}), {{0, 0, {3, 2, 1, 255}}, {0, 1, {6, 5, 4, 255}}}},
    // OS/2 core header, 3-byte palette entries; bit 9 of the row is padding.
    {"os2Core",
     {'B', 'M', 36, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0, 12, 0, 0, 0, 9, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 255, 255, 255, 0x80,
      0x40, 0, 0},
     {{0, 0, kWhite}, {1, 0, kBlack}, {8, 0, kBlack}}},
};

class BmpReader : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpReader, DecodesEveryPixelAsStored) {
  TempDir tmp;
  writeFile(tmp.path("in.bmp"), GetParam().file);
  const RgbaImage img = loadRgba(tmp.path("in.bmp"));
  for (const Pixel& p : GetParam().pixels) {
    RgbaImage got{1, 1, {img.at(p.x, p.y)}}, want{1, 1, {p.want}};
    EXPECT_EQ(maxDifference(got, want), 0) << p.x << "," << p.y;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BmpReader, ::testing::ValuesIn(kBmpCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Tiny files whose headers claim an image beyond the pixel limit, for every
// reader, or (PNG) more data than the file can hold. Each must be refused
// from the header, before any buffer it sizes.
TEST(Limits, HeadersClaimingTooMuchAreRefused) {
  auto be32 = [](Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
  };
  auto png = [&](uint32_t w, uint32_t h, uint8_t interlace) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}, ihdr = {'I', 'H', 'D', 'R'};
    be32(ihdr, w), be32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, interlace});
    b.insert(b.end(), ihdr.begin(), ihdr.end());
    be32(b, uint32_t(crc32(0, ihdr.data(), uInt(ihdr.size()))));
    b.insert(b.end(), {0, 0, 0, 2, 'I', 'D', 'A', 'T', 0x78, 0x9C, 0, 0, 0, 0});  // cut short
    return b;
  };
  auto gif = [](uint16_t sw, uint16_t sh, uint16_t fw, uint16_t fh) {
    return Bytes{'G', 'I', 'F', '8', '9', 'a', uint8_t(sw), uint8_t(sw >> 8), uint8_t(sh), uint8_t(sh >> 8), 0, 0, 0, ',',
                 0, 0, 0, 0, uint8_t(fw), uint8_t(fw >> 8), uint8_t(fh), uint8_t(fh >> 8), 0, 2, 2, 0x4C, 1, 0, 0, ';'};
  };
  auto jpg = [](uint16_t w, uint16_t h, uint8_t sof) {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    b.insert(b.end(), 64, 1);
    b.insert(b.end(), {0xFF, sof, 0, 11, 8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w), 1, 1, 0x11, 0,
                       0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 0xFF, 0xD9});
    return b;
  };
  const char* tooLarge = "Image is too large (more than 268435456 pixels)";
  const struct {
    const char* name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"wide.png", png(0x7FFFFFFF, 1, 0), tooLarge},
      {"interlaced.png", png(1u << 30, 3, 1), tooLarge},
      {"at-the-limit.png", png(1u << 28, 1, 0), "PNG file is truncated"},
      {"screen.gif", gif(65535, 65535, 1, 1), tooLarge},
      {"frame.gif", gif(0, 0, 65535, 65535), tooLarge},
      {"baseline.jpg", jpg(65500, 65500, 0xC0), tooLarge},
      {"progressive.jpg", jpg(65500, 8000, 0xC2), tooLarge},
      {"huge.bmp", bmp(100000, 100000, 24, 0, {}, {}), tooLarge},
  };
  TempDir tmp;
  for (const auto& c : cases) {
    writeFile(tmp.path(c.name), c.bytes);
    EXPECT_EQ(convertAlone(tmp.path(c.name)).message, c.message) << c.name;
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
  Bytes profile(132, 0);
  std::memcpy(&profile[16], "CMYK", 4);
  jpeg_write_icc_profile(&c, profile.data(), unsigned(profile.size()));
  Bytes row(16 * 4);
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
    ASSERT_TRUE(transcode(tmp.path("cmyk.jpg"), tmp.path("rgb.jpg"), 90).ok);
    EXPECT_TRUE(probe(tmp.path("rgb.jpg")).icc.empty());
  }
}

}  // namespace
}  // namespace pmtest
