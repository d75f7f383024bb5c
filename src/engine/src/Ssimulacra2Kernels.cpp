// Built with -ffp-contract=off: a plain a * b + c must stay two roundings,
// and std::fma one, as in the tool whose scores we reproduce. The hot loops
// are cloned for CPUs with AVX2 and FMA; the other clone gives the same
// numbers through the library's exact fma, only slower.
#include "Ssimulacra2Kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PIXMORPH_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define PIXMORPH_VECTOR_CLONES
#endif
#define PIXMORPH_INLINE inline __attribute__((always_inline))

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
const float kZeroLanes[kLanes] = {};

struct LaneState {
  float p[3][kLanes] = {}, pp[3][kLanes] = {};
};

// s = x[t - 6] + x[t + 4] for every lane, zero outside the row.
PIXMORPH_INLINE void laneInput(const float* in, ptrdiff_t t, size_t length, float* s) {
  const float* left = t - 6 >= 0 ? in + (t - 6) * kLanes : kZeroLanes;
  const float* right = t + 4 < ptrdiff_t(length) ? in + (t + 4) * kLanes : kZeroLanes;
  for (size_t l = 0; l < kLanes; ++l) s[l] = left[l] + right[l];
}

// One position at a time (the row's ends).
PIXMORPH_INLINE void blurSingle(const float* in, float* out, size_t length, ptrdiff_t t, LaneState& st) {
  float s[kLanes], y[3][kLanes];
  laneInput(in, t, length, s);
  for (int k = 0; k < 3; ++k)
    for (size_t l = 0; l < kLanes; ++l) {
      float o = kBlur.n[k] * s[l];
      o = o - st.pp[k][l];
      o = std::fma(kBlur.negD[k], st.p[k][l], o);
      st.pp[k][l] = st.p[k][l];
      st.p[k][l] = o;
      y[k][l] = o;
    }
  if (t >= 0)
    for (size_t l = 0; l < kLanes; ++l) out[t * kLanes + l] = y[0][l] + (y[1][l] + y[2][l]);
}

// Four positions t..t+3 at once, all inputs inside the row.
PIXMORPH_INLINE void blurBlock(const float* in, float* out, size_t t, LaneState& st) {
  float s[4][kLanes], y[3][4][kLanes];
  for (size_t i = 0; i < 4; ++i)
    for (size_t l = 0; l < kLanes; ++l) s[i][l] = in[(t + i - 6) * kLanes + l] + in[(t + i + 4) * kLanes + l];
  for (int k = 0; k < 3; ++k) {
    for (size_t j = 0; j < 4; ++j)
      for (size_t l = 0; l < kLanes; ++l) {
        float o = s[0][l] * kBlur.a[k][j];
        for (size_t i = 1; i <= j; ++i) o = std::fma(s[i][l], kBlur.a[k][j - i], o);
        o = std::fma(st.pp[k][l], kBlur.c[k][j], o);
        y[k][j][l] = std::fma(st.p[k][l], kBlur.e[k][j], o);
      }
    for (size_t l = 0; l < kLanes; ++l) {
      st.pp[k][l] = y[k][2][l];
      st.p[k][l] = y[k][3][l];
    }
  }
  for (size_t j = 0; j < 4; ++j)
    for (size_t l = 0; l < kLanes; ++l) out[(t + j) * kLanes + l] = y[0][j][l] + (y[1][j][l] + y[2][j][l]);
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

PIXMORPH_VECTOR_CLONES
void blurColumnsStep(const float* __restrict below, const float* __restrict above, float* __restrict state,
                     float* __restrict out, size_t width) {
  float* __restrict p1 = state;
  float* __restrict pp1 = state + width;
  float* __restrict p3 = state + 2 * width;
  float* __restrict pp3 = state + 3 * width;
  float* __restrict p5 = state + 4 * width;
  float* __restrict pp5 = state + 5 * width;
  const float n1 = kBlur.n[0], n3 = kBlur.n[1], n5 = kBlur.n[2];
  const float d1 = kBlur.negD[0], d3 = kBlur.negD[1], d5 = kBlur.negD[2];
  for (size_t i = 0; i < width; ++i) {
    const float s = above[i] + below[i];
    const float y1 = std::fma(n1, s, std::fma(d1, p1[i], -pp1[i]));
    const float y3 = std::fma(n3, s, std::fma(d3, p3[i], -pp3[i]));
    const float y5 = std::fma(n5, s, std::fma(d5, p5[i], -pp5[i]));
    pp1[i] = p1[i];
    pp3[i] = p3[i];
    pp5[i] = p5[i];
    p1[i] = y1;
    p3[i] = y3;
    p5[i] = y5;
    out[i] = y1 + (y3 + y5);
  }
}

// Calls @p term(x, lane) for every x < n, lanes in turn, so that each lane's
// sums vectorise; their order does not matter in double.
template <typename Term>
PIXMORPH_INLINE void overLanes(size_t n, Term term) {
  size_t x0 = 0;
  for (; x0 + kLanes <= n; x0 += kLanes) {
#pragma GCC unroll 8
    for (size_t l = 0; l < kLanes; ++l) term(x0 + l, l);
  }
  for (size_t x = x0; x < n; ++x) term(x, x - x0);
}

PIXMORPH_VECTOR_CLONES
void addEdgeErrors(const float* __restrict i1, const float* __restrict mu1, const float* __restrict i2,
                   const float* __restrict mu2, size_t n, ErrorSums& sums) {
  double ring[kLanes] = {}, ring4[kLanes] = {}, blur[kLanes] = {}, blur4[kLanes] = {};
  overLanes(n, [&](size_t x, size_t l) {
    const float detail2 = 1.0f + std::fabs(i2[x] - mu2[x]);
    const float detail1 = 1.0f + std::fabs(i1[x] - mu1[x]);
    const double ratio = double(detail2) / double(detail1) - 1.0;
    const double up = std::max(ratio, 0.0), down = std::max(-ratio, 0.0);
    ring[l] += up;
    blur[l] += down;
    const double up2 = up * up, down2 = down * down;
    ring4[l] += up2 * up2;
    blur4[l] += down2 * down2;
  });
  for (size_t l = 0; l < kLanes; ++l) {
    sums.ring += ring[l];
    sums.ring4 += ring4[l];
    sums.blur += blur[l];
    sums.blur4 += blur4[l];
  }
}

PIXMORPH_VECTOR_CLONES
void addSsimErrors(const float* __restrict mu1, const float* __restrict mu2, const float* __restrict s11,
                   const float* __restrict s22, const float* __restrict s12, size_t n, ErrorSums& sums) {
  constexpr float kC2 = 0.0009f;
  double err[kLanes] = {}, err4[kLanes] = {};
  overLanes(n, [&](size_t x, size_t l) {
    const float m1 = mu1[x], m2 = mu2[x];
    const float diff = m1 - m2;
    const float lum = 1.0f - diff * diff;
    const float num = 2.0f * (s12[x] - m1 * m2) + kC2;
    const float den = (s11[x] - m1 * m1) + (s22[x] - m2 * m2) + kC2;
    const double e = std::max(1.0f - (lum * num) / den, 0.0f);
    const double e2 = e * e;
    err[l] += e;
    err4[l] += e2 * e2;
  });
  for (size_t l = 0; l < kLanes; ++l) {
    sums.ssim += err[l];
    sums.ssim4 += err4[l];
  }
}

}  // namespace pixmorph::ssim2
