// A source decoded once and written to several targets at once: each target
// is what the one-target call makes of the same file, byte for byte, with the
// same result, whatever reader the source needs; a folder standing where one
// target would go fails that one alone; JPGs written after others take over
// the coefficient memory those leave, as it is.
#include <thread>

#include "CoefficientMemory.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(SeveralTargets, EachIsTheOneTargetCallsOutput) {
  TempDir tmp;
  ImageInfo turned = makeInfo(PixelFormat::Rgb, 48, 20);
  turned.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};  // on its side
  writeImage(tmp.path("turned.jpg"), turned, makePattern(turned));
  Bytes cut = readFile(makeSource(tmp, "photo.jpg", 300, 200));
  cut.resize(cut.size() / 2);  // its rows fail part way
  writeFile(tmp.path("cut.jpg"), cut);
  writeFile(tmp.path("junk.png"), Bytes(100, 'x'));
  std::vector<std::string> sources = {tmp.path("turned.jpg"), tmp.path("cut.jpg"), tmp.path("junk.png"),
                                      makeSource(tmp, "rgb.bmp"), makeSource(tmp, "rgb.png")};
  if (!corpusDir().empty())
    for (const char* name : {"/gif/giflib/pic/treescap-interlaced.gif", "/jpeg/jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg"})
      sources.push_back(corpusDir() + name);
  const std::pair<const char*, int> targets[] = {{"t.bmp", 80},     {"t.png", 80},     {"q100.jpg", 100}, {"q10.jpg", 10},
                                                 {"dir.png", 80},   {"q95.jpg", 95},   {"q50.jpg", 50}};
  constexpr size_t kTogether = 5;  // then the rest one after another
  for (const std::string& src : sources) {
    TempDir alone, held;
    fs::create_directory(alone.path("dir.png")), fs::create_directory(held.path("dir.png"));
    const std::shared_ptr<const DecodedSource> source = decodeSource(src);
    std::vector<TranscodeResult> results(std::size(targets));
    {
      std::vector<std::jthread> writes;
      for (size_t i = 0; i < kTogether; ++i)
        writes.emplace_back([&, i] { results[i] = writeTarget(*source, held.path(targets[i].first), targets[i].second); });
    }
    for (size_t i = kTogether; i < results.size(); ++i)
      results[i] = writeTarget(*source, held.path(targets[i].first), targets[i].second);
    for (size_t i = 0; i < results.size(); ++i) {
      const auto& [name, quality] = targets[i];
      const TranscodeResult one = transcode(src, alone.path(name), quality);
      EXPECT_EQ(std::tie(results[i].ok, results[i].status, results[i].side, results[i].message),
                std::tie(one.ok, one.status, one.side, one.message)) << src << " " << name;
      if (one.ok) {
        EXPECT_TRUE(readFile(held.path(name)) == readFile(alone.path(name))) << src << " " << name;
      }
    }
    EXPECT_EQ(entries(held.dir()), entries(alone.dir())) << src;  // nothing left behind
  }
}

// A block comes back for the next write of about its size, and a block in
// use is never lent twice.
TEST(CoefficientMemory, BlocksAreTakenInTurn) {
  CoefficientMemory memory;
  uint8_t* first = memory.acquire(1000).data();
  CoefficientMemory::Lease again = memory.acquire(900);
  EXPECT_EQ(again.data(), first);
  EXPECT_NE(memory.acquire(1000).data(), first);
}

}  // namespace
}  // namespace pmtest
