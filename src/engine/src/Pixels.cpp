#include "Pixels.h"

#include <cstring>

#include "Errors.h"

namespace pixmorph {

void BufferedReader::readRows(uint8_t* dst, uint32_t count) {
  std::memcpy(dst, lendRows(count), info_.rowBytes() * count);
}

const uint8_t* BufferedReader::lendRows(uint32_t count) {
  size_t bytes = info_.rowBytes() * count;
  if (offset_ + bytes > pixels_->size()) {
    if (end_) std::rethrow_exception(end_);
    throw ReadError("Image data ended early");
  }
  const uint8_t* rows = pixels_->data() + offset_;
  offset_ += bytes;
  return rows;
}

std::vector<uint8_t> orientPixels(const std::vector<uint8_t>& src, uint32_t W, uint32_t H, int c, int orientation) {
  const bool swap = orientation >= 5 && orientation <= 8;
  const uint32_t ow = swap ? H : W, oh = swap ? W : H;
  std::vector<uint8_t> out(src.size());
  for (uint32_t oy = 0; oy < oh; ++oy) {
    for (uint32_t ox = 0; ox < ow; ++ox) {
      uint32_t sx = ox, sy = oy;
      switch (orientation) {
        case 2: sx = W - 1 - ox, sy = oy; break;
        case 3: sx = W - 1 - ox, sy = H - 1 - oy; break;
        case 4: sx = ox, sy = H - 1 - oy; break;
        case 5: sx = oy, sy = ox; break;
        case 6: sx = oy, sy = H - 1 - ox; break;
        case 7: sx = W - 1 - oy, sy = H - 1 - ox; break;
        case 8: sx = W - 1 - oy, sy = ox; break;
      }
      std::memcpy(&out[(size_t(oy) * ow + ox) * c], &src[(size_t(sy) * W + sx) * c], size_t(c));
    }
  }
  return out;
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

bool iccProfileFits(const std::vector<uint8_t>& icc, PixelFormat f) {
  const bool gray = f == PixelFormat::Gray || f == PixelFormat::GrayAlpha;
  return icc.size() >= 20 && std::memcmp(&icc[16], gray ? "GRAY" : "RGB ", 4) == 0;
}

namespace {

inline uint8_t luma(uint8_t r, uint8_t g, uint8_t b) {
  // ITU-R BT.601 weights in 16.16 fixed point, rounded.
  return uint8_t((19595u * r + 38470u * g + 7471u * b + 32768u) >> 16);
}

// Expands a pixel of any layout but Indexed to RGBA.
inline Rgba8 fetch(const uint8_t* s, PixelFormat f, uint32_t x) {
  switch (f) {
    case PixelFormat::Gray: return {s[x], s[x], s[x], 255};
    case PixelFormat::GrayAlpha: return {s[2 * x], s[2 * x], s[2 * x], s[2 * x + 1]};
    case PixelFormat::Rgb: return {s[3 * x], s[3 * x + 1], s[3 * x + 2], 255};
    case PixelFormat::Rgba: return {s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]};
    case PixelFormat::Indexed: break;
  }
  return {};
}

// Converts @p w pixels between layouts other than Indexed.
void convertPixels(const uint8_t* src, PixelFormat from, uint32_t w, uint8_t* dst, PixelFormat to) {
  if (from == to) {
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
  for (uint32_t x = 0; x < w; ++x) {
    Rgba8 c = fetch(src, from, x);
    switch (to) {
      case PixelFormat::Gray: dst[x] = overWhite(luma(c.r, c.g, c.b), c.a); break;
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
      case PixelFormat::Indexed: break;
    }
  }
}

}  // namespace

RowConverter::RowConverter(const ImageInfo& info, PixelFormat to)
    : width_(info.width), from_(info.format), to_(to) {
  if (from_ != PixelFormat::Indexed || to_ == PixelFormat::Indexed) return;
  // Every index gets an entry; those past the palette are black.
  for (size_t i = 0; i < 256; ++i) {
    const Rgba8 p = i < info.palette.size() ? info.palette[i] : Rgba8{0, 0, 0, 255};
    const uint8_t px[4] = {p.r, p.g, p.b, p.a};
    convertPixels(px, PixelFormat::Rgba, 1, table_[i], to_);
  }
}

void RowConverter::convert(const uint8_t* src, uint8_t* dst) const {
  if (from_ != PixelFormat::Indexed) {
    convertPixels(src, from_, width_, dst, to_);
  } else if (to_ == PixelFormat::Indexed) {
    std::memcpy(dst, src, width_);
  } else {
    const size_t c = size_t(channelCount(to_));
    for (uint32_t x = 0; x < width_; ++x) std::memcpy(dst + x * c, table_[src[x]], c);
  }
}

}  // namespace pixmorph
