// Readers on files built or altered by hand: what the corpus lacks (an
// all-zero alpha mask, CMYK without Adobe's marker, profiles) and headers
// claiming too much.
#include <zlib.h>

#include <cstring>

#include "ColourProfile.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

// A BMP with a 108-byte info header and BITFIELDS masks for B, G, R, A,
// @p w by @p h pixels, and two pixels of data, (10, 20, 30) and (40, 50, 60)
// as stored, whose alpha is zero.
Bytes bmpWithAlphaMask(uint32_t w, uint32_t h) {
  Bytes b(130, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = 32, b[30] = 3;
  put(2, 130), put(10, 122), put(14, 108), put(18, w), put(22, h);
  put(54, 0xFF0000), put(58, 0xFF00), put(62, 0xFF), put(66, 0xFF000000), put(122, 0x1E140A), put(126, 0x3C3228);
  return b;
}

// Where the segment with JPG @p marker starts; the file must hold one.
size_t jpgSegment(const Bytes& b, uint8_t marker) {
  size_t at = 2;
  while (b[at + 1] != marker) at += 2 + (b[at + 2] << 8 | b[at + 3]);
  return at;
}

// Writers that fill no alpha leave it zero: such a picture is opaque. (The
// corpus has alpha masks in use.)
TEST(BmpReader, AlphaMaskWhoseAlphaIsAllZeroMeansOpaque) {
  TempDir tmp;
  writeFile(tmp.path("a.bmp"), bmpWithAlphaMask(1, 2));
  EXPECT_EQ(loadRgba(tmp.path("a.bmp")).px, (std::vector<Rgba8>{{60, 50, 40, 255}, {30, 20, 10, 255}}));  // stored bottom-up
}

// Tiny files whose headers claim an image beyond the pixel limit, for every
// reader, or (PNG) more data than the file can hold. Each must be refused
// from the header, before any buffer it sizes.
TEST(Limits, HeadersClaimingTooMuchAreRefused) {
  TempDir tmp;
  auto png = [&](uint32_t w, uint32_t h, uint8_t interlace) {  // a 1x1 RGBA PNG claiming w x h
    writeImage(tmp.path("one.png"), makeInfo(PixelFormat::Rgba, 1, 1), Bytes(4));
    Bytes b = readFile(tmp.path("one.png"));
    for (int i = 0; i < 4; ++i) b[16 + i] = uint8_t(w >> (24 - 8 * i)), b[20 + i] = uint8_t(h >> (24 - 8 * i));
    b[28] = interlace;
    const uint32_t crc = uint32_t(crc32(0, &b[12], 17));
    for (int i = 0; i < 4; ++i) b[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return b;
  };
  auto gif = [](uint16_t sw, uint16_t sh, uint16_t fw, uint16_t fh) {
    return Bytes{'G', 'I', 'F', '8', '9', 'a', uint8_t(sw), uint8_t(sw >> 8), uint8_t(sh), uint8_t(sh >> 8), 0, 0, 0, ',',
                 0, 0, 0, 0, uint8_t(fw), uint8_t(fw >> 8), uint8_t(fh), uint8_t(fh >> 8), 0, 2, 2, 0x4C, 1, 0, 0, ';'};
  };
  auto jpg = [&](uint16_t w, uint16_t h, uint8_t sof) {  // an 8x8 grey JPG claiming w x h
    writeImage(tmp.path("one.jpg"), makeInfo(PixelFormat::Gray, 8, 8), Bytes(64));
    Bytes b = readFile(tmp.path("one.jpg"));
    const size_t at = jpgSegment(b, 0xC0);
    b[at + 1] = sof, b[at + 5] = uint8_t(h >> 8), b[at + 6] = uint8_t(h), b[at + 7] = uint8_t(w >> 8), b[at + 8] = uint8_t(w);
    return b;
  };
  const char* tooLarge = "Image is too large (more than 268435456 pixels)";
  const std::tuple<const char*, Bytes, const char*> cases[] = {
      {"wide.png", png(0x7FFFFFFF, 1, 0), tooLarge},
      {"interlaced.png", png(1u << 30, 3, 1), tooLarge},
      {"at-the-limit.png", png(1u << 28, 1, 0), "PNG file is truncated"},
      {"screen.gif", gif(65535, 65535, 1, 1), tooLarge},
      {"frame.gif", gif(0, 0, 65535, 65535), tooLarge},
      {"baseline.jpg", jpg(65500, 65500, 0xC0), tooLarge},
      {"progressive.jpg", jpg(65500, 8000, 0xC2), tooLarge},
      {"huge.bmp", bmpWithAlphaMask(100000, 100000), tooLarge},
  };
  for (const auto& [name, bytes, message] : cases) {
    writeFile(tmp.path(name), bytes);
    EXPECT_EQ(convertAlone(tmp.path(name)).message, message) << name;
  }
}

// A JPG the codec refuses for a reason of its own says which.
TEST(JpegReader, CodecRefusalCarriesTheCodecsReason) {
  TempDir tmp;
  writeImage(tmp.path("one.jpg"), makeInfo(PixelFormat::Gray, 8, 8), Bytes(64));
  Bytes b = readFile(tmp.path("one.jpg"));
  b[jpgSegment(b, 0xC4) + 4] = 0x05;  // the first Huffman table's class and number
  writeFile(tmp.path("bad.jpg"), b);
  EXPECT_EQ(convertAlone(tmp.path("bad.jpg")).message, "JPG file is damaged: Bogus DHT index 5");
}

// A profile travels only to pixels of its colour space. CMYK JPGs store
// inverted ink whether or not Adobe's marker says so.
TEST(JpegReader, ProfilesTravelWithTheirColourSpaceAndCmykNeedsNoAdobeMarker) {
  PM_REQUIRE_CORPUS();
  TempDir tmp;
  const std::string rgbProfile = corpusDir() + "/jpeg/pillow/icc_profile_big.jpg";
  ASSERT_FALSE(probe(rgbProfile).icc.empty());
  for (const char* out : {"i.png", "i.jpg"}) {
    ASSERT_TRUE(transcode(rgbProfile, tmp.path(out)).ok);
    EXPECT_EQ(probe(tmp.path(out)).icc, probe(rgbProfile).icc) << out;
  }
  const std::string withMarker = corpusDir() + "/jpeg/jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg";
  Bytes b = readFile(withMarker);
  const size_t at = jpgSegment(b, 0xEE);  // Adobe's APP14, replaced by a CMYK profile
  Bytes icc = {0xFF, 0xE2, 0, 16 + 132, 'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
  icc.resize(icc.size() + 132);
  std::memcpy(&icc[18 + 16], "CMYK", 4);
  b.erase(b.begin() + long(at), b.begin() + long(at) + 2 + (b[at + 2] << 8 | b[at + 3]));
  b.insert(b.begin() + long(at), icc.begin(), icc.end());
  writeFile(tmp.path("plain.jpg"), b);
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("plain.jpg")), loadRgba(withMarker)), 0);
  ASSERT_EQ(probe(tmp.path("plain.jpg")).icc.size(), 132u);
  ASSERT_TRUE(transcode(tmp.path("plain.jpg"), tmp.path("rgb.jpg")).ok);
  EXPECT_TRUE(probe(tmp.path("rgb.jpg")).icc.empty());
}

}  // namespace
}  // namespace pmtest

TEST(ColourProfile, CodePointsBecomeAProfileOnlyWhereOneIsNeeded) {
  const std::vector<uint8_t> p3 = pixmorph::iccFromCicp(12, 13);  // a phone's Display P3
  ASSERT_GT(p3.size(), 128u);
  EXPECT_EQ(std::string(p3.begin() + 16, p3.begin() + 20), "RGB ");
  EXPECT_EQ(std::string(p3.begin() + 36, p3.begin() + 40), "acsp");
  EXPECT_NE(pixmorph::iccFromCicp(9, 1), p3);      // BT.2020 differs
  EXPECT_TRUE(pixmorph::iccFromCicp(1, 13).empty());  // sRGB needs none
  EXPECT_TRUE(pixmorph::iccFromCicp(2, 2).empty());   // unspecified is taken as sRGB
  EXPECT_TRUE(pixmorph::iccFromCicp(9, 16).empty());  // PQ cannot be said by a profile
  EXPECT_TRUE(pixmorph::iccFromCicp(200, 13).empty());
}
