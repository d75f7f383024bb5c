// Size limits and pixel-format conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Image.h"

namespace pixmorph {

/// Largest image accepted, in pixels. Fuzzing builds lower it so that
/// valid-but-huge headers do not drown real findings.
#ifndef PIXMORPH_MAX_PIXELS
#define PIXMORPH_MAX_PIXELS (uint64_t(1) << 28)
#endif
inline constexpr uint64_t kMaxPixels = PIXMORPH_MAX_PIXELS;

/// Refuses dimensions that are zero, above kMaxPixels, or whose buffer of
/// @p bytesPerPixel per pixel would not fit in the memory the machine has
/// free. Throws ReadError with @p what naming the format.
void checkDimensions(uint64_t width, uint64_t height, const char* what);

/// Refuses a whole-image buffer of @p bytes that would not fit in memory.
void checkBufferFits(uint64_t bytes);

/// a * b, throwing ReadError on overflow of size_t.
size_t checkedMul(size_t a, size_t b);

/// True when every palette entry is opaque.
bool paletteOpaque(const ImageInfo& info);
/// True when every palette entry is a shade of grey.
bool paletteGray(const ImageInfo& info);

/// Converts one row of @p width pixels from @p from to @p to. Alpha is
/// dropped by composing over white; @p palette serves Indexed input.
/// Indexed output is not a conversion target.
void convertRow(const uint8_t* src, PixelFormat from, const ImageInfo& info, uint8_t* dst,
                PixelFormat to);

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
