// A picture in linear light at every scale the score compares.
#include "Ssimulacra2Scales.h"

#include <algorithm>
#include <array>

#include "Ssimulacra2Kernels.h"

namespace pixmorph::ssim2 {

namespace {

const std::array<float, 256>& linearTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = linearFromSrgb(float(i) * (1.0f / 255.0f));
    return t;
  }();
  return table;
}

// 2x2 box average; an odd last column pairs with itself.
void halve(const float* top, const float* bottom, uint32_t width, float* out) {
  for (uint32_t x = 0; 2 * x < width; ++x) {
    const uint32_t right = std::min(2 * x + 1, width - 1);
    out[x] = (((top[2 * x] + top[right]) + bottom[2 * x]) + bottom[right]) * 0.25f;
  }
}

}  // namespace

std::vector<Size> scaleSizes(uint32_t w, uint32_t h) {
  std::vector<Size> sizes{{w, h}};
  // The test is on the size before halving: the last scale may be smaller.
  while (sizes.size() < size_t(kMaxScales) && w >= kMinSide && h >= kMinSide) {
    w = (w + 1) / 2;
    h = (h + 1) / 2;
    sizes.push_back({w, h});
  }
  return sizes;
}

ScaledPicture::ScaledPicture(const RgbaPicture& pic, Background bg, const std::vector<Size>& sizes)
    : pic_(pic), bg_(bg) {
  smaller_.reserve(sizes.size());
  std::vector<float> upper(size_t(pic.width) * 6);
  for (size_t k = 1; k < sizes.size(); ++k) {
    LinearPlanes& p = smaller_.emplace_back();
    p.width = sizes[k].width;
    p.height = sizes[k].height;
    const size_t n = size_t(p.width) * p.height;
    p.r.resize(n);
    p.g.resize(n);
    p.b.resize(n);
    const uint32_t upWidth = sizes[k - 1].width, upHeight = sizes[k - 1].height;
    for (uint32_t y = 0; y < p.height; ++y) {
      const float* top[3];
      const float* bottom[3];
      linearRows(k - 1, 2 * y, upper.data(), top);
      linearRows(k - 1, std::min(2 * y + 1, upHeight - 1), upper.data() + 3 * size_t(upWidth), bottom);
      float* out[3] = {p.row(p.r, y), p.row(p.g, y), p.row(p.b, y)};
      for (int ch = 0; ch < 3; ++ch) halve(top[ch], bottom[ch], upWidth, out[ch]);
    }
  }
}

void ScaledPicture::linearRows(size_t k, uint32_t y, float* scratch, const float* rows[3]) const {
  if (k > 0) {
    const LinearPlanes& p = smaller_[k - 1];
    const size_t at = size_t(y) * p.width;
    rows[0] = p.r.data() + at;
    rows[1] = p.g.data() + at;
    rows[2] = p.b.data() + at;
    return;
  }
  const size_t w = pic_.width;
  const uint8_t* px = pic_.rgba.data() + size_t(y) * w * 4;
  float* r = scratch;
  float* g = scratch + w;
  float* b = scratch + 2 * w;
  if (!bg_.blend) {
    const std::array<float, 256>& lin = linearTable();
    for (size_t x = 0; x < w; ++x) {
      r[x] = lin[px[4 * x]];
      g[x] = lin[px[4 * x + 1]];
      b[x] = lin[px[4 * x + 2]];
    }
  } else {
    constexpr float kScale = 1.0f / 255.0f;
    for (size_t x = 0; x < w; ++x) {
      const float a = float(px[4 * x + 3]) * kScale;
      const float behind = (1.0f - a) * bg_.level;
      r[x] = linearFromSrgb(a * (float(px[4 * x]) * kScale) + behind);
      g[x] = linearFromSrgb(a * (float(px[4 * x + 1]) * kScale) + behind);
      b[x] = linearFromSrgb(a * (float(px[4 * x + 2]) * kScale) + behind);
    }
  }
  rows[0] = r;
  rows[1] = g;
  rows[2] = b;
}

}  // namespace pixmorph::ssim2
