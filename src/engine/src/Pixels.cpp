#include "Pixels.h"

#include <unistd.h>

#include <cstring>

#include "Errors.h"

namespace pixmorph {

void BufferedReader::readRows(uint8_t* dst, uint32_t count) {
  size_t bytes = info_.rowBytes() * count;
  if (offset_ + bytes > pixels_.size()) throw ReadError("Image data ended early");
  std::memcpy(dst, pixels_.data() + offset_, bytes);
  offset_ += bytes;
}

size_t checkedMul(size_t a, size_t b) {
  size_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw ReadError("Image is too large");
  return r;
}

static uint64_t availableMemory() {
  long pages = sysconf(_SC_AVPHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  // Free pages undercount what the kernel can hand out (page cache is
  // reclaimable), so allow for that rather than refusing workable images.
  return uint64_t(pages) * uint64_t(pageSize) * 2;
}

void checkBufferFits(uint64_t bytes) {
  if (bytes > availableMemory()) throw ReadError("Image is too large for the available memory");
}

void checkDimensions(uint64_t width, uint64_t height, const char* what) {
  if (width == 0 || height == 0)
    throw ReadError(std::string("Invalid ") + what + " image size (zero width or height)");
  if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels)
    throw ReadError("Image is too large (more than " + std::to_string(kMaxPixels) + " pixels)");
}

bool paletteOpaque(const ImageInfo& info) {
  for (const Rgba8& c : info.palette)
    if (c.a != 255) return false;
  return true;
}

bool paletteGray(const ImageInfo& info) {
  for (const Rgba8& c : info.palette)
    if (c.r != c.g || c.g != c.b) return false;
  return true;
}

namespace {

inline uint8_t luma(uint8_t r, uint8_t g, uint8_t b) {
  // ITU-R BT.601 weights in 16.16 fixed point, rounded.
  return uint8_t((19595u * r + 38470u * g + 7471u * b + 32768u) >> 16);
}

// Expands any source pixel to RGBA.
inline Rgba8 fetch(const uint8_t* s, PixelFormat f, const ImageInfo& info, uint32_t x) {
  switch (f) {
    case PixelFormat::Gray: return {s[x], s[x], s[x], 255};
    case PixelFormat::GrayAlpha: return {s[2 * x], s[2 * x], s[2 * x], s[2 * x + 1]};
    case PixelFormat::Rgb: return {s[3 * x], s[3 * x + 1], s[3 * x + 2], 255};
    case PixelFormat::Rgba: return {s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]};
    case PixelFormat::Indexed:
      return s[x] < info.palette.size() ? info.palette[s[x]] : Rgba8{0, 0, 0, 255};
  }
  return {};
}

}  // namespace

void convertRow(const uint8_t* src, PixelFormat from, const ImageInfo& info, uint8_t* dst,
                PixelFormat to) {
  const uint32_t w = info.width;
  if (from == to && from != PixelFormat::Indexed) {
    std::memcpy(dst, src, size_t(w) * channelCount(from));
    return;
  }
  // Fast paths for the common photo cases.
  if (from == PixelFormat::Rgba && to == PixelFormat::Rgb) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t a = src[4 * x + 3];
      dst[3 * x] = overWhite(src[4 * x], a);
      dst[3 * x + 1] = overWhite(src[4 * x + 1], a);
      dst[3 * x + 2] = overWhite(src[4 * x + 2], a);
    }
    return;
  }
  if (from == PixelFormat::Gray && to == PixelFormat::Rgb) {
    for (uint32_t x = 0; x < w; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
    return;
  }
  if (from == PixelFormat::Indexed && to != PixelFormat::Indexed) {
    // Convert the palette once, then look every pixel up.
    const int c = channelCount(to);
    uint8_t table[256][4] = {};
    for (size_t i = 0; i < info.palette.size() && i < 256; ++i) {
      ImageInfo one;
      one.width = 1;
      const Rgba8& p = info.palette[i];
      const uint8_t px[4] = {p.r, p.g, p.b, p.a};
      convertRow(px, PixelFormat::Rgba, one, table[i], to);
    }
    const uint8_t black[4] = {0, 0, 0, 255};  // indices past the palette
    ImageInfo one;
    one.width = 1;
    for (size_t i = info.palette.size(); i < 256; ++i) convertRow(black, PixelFormat::Rgba, one, table[i], to);
    for (uint32_t x = 0; x < w; ++x) std::memcpy(dst + size_t(x) * c, table[src[x]], size_t(c));
    return;
  }
  for (uint32_t x = 0; x < w; ++x) {
    Rgba8 c = fetch(src, from, info, x);
    switch (to) {
      case PixelFormat::Gray: {
        uint8_t a = c.a;
        dst[x] = overWhite(luma(c.r, c.g, c.b), a);
        break;
      }
      case PixelFormat::GrayAlpha:
        dst[2 * x] = luma(c.r, c.g, c.b);
        dst[2 * x + 1] = c.a;
        break;
      case PixelFormat::Rgb:
        dst[3 * x] = overWhite(c.r, c.a);
        dst[3 * x + 1] = overWhite(c.g, c.a);
        dst[3 * x + 2] = overWhite(c.b, c.a);
        break;
      case PixelFormat::Rgba:
        dst[4 * x] = c.r;
        dst[4 * x + 1] = c.g;
        dst[4 * x + 2] = c.b;
        dst[4 * x + 3] = c.a;
        break;
      case PixelFormat::Indexed: dst[x] = src[x]; break;
    }
  }
}

}  // namespace pixmorph
