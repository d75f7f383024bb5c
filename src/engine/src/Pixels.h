// Pixel-format conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Image.h"

namespace pixmorph {

/// True when every palette entry is opaque.
bool paletteOpaque(const ImageInfo& info);
/// True when every palette entry is a shade of grey.
bool paletteGray(const ImageInfo& info);

/// True when the colour space an ICC profile describes (its header's bytes
/// 16..19) is that of pixels stored as @p f: "GRAY" for grey, "RGB " for
/// colour and palettes.
bool iccProfileFits(const std::vector<uint8_t>& icc, PixelFormat f);

/// Converts the rows of one image from its layout to @p to. Alpha is
/// dropped by composing over white. Palette images are looked up in a table
/// made once; Indexed output only copies indices.
class RowConverter {
 public:
  RowConverter(const ImageInfo& info, PixelFormat to);
  void convert(const uint8_t* src, uint8_t* dst) const;

 private:
  uint32_t width_;
  PixelFormat from_, to_;
  uint8_t table_[256][4] = {};
};

/// The pixels of a @p width x @p height picture of @p channels bytes a pixel
/// turned upright as EXIF orientation @p orientation (1..8) asks; the sides
/// swap for 5..8.
std::vector<uint8_t> orientPixels(const std::vector<uint8_t>& src, uint32_t width, uint32_t height, int channels,
                                  int orientation);

/// Copies @p width three-byte pixels from @p src to @p dst, swapping the first
/// and third byte: BMP stores blue, green, red; the engine's rows are red,
/// green, blue. The same swap serves both directions.
inline void swapRedBlue(const uint8_t* src, uint8_t* dst, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    dst[3 * x] = src[3 * x + 2];
    dst[3 * x + 1] = src[3 * x + 1];
    dst[3 * x + 2] = src[3 * x];
  }
}

/// Composes colour @p c with alpha @p a over white, rounded.
inline uint8_t overWhite(uint8_t c, uint8_t a) {
  unsigned v = unsigned(c) * a + 255u * (255u - a);
  return uint8_t((v + 127) / 255);
}

}  // namespace pixmorph
