// A source decoded once and written to several targets at once: each target
// is what the one-target call makes of the same file, byte for byte, with the
// same result, whatever reader the source needs.
#include <thread>

#include "TestSupport.h"

namespace pmtest {
namespace {

struct Target {
  const char* name;
  int quality;
};
const Target kTargets[] = {{"t.bmp", 80}, {"t.png", 80}, {"q100.jpg", 100}, {"q50.jpg", 50}, {"q10.jpg", 10}};

// Writes every target from one decode, all at once on threads of their own,
// and compares each with the one-target call.
void expectEveryTargetAsAlone(const std::string& src) {
  SCOPED_TRACE(src);
  TempDir alone, held;
  const std::shared_ptr<const DecodedSource> source = decodeSource(src);
  std::vector<TranscodeResult> results(std::size(kTargets));
  {
    std::vector<std::jthread> writes;
    for (size_t i = 0; i < results.size(); ++i)
      writes.emplace_back([&, i] { results[i] = writeTarget(*source, held.path(kTargets[i].name), kTargets[i].quality); });
  }
  for (size_t i = 0; i < results.size(); ++i) {
    const Target& t = kTargets[i];
    const TranscodeResult one = transcode(src, alone.path(t.name), t.quality);
    EXPECT_EQ(std::tie(results[i].ok, results[i].status, results[i].side, results[i].message),
              std::tie(one.ok, one.status, one.side, one.message)) << t.name;
    EXPECT_EQ(fs::exists(held.path(t.name)), one.ok) << t.name;
    EXPECT_TRUE(readFile(held.path(t.name)) == readFile(alone.path(t.name))) << t.name;
  }
  EXPECT_EQ(entries(held.dir()), entries(alone.dir()));  // no temporary file left behind
}

TEST(SeveralTargets, EachIsTheOneTargetCallsOutput) {
  TempDir tmp;
  ImageInfo palette = makeInfo(PixelFormat::Indexed, 33, 17);
  palette.palette = {{0, 0, 0, 255}, {250, 20, 20, 128}, {20, 250, 20, 0}, {30, 30, 250, 255}};
  const ImageInfo greyAlpha = makeInfo(PixelFormat::GrayAlpha, 40, 30), rgba = makeInfo(PixelFormat::Rgba, 31, 9);
  writeImage(tmp.path("palette.png"), palette, makePattern(palette));
  writeImage(tmp.path("grey-alpha.png"), greyAlpha, makePattern(greyAlpha));
  writeImage(tmp.path("rgba.bmp"), rgba, makePattern(rgba));
  // Turned on its side by EXIF orientation 6, which the writers reset.
  ImageInfo turned = makeInfo(PixelFormat::Rgb, 48, 20);
  turned.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  writeImage(tmp.path("turned.jpg"), turned, makePattern(turned));
  const std::string photo = makeSource(tmp, "photo.jpg", 300, 200);
  // Damaged sources: cut short in its data (rows fail part way), and no picture at all.
  Bytes cut = readFile(photo);
  cut.resize(cut.size() / 2);
  writeFile(tmp.path("cut.jpg"), cut);
  writeFile(tmp.path("junk.png"), Bytes(100, 'x'));
  for (const char* name : {"palette.png", "grey-alpha.png", "rgba.bmp", "turned.jpg", "photo.jpg", "cut.jpg", "junk.png"})
    expectEveryTargetAsAlone(tmp.path(name));
}

TEST(SeveralTargets, EachIsTheOneTargetCallsOutputForTheSuitesFiles) {
  PM_REQUIRE_CORPUS();
  const std::string corpus = corpusDir();
  for (const char* name : {"/gif/giflib/pic/treescap-interlaced.gif", "/gif/giflib/pic/x-trans.gif",
                           "/jpeg/jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg",
                           "/jpeg/jpeg-decoder/reftest/images/mozilla/jpg-progressive.jpg",
                           "/jpeg/exif-orientation-examples/Landscape_6.jpg", "/pngsuite/basi0g16.png"})
    expectEveryTargetAsAlone(corpus + name);
}

// A folder standing where one target would go fails that target alone.
TEST(SeveralTargets, OneTargetFailingLeavesTheOthersWritten) {
  TempDir tmp;
  const std::shared_ptr<const DecodedSource> source = decodeSource(makeSource(tmp));
  fs::create_directory(tmp.path("t.png"));
  const TranscodeResult failed = writeTarget(*source, tmp.path("t.png")), alone = transcode(tmp.path("src.png"), tmp.path("t.png"));
  EXPECT_EQ(std::tie(failed.status, failed.side, failed.message), std::tie(alone.status, alone.side, alone.message));
  EXPECT_EQ(failed.side, FailureSide::Write);
  for (const char* name : {"t.bmp", "t.jpg"}) {
    ASSERT_TRUE(writeTarget(*source, tmp.path(name)).ok) << name;
    EXPECT_EQ(loadRgba(tmp.path(name)).width, 64u) << name;
  }
  EXPECT_TRUE(fs::is_directory(tmp.path("t.png")));
  EXPECT_EQ(entries(tmp.dir()), 4u);
}

}  // namespace
}  // namespace pmtest
