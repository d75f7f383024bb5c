// Row-streaming image model shared by every reader and writer.
//
// A reader announces the image (ImageInfo) and then hands out rows top to
// bottom; a writer consumes them in the same order. Formats that can decode
// progressively never hold more than a few rows; the rest buffer internally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

namespace pixmorph {

enum class PixelFormat { Gray, GrayAlpha, Rgb, Rgba, Indexed };

inline int channelCount(PixelFormat f) {
  switch (f) {
    case PixelFormat::Gray: return 1;
    case PixelFormat::GrayAlpha: return 2;
    case PixelFormat::Rgb: return 3;
    case PixelFormat::Rgba: return 4;
    case PixelFormat::Indexed: return 1;
  }
  return 1;
}

struct Rgba8 {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Rgba8&) const = default;
};

struct ImageInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  PixelFormat format = PixelFormat::Rgb;
  std::vector<Rgba8> palette;  // Indexed only, 1..256 entries
  std::vector<uint8_t> icc;    // raw ICC profile, may be empty
  std::vector<uint8_t> exif;   // TIFF-structured EXIF (no "Exif\0\0"), may be empty
  /// Gray only: every value is a multiple of 255 / (2^grayBits - 1), so a
  /// writer may store it in grayBits bits (1, 2, 4 or 8).
  unsigned grayBits = 8;
  /// False when the file stored the picture lossily (a JPG, say): a writer
  /// that may write either way keeps a losslessly stored picture exact.
  bool losslessSource = true;

  int channels() const { return channelCount(format); }
  size_t rowBytes() const { return size_t(width) * size_t(channels()); }
};

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual const ImageInfo& info() const = 0;
  /// Copies the next @p count rows (each info().rowBytes() long) into @p dst.
  virtual void readRows(uint8_t* dst, uint32_t count) = 0;
  /// The next @p count rows where the reader already holds them, without a
  /// copy (valid while the reader lives); nullptr, reading nothing, where it
  /// does not.
  virtual const uint8_t* lendRows(uint32_t) { return nullptr; }
  /// Starts the rows again from the top; false when this reader cannot.
  virtual bool rewind() { return false; }
};

class ImageWriter {
 public:
  virtual ~ImageWriter() = default;
  /// Takes the next @p count rows laid out as the ImageInfo given at creation.
  virtual void writeRows(const uint8_t* rows, uint32_t count) = 0;
  /// Flushes everything still pending; the file is complete afterwards.
  virtual void finish() = 0;
};

/// Reader over an image already fully decoded in memory (interlaced or
/// compressed sources, or after an orientation change), or over rows held
/// for several targets, which each read them through a reader of their own.
class BufferedReader : public ImageReader {
 public:
  BufferedReader(ImageInfo info, std::vector<uint8_t> pixels)
      : info_(std::move(info)), pixels_(std::make_shared<const std::vector<uint8_t>>(std::move(pixels))) {}
  /// Reading beyond @p pixels throws @p end, the failure that cut them short, when given.
  BufferedReader(ImageInfo info, std::shared_ptr<const std::vector<uint8_t>> pixels, std::exception_ptr end)
      : info_(std::move(info)), pixels_(std::move(pixels)), end_(std::move(end)) {}
  const ImageInfo& info() const override { return info_; }
  void readRows(uint8_t* dst, uint32_t count) override;
  const uint8_t* lendRows(uint32_t count) override;
  bool rewind() override {
    offset_ = 0;
    return true;
  }

 private:
  ImageInfo info_;
  std::shared_ptr<const std::vector<uint8_t>> pixels_;
  std::exception_ptr end_;
  size_t offset_ = 0;
};

}  // namespace pixmorph
