// SSIMULACRA 2.1 as published: both pictures in linear light at six scales
// (1:1 to 1:32), at each scale and for each of the X, Y, B components an SSIM
// error map and two edge maps (ringing, blurring), their 1-norm and 4-norm,
// a weighted sum and a final curve.
//
// A comparison streams over the rows of each scale in bands of kLanes: the
// horizontal blur of a band runs with one row per vector lane, the vertical
// one advances a recursion over all columns row by row, and each finished
// row's errors are summed at once, so no blurred map is ever held whole.
#include "Ssimulacra2.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>

#include "Ssimulacra2Kernels.h"
#include "Ssimulacra2Scales.h"

namespace pixmorph {

namespace {

using ssim2::Background;
using ssim2::kLanes;
using ssim2::kMaxScales;
using ssim2::kMinSide;
using ssim2::ScaledPicture;
using ssim2::Size;

constexpr int kComponents = 3;

// Per component (X, Y, B), scale and norm (1-norm, 4-norm): the weights of
// the SSIM, ringing and blurring errors, in that order.
constexpr double kWeights[kComponents * kMaxScales * 6] = {
    0, 0.0007376606707406586, 0, 0, 0.0007793481682867309, 0,
    0, 0.0004371155730107379, 0, 1.1041726426657346, 0.00066284834129271, 0.00015231632783718752,
    0, 0.0016406437456599754, 0, 1.8422455520539298, 11.441172603757666, 0,
    0.0007989109436015163, 0.000176816438078653, 0, 1.8787594979546387, 10.94906990605142, 0,
    0.0007289346991508072, 0.9677937080626833, 0, 0.00014003424285435884, 0.9981766977854967,
    0.00031949755934435053,
    0.0004550992113792063, 0, 0, 0.0013648766163243398, 0, 0,
    0, 0, 0, 7.466890328078848, 0, 17.445833984131262,
    0.0006235601634041466, 0, 0, 6.683678146179332, 0.00037724407979611296, 1.027889937768264,
    225.20515300849274, 0, 0, 19.213238186143016, 0.0011401524586618361, 0.001237755635509985,
    176.39317598450694, 0, 0, 24.43300999870476, 0.28520802612117757, 0.0004485436923833408,
    0, 0, 0, 34.77906344483772, 44.835625328877896, 0,
    0, 0, 0, 0, 0, 0,
    0, 0.0008680556573291698, 0, 0, 0, 0,
    0, 0.0005313191874358747, 0, 0.00016533814161379112, 0, 0,
    0, 0, 0, 0.0004179171803251336, 0.0017290828234722833, 0,
    0.0020827005846636437, 0, 0, 8.826982764996862, 23.19243343998926, 0,
    95.1080498811086, 0.9863978034400682, 0.9834382792465353, 0.0012286405048278493, 171.2667255897307,
    0.9807858872435379,
    0, 0, 0, 0.0005130064588990679, 0, 0.00010854057858411537,
};

// The six weights of component @p c at scale @p k. With fewer than six
// scales the published tool walks the list without skipping the scales it
// lacks, so later components take weights labelled for earlier ones; the
// scores are defined by that.
const double* weightsOf(int scales, int c, int k) { return kWeights + 6 * scales * c + 6 * k; }

// Which maps a component needs at a scale: none whose weights are all zero.
struct Needs {
  bool ssim = false, edge = false;
  // Blurred maps: mu1 and mu2 for the edges, and s11, s22, s12 for SSIM.
  int maps() const { return ssim ? 5 : edge ? 2 : 0; }
};

Needs needsOf(int scales, int c, int k) {
  const double* w = weightsOf(scales, c, k);
  return {w[0] != 0 || w[3] != 0, w[1] != 0 || w[2] != 0 || w[4] != 0 || w[5] != 0};
}

// The six norms (1-norm then 4-norm of SSIM, ringing, blurring) per component and scale.
struct Norms {
  double v[kComponents][kMaxScales][6] = {};
};

// Compares two pictures at one scale, each component as far as @p needs says.
class ScaleComparison {
 public:
  ScaleComparison(const ScaledPicture& a, const ScaledPicture& b, size_t k, Size size,
                  const std::array<Needs, kComponents>& needs)
      : a_(a), b_(b), k_(k), w_(size.width), h_(size.height), needs_(needs),
        xyb_(2 * kComponents * kRing * w_), blurred_(kComponents * 5 * kRing * w_),
        state_(kComponents * 5 * 6 * w_), vertical_(kComponents * 5 * w_), zero_(w_),
        interleaved_(2 * kLanes * w_), linear_(3 * size_t(w_)) {}

  void run(Norms& norms) {
    ssim2::ErrorSums sums[kComponents];
    uint32_t produced = 0;
    for (ptrdiff_t t = -4; t < ptrdiff_t(h_); ++t) {
      while (produced < h_ && ptrdiff_t(produced) <= t + 4) produced = produceBand(produced);
      for (int c = 0; c < kComponents; ++c)
        for (int m = 0; m < needs_[c].maps(); ++m) {
          const float* below = t + 4 < ptrdiff_t(h_) ? blurredRow(c, m, uint32_t(t + 4)) : zero_.data();
          const float* above = t >= 6 ? blurredRow(c, m, uint32_t(t - 6)) : zero_.data();
          ssim2::blurColumnsStep(below, above, state(c, m), verticalRow(c, m), w_);
        }
      if (t < 0) continue;
      for (int c = 0; c < kComponents; ++c) {
        if (needs_[c].edge)
          ssim2::addEdgeErrors(xybRow(0, c, uint32_t(t)), verticalRow(c, 0), xybRow(1, c, uint32_t(t)),
                               verticalRow(c, 1), w_, sums[c]);
        if (needs_[c].ssim)
          ssim2::addSsimErrors(verticalRow(c, 0), verticalRow(c, 1), verticalRow(c, 2), verticalRow(c, 3),
                               verticalRow(c, 4), w_, sums[c]);
      }
    }
    const double n = double(w_) * h_;
    for (int c = 0; c < kComponents; ++c) {
      if (needs_[c].maps() == 0) continue;  // another thread's, or not weighted
      const ssim2::ErrorSums& s = sums[c];
      double* v = norms.v[c][k_];
      v[0] = s.ssim / n;
      v[1] = s.ring / n;
      v[2] = s.blur / n;
      v[3] = std::sqrt(std::sqrt(s.ssim4 / n));
      v[4] = std::sqrt(std::sqrt(s.ring4 / n));
      v[5] = std::sqrt(std::sqrt(s.blur4 / n));
    }
  }

 private:
  // Rows kept of each map: a band being made plus the 10 rows the vertical blur reaches back.
  static constexpr uint32_t kRing = 32;

  float* xybRow(int pic, int c, uint32_t y) { return &xyb_[((pic * kComponents + c) * kRing + y % kRing) * w_]; }
  float* blurredRow(int c, int m, uint32_t y) { return &blurred_[((c * 5 + m) * kRing + y % kRing) * w_]; }
  float* state(int c, int m) { return &state_[size_t(c * 5 + m) * 6 * w_]; }
  float* verticalRow(int c, int m) { return &vertical_[size_t(c * 5 + m) * w_]; }

  // Converts rows @p y0.. of a band and blurs them horizontally; returns the next row.
  uint32_t produceBand(uint32_t y0) {
    const uint32_t y1 = std::min<uint32_t>(y0 + kLanes, h_);
    for (uint32_t y = y0; y < y1; ++y)
      for (int pic = 0; pic < 2; ++pic) {
        const float* rgb[3];
        (pic ? b_ : a_).linearRows(k_, y, linear_.data(), rgb);
        ssim2::xybRow(rgb[0], rgb[1], rgb[2], xybRow(pic, 0, y), xybRow(pic, 1, y), xybRow(pic, 2, y), w_);
      }
    float* in = interleaved_.data();
    float* out = in + kLanes * w_;
    for (int c = 0; c < kComponents; ++c)
      for (int m = 0; m < needs_[c].maps(); ++m) {
        for (uint32_t l = 0; l < kLanes; ++l) {
          const uint32_t y = y0 + l;
          if (y >= y1) {
            for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = 0;
            continue;
          }
          const float* i1 = xybRow(0, c, y);
          const float* i2 = xybRow(1, c, y);
          switch (m) {
            case 0: for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = i1[x]; break;
            case 1: for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = i2[x]; break;
            case 2: for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = i1[x] * i1[x]; break;
            case 3: for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = i2[x] * i2[x]; break;
            default: for (uint32_t x = 0; x < w_; ++x) in[x * kLanes + l] = i1[x] * i2[x]; break;
          }
        }
        ssim2::blurRowsInterleaved(in, out, w_);
        for (uint32_t y = y0; y < y1; ++y) {
          float* row = blurredRow(c, m, y);
          for (uint32_t x = 0; x < w_; ++x) row[x] = out[x * kLanes + (y - y0)];
        }
      }
    return y1;
  }

  const ScaledPicture& a_;
  const ScaledPicture& b_;
  const size_t k_;
  const uint32_t w_, h_;
  const std::array<Needs, kComponents> needs_;
  std::vector<float> xyb_, blurred_, state_, vertical_, zero_, interleaved_, linear_;
};

// Every scale of the components in @p mask.
void compareComponents(const ScaledPicture& a, const ScaledPicture& b, const std::vector<Size>& sizes,
                       unsigned mask, Norms& norms) {
  const int scales = int(sizes.size());
  for (int k = 0; k < scales; ++k) {
    std::array<Needs, kComponents> needs{};
    bool any = false;
    for (int c = 0; c < kComponents; ++c)
      if (mask & (1u << c)) {
        needs[c] = needsOf(scales, c, k);
        any = any || needs[c].maps() > 0;
      }
    if (any) ScaleComparison(a, b, size_t(k), sizes[k], needs).run(norms);
  }
}

// Weighted error of two pictures, the components shared out over @p threads.
double weightedError(const ScaledPicture& a, const ScaledPicture& b, const std::vector<Size>& sizes,
                     unsigned threads) {
  const int scales = int(sizes.size());
  double cost[kComponents] = {};
  for (int c = 0; c < kComponents; ++c)
    for (int k = 0; k < scales; ++k)
      cost[c] += double(sizes[k].width) * sizes[k].height * needsOf(scales, c, k).maps();
  const double total = cost[0] + cost[1] + cost[2];
  Norms norms;
  // Below this the thread costs more than it saves.
  constexpr double kThreadedCost = 5.0 * (1 << 17);
  if (threads < 2 || total < kThreadedCost) {
    compareComponents(a, b, sizes, 7u, norms);
  } else {
    // One component alone on a second thread, the one that balances best.
    int alone = 0;
    for (int c = 1; c < kComponents; ++c)
      if (std::max(cost[c], total - cost[c]) < std::max(cost[alone], total - cost[alone])) alone = c;
    std::thread helper([&] { compareComponents(a, b, sizes, 1u << alone, norms); });
    compareComponents(a, b, sizes, 7u & ~(1u << alone), norms);
    helper.join();
  }
  double sum = 0;
  for (int c = 0; c < kComponents; ++c)
    for (int k = 0; k < scales; ++k) {
      const double* w = weightsOf(scales, c, k);
      for (int i = 0; i < 6; ++i) sum += w[i] * norms.v[c][k][i];
    }
  return sum;
}

// A copy at least 8 pixels in each direction, the last column and row repeated.
RgbaPicture extendedToMinimum(const RgbaPicture& pic) {
  RgbaPicture out;
  out.width = std::max(pic.width, kMinSide);
  out.height = std::max(pic.height, kMinSide);
  out.hasAlpha = pic.hasAlpha;
  out.rgba.resize(size_t(out.width) * out.height * 4);
  for (uint32_t y = 0; y < out.height; ++y)
    for (uint32_t x = 0; x < out.width; ++x) {
      const uint8_t* from =
          pic.rgba.data() + (size_t(std::min(y, pic.height - 1)) * pic.width + std::min(x, pic.width - 1)) * 4;
      std::copy(from, from + 4, out.rgba.data() + (size_t(y) * out.width + x) * 4);
    }
  return out;
}

bool tooSmall(const RgbaPicture& pic) { return pic.width < kMinSide || pic.height < kMinSide; }

}  // namespace

double ssimulacra2FromError(double weightedError) {
  const double x = 0.9562382616834844 * weightedError;
  const double y = 2.326765642916932 * x - 0.020884521182843837 * x * x + 0.00006248496625763138 * x * x * x;
  return y > 0 ? 100 - 10 * std::pow(y, 0.6276336467831387) : 100;
}

struct Ssimulacra2Reference::Prepared {
  uint32_t width, height;  // as given, before any extension
  RgbaPicture original;
  std::vector<Size> sizes;
  unsigned threads;
  // One per background: none for an opaque original, else dark then light.
  std::vector<Background> backgrounds;
  std::vector<ScaledPicture> scaled;
};

Ssimulacra2Reference::Ssimulacra2Reference(RgbaPicture original, unsigned threads)
    : prepared_(std::make_unique<Prepared>()) {
  if (original.width == 0 || original.height == 0 ||
      original.rgba.size() != size_t(original.width) * original.height * 4)
    throw std::invalid_argument("The picture is empty");
  Prepared& p = *prepared_;
  p.width = original.width;
  p.height = original.height;
  p.original = tooSmall(original) ? extendedToMinimum(original) : std::move(original);
  p.sizes = ssim2::scaleSizes(p.original.width, p.original.height);
  p.threads = threads;
  if (p.original.hasAlpha)
    p.backgrounds = {{true, 0.1f}, {true, 0.9f}};
  else
    p.backgrounds = {{}};
  p.scaled.reserve(p.backgrounds.size());
  for (const Background& bg : p.backgrounds) p.scaled.emplace_back(p.original, bg, p.sizes);
}

Ssimulacra2Reference::~Ssimulacra2Reference() = default;

uint32_t Ssimulacra2Reference::width() const { return prepared_->width; }
uint32_t Ssimulacra2Reference::height() const { return prepared_->height; }

double Ssimulacra2Reference::score(const RgbaPicture& distorted) const {
  const Prepared& p = *prepared_;
  if (distorted.width != p.width || distorted.height != p.height ||
      distorted.rgba.size() != size_t(p.width) * p.height * 4)
    throw std::invalid_argument("The pictures differ in size (" + std::to_string(p.width) + "x" +
                                std::to_string(p.height) + " and " + std::to_string(distorted.width) + "x" +
                                std::to_string(distorted.height) + ")");
  RgbaPicture extended;
  const RgbaPicture& pic = tooSmall(distorted) ? (extended = extendedToMinimum(distorted)) : distorted;
  double worst = 100;
  if (p.original.hasAlpha) {
    // An opaque distorted picture looks the same on both backgrounds: prepared once.
    std::unique_ptr<ScaledPicture> opaque;
    if (!pic.hasAlpha) opaque = std::make_unique<ScaledPicture>(pic, Background{}, p.sizes);
    for (size_t i = 0; i < p.backgrounds.size(); ++i) {
      std::unique_ptr<ScaledPicture> blended;
      if (pic.hasAlpha) blended = std::make_unique<ScaledPicture>(pic, p.backgrounds[i], p.sizes);
      const double error = weightedError(p.scaled[i], opaque ? *opaque : *blended, p.sizes, p.threads);
      worst = std::min(worst, ssimulacra2FromError(error));
    }
    return worst;
  }
  const ScaledPicture scaled(pic, pic.hasAlpha ? Background{true, 0.5f} : Background{}, p.sizes);
  return ssimulacra2FromError(weightedError(p.scaled[0], scaled, p.sizes, p.threads));
}

}  // namespace pixmorph
