// Built with -ffp-contract=off: a plain a * b + c must stay two roundings,
// and std::fma one, as in the tool whose scores we reproduce. The hot loops
// are cloned for CPUs with AVX2 and FMA; the other clone gives the same
// numbers through the library's exact fma, only slower.
#include "Ssimulacra2Kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PIXMORPH_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define PIXMORPH_VECTOR_CLONES
#endif
#define PIXMORPH_INLINE inline __attribute__((always_inline))
#define PIXMORPH_INLINE_LAMBDA __attribute__((always_inline))

namespace pixmorph::ssim2 {

namespace {

// The blur: a sum of three recursive filters (truncated cosines with
// frequencies k·π/10, k = 1, 3, 5) equal to a 9-tap Gaussian of sigma 1.5.
// Coefficients are derived in double and rounded to float once.
struct BlurCoefficients {
  float n[3], negD[3];
  // The recursion unrolled over four outputs: inputs, state pp, state p.
  float a[3][4], c[3][4], e[3][4];
};

BlurCoefficients makeBlurCoefficients() {
  constexpr double kBeta[3] = {0.17893914164149127, 0.07272614473619018, 0.012955819110517063};
  constexpr int kRadius = 5;
  BlurCoefficients k{};
  for (int i = 0; i < 3; ++i) {
    const double omega = (2 * i + 1) * std::numbers::pi / 10;
    const double d = -2 * std::cos(omega);
    const double n = -kBeta[i] * std::cos(omega * (kRadius + 1));
    k.n[i] = float(n);
    k.negD[i] = float(-d);
    const double a[4] = {n, -d * n, d * d * n - n, -d * d * d * n + 2 * d * n};
    const double e[4] = {-d, d * d - 1, -d * d * d + 2 * d, d * d * d * d - 3 * d * d + 1};
    const double c[4] = {-1, d, 1 - d * d, d * d * d - 2 * d};
    for (int j = 0; j < 4; ++j) {
      k.a[i][j] = float(a[j]);
      k.e[i][j] = float(e[j]);
      k.c[i][j] = float(c[j]);
    }
  }
  return k;
}

const BlurCoefficients kBlur = makeBlurCoefficients();

// Vectors of kLanes floats (and half as many doubles) through the compiler's
// vector extension: each operator rounds lane by lane exactly as the scalar
// operation would, and the portable clone splits them into what it has.
// Vectors are passed by reference, never returned, since their calling
// convention differs between the clones.
typedef float LaneFloats __attribute__((vector_size(kLanes * sizeof(float))));
typedef int32_t LaneInts __attribute__((vector_size(kLanes * sizeof(int32_t))));
typedef double HalfDoubles __attribute__((vector_size(kLanes / 2 * sizeof(double))));

// @p count lanes from @p from, the others zero.
PIXMORPH_INLINE void loadLanes(LaneFloats& v, const float* from, size_t count = kLanes) {
  v = LaneFloats{};
  std::memcpy(&v, from, count * sizeof(float));
}
PIXMORPH_INLINE void storeLanes(float* to, const LaneFloats& v, size_t count = kLanes) {
  std::memcpy(to, &v, count * sizeof(float));
}

// Calls @p group(x, count) for the columns x.. x + count - 1, count = kLanes
// but at the row's end, where the missing lanes are zero-filled.
template <typename Group>
PIXMORPH_INLINE void overLaneGroups(size_t n, Group group) {
  size_t x = 0;
  for (; x + kLanes <= n; x += kLanes) group(x, kLanes);
  if (x < n) group(x, n - x);
}

// acc = fma(a, b, acc) in every lane: one instruction in the AVX2 clone.
PIXMORPH_INLINE void fusedMultiplyAdd(LaneFloats& acc, const LaneFloats& a, const LaneFloats& b) {
  static_assert(kLanes == 8);
  acc = LaneFloats{std::fma(a[0], b[0], acc[0]), std::fma(a[1], b[1], acc[1]), std::fma(a[2], b[2], acc[2]),
                   std::fma(a[3], b[3], acc[3]), std::fma(a[4], b[4], acc[4]), std::fma(a[5], b[5], acc[5]),
                   std::fma(a[6], b[6], acc[6]), std::fma(a[7], b[7], acc[7])};
}

// The blur coefficients repeated over the lanes, for operands in memory.
struct LaneBlurCoefficients {
  LaneFloats n[3], negD[3], a[3][4], c[3][4], e[3][4];
  LaneBlurCoefficients() {
    for (int k = 0; k < 3; ++k) {
      n[k] = kBlur.n[k] + LaneFloats{};
      negD[k] = kBlur.negD[k] + LaneFloats{};
      for (int j = 0; j < 4; ++j) {
        a[k][j] = kBlur.a[k][j] + LaneFloats{};
        c[k][j] = kBlur.c[k][j] + LaneFloats{};
        e[k][j] = kBlur.e[k][j] + LaneFloats{};
      }
    }
  }
};

const LaneBlurCoefficients kLaneBlur;
const float kZeroLanes[kLanes] = {};

struct LaneState {
  LaneFloats p[3] = {}, pp[3] = {};
};

// One position at a time (the row's ends); its input is x[t - 6] + x[t + 4]
// for every lane, zero outside the row.
PIXMORPH_INLINE void blurSingle(const float* in, float* out, size_t length, ptrdiff_t t, LaneState& st) {
  LaneFloats left, right;
  loadLanes(left, t - 6 >= 0 ? in + (t - 6) * kLanes : kZeroLanes);
  loadLanes(right, t + 4 < ptrdiff_t(length) ? in + (t + 4) * kLanes : kZeroLanes);
  const LaneFloats s = left + right;
  LaneFloats y[3];
#pragma GCC unroll 4
  for (int k = 0; k < 3; ++k) {
    LaneFloats o = kLaneBlur.n[k] * s;
    o = o - st.pp[k];
    fusedMultiplyAdd(o, kLaneBlur.negD[k], st.p[k]);
    st.pp[k] = st.p[k];
    st.p[k] = o;
    y[k] = o;
  }
  if (t >= 0) storeLanes(out + t * kLanes, y[0] + (y[1] + y[2]));
}

// Four positions t..t+3 at once, all inputs inside the row. The filters run
// last to first so that only one partial sum per position stays live.
PIXMORPH_INLINE void blurBlock(const float* in, float* out, size_t t, LaneState& st) {
  LaneFloats s[4], sum[4];
#pragma GCC unroll 4
  for (size_t i = 0; i < 4; ++i) {
    LaneFloats left, right;
    loadLanes(left, in + (t + i - 6) * kLanes);
    loadLanes(right, in + (t + i + 4) * kLanes);
    s[i] = left + right;
  }
#pragma GCC unroll 4
  for (int k = 2; k >= 0; --k) {
    LaneFloats y[4];
#pragma GCC unroll 4
    for (size_t j = 0; j < 4; ++j) {
      y[j] = s[0] * kLaneBlur.a[k][j];
#pragma GCC unroll 4
      for (size_t i = 1; i <= j; ++i) fusedMultiplyAdd(y[j], s[i], kLaneBlur.a[k][j - i]);
      fusedMultiplyAdd(y[j], st.pp[k], kLaneBlur.c[k][j]);
      fusedMultiplyAdd(y[j], st.p[k], kLaneBlur.e[k][j]);
    }
    st.pp[k] = y[2];
    st.p[k] = y[3];
#pragma GCC unroll 4
    for (size_t j = 0; j < 4; ++j) sum[j] = k == 2 ? y[j] : y[j] + sum[j];
  }
#pragma GCC unroll 4
  for (size_t j = 0; j < 4; ++j) storeLanes(out + (t + j) * kLanes, sum[j]);
}

// Cube root of x > 0 minus that of the XYB bias: a bit-pattern guess of
// x^(-1/3) refined by Newton steps.
PIXMORPH_INLINE float cubeRootMinusBias(float x) {
  constexpr float kThird = 1.0f / 3.0f, kFourThirds = 4.0f / 3.0f, kNegBiasRoot = -0.155954197f;
  // x is at least the bias here (the mix of non-negative values), never 0.
  float r = std::bit_cast<float>(0x54800000u - (std::bit_cast<uint32_t>(x) >> 23) * 0x002AAAAAu);
  const float xThird = kThird * x;
  // Three Newton steps, written out so that the loops calling this vectorise.
  float r2 = r * r;
  r = std::fma(-xThird, r2 * r2, kFourThirds * r);
  r2 = r * r;
  r = std::fma(-xThird, r2 * r2, kFourThirds * r);
  r2 = r * r;
  r = std::fma(-xThird, r2 * r2, kFourThirds * r);
  r2 = r * r;
  const float step = std::fma(-x, r2 * r2, r);
  r = std::fma(kThird, step, r);
  return std::fma(r * r, x, kNegBiasRoot);
}

}  // namespace

float linearFromSrgb(float v) {
  if (v <= 0.04045f) return v * (1.0f / 12.92f);
  constexpr float p[5] = {2.200248328e-04f, 1.043637593e-02f, 1.624820318e-01f, 7.961564959e-01f,
                          8.210152774e-01f};
  constexpr float q[5] = {2.631846970e-01f, 1.076976492e+00f, 4.987528350e-01f, -5.512498495e-02f,
                          6.521209011e-03f};
  float num = p[4], den = q[4];
  for (int i = 3; i >= 0; --i) {
    num = std::fma(num, v, p[i]);
    den = std::fma(den, v, q[i]);
  }
  return num / den;
}

PIXMORPH_VECTOR_CLONES
void xybRow(const float* __restrict r, const float* __restrict g, const float* __restrict b, float* __restrict x,
            float* __restrict y, float* __restrict bOut, size_t n) {
  constexpr float kBias = 0.0037930732552754493f;
  // Each row of the opsin mix sums to 1; its middle (or last) entry is 1 minus the others, in float.
  constexpr float kL[3] = {0.30f, 0.621999979f, 0.078f};
  constexpr float kM[3] = {0.23f, 0.691999972f, 0.078f};
  constexpr float kS[3] = {0.24342268924547819f, 0.20476744424496821f, 0.551809847f};
  for (size_t i = 0; i < n; ++i) {
    const float lm = std::fma(r[i], kL[0], std::fma(g[i], kL[1], std::fma(b[i], kL[2], kBias)));
    const float mm = std::fma(r[i], kM[0], std::fma(g[i], kM[1], std::fma(b[i], kM[2], kBias)));
    const float sm = std::fma(r[i], kS[0], std::fma(g[i], kS[1], std::fma(b[i], kS[2], kBias)));
    const float l = cubeRootMinusBias(lm);
    const float m = cubeRootMinusBias(mm);
    const float s = cubeRootMinusBias(sm);
    const float xv = 0.5f * (l - m), yv = 0.5f * (l + m);
    x[i] = xv * 14.0f + 0.42f;
    y[i] = yv + 0.01f;
    bOut[i] = (s - yv) + 0.55f;
  }
}

PIXMORPH_VECTOR_CLONES
void blurRowsInterleaved(const float* __restrict in, float* __restrict out, size_t length) {
  LaneState st;
  const ptrdiff_t len = ptrdiff_t(length);
  const ptrdiff_t headEnd = std::min<ptrdiff_t>(7, len - 1);
  ptrdiff_t t = -4;
  for (; t <= headEnd; ++t) blurSingle(in, out, length, t, st);
  for (; t < len - 7; t += 4) blurBlock(in, out, size_t(t), st);
  for (; t < len; ++t) blurSingle(in, out, length, t, st);
}

namespace {

// Transposes the 8x8 block @p v in place: lane j of vector i becomes lane i
// of vector j. Three rounds of pairwise shuffles, each swapping blocks of
// 1, 2 then 4 lanes across vector pairs, as the AVX unpack, shuffle and
// lane-permute instructions do.
PIXMORPH_INLINE void transpose(LaneFloats (&v)[kLanes]) {
  static_assert(kLanes == 8);
  LaneFloats a[kLanes], b[kLanes];
#pragma GCC unroll 4
  for (size_t i = 0; i < kLanes; i += 2) {
    a[i] = __builtin_shufflevector(v[i], v[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
    a[i + 1] = __builtin_shufflevector(v[i], v[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
  }
  // a[i]: rows i - i % 2 and the next, alternating, in columns 0, 1, 4, 5 (even i) or 2, 3, 6, 7 (odd i).
#pragma GCC unroll 4
  for (size_t i = 0; i < kLanes; i += 4)
#pragma GCC unroll 2
    for (size_t j = 0; j < 2; ++j) {
      b[i + j] = __builtin_shufflevector(a[i + j], a[i + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
      b[i + j + 2] = __builtin_shufflevector(a[i + j], a[i + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
    }
  // b[i]: rows 0..3 (i < 4) or 4..7 of columns c and c + 4, c = kColumnOf[i % 4].
  constexpr size_t kColumnOf[4] = {0, 2, 1, 3};
#pragma GCC unroll 4
  for (size_t i = 0; i < 4; ++i) {
    v[kColumnOf[i]] = __builtin_shufflevector(b[i], b[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
    v[kColumnOf[i] + 4] = __builtin_shufflevector(b[i], b[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
  }
}

}  // namespace

PIXMORPH_VECTOR_CLONES
void interleaveRows(const float* const rows[], const float* const factors[], float* __restrict out,
                    size_t length) {
  size_t x = 0;
  for (; x + kLanes <= length; x += kLanes) {
    LaneFloats v[kLanes];
#pragma GCC unroll 8
    for (size_t l = 0; l < kLanes; ++l) {
      loadLanes(v[l], rows[l] + x);
      if (factors) {
        LaneFloats f;
        loadLanes(f, factors[l] + x);
        v[l] *= f;
      }
    }
    transpose(v);
#pragma GCC unroll 8
    for (size_t i = 0; i < kLanes; ++i) storeLanes(out + (x + i) * kLanes, v[i]);
  }
  for (; x < length; ++x)
    for (size_t l = 0; l < kLanes; ++l)
      out[x * kLanes + l] = factors ? rows[l][x] * factors[l][x] : rows[l][x];
}

PIXMORPH_VECTOR_CLONES
void deinterleaveRows(const float* __restrict in, float* const rows[], size_t count, size_t length) {
  size_t x = 0;
  for (; x + kLanes <= length; x += kLanes) {
    LaneFloats v[kLanes];
#pragma GCC unroll 8
    for (size_t i = 0; i < kLanes; ++i) loadLanes(v[i], in + (x + i) * kLanes);
    transpose(v);
    if (count == kLanes) {
#pragma GCC unroll 8
      for (size_t l = 0; l < kLanes; ++l) storeLanes(rows[l] + x, v[l]);
    } else {
      for (size_t l = 0; l < count; ++l) storeLanes(rows[l] + x, v[l]);
    }
  }
  for (; x < length; ++x)
    for (size_t l = 0; l < count; ++l) rows[l][x] = in[x * kLanes + l];
}

PIXMORPH_VECTOR_CLONES
void blurColumnsStep(const float* __restrict below, const float* __restrict above, float* __restrict state,
                     float* __restrict out, size_t width) {
  // state holds p and pp of each filter, a row of each: p1, pp1, p3, pp3, p5, pp5.
  overLaneGroups(width, [&](size_t i, size_t count) PIXMORPH_INLINE_LAMBDA {
    LaneFloats lower, upper, p[3], pp[3], y[3];
    loadLanes(lower, below + i, count);
    loadLanes(upper, above + i, count);
    const LaneFloats s = upper + lower;
#pragma GCC unroll 4
    for (int k = 0; k < 3; ++k) {
      loadLanes(p[k], state + 2 * k * width + i, count);
      loadLanes(pp[k], state + (2 * k + 1) * width + i, count);
      y[k] = -pp[k];
      fusedMultiplyAdd(y[k], kLaneBlur.negD[k], p[k]);
      fusedMultiplyAdd(y[k], kLaneBlur.n[k], s);
      storeLanes(state + (2 * k + 1) * width + i, p[k], count);
      storeLanes(state + 2 * k * width + i, y[k], count);
    }
    storeLanes(out + i, y[0] + (y[1] + y[2]), count);
  });
}

namespace {

// The error sums keep one partial sum per lane (columns x with x % kLanes
// equal share one), added in lane order at the end of the row. The
// zero-filled lanes at a row's end add exactly zero (+0 or -0), which leaves
// every sum as it is.
struct LaneSums {
  HalfDoubles low = {}, high = {};

  PIXMORPH_INLINE void add(const HalfDoubles& lowTerms, const HalfDoubles& highTerms) {
    low += lowTerms;
    high += highTerms;
  }
  PIXMORPH_INLINE void addTo(double& total) const {
    for (size_t l = 0; l < kLanes / 2; ++l) total += low[l];
    for (size_t l = 0; l < kLanes / 2; ++l) total += high[l];
  }
};

// The lanes of @p v widened to double, in two halves.
PIXMORPH_INLINE void widen(const LaneFloats& v, HalfDoubles& low, HalfDoubles& high) {
  static_assert(kLanes == 8);
  low = HalfDoubles{v[0], v[1], v[2], v[3]};
  high = HalfDoubles{v[4], v[5], v[6], v[7]};
}

// v = max(v, 0) as std::max(v, 0) gives it: -0 stays -0.
template <typename Vector>
PIXMORPH_INLINE void clampBelowAtZero(Vector& v) {
  v = v < Vector{} ? Vector{} : v;
}

}  // namespace

PIXMORPH_VECTOR_CLONES
void addEdgeErrors(const float* __restrict i1, const float* __restrict mu1, const float* __restrict i2,
                   const float* __restrict mu2, size_t n, ErrorSums& sums) {
  LaneSums ring, ring4, blur, blur4;
  const LaneInts kNoSign = LaneInts{} + 0x7fffffff;
  overLaneGroups(n, [&](size_t x, size_t count) PIXMORPH_INLINE_LAMBDA {
    LaneFloats a1, m1, a2, m2;
    loadLanes(a1, i1 + x, count);
    loadLanes(m1, mu1 + x, count);
    loadLanes(a2, i2 + x, count);
    loadLanes(m2, mu2 + x, count);
    // 1 + |i - mu|, the absolute value by clearing the sign bit.
    const LaneFloats detail2 = 1.0f + LaneFloats(LaneInts(a2 - m2) & kNoSign);
    const LaneFloats detail1 = 1.0f + LaneFloats(LaneInts(a1 - m1) & kNoSign);
    HalfDoubles d1[2], d2[2], up[2], down[2], up4[2], down4[2];
    widen(detail1, d1[0], d1[1]);
    widen(detail2, d2[0], d2[1]);
#pragma GCC unroll 4
    for (int h = 0; h < 2; ++h) {
      const HalfDoubles ratio = d2[h] / d1[h] - 1.0;
      up[h] = ratio;
      down[h] = -ratio;
      clampBelowAtZero(up[h]);
      clampBelowAtZero(down[h]);
      const HalfDoubles up2 = up[h] * up[h], down2 = down[h] * down[h];
      up4[h] = up2 * up2;
      down4[h] = down2 * down2;
    }
    ring.add(up[0], up[1]);
    blur.add(down[0], down[1]);
    ring4.add(up4[0], up4[1]);
    blur4.add(down4[0], down4[1]);
  });
  ring.addTo(sums.ring);
  ring4.addTo(sums.ring4);
  blur.addTo(sums.blur);
  blur4.addTo(sums.blur4);
}

PIXMORPH_VECTOR_CLONES
void addSsimErrors(const float* __restrict mu1, const float* __restrict mu2, const float* __restrict s11,
                   const float* __restrict s22, const float* __restrict s12, size_t n, ErrorSums& sums) {
  constexpr float kC2 = 0.0009f;
  LaneSums err, err4;
  overLaneGroups(n, [&](size_t x, size_t count) PIXMORPH_INLINE_LAMBDA {
    LaneFloats m1, m2, v11, v22, v12;
    loadLanes(m1, mu1 + x, count);
    loadLanes(m2, mu2 + x, count);
    loadLanes(v11, s11 + x, count);
    loadLanes(v22, s22 + x, count);
    loadLanes(v12, s12 + x, count);
    const LaneFloats diff = m1 - m2;
    const LaneFloats lum = 1.0f - diff * diff;
    const LaneFloats num = 2.0f * (v12 - m1 * m2) + kC2;
    const LaneFloats den = (v11 - m1 * m1) + (v22 - m2 * m2) + kC2;
    LaneFloats error = 1.0f - (lum * num) / den;
    clampBelowAtZero(error);
    HalfDoubles e[2], e4[2];
    widen(error, e[0], e[1]);
#pragma GCC unroll 4
    for (int h = 0; h < 2; ++h) {
      const HalfDoubles e2 = e[h] * e[h];
      e4[h] = e2 * e2;
    }
    err.add(e[0], e[1]);
    err4.add(e4[0], e4[1]);
  });
  err.addTo(sums.ssim);
  err4.addTo(sums.ssim4);
}

}  // namespace pixmorph::ssim2
