// The scales of SSIMULACRA 2.1: a picture in linear light at full size and
// halved up to five times.
#pragma once

#include <cstdint>
#include <vector>

#include "Ssimulacra2.h"

namespace pixmorph::ssim2 {

constexpr int kMaxScales = 6;
/// Scales are halved while at least this wide and high.
constexpr uint32_t kMinSide = 8;

struct Size {
  uint32_t width, height;
};

/// The size of each scale of a picture at least kMinSide wide and high.
std::vector<Size> scaleSizes(uint32_t width, uint32_t height);

/// Grey level a picture with alpha is blended on, in encoded units; none for opaque.
struct Background {
  bool blend = false;
  float level = 0;
};

/// One picture at every scale: the full size computed from its 8-bit rows
/// when asked for, the smaller scales held as linear planes.
class ScaledPicture {
 public:
  /// Keeps a reference to @p pic.
  ScaledPicture(const RgbaPicture& pic, Background bg, const std::vector<Size>& sizes);
  /// Points @p rows at the R, G, B rows of row @p y at scale @p k;
  /// @p scratch (3 widths) holds them at full size.
  void linearRows(size_t k, uint32_t y, float* scratch, const float* rows[3]) const;

 private:
  struct LinearPlanes {
    uint32_t width = 0, height = 0;
    std::vector<float> r, g, b;
    float* row(std::vector<float>& p, uint32_t y) { return p.data() + size_t(y) * width; }
  };

  const RgbaPicture& pic_;
  Background bg_;
  std::vector<LinearPlanes> smaller_;
};

}  // namespace pixmorph::ssim2
