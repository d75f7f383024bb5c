// Helpers shared by the engine tests: synthetic images, decoding any file to
// RGBA through the engine's own readers, temporary folders, the corpus.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "Codecs.h"
#include "Errors.h"
#include "Pixels.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {

namespace fs = std::filesystem;
using namespace pixmorph;
using Bytes = std::vector<uint8_t>;

struct RgbaImage {
  uint32_t width = 0, height = 0;
  std::vector<Rgba8> px;
  Rgba8 at(uint32_t x, uint32_t y) const { return px[size_t(y) * width + x]; }
};

inline ImageInfo probe(const std::string& path) {
  InputFile in(path);
  return openReader(in, path)->info();
}

inline RgbaImage loadRgba(const std::string& path) {
  InputFile in(path);
  auto r = openReader(in, path);
  const ImageInfo& info = r->info();
  RgbaImage out{info.width, info.height, std::vector<Rgba8>(size_t(info.width) * info.height)};
  Bytes row(info.rowBytes());
  const RowConverter toRgba(info, PixelFormat::Rgba);
  for (uint32_t y = 0; y < info.height; ++y) {
    r->readRows(row.data(), 1);
    toRgba.convert(row.data(), reinterpret_cast<uint8_t*>(&out.px[size_t(y) * info.width]));
  }
  return out;
}

inline ImageInfo makeInfo(PixelFormat format, uint32_t width, uint32_t height) {
  ImageInfo info;
  info.width = width, info.height = height, info.format = format;
  return info;
}

/// A photo-like test pattern (gradients plus deterministic noise).
inline Bytes makePattern(const ImageInfo& info) {
  std::mt19937 rng(1);
  const size_t c = size_t(info.channels());
  Bytes px(info.rowBytes() * info.height);
  for (size_t i = 0; i < px.size(); ++i) {
    const uint32_t x = uint32_t(i / c % info.width), y = uint32_t(i / c / info.width), k = uint32_t(i % c);
    const int smooth = int((x * (k + 1) * 7 + y * (3 - k % 3) * 5) & 255) + int(rng() % 9) - 4;
    px[i] = info.format == PixelFormat::Indexed ? uint8_t((x / 3 + y / 5 + rng() % 2) % info.palette.size())
                                                : uint8_t(std::clamp(smooth, 0, 255));
  }
  return px;
}

/// Writes raw rows, a few at a time, through the writer @p path's extension picks.
inline void writeImage(const std::string& path, const ImageInfo& info, const Bytes& pixels, int quality = 90) {
  AtomicOutputFile out(path);
  std::unique_ptr<ImageWriter> w = createWriter(out, info, formatFromExtension(path), WriteOptions{quality});
  for (uint32_t y = 0; y < info.height; y += 7) w->writeRows(&pixels[info.rowBytes() * y], std::min(7u, info.height - y));
  w->finish();
  w.reset();
  out.commit();
}

/// Largest per-channel difference, with colour channels counted only where
/// both pixels are visible.
inline int maxDifference(const RgbaImage& a, const RgbaImage& b) {
  if (a.width != b.width || a.height != b.height) return 1000;
  int worst = 0;
  for (size_t i = 0; i < a.px.size(); ++i) {
    const Rgba8 &p = a.px[i], &q = b.px[i];
    const bool visible = p.a != 0 && q.a != 0;
    worst = std::max({worst, std::abs(p.a - q.a), visible * std::abs(p.r - q.r), visible * std::abs(p.g - q.g),
                      visible * std::abs(p.b - q.b)});
  }
  return worst;
}

inline Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline size_t entries(const fs::path& dir) { return size_t(std::distance(fs::directory_iterator(dir), {})); }

/// A fresh folder (in @p parent) removed when the test ends.
class TempDir {
 public:
  explicit TempDir(const fs::path& parent = fs::temp_directory_path())
      : dir_(mkdtemp((parent / "pixmorph-test-XXXXXX").string().data())) {}
  ~TempDir() { std::error_code ec; fs::remove_all(dir_, ec); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
};

/// An RGB picture written as @p name in @p tmp; returns its path.
inline std::string makeSource(const TempDir& tmp, const char* name = "src.png", uint32_t w = 64, uint32_t h = 48) {
  const ImageInfo info = makeInfo(PixelFormat::Rgb, w, h);
  writeImage(tmp.path(name), info, makePattern(info));
  return tmp.path(name);
}

/// Converts @p input to a PNG in a fresh folder. A failure must be a read
/// failure with a message that leaves that folder empty.
inline TranscodeResult convertAlone(const std::string& input) {
  TempDir tmp;
  auto r = transcode(input, tmp.path("out.png"));
  EXPECT_FALSE(r.message.empty()) << input;
  if (!r.ok) {
    EXPECT_EQ(r.side, FailureSide::Read) << input << ": " << r.message;
    EXPECT_EQ(entries(tmp.dir()), 0u) << input << ": " << r.message;
  }
  return r;
}

/// The shared corpus folder, or "" when absent.
inline std::string corpusDir() {
  std::error_code ec;
  return fs::is_directory(PIXMORPH_CORPUS_DIR, ec) ? std::string(PIXMORPH_CORPUS_DIR) : std::string();
}

/// Without the corpus its tests skip, saying why; CI sets
/// PICTORIA_REQUIRE_CORPUS=1, and then they fail instead.
#define PM_REQUIRE_CORPUS()                                                                                    \
  if (pmtest::corpusDir().empty()) {                                                                          \
    const std::string missing =                                                                               \
        "corpus folder " + std::filesystem::path(PIXMORPH_CORPUS_DIR).lexically_normal().string() + " not found"; \
    if (const char* required = std::getenv("PICTORIA_REQUIRE_CORPUS"); required && std::string(required) == "1") \
      FAIL() << missing << ", and PICTORIA_REQUIRE_CORPUS=1 requires it";                                      \
    GTEST_SKIP() << missing << ": skipping the corpus tests";                                                 \
  }

/// Every regular file under corpus sub-folder @p sub with extension @p ext.
inline std::vector<std::string> corpusFiles(const std::string& sub, const std::string& ext) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(fs::path(corpusDir()) / sub, ec))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace pmtest
