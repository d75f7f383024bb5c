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
#include <mutex>
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

// The original's side of one scale, per component: its XYB plane and its
// blurred maps mu1 and s11, those it needs. Kept from a first comparison,
// they spare every later one the original's share of the work.
struct OriginalScale {
  std::array<std::vector<float>, kComponents> xyb, mu, sigma;
};

// How many planes of a component OriginalScale holds: XYB and mu1, and s11
// for SSIM; none for a component not compared.
int keptPlanes(const Needs& needs) { return needs.maps() == 0 ? 0 : needs.ssim ? 3 : 2; }

// Rows kept of each map: a band being made plus the 10 rows the vertical blur reaches back.
constexpr uint32_t kRing = 32;

// The rows a comparison works in, grown to the widest scale it has met and
// kept for the next comparison: fresh zeroed pages at every scale cost a
// small picture's search several per cent.
struct WorkingRows {
  std::vector<float> xyb, blurred, state, vertical, zero, interleaved, linear;

  void fit(uint32_t width) {
    const size_t w = width;
    for (auto [rows, perColumn] : {std::pair{&xyb, 2 * kComponents * kRing}, {&blurred, kComponents * 5 * kRing},
                                   {&state, kComponents * 5 * 6}, {&vertical, kComponents * 5},
                                   {&zero, 1}, {&interleaved, 2 * kLanes}, {&linear, 3}})
      if (rows->size() < perColumn * w) rows->resize(perColumn * w);
  }
};

// Working rows lent to each thread of a comparison and taken back after.
class WorkingRowsPool {
 public:
  std::unique_ptr<WorkingRows> lend() {
    const std::lock_guard hold(lock_);
    if (spare_.empty()) return std::make_unique<WorkingRows>();
    std::unique_ptr<WorkingRows> rows = std::move(spare_.back());
    spare_.pop_back();
    return rows;
  }
  void takeBack(std::unique_ptr<WorkingRows> rows) {
    const std::lock_guard hold(lock_);
    spare_.push_back(std::move(rows));
  }

 private:
  std::mutex lock_;
  std::vector<std::unique_ptr<WorkingRows>> spare_;
};

// What a comparison does with the original's side: computes it, computes
// and keeps it, or reads it kept.
enum class OriginalSide { Compute, Keep, Kept };

// Compares two pictures at one scale, each component as far as @p needs says.
class ScaleComparison {
 public:
  ScaleComparison(const ScaledPicture& a, const ScaledPicture& b, size_t k, Size size,
                  const std::array<Needs, kComponents>& needs, OriginalSide side, OriginalScale* kept,
                  WorkingRows& rows)
      : a_(a), b_(b), k_(k), w_(size.width), h_(size.height), needs_(needs), side_(side), kept_(kept),
        xyb_((rows.fit(w_), rows.xyb.data())), blurred_(rows.blurred.data()), state_(rows.state.data()),
        vertical_(rows.vertical.data()), zero_(rows.zero.data()), interleaved_(rows.interleaved.data()),
        linear_(rows.linear.data()) {
    std::fill_n(state_, kComponents * 5 * 6 * size_t(w_), 0.0f);
    if (side_ != OriginalSide::Keep) return;
    const size_t plane = size_t(w_) * h_;
    for (int c = 0; c < kComponents; ++c) {
      std::vector<float>* planes[] = {&kept_->xyb[c], &kept_->mu[c], &kept_->sigma[c]};
      for (int i = 0; i < keptPlanes(needs_[c]); ++i) planes[i]->resize(plane);
    }
  }

  void run(Norms& norms) {
    ssim2::ErrorSums sums[kComponents];
    uint32_t produced = 0;
    for (ptrdiff_t t = -4; t < ptrdiff_t(h_); ++t) {
      while (produced < h_ && ptrdiff_t(produced) <= t + 4) produced = produceBand(produced);
      for (int c = 0; c < kComponents; ++c)
        for (int m = 0; m < needs_[c].maps(); ++m) {
          if (side_ == OriginalSide::Kept && originalOnly(m)) continue;
          const float* below = t + 4 < ptrdiff_t(h_) ? blurredRow(c, m, uint32_t(t + 4)) : zero_;
          const float* above = t >= 6 ? blurredRow(c, m, uint32_t(t - 6)) : zero_;
          ssim2::blurColumnsStep(below, above, state(c, m), verticalRow(c, m), w_);
        }
      if (t < 0) continue;
      if (side_ == OriginalSide::Keep) keepBlurredRows(uint32_t(t));
      for (int c = 0; c < kComponents; ++c) {
        if (needs_[c].edge)
          ssim2::addEdgeErrors(xybRow(0, c, uint32_t(t)), blurredBothWays(c, 0, uint32_t(t)),
                               xybRow(1, c, uint32_t(t)), verticalRow(c, 1), w_, sums[c]);
        if (needs_[c].ssim)
          ssim2::addSsimErrors(blurredBothWays(c, 0, uint32_t(t)), verticalRow(c, 1),
                               blurredBothWays(c, 2, uint32_t(t)), verticalRow(c, 3), verticalRow(c, 4), w_, sums[c]);
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
  // mu1 and s11, which depend on the original alone.
  static bool originalOnly(int m) { return m == 0 || m == 2; }

  // The original's rows of the components compared here live in the kept planes, if any.
  float* xybRow(int pic, int c, uint32_t y) {
    if (pic == 0 && side_ != OriginalSide::Compute && needs_[c].maps() > 0) return &kept_->xyb[c][size_t(y) * w_];
    return &xyb_[((pic * kComponents + c) * kRing + y % kRing) * w_];
  }
  float* blurredRow(int c, int m, uint32_t y) { return &blurred_[((c * 5 + m) * kRing + y % kRing) * w_]; }
  float* state(int c, int m) { return &state_[size_t(c * 5 + m) * 6 * w_]; }
  // The vertical blur's latest row of map m.
  float* verticalRow(int c, int m) { return &vertical_[size_t(c * 5 + m) * w_]; }
  // Row t of map m blurred both ways, kept or just made.
  const float* blurredBothWays(int c, int m, uint32_t t) {
    if (side_ == OriginalSide::Kept && originalOnly(m))
      return &(m == 0 ? kept_->mu[c] : kept_->sigma[c])[size_t(t) * w_];
    return verticalRow(c, m);
  }

  void keepBlurredRows(uint32_t t) {
    for (int c = 0; c < kComponents; ++c) {
      if (needs_[c].maps() == 0) continue;
      std::copy_n(verticalRow(c, 0), w_, &kept_->mu[c][size_t(t) * w_]);
      if (needs_[c].ssim) std::copy_n(verticalRow(c, 2), w_, &kept_->sigma[c][size_t(t) * w_]);
    }
  }

  // Converts rows @p y0.. of a band and blurs them horizontally; returns the next row.
  uint32_t produceBand(uint32_t y0) {
    const uint32_t y1 = std::min<uint32_t>(y0 + kLanes, h_);
    for (uint32_t y = y0; y < y1; ++y)
      for (int pic = side_ == OriginalSide::Kept ? 1 : 0; pic < 2; ++pic) {
        const float* rgb[3];
        (pic ? b_ : a_).linearRows(k_, y, linear_, rgb);
        ssim2::xybRow(rgb[0], rgb[1], rgb[2], xybRow(pic, 0, y), xybRow(pic, 1, y), xybRow(pic, 2, y), w_);
      }
    float* in = interleaved_;
    float* out = in + kLanes * w_;
    for (int c = 0; c < kComponents; ++c) {
      // Rows past the picture's end blur as zero rows, their output unused.
      const float* i1[kLanes];
      const float* i2[kLanes];
      float* blurred[kLanes];
      for (uint32_t l = 0; l < kLanes; ++l) {
        i1[l] = y0 + l < y1 ? xybRow(0, c, y0 + l) : zero_;
        i2[l] = y0 + l < y1 ? xybRow(1, c, y0 + l) : zero_;
      }
      for (int m = 0; m < needs_[c].maps(); ++m) {
        if (side_ == OriginalSide::Kept && originalOnly(m)) continue;
        // mu1, mu2, s11, s22, s12: the rows, or the products of two.
        const float* const* rows[5] = {i1, i2, i1, i2, i1};
        const float* const* factors[5] = {nullptr, nullptr, i1, i2, i2};
        ssim2::interleaveRows(rows[m], factors[m], in, w_);
        ssim2::blurRowsInterleaved(in, out, w_);
        for (uint32_t y = y0; y < y1; ++y) blurred[y - y0] = blurredRow(c, m, y);
        ssim2::deinterleaveRows(out, blurred, y1 - y0, w_);
      }
    }
    return y1;
  }

  const ScaledPicture& a_;
  const ScaledPicture& b_;
  const size_t k_;
  const uint32_t w_, h_;
  const std::array<Needs, kComponents> needs_;
  const OriginalSide side_;
  OriginalScale* const kept_;
  float* const xyb_;
  float* const blurred_;
  float* const state_;
  float* const vertical_;
  const float* const zero_;  // never written
  float* const interleaved_;
  float* const linear_;
};

// Every scale of the components in @p mask; @p kept holds the original's side
// of each scale unless @p side is Compute.
void compareComponents(const ScaledPicture& a, const ScaledPicture& b, const std::vector<Size>& sizes,
                       unsigned mask, Norms& norms, OriginalSide side, std::vector<OriginalScale>& kept,
                       WorkingRowsPool& pool) {
  const int scales = int(sizes.size());
  std::unique_ptr<WorkingRows> rows = pool.lend();
  for (int k = 0; k < scales; ++k) {
    std::array<Needs, kComponents> needs{};
    bool any = false;
    for (int c = 0; c < kComponents; ++c)
      if (mask & (1u << c)) {
        needs[c] = needsOf(scales, c, k);
        any = any || needs[c].maps() > 0;
      }
    if (any) ScaleComparison(a, b, size_t(k), sizes[k], needs, side, kept.data() + k, *rows).run(norms);
  }
  pool.takeBack(std::move(rows));
}

// Weighted error of two pictures, the components shared out over @p threads.
double weightedError(const ScaledPicture& a, const ScaledPicture& b, const std::vector<Size>& sizes,
                     unsigned threads, OriginalSide side, std::vector<OriginalScale>& kept, WorkingRowsPool& pool) {
  const int scales = int(sizes.size());
  double cost[kComponents] = {};
  for (int c = 0; c < kComponents; ++c)
    for (int k = 0; k < scales; ++k)
      cost[c] += double(sizes[k].width) * sizes[k].height * needsOf(scales, c, k).maps();
  const double total = cost[0] + cost[1] + cost[2];
  Norms norms;
  // Below this (about a quarter of a megapixel) a second thread ends the
  // comparison no sooner: it only adds its own cost, about a tenth.
  constexpr double kThreadedCost = 3.0 * (1 << 20);
  if (threads < 2 || total < kThreadedCost) {
    compareComponents(a, b, sizes, 7u, norms, side, kept, pool);
  } else {
    // One component alone on a second thread, the one that balances best.
    int alone = 0;
    for (int c = 1; c < kComponents; ++c)
      if (std::max(cost[c], total - cost[c]) < std::max(cost[alone], total - cost[alone])) alone = c;
    std::thread helper([&] { compareComponents(a, b, sizes, 1u << alone, norms, side, kept, pool); });
    compareComponents(a, b, sizes, 7u & ~(1u << alone), norms, side, kept, pool);
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

// The original's side of every comparison is kept when it takes no more than
// this; larger pictures compute it each time rather than hold it.
constexpr double kKeptBudget = 192.0 * (1 << 20);

// The bytes the original's side takes for one background.
double keptBytes(const std::vector<Size>& sizes) {
  const int scales = int(sizes.size());
  double bytes = 0;
  for (int k = 0; k < scales; ++k)
    for (int c = 0; c < kComponents; ++c)
      bytes += double(keptPlanes(needsOf(scales, c, k))) * sizes[k].width * sizes[k].height * sizeof(float);
  return bytes;
}

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
  // The original's side per background and scale, kept by the first comparison.
  bool keepOriginal = false;
  mutable std::once_flag keeping;
  mutable std::vector<std::vector<OriginalScale>> kept;
  mutable WorkingRowsPool pool;

  double compare(const RgbaPicture& pic, OriginalSide side) const;
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
  p.keepOriginal = keptBytes(p.sizes) * double(p.backgrounds.size()) <= kKeptBudget;
  p.kept.assign(p.backgrounds.size(), std::vector<OriginalScale>(p.sizes.size()));
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
  if (!p.keepOriginal) return p.compare(pic, OriginalSide::Compute);
  // The first comparison keeps the original's side; any made meanwhile wait for it.
  double first = 0;
  bool keptNow = false;
  std::call_once(p.keeping, [&] {
    first = p.compare(pic, OriginalSide::Keep);
    keptNow = true;
  });
  return keptNow ? first : p.compare(pic, OriginalSide::Kept);
}

double Ssimulacra2Reference::Prepared::compare(const RgbaPicture& pic, OriginalSide side) const {
  if (original.hasAlpha) {
    double worst = 100;
    // An opaque distorted picture looks the same on both backgrounds: prepared once.
    std::unique_ptr<ScaledPicture> opaque;
    if (!pic.hasAlpha) opaque = std::make_unique<ScaledPicture>(pic, Background{}, sizes);
    for (size_t i = 0; i < backgrounds.size(); ++i) {
      std::unique_ptr<ScaledPicture> blended;
      if (pic.hasAlpha) blended = std::make_unique<ScaledPicture>(pic, backgrounds[i], sizes);
      const double error = weightedError(scaled[i], opaque ? *opaque : *blended, sizes, threads, side, kept[i], pool);
      worst = std::min(worst, ssimulacra2FromError(error));
    }
    return worst;
  }
  const ScaledPicture distorted(pic, pic.hasAlpha ? Background{true, 0.5f} : Background{}, sizes);
  return ssimulacra2FromError(weightedError(scaled[0], distorted, sizes, threads, side, kept[0], pool));
}

}  // namespace pixmorph
