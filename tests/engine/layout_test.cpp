// The layout each writer chooses from the pixels: PNG colour type and bit
// depth, BMP depth, grey JPG, and the profile's say. Every lossless output
// must decode to the source's pixels, through our readers and (BMP) Pillow's.
#include <cstring>

#include "TestSupport.h"

namespace pmtest {
namespace {

// PNG: colour type and bit depth from IHDR. BMP: bits per pixel.
std::pair<int, int> pngLayout(const std::string& path) {
  const Bytes b = readFile(path);
  return {b[25], b[24]};
}
int bmpBits(const std::string& path) { return readFile(path)[28]; }

// Pillow decodes @p bmp to the pixels our reader gives.
bool pillowAgrees(const std::string& bmp) {
  const RgbaImage ours = loadRgba(bmp);
  writeFile(bmp + ".rgba", Bytes(reinterpret_cast<const uint8_t*>(ours.px.data()),
                                 reinterpret_cast<const uint8_t*>(ours.px.data() + ours.px.size())));
  const std::string cmd = "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                          "sys.exit(Image.open(sys.argv[1]).convert(\"RGBA\").tobytes() != open(sys.argv[2], \"rb\").read())' '" +
                          bmp + "' '" + bmp + ".rgba'";
  return std::system(cmd.c_str()) == 0;
}

// An RGBA picture of the colours @p colour gives pixel by pixel, written as
// the PNG @p name; its path.
std::string picture(const TempDir& tmp, const char* name, uint32_t w, uint32_t h,
                    const std::function<Rgba8(size_t)>& colour) {
  ImageInfo info = makeInfo(PixelFormat::Rgba, w, h);
  Bytes px(info.rowBytes() * h);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    const Rgba8 c = colour(i);
    std::memcpy(&px[4 * i], &c, 4);
  }
  writeImage(tmp.path(name), info, px);
  return tmp.path(name);
}

// Converts @p src to out.png, out.bmp and out.jpg; PNG and BMP must be exact
// and Pillow must read the BMP alike.
void convertAll(const TempDir& tmp, const std::string& src) {
  const RgbaImage want = loadRgba(src);
  for (const char* out : {"out.png", "out.bmp", "out.jpg"}) ASSERT_EQ(transcode(src, tmp.path(out), 95).message, "No Error");
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("out.png")), want), 0);
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("out.bmp")), want), 0);
  EXPECT_TRUE(pillowAgrees(tmp.path("out.bmp")));
}

// The last colour arrives only in the last pixel, after every row before it
// was held as palette indices.
TEST(Layout, ColourCountsGiveThePaletteDepthsUntilTheyNoLongerFit) {
  const std::tuple<size_t, std::pair<int, int>, int> cases[] = {
      {2, {3, 1}, 1},  {3, {3, 2}, 4},    {16, {3, 4}, 4},  {17, {3, 8}, 8},
      {256, {3, 8}, 8}, {257, {2, 8}, 24},
  };
  for (const auto& [n, png, bmp] : cases) {
    SCOPED_TRACE(n);
    TempDir tmp;
    const std::string src = picture(tmp, "src.png", 61, 40, [n = n](size_t i) {
      const size_t c = i == 61 * 40 - 1 ? n - 1 : i / 5 % (n - 1);
      return Rgba8{uint8_t(c), 77, uint8_t(30 + 90 * (c >> 8)), 255};
    });
    convertAll(tmp, src);
    EXPECT_EQ(pngLayout(tmp.path("out.png")), png);
    EXPECT_EQ(bmpBits(tmp.path("out.bmp")), bmp);
  }
}

TEST(Layout, GreyPicturesTakeTheFewestBitsAndAlphaOnlyWhenUsed) {
  struct Case {
    const char* name;
    std::function<Rgba8(size_t)> colour;
    std::pair<int, int> png;
    int bmp;
  };
  auto grey = [](uint8_t v, uint8_t a = 255) { return Rgba8{v, v, v, a}; };
  const Case cases[] = {
      {"black and white", [&](size_t i) { return grey(i % 7 ? 255 : 0); }, {0, 1}, 1},
      {"four levels", [&](size_t i) { return grey(uint8_t(85 * (i % 4))); }, {0, 2}, 4},
      {"sixteen levels", [&](size_t i) { return grey(uint8_t(17 * (i / 3 % 16))); }, {0, 4}, 4},
      // Pillow would take these palette entries for grey values.
      {"the greys 0 to 15", [&](size_t i) { return grey(uint8_t(i / 9 % 16)); }, {0, 8}, 4},
      {"translucent levels", [&](size_t i) { return grey(uint8_t(i), i / 256 % 2 ? 90 : 255); }, {4, 8}, 32},
      {"one transparent colour", [&](size_t i) { return i % 3 ? grey(200) : Rgba8{255, 0, 0, 0}; }, {3, 1}, 32},
      // Over 256 grey and alpha pairs held as such, then a colour at the end.
      {"last pixel in colour", [&](size_t i) { return i == 61 * 40 - 1 ? Rgba8{1, 2, 3, 4} : grey(uint8_t(i), uint8_t(i / 256)); }, {6, 8}, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    convertAll(tmp, picture(tmp, "src.png", 61, 40, c.colour));
    EXPECT_EQ(pngLayout(tmp.path("out.png")), c.png);
    EXPECT_EQ(bmpBits(tmp.path("out.bmp")), c.bmp);
  }
}

// The alpha of a picture with many colours is left out while every pixel is
// opaque; a translucent last pixel makes the conversion start again with it.
TEST(Layout, AlphaOfManyColoursIsKeptOnlyWhenUsed) {
  for (bool lastTranslucent : {false, true}) {
    SCOPED_TRACE(lastTranslucent);
    TempDir tmp;
    const std::string src = picture(tmp, "src.png", 300, 200, [&](size_t i) {
      return Rgba8{uint8_t(i), uint8_t(i >> 8), uint8_t(i * 7), uint8_t(lastTranslucent && i == 300 * 200 - 1 ? 9 : 255)};
    });
    convertAll(tmp, src);
    EXPECT_EQ(pngLayout(tmp.path("out.png")).first, lastTranslucent ? 6 : 2);
    EXPECT_EQ(bmpBits(tmp.path("out.bmp")), lastTranslucent ? 32 : 24);
    EXPECT_EQ(entries(tmp.dir()), 5u);  // the source, three outputs and the Pillow check's pixels
  }
}

TEST(Layout, AllGreyJpgHasOneComponentCloseToTheColourOne) {
  TempDir tmp;
  ImageInfo info = makeInfo(PixelFormat::Rgb, 120, 90);
  Bytes px = makePattern(info);
  for (size_t i = 0; i < px.size(); i += 3) px[i + 1] = px[i + 2] = px[i];
  writeImage(tmp.path("src.bmp"), info, px);
  writeImage(tmp.path("colour.jpg"), info, px, 80);  // three components, as every JPG was written before
  ASSERT_TRUE(transcode(tmp.path("src.bmp"), tmp.path("grey.jpg"), 80).ok);
  EXPECT_EQ(probe(tmp.path("grey.jpg")).format, PixelFormat::Gray);
  EXPECT_LE(maxDifference(loadRgba(tmp.path("grey.jpg")), loadRgba(tmp.path("colour.jpg"))), 2);
}

// A profile's colour space wins over bytes: an RGB profile keeps grey pixels
// in colour (a palette is colour, in PNG and BMP), a grey one keeps them grey
// (and is left out of a BMP, whose greys are a palette).
TEST(Layout, ProfilesKeepTheirColourSpace) {
  for (const char* space : {"RGB ", "GRAY"}) {
    SCOPED_TRACE(space);
    TempDir tmp;
    const bool rgb = space[0] == 'R';
    ImageInfo info = makeInfo(rgb ? PixelFormat::Rgb : PixelFormat::Gray, 40, 30);
    // A header and no tags; libpng wants a profile longer than its deflated header.
    info.icc.assign(400, 0);
    for (size_t i = 132; i < 400; ++i) info.icc[i] = uint8_t(i * i * 7 + i * 13);
    const uint8_t header[] = {0, 0, 1, 144, 0, 0, 0, 0, 2, 0x10, 0, 0, 'm', 'n', 't', 'r'};
    std::memcpy(info.icc.data(), header, sizeof header);
    std::memcpy(&info.icc[16], space, 4);
    std::memcpy(&info.icc[20], "XYZ ", 4);
    std::memcpy(&info.icc[36], "acsp", 4);
    const uint8_t d50[] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::memcpy(&info.icc[68], d50, sizeof d50);
    Bytes px(info.rowBytes() * info.height);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i / info.channels() % 4 * 60);  // four greys
    writeImage(tmp.path("src.png"), info, px);
    ASSERT_EQ(probe(tmp.path("src.png")).icc, info.icc);
    for (auto [out, layout] : {std::pair{"out.png", rgb ? PixelFormat::Indexed : PixelFormat::Gray},
                               {"out.jpg", rgb ? PixelFormat::Rgb : PixelFormat::Gray}, {"out.bmp", PixelFormat::Indexed}}) {
      ASSERT_TRUE(transcode(tmp.path("src.png"), tmp.path(out)).ok) << out;
      EXPECT_EQ(probe(tmp.path(out)).format, layout) << out;
      EXPECT_EQ(probe(tmp.path(out)).icc, rgb || out[4] != 'b' ? info.icc : Bytes()) << out;
    }
    EXPECT_TRUE(pillowAgrees(tmp.path("out.bmp")));
  }
}

// Noise does not compress: its PNG data spans many IDAT chunks, and every
// one must arrive once, in order.
TEST(Layout, NoiseSpanningManyIdatChunksDecodesExactly) {
  TempDir tmp;
  const ImageInfo info = makeInfo(PixelFormat::Rgb, 1100, 1000);
  std::mt19937 rng(7);
  Bytes px(info.rowBytes() * info.height);
  for (uint8_t& v : px) v = uint8_t(rng());
  writeImage(tmp.path("noise.bmp"), info, px);
  ASSERT_TRUE(transcode(tmp.path("noise.bmp"), tmp.path("noise.png")).ok);
  const Bytes png = readFile(tmp.path("noise.png"));
  size_t idat = 0;
  for (size_t at = 8; at + 8 <= png.size(); at += 12 + (size_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]))
    idat += std::memcmp(&png[at + 4], "IDAT", 4) == 0;
  EXPECT_GT(idat, 4u);
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("noise.png")), loadRgba(tmp.path("noise.bmp"))), 0);
}

}  // namespace
}  // namespace pmtest
