// HEIF decoding in this process with libheif: the body of pixmorph-heif, and
// what the fuzz target runs directly. The engine itself never calls it (see
// HeifReader.cpp for why).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Image.h"

struct heif_image;

namespace pixmorph::heif {

/// The primary image of a HEIC file, decoded and upright, handed out row by
/// row at 8 bits a sample.
class DecodedHeif {
 public:
  /// Gray, GrayAlpha, Rgb or Rgba; EXIF orientation already 1.
  const ImageInfo& info() const { return info_; }
  /// Writes row @p y (info().rowBytes() bytes) to @p dst.
  void row(uint32_t y, uint8_t* dst) const;

 private:
  friend DecodedHeif decodeHeif(const uint8_t* data, size_t size);
  ImageInfo info_;
  std::shared_ptr<heif_image> image_;
  const uint8_t* plane_ = nullptr;  // interleaved RGB(A), 8 bits or 16-bit little-endian words
  size_t stride_ = 0;
  unsigned bits_ = 8;  // significant bits of each sample in plane_
  bool alpha_ = false;
  bool premultiplied_ = false;
};

/// Decodes the HEIC file in @p data (@p size bytes, kept alive by the
/// caller). Throws ReadError with the reason.
DecodedHeif decodeHeif(const uint8_t* data, size_t size);

}  // namespace pixmorph::heif
