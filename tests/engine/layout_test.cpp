// The layout each writer chooses from the pixels: PNG colour type and bit
// depth, BMP depth, grey JPG, and the profile's say. Every lossless output
// must decode to the source's pixels, through our readers and (BMP) Pillow's.
#include <cstring>

#include "HeldRows.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

using namespace std::literals;

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

// A 61x40 RGBA picture of the colours @p colour gives pixel by pixel,
// converted to PNG, BMP and JPG; PNG and BMP must be exact, and Pillow must
// read the BMP alike.
void convertAll(const TempDir& tmp, const std::function<Rgba8(size_t)>& colour) {
  const ImageInfo info = makeInfo(PixelFormat::Rgba, 61, 40);
  std::vector<Rgba8> px(61 * 40);
  for (size_t i = 0; i < px.size(); ++i) px[i] = colour(i);
  const std::string src = tmp.path("src.png");
  writeImage(src, info, Bytes(reinterpret_cast<uint8_t*>(px.data()), reinterpret_cast<uint8_t*>(px.data() + px.size())));
  for (const char* out : {"out.png", "out.bmp", "out.jpg"}) ASSERT_EQ(transcode(src, tmp.path(out), 95).message, "No Error");
  for (const char* out : {"out.png", "out.bmp"}) EXPECT_EQ(loadRgba(tmp.path(out)).px, px) << out;
  EXPECT_TRUE(pillowAgrees(tmp.path("out.bmp")));
}

Rgba8 grey(uint8_t v, uint8_t a = 255) { return {v, v, v, a}; }

// Each picture's PNG colour type and bit depth (from IHDR), and BMP bits per pixel. A
// last colour arriving only in the last pixel comes after every row before
// it was held in a smaller layout.
TEST(Layout, EachPictureTakesTheSmallestLayoutItsPixelsAllow) {
  constexpr size_t kLast = 61 * 40 - 1;
  auto colours = [](size_t n) {
    return [n](size_t i) {
      const size_t c = i == kLast ? n - 1 : i / 5 % (n - 1);
      return Rgba8{uint8_t(c), 77, uint8_t(30 + 90 * (c >> 8)), 255};
    };
  };
  const std::tuple<const char*, std::function<Rgba8(size_t)>, std::pair<int, int>, int> cases[] = {
      {"2 colours", colours(2), {3, 1}, 1}, {"3 colours", colours(3), {3, 2}, 4}, {"16 colours", colours(16), {3, 4}, 4},
      {"17 colours", colours(17), {3, 8}, 8}, {"256 colours", colours(256), {3, 8}, 8}, {"257 colours", colours(257), {2, 8}, 24},
      {"black and white", [](size_t i) { return grey(i % 7 ? 255 : 0); }, {0, 1}, 1},
      {"four greys", [](size_t i) { return grey(uint8_t(85 * (i % 4))); }, {0, 2}, 4},
      {"sixteen greys", [](size_t i) { return grey(uint8_t(17 * (i / 3 % 16))); }, {0, 4}, 4},
      // Pillow takes these palette entries for grey samples.
      {"the greys 0 to 15", [](size_t i) { return grey(uint8_t(i / 9 % 16)); }, {0, 8}, 4},
      {"translucent greys", [](size_t i) { return grey(uint8_t(i), i / 256 % 2 ? 90 : 255); }, {4, 8}, 32},
      {"one transparent colour", [](size_t i) { return i % 3 ? grey(200) : Rgba8{255, 0, 0, 0}; }, {3, 1}, 32},
      // Over 256 grey and alpha pairs held as such, then a colour.
      {"last pixel in colour",
       [](size_t i) { return i == kLast ? Rgba8{1, 2, 3, 4} : grey(uint8_t(i), uint8_t(i / 256)); }, {6, 8}, 32},
      // Alpha is left out while every pixel is opaque; a translucent last
      // pixel starts the conversion again.
      {"opaque colours", [](size_t i) { return Rgba8{uint8_t(i), uint8_t(i >> 8), uint8_t(i * 7), 255}; }, {2, 8},
       24},
      {"last pixel translucent",
       [](size_t i) { return Rgba8{uint8_t(i), uint8_t(i >> 8), uint8_t(i * 7), uint8_t(i == kLast ? 9 : 255)}; },
       {6, 8}, 32},
  };
  for (const auto& [name, colour, png, bmp] : cases) {
    SCOPED_TRACE(name);
    TempDir tmp;
    convertAll(tmp, colour);
    const Bytes ihdr = readFile(tmp.path("out.png"));
    EXPECT_EQ(std::pair(int(ihdr[25]), int(ihdr[24])), png);
    EXPECT_EQ(readFile(tmp.path("out.bmp"))[28], bmp);
  }
}

// Over 256 grey and alpha pairs are held as such. The 256 opaque greys come
// first: only pixels taken after the switch to grey and alpha make the
// picture translucent. Each held row expands to each layout.
TEST(Layout, GreyAndAlphaHeldRowsKeepTheirAlphaAndExpandToEveryLayout) {
  constexpr uint32_t kWidth = 300, kHeight = 2;
  Bytes source;
  for (uint32_t i = 0; i < kWidth * kHeight; ++i) source.insert(source.end(), {uint8_t(i), uint8_t(i < 256 ? 255 : i / 3)});
  HeldRows held(makeInfo(PixelFormat::GrayAlpha, kWidth, kHeight), true);
  ASSERT_TRUE(held.add(source.data(), kHeight));
  EXPECT_TRUE(!held.paletted() && held.allGray() && !held.opaque());
  for (PixelFormat to : {PixelFormat::Gray, PixelFormat::GrayAlpha, PixelFormat::Rgb, PixelFormat::Rgba})
    for (uint32_t y = 0; y < kHeight; ++y) {
      const int channels = channelCount(to);
      Bytes expected, row(kWidth * size_t(channels), 0xEE);
      for (size_t i = y * kWidth; i < (y + 1) * kWidth; ++i) {
        expected.insert(expected.end(), channels > 2 ? 3 : 1, source[2 * i]);  // grey, or as R, G and B
        if (channels % 2 == 0) expected.push_back(source[2 * i + 1]);
      }
      held.expand(held.row(y), to, row.data());
      EXPECT_EQ(row, expected) << channels << " channels, row " << y;
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
    // A header (size, version, class, space, PCS, signature, D50) and no
    // tags; libpng wants a profile longer than its deflated header.
    info.icc.assign(400, 0);
    for (size_t i = 132; i < 400; ++i) info.icc[i] = uint8_t(i * i * 7 + i * 13);
    for (auto [at, bytes] : {std::pair<size_t, std::string_view>{2, "\1\x90"sv}, {8, "\2\x10"}, {12, "mntr"}, {16, space},
                             {20, "XYZ "}, {36, "acsp"}, {70, "\xF6\xD6\0\1\0\0\0\0\xD3\x2D"sv}})
      std::memcpy(&info.icc[at], bytes.data(), bytes.size());
    Bytes px(info.rowBytes() * info.height);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i / info.channels() % 4 * 60);  // four greys
    writeImage(tmp.path("src.png"), info, px);
    for (auto [out, layout] : {std::pair{"out.png", rgb ? PixelFormat::Indexed : PixelFormat::Gray},
                               {"out.jpg", rgb ? PixelFormat::Rgb : PixelFormat::Gray}, {"out.bmp", PixelFormat::Indexed}}) {
      ASSERT_TRUE(transcode(tmp.path("src.png"), tmp.path(out)).ok) << out;
      EXPECT_EQ(probe(tmp.path(out)).format, layout) << out;
      EXPECT_EQ(probe(tmp.path(out)).icc, rgb || out[4] != 'b' ? info.icc : Bytes()) << out;
    }
    EXPECT_TRUE(pillowAgrees(tmp.path("out.bmp")));
  }
}

// GIFs are held whole by their reader, which hands their rows out twice:
// once to choose the layout, once to write it.
TEST(Layout, PicturesReadTwiceComeOutExact) {
  PM_REQUIRE_CORPUS();
  TempDir tmp;
  for (const std::string& gif : corpusFiles("gif/giflib", ".gif")) {
    const RgbaImage want = loadRgba(gif);
    for (const char* out : {"out.png", "out.bmp"}) {
      ASSERT_TRUE(transcode(gif, tmp.path(out)).ok) << gif;
      EXPECT_EQ(maxDifference(loadRgba(tmp.path(out)), want), 0) << gif << " " << out;
    }
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
