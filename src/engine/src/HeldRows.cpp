#include "HeldRows.h"

#include <cstring>

namespace pixmorph {

namespace {

constexpr unsigned kSlotBits = 10;  // 1024 slots for at most 256 colours

inline uint32_t keyOf(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
}
inline Rgba8 colorOf(uint32_t k) { return {uint8_t(k), uint8_t(k >> 8), uint8_t(k >> 16), uint8_t(k >> 24)}; }
inline bool grayKey(uint32_t k) { return uint8_t(k) == uint8_t(k >> 8) && uint8_t(k) == uint8_t(k >> 16); }

}  // namespace

HeldRows::HeldRows(const ImageInfo& info)
    : width_(info.width), from_(info.format), keys_(size_t(1) << kSlotBits), slots_(size_t(1) << kSlotBits) {
  for (const Rgba8& c : info.palette) sourcePalette_.push_back(keyOf(c.r, c.g, c.b, c.a));
  // Indices past a short palette read as opaque black, as everywhere else.
  sourcePalette_.resize(256, keyOf(0, 0, 0, 255));
  // Reserved, not touched: a picture that turns out to have many colours
  // costs no memory for it.
  data_.reserve(size_t(info.width) * info.height);
}

bool HeldRows::add(const uint8_t* rows, uint32_t count) {
  const size_t pixels = size_t(width_) * count;
  const int channels = channelCount(from_);
  uint32_t last = 0;
  uint8_t lastIndex = 0;
  bool haveLast = false;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = rows + i * size_t(channels);
    uint32_t k = 0;
    switch (from_) {
      case PixelFormat::Gray: k = keyOf(p[0], p[0], p[0], 255); break;
      case PixelFormat::GrayAlpha: k = keyOf(p[0], p[0], p[0], p[1]); break;
      case PixelFormat::Rgb: k = keyOf(p[0], p[1], p[2], 255); break;
      case PixelFormat::Rgba: k = keyOf(p[0], p[1], p[2], p[3]); break;
      case PixelFormat::Indexed: k = sourcePalette_[p[0]]; break;
    }
    if (grayAlpha_) {
      if (!grayKey(k)) {
        data_.resize(size_t(rows_) * width_ * 2);
        return false;
      }
      opaque_ = opaque_ && k >> 24 == 255;
      data_.push_back(uint8_t(k));
      data_.push_back(uint8_t(k >> 24));
      continue;
    }
    // Pictures with few colours come in runs.
    if (haveLast && k == last) {
      data_.push_back(lastIndex);
      continue;
    }
    size_t slot = (k * 2654435761u) >> (32 - kSlotBits);
    while (slots_[slot] && keys_[slot] != k) slot = (slot + 1) & ((size_t(1) << kSlotBits) - 1);
    if (!slots_[slot]) {
      if (colors_.size() == 256) {
        if (grayKey(k) && allGray()) {
          toGrayAlpha();
          --i;  // taken again as grey and alpha
          continue;
        }
        data_.resize(size_t(rows_) * width_);
        return false;
      }
      colors_.push_back(colorOf(k));
      opaque_ = opaque_ && k >> 24 == 255;
      keys_[slot] = k;
      slots_[slot] = uint16_t(colors_.size());
    }
    last = k, lastIndex = uint8_t(slots_[slot] - 1), haveLast = true;
    data_.push_back(lastIndex);
  }
  rows_ += count;
  return true;
}

void HeldRows::toGrayAlpha() {
  std::vector<uint8_t> wide;
  wide.reserve(data_.capacity() * 2);
  wide.resize(data_.size() * 2);
  for (size_t i = 0; i < data_.size(); ++i) {
    wide[2 * i] = colors_[data_[i]].r;
    wide[2 * i + 1] = colors_[data_[i]].a;
  }
  data_.swap(wide);
  grayAlpha_ = true;
}

bool HeldRows::allGray() const {
  if (grayAlpha_) return true;
  for (const Rgba8& c : colors_)
    if (c.r != c.g || c.g != c.b) return false;
  return true;
}

bool HeldRows::opaque() const { return opaque_; }

unsigned HeldRows::grayBits() const {
  if (grayAlpha_) return 8;
  for (unsigned bits : {1u, 2u, 4u}) {
    const unsigned step = 255 / ((1u << bits) - 1);
    bool fits = true;
    for (const Rgba8& c : colors_) fits = fits && c.r % step == 0;
    if (fits) return bits;
  }
  return 8;
}

void HeldRows::row(uint32_t y, PixelFormat to, uint8_t* dst, const uint8_t* remap) const {
  const size_t w = width_;
  if (grayAlpha_) {
    const uint8_t* s = data_.data() + size_t(y) * w * 2;
    for (size_t x = 0; x < w; ++x) {
      const uint8_t g = s[2 * x], a = s[2 * x + 1];
      switch (to) {
        case PixelFormat::Gray: dst[x] = g; break;
        case PixelFormat::GrayAlpha: dst[2 * x] = g, dst[2 * x + 1] = a; break;
        case PixelFormat::Rgb: dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = g; break;
        case PixelFormat::Rgba: dst[4 * x] = dst[4 * x + 1] = dst[4 * x + 2] = g, dst[4 * x + 3] = a; break;
        case PixelFormat::Indexed: break;
      }
    }
    return;
  }
  const uint8_t* s = data_.data() + size_t(y) * w;
  if (to == PixelFormat::Indexed) {
    if (!remap) {
      std::memcpy(dst, s, w);
      return;
    }
    for (size_t x = 0; x < w; ++x) dst[x] = remap[s[x]];
    return;
  }
  const size_t c = size_t(channelCount(to));
  for (size_t x = 0; x < w; ++x) {
    const Rgba8& p = colors_[s[x]];
    const uint8_t px[4] = {p.r, p.g, p.b, p.a};
    if (to == PixelFormat::Gray || to == PixelFormat::GrayAlpha) {
      dst[c * x] = p.r;
      if (c == 2) dst[2 * x + 1] = p.a;
    } else {
      std::memcpy(dst + c * x, px, c);
    }
  }
}

}  // namespace pixmorph
