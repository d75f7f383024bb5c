// Memory for the JPG writer's whole-picture coefficient buffer, kept between
// the writes of one decoded source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace pixmorph {

/// Optimised Huffman tables make libjpeg hold every coefficient of the
/// picture: 144 MB for 24 MP at full-resolution chroma. Fresh memory of that
/// size costs a page fault and a zeroed page every 4 KB, about a third of a
/// JPG write's time, so the writes of several qualities from one source take
/// turns with the same blocks instead. Safe to share between threads.
class CoefficientMemory {
 public:
  /// A block lent out; it returns to its memory when destroyed.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept { *this = std::move(other); }
    Lease& operator=(Lease&& other) noexcept;
    ~Lease();
    uint8_t* data() const { return block_.get(); }

   private:
    friend class CoefficientMemory;
    CoefficientMemory* owner_ = nullptr;
    std::unique_ptr<uint8_t[]> block_;
    size_t bytes_ = 0;
  };

  CoefficientMemory() = default;
  CoefficientMemory(const CoefficientMemory&) = delete;
  CoefficientMemory& operator=(const CoefficientMemory&) = delete;

  /// At least @p bytes, not zeroed; throws std::bad_alloc.
  Lease acquire(size_t bytes);

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> data;
    size_t bytes;
  };
  void giveBack(std::unique_ptr<uint8_t[]> data, size_t bytes);

  std::mutex mutex_;
  std::vector<Block> free_;
};

}  // namespace pixmorph
