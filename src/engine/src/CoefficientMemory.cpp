#include "CoefficientMemory.h"

#include <algorithm>
#include <utility>

namespace pixmorph {

CoefficientMemory::Lease& CoefficientMemory::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    if (owner_) owner_->giveBack(std::move(block_), bytes_);
    owner_ = std::exchange(other.owner_, nullptr);
    block_ = std::move(other.block_);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

CoefficientMemory::Lease::~Lease() {
  if (owner_) owner_->giveBack(std::move(block_), bytes_);
}

CoefficientMemory::Lease CoefficientMemory::acquire(size_t bytes) {
  Lease lease;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A block a quarter larger than asked is still taken; a much larger one
    // would hold memory the picture does not need, so the free blocks are
    // let go instead and a block of the right size is made.
    auto fit = free_.end();
    for (auto it = free_.begin(); it != free_.end(); ++it)
      if (it->bytes >= bytes && it->bytes - bytes <= bytes / 4 && (fit == free_.end() || it->bytes < fit->bytes))
        fit = it;
    if (fit != free_.end()) {
      lease.block_ = std::move(fit->data);
      lease.bytes_ = fit->bytes;
      free_.erase(fit);
    } else {
      free_.clear();
    }
  }
  if (!lease.block_) {
    lease.block_.reset(new uint8_t[std::max<size_t>(bytes, 1)]);
    lease.bytes_ = bytes;
  }
  lease.owner_ = this;
  return lease;
}

void CoefficientMemory::giveBack(std::unique_ptr<uint8_t[]> data, size_t bytes) {
  if (!data) return;
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back({std::move(data), bytes});
}

}  // namespace pixmorph
