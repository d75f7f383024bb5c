// SSIMULACRA 2.1: how close a distorted picture looks to its original, as a
// score (100 for identical pictures, about 90 for a very good copy, 50 for a
// medium one, unbounded below).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace pixmorph {

/// An sRGB picture as the score reads it: 8 bits a sample, four a pixel.
struct RgbaPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  /// The file has an alpha channel, even if every pixel is opaque: such a
  /// picture is scored over a dark and a light background.
  bool hasAlpha = false;
};

/// One original, prepared once (its linear planes at every scale) and then
/// compared with any number of distorted pictures of the same size.
///
/// Pictures narrower or lower than 8 pixels, which the published tool
/// refuses, are scored after extending both to at least 8x8 by repeating
/// their last column and row: identical pictures still score 100.
///
/// Memory: the original's 8-bit pixels and linear planes of its smaller
/// scales (about 8 bytes a pixel, 12 with alpha); a comparison adds as much
/// for the distorted picture. Blurred maps are made in bands of rows and
/// never held whole: comparing two 12 MP pictures peaks near 215 MB. The
/// original's side of a comparison (its XYB planes and blurred maps) is kept
/// from the first one for the next ones when it fits in 192 MB (about
/// 4 MP opaque), which spares every later comparison that share of the work.
class Ssimulacra2Reference {
 public:
  /// @p threads: how many threads a comparison may use (the three colour
  /// components are shared out; small pictures use one).
  explicit Ssimulacra2Reference(RgbaPicture original, unsigned threads = 2);
  ~Ssimulacra2Reference();
  Ssimulacra2Reference(const Ssimulacra2Reference&) = delete;
  Ssimulacra2Reference& operator=(const Ssimulacra2Reference&) = delete;

  uint32_t width() const;
  uint32_t height() const;
  /// The score of @p distorted, whose size must be the original's
  /// (std::invalid_argument otherwise). Thread-safe.
  double score(const RgbaPicture& distorted) const;

 private:
  struct Prepared;
  std::unique_ptr<Prepared> prepared_;
};

/// The score for a weighted error sum (the metric's last step).
double ssimulacra2FromError(double weightedError);

}  // namespace pixmorph
