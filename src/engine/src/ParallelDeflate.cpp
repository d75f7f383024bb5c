#include "ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace pixmorph {

namespace {

constexpr size_t kWindow = 32768;
// Two pieces in flight keep two cores busy without hoarding memory.
constexpr size_t kInFlight = 2;

}  // namespace

ParallelDeflate::ParallelDeflate(const DeflatePolicy& policy, size_t pieceBytes)
    : policy_(policy), pieceBytes_(pieceBytes), adler_(adler32(0, nullptr, 0)) {
  // zlib header: deflate, 32 KB window, level hint "default"; checksum-valid.
  out_ = {0x78, 0x9C};
  startPiece();
}

void ParallelDeflate::startPiece() {
  piece_ = DeflatePiece{};
  piece_.data.reserve(kWindow + pieceBytes_);
  piece_.data.assign(window_.begin(), window_.end());
  piece_.dictBytes = window_.size();
}

void ParallelDeflate::submit(bool last) {
  const size_t n = piece_.data.size() - piece_.dictBytes;
  adler_ = adler32_z(adler_, piece_.data.data() + piece_.dictBytes, n);
  piece_.last = last;
  if (last) {
    // Deflated here while the pieces before it finish on their threads.
    const std::vector<uint8_t> z = deflatePiece(piece_, policy_);
    while (!jobs_.empty()) drainOne();
    out_.insert(out_.end(), z.begin(), z.end());
    const uint8_t trailer[4] = {uint8_t(adler_ >> 24), uint8_t(adler_ >> 16), uint8_t(adler_ >> 8),
                                uint8_t(adler_)};
    out_.insert(out_.end(), trailer, trailer + 4);
    return;
  }
  const size_t keep = std::min(kWindow, piece_.data.size());
  window_.assign(piece_.data.end() - ptrdiff_t(keep), piece_.data.end());
  // The job owns its piece: a future left behind by an error waits for it.
  auto job = std::make_shared<DeflatePiece>(std::move(piece_));
  jobs_.push_back(std::async(std::launch::async, [job, policy = policy_] { return deflatePiece(*job, policy); }));
  while (jobs_.size() > kInFlight) drainOne();
  startPiece();
}

void ParallelDeflate::drainOne() {
  std::vector<uint8_t> z = jobs_.front().get();
  jobs_.pop_front();
  out_.insert(out_.end(), z.begin(), z.end());
}

}  // namespace pixmorph
