#include "PngFilter.h"

#include <algorithm>
#include <cstring>

namespace pixmorph {

namespace {

constexpr int kTrialLevel = 4;

inline uint8_t paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = p > a ? p - a : a - p;
  int pb = p > b ? p - b : b - p;
  int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

}  // namespace

RowFilters::RowFilters(size_t rowBytes, size_t bpp, int trialStrategy)
    : rowBytes_(rowBytes), bpp_(bpp), trialStrategy_(trialStrategy) {}

void RowFilters::apply(RowFilter f, const uint8_t* cur, const uint8_t* up, uint8_t* out, size_t n) {
  const size_t bpp = bpp_;
  if (f == RowFilter::PerRow) {
    // The classic heuristic; it wins on detailed photos.
    trialRow_.resize(n + 1);
    uint64_t best = UINT64_MAX;
    for (RowFilter t : {RowFilter::Sub, RowFilter::Up, RowFilter::Average, RowFilter::Paeth}) {
      apply(t, cur, up, trialRow_.data(), n);
      uint64_t sum = 0;
      for (size_t i = 1; i <= n; ++i) {
        const int v = int8_t(trialRow_[i]);
        sum += uint64_t(v < 0 ? -v : v);
      }
      if (sum < best) {
        best = sum;
        std::memcpy(out, trialRow_.data(), n + 1);
      }
    }
    return;
  }
  *out++ = uint8_t(f);
  switch (f) {
    case RowFilter::None: std::memcpy(out, cur, n); break;
    case RowFilter::Sub:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(cur[i] - (i >= bpp ? cur[i - bpp] : 0));
      break;
    case RowFilter::Up:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(cur[i] - up[i]);
      break;
    case RowFilter::Average:
      for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(cur[i] - up[i] / 2);
      for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(cur[i] - ((cur[i - bpp] + up[i]) >> 1));
      break;
    default:
      for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(cur[i] - up[i]);
      for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(cur[i] - paeth(cur[i - bpp], up[i], up[i - bpp]));
  }
}

// One filter for every row competes with the per-row heuristic, which alone
// often picks Paeth where Up or Average compress better.
RowFilter RowFilters::choose(const uint8_t* raw, size_t rows, const uint8_t* above) {
  // About 24 KB of sample per candidate keeps the trials a small part of
  // the work however wide the rows are: at least four rows, each judged on
  // at most 6 KB.
  constexpr size_t kSampleBytes = 24u << 10, kMinRows = 4;
  const size_t len = std::min(rowBytes_, kSampleBytes / kMinRows), line = len + 1;
  const size_t wanted = std::clamp<size_t>(kSampleBytes / line, kMinRows, 48);
  const size_t step = std::max<size_t>(1, rows / wanted);
  // A stretch shorter than the row moves along it from one sampled row to
  // the next, so the whole width is judged.
  const size_t slack = rowBytes_ - len, stretches = std::max<size_t>(1, (rows + step - 1) / step);
  size_t best = SIZE_MAX;
  RowFilter bestFilter = RowFilter::Paeth;
  // Sub alone never wins on photographs, so it is not tried.
  for (RowFilter f : {RowFilter::Up, RowFilter::Average, RowFilter::Paeth, RowFilter::PerRow}) {
    sample_.clear();
    // Sampling starts inside the run: the image's first row has only
    // zeros above it, where Sub always wins and would skew the choice.
    size_t k = 0;
    for (size_t r = step / 2 + (rows > 1); r < rows; r += step, ++k) {
      const size_t at = slack * k / stretches / bpp_ * bpp_;
      const uint8_t* cur = raw + r * rowBytes_ + at;
      const uint8_t* up = (r ? raw + (r - 1) * rowBytes_ : above) + at;
      sample_.resize(sample_.size() + line);
      apply(f, cur, up, sample_.data() + sample_.size() - line, len);
    }
    const size_t size = trialSize();
    if (size < best) {
      best = size;
      bestFilter = f;
    }
  }
  return bestFilter;
}

// Deflated size of sample_, with the writer's own strategy at a cheaper
// level so the ranking matches the real compression.
size_t RowFilters::trialSize() {
  if (!trial_)
    trial_ = std::make_unique<DeflateStream>(kTrialLevel, 8, trialStrategy_);
  else
    deflateReset(trial_->get());
  z_stream* z = trial_->get();
  trialOut_.resize(deflateBound(z, uLong(sample_.size())));
  z->next_in = sample_.data();
  z->avail_in = uInt(sample_.size());
  z->next_out = trialOut_.data();
  z->avail_out = uInt(trialOut_.size());
  deflate(z, Z_FINISH);
  return trialOut_.size() - z->avail_out;
}

}  // namespace pixmorph
