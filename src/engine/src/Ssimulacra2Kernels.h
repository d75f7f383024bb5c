// The per-row arithmetic of the SSIMULACRA 2.1 score: colour conversion,
// the recursive Gaussian and the error sums. Every rounding step follows the
// published tool's single-precision code (fused multiply-adds where it fuses),
// because its scores depend on them: the blur's recursion never forgets a
// rounding error, and near-identical pictures turn that noise into error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pixmorph::ssim2 {

/// Rows the horizontal blur handles at once, one per vector lane.
constexpr size_t kLanes = 8;

/// Linear light of an 8-bit sRGB sample, as the tool computes it.
float linearFromSrgb(float encoded);

/// X, Y and B planes rescaled to about 0..1, from linear R, G, B.
void xybRow(const float* r, const float* g, const float* b, float* x, float* y, float* bOut, size_t n);

/// Blurs kLanes rows of @p length samples at once. Sample i of lane l is at
/// [i * kLanes + l] in @p in and @p out.
void blurRowsInterleaved(const float* in, float* out, size_t length);

/// Lays out kLanes rows of @p length samples for blurRowsInterleaved: sample
/// x of @p rows[l], times that of @p factors[l] if given, goes to
/// [x * kLanes + l] of @p out.
void interleaveRows(const float* const rows[], const float* const factors[], float* out, size_t length);

/// The inverse for the first @p count lanes: [x * kLanes + l] of @p in goes
/// to sample x of @p rows[l].
void deinterleaveRows(const float* in, float* const rows[], size_t count, size_t length);

/// One step of the vertical blur, columns side by side: the output row of
/// a position from the rows 4 below and 6 above it (zero rows outside the
/// picture). @p state holds six floats per column and starts at zero.
void blurColumnsStep(const float* below, const float* above, float* state, float* out, size_t width);

/// Error sums of one row, each over the row's pixels: SSIM error, ringing and
/// blurring, then their fourth powers.
struct ErrorSums {
  double ssim = 0, ring = 0, blur = 0;
  double ssim4 = 0, ring4 = 0, blur4 = 0;
};

/// Adds the edge errors of one row (original @p i1 and its blur @p mu1,
/// distorted @p i2 and @p mu2).
void addEdgeErrors(const float* i1, const float* mu1, const float* i2, const float* mu2, size_t n,
                   ErrorSums& sums);
/// Adds the SSIM errors of one row from the blurred maps.
void addSsimErrors(const float* mu1, const float* mu2, const float* s11, const float* s22, const float* s12,
                   size_t n, ErrorSums& sums);

}  // namespace pixmorph::ssim2
