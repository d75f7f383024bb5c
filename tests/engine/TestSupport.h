// Helpers shared by the engine tests: synthetic images, decoding any file to
// RGBA through the engine's own readers, temporary folders, the corpus.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Image.h"
#include "pixmorph/transcode.hpp"

namespace pmtest {

namespace fs = std::filesystem;
using pixmorph::FailureSide;
using pixmorph::ImageInfo;
using pixmorph::PixelFormat;
using pixmorph::Rgba8;
using pixmorph::transcode;
using Bytes = std::vector<uint8_t>;

struct RgbaImage {
  uint32_t width = 0, height = 0;
  std::vector<Rgba8> px;
  Rgba8 at(uint32_t x, uint32_t y) const { return px[size_t(y) * width + x]; }
};

/// Decodes @p path with the engine's readers and expands it to RGBA.
RgbaImage loadRgba(const std::string& path);
/// ImageInfo of @p path as the reader reports it.
ImageInfo probe(const std::string& path);

ImageInfo makeInfo(PixelFormat format, uint32_t width, uint32_t height);
/// A photo-like test pattern (gradients plus deterministic noise) in @p format.
Bytes makePattern(const ImageInfo& info);
/// Writes raw rows through the engine's writer chosen by @p path's extension.
void writeImage(const std::string& path, const ImageInfo& info, const Bytes& pixels, int quality = 90);

/// Largest per-channel difference, with colour channels counted only where
/// both pixels are visible.
int maxDifference(const RgbaImage& a, const RgbaImage& b);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
size_t entries(const fs::path& dir);

/// Converts @p input to a PNG in a fresh folder. A failure must be a read
/// failure with a message that leaves that folder empty.
pixmorph::TranscodeResult convertAlone(const std::string& input);

/// The shared corpus folder, or "" when absent.
std::string corpusDir();
/// Why the corpus tests cannot run, naming the folder they look for.
std::string corpusMissing();
/// CI sets PICTORIA_REQUIRE_CORPUS=1: a missing corpus then fails the tests.
bool corpusRequired();
#define PM_REQUIRE_CORPUS()                                                     \
  do {                                                                          \
    if (!pmtest::corpusDir().empty()) break;                                    \
    if (pmtest::corpusRequired()) FAIL() << pmtest::corpusMissing();            \
    GTEST_SKIP() << pmtest::corpusMissing() << "; skipping the corpus tests"; \
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

/// An RGB picture written as @p name in @p tmp; returns its path.
std::string makeSource(const TempDir& tmp, const char* name = "src.png", uint32_t w = 64, uint32_t h = 48);

}  // namespace pmtest
