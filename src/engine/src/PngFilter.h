// PNG row filters and the choice among them for a run of rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ZStream.h"

namespace pixmorph {

/// The five filter types, plus PerRow: for each row, the one whose output has
/// the smallest sum of magnitudes.
enum class RowFilter : uint8_t { None, Sub, Up, Average, Paeth, PerRow };

class RowFilters {
 public:
  /// Rows of @p rowBytes bytes with @p bpp bytes per complete pixel (1 for
  /// depths below 8). The trials rank filters with zlib's @p trialStrategy.
  RowFilters(size_t rowBytes, size_t bpp, int trialStrategy);

  /// Filters the first @p n bytes of row @p cur (@p up is the row above)
  /// into @p out: the type byte, then the filtered bytes.
  void apply(RowFilter f, const uint8_t* cur, const uint8_t* up, uint8_t* out, size_t n);
  void apply(RowFilter f, const uint8_t* cur, const uint8_t* up, uint8_t* out) {
    apply(f, cur, up, out, rowBytes_);
  }

  /// The filter for the @p rows rows at @p raw (@p above is the row before
  /// them): a sample of rows is deflated each way and the smallest wins.
  RowFilter choose(const uint8_t* raw, size_t rows, const uint8_t* above);

 private:
  size_t trialSize();

  size_t rowBytes_, bpp_;
  int trialStrategy_;
  std::vector<uint8_t> trialRow_, sample_, trialOut_;
  std::unique_ptr<DeflateStream> trial_;
};

}  // namespace pixmorph
