// Helpers shared by the engine tests: synthetic images, decoding any file to
// RGBA through the engine's own readers, temporary folders, the corpus.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Image.h"

namespace pmtest {

namespace fs = std::filesystem;
using pixmorph::ImageInfo;
using pixmorph::PixelFormat;
using pixmorph::Rgba8;

struct RgbaImage {
  uint32_t width = 0, height = 0;
  std::vector<Rgba8> px;
  Rgba8 at(uint32_t x, uint32_t y) const { return px[size_t(y) * width + x]; }
};

/// Decodes @p path with the engine's readers and expands it to RGBA.
RgbaImage loadRgba(const std::string& path);
/// ImageInfo of @p path as the reader reports it.
ImageInfo probe(const std::string& path);

/// A photo-like test pattern (gradients plus deterministic noise) in @p format.
std::vector<uint8_t> makePattern(const ImageInfo& info, uint32_t seed = 1);
/// Writes raw rows through the engine's writer chosen by @p path's extension.
void writeImage(const std::string& path, const ImageInfo& info, const std::vector<uint8_t>& pixels,
                int quality = 90);

/// Largest per-channel difference, with colour channels counted only where
/// both pixels are visible.
int maxDifference(const RgbaImage& a, const RgbaImage& b);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

/// The shared corpus folder, or "" when absent.
std::string corpusDir();
#define PM_REQUIRE_CORPUS()                                         \
  do {                                                              \
    if (pmtest::corpusDir().empty()) GTEST_SKIP() << "no corpus"; \
  } while (0)

/// Every regular file under corpus sub-folder @p sub with extension @p ext.
std::vector<std::string> corpusFiles(const std::string& sub, const std::string& ext);

/// A fresh folder removed when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
};

}  // namespace pmtest
