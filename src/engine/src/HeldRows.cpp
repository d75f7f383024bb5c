#include "HeldRows.h"

#include <algorithm>
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

HeldRows::HeldRows(const ImageInfo& info, bool store)
    : width_(info.width), pixels_(size_t(info.width) * info.height), from_(info.format), keys_(size_t(1) << kSlotBits), slots_(size_t(1) << kSlotBits),
      store_(store) {
  for (const Rgba8& c : info.palette) sourcePalette_.push_back(keyOf(c.r, c.g, c.b, c.a));
  // Indices past a short palette read as opaque black, as everywhere else.
  sourcePalette_.resize(256, keyOf(0, 0, 0, 255));
  std::fill(indexMap_, indexMap_ + 256, int16_t(-1));
}

uint32_t HeldRows::key(const uint8_t* p) const {
  switch (from_) {
    case PixelFormat::Gray: return keyOf(p[0], p[0], p[0], 255);
    case PixelFormat::GrayAlpha: return keyOf(p[0], p[0], p[0], p[1]);
    case PixelFormat::Rgb: return keyOf(p[0], p[1], p[2], 255);
    case PixelFormat::Rgba: return keyOf(p[0], p[1], p[2], p[3]);
    case PixelFormat::Indexed: break;
  }
  return sourcePalette_[p[0]];
}

// The slot of @p k, or the empty one where it would go.
size_t HeldRows::slotOf(uint32_t k) const {
  size_t slot = (k * 2654435761u) >> (32 - kSlotBits);
  while (slots_[slot] && keys_[slot] != k) slot = (slot + 1) & ((size_t(1) << kSlotBits) - 1);
  return slot;
}

int HeldRows::insert(uint32_t k) {
  const size_t slot = slotOf(k);
  if (!slots_[slot]) {
    if (colors_.size() == 256) return -1;
    colors_.push_back(colorOf(k));
    opaque_ = opaque_ && k >> 24 == 255;
    keys_[slot] = k;
    slots_[slot] = uint16_t(colors_.size());
  }
  return slots_[slot] - 1;
}

bool HeldRows::add(const uint8_t* rows, uint32_t count) {
  const size_t pixels = size_t(width_) * count, channels = size_t(channelCount(from_));
  if (from_ == PixelFormat::Indexed) {
    // At most 256 colours, each looked up once.
    uint8_t seen[256] = {};
    for (size_t i = 0; i < pixels; ++i) seen[rows[i]] = 1;
    for (unsigned v = 0; v < 256; ++v)
      if (seen[v] && indexMap_[v] < 0) indexMap_[v] = int16_t(insert(sourcePalette_[v]));
    if (store_) {
      const size_t at = data_.size();
      data_.resize(at + pixels);
      for (size_t i = 0; i < pixels; ++i) data_[at + i] = uint8_t(indexMap_[rows[i]]);
    }
    taken(count);
    return true;
  }
  const size_t kept = data_.size();
  uint32_t last = 0;
  uint8_t lastIndex = 0;
  bool haveLast = false;
  for (size_t i = 0; i < pixels; ++i) {
    const uint32_t k = key(rows + i * channels);
    if (grayAlpha_) {
      if (!grayKey(k)) {
        data_.resize(kept);
        return false;
      }
      opaque_ = opaque_ && k >> 24 == 255;
      if (store_) data_.insert(data_.end(), {uint8_t(k), uint8_t(k >> 24)});
      continue;
    }
    // Pictures with few colours come in runs.
    if (!haveLast || k != last) {
      const int index = insert(k);
      if (index < 0) {
        if (grayKey(k) && allGray()) {
          toGrayAlpha();
          --i;  // taken again as grey and alpha
          continue;
        }
        data_.resize(kept);
        return false;
      }
      last = k, lastIndex = uint8_t(index), haveLast = true;
    }
    if (store_) data_.push_back(lastIndex);
  }
  taken(count);
  return true;
}

void HeldRows::taken(uint32_t count) {
  // Room for the whole picture once its first rows are held: a photo gives
  // up within them and never asks for it.
  if (store_ && rows_ == 0) data_.reserve(pixels_ * (grayAlpha_ ? 2 : 1));
  rows_ += count;
}

void HeldRows::toGrayAlpha() {
  std::vector<uint8_t> wide;
  if (store_) wide.reserve(pixels_ * 2);
  wide.resize(data_.size() * 2);
  for (size_t i = 0; i < data_.size(); ++i) {
    wide[2 * i] = colors_[data_[i]].r;
    wide[2 * i + 1] = colors_[data_[i]].a;
  }
  data_.swap(wide);
  grayAlpha_ = true;
}

void HeldRows::convert(const uint8_t* src, PixelFormat to, uint8_t* dst, const uint8_t* remap,
                       uint8_t* scratch) const {
  if (from_ == PixelFormat::Indexed && to == PixelFormat::Indexed) {
    uint8_t table[256];
    bool same = true;  // a palette used whole, in order
    for (unsigned v = 0; v < 256; ++v) {
      table[v] = remap ? remap[uint8_t(indexMap_[v])] : uint8_t(indexMap_[v]);
      same = same && (indexMap_[v] < 0 || table[v] == v);
    }
    if (same)
      std::memcpy(dst, src, width_);
    else
      for (size_t x = 0; x < width_; ++x) dst[x] = table[src[x]];
    return;
  }
  compact(src, scratch);
  expand(scratch, to, dst, remap);
}

void HeldRows::compact(const uint8_t* src, uint8_t* dst) const {
  if (from_ == PixelFormat::Indexed) {
    for (size_t x = 0; x < width_; ++x) dst[x] = uint8_t(indexMap_[src[x]]);
    return;
  }
  const size_t channels = size_t(channelCount(from_));
  uint32_t last = 0;
  uint8_t lastIndex = 0;
  for (size_t x = 0; x < width_; ++x) {
    const uint32_t k = key(src + x * channels);
    if (grayAlpha_) {
      dst[2 * x] = uint8_t(k), dst[2 * x + 1] = uint8_t(k >> 24);
      continue;
    }
    if (!x || k != last) last = k, lastIndex = uint8_t(slots_[slotOf(k)] - 1);
    dst[x] = lastIndex;
  }
}

unsigned HeldRows::rank(size_t i) const {
  if (from_ == PixelFormat::Indexed)
    for (unsigned v = 0; v < 256; ++v)
      if (indexMap_[v] == int16_t(i)) return v;
  return unsigned(i);
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

void HeldRows::expand(const uint8_t* s, PixelFormat to, uint8_t* dst, const uint8_t* remap) const {
  const size_t w = width_;
  if (grayAlpha_) {
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
