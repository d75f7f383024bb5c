// How rows reach a writer: in batches converted to the layout the writer
// takes, and, for a picture held whole, in the layout chosen from its pixels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Codecs.h"
#include "HeldRows.h"
#include "Limits.h"
#include "Pixels.h"

namespace pixmorph {

/// The layout in which a writer taking @p layouts receives the rows of @p in.
PixelFormat targetFormat(const WriterLayouts& layouts, const ImageInfo& in);

// Small batches keep memory flat while amortising the virtual calls; very
// wide rows (a 2^28 x 1 image is legal) go one at a time.
inline uint32_t rowBatch(size_t widestRow) {
  return uint32_t(std::clamp<size_t>((size_t(4) << 20) / widestRow, 1, 16));
}

// The source's rows in batches, converted to one layout.
class RowBatches {
 public:
  RowBatches(ImageReader& reader, PixelFormat to)
      : reader_(reader), converter_(reader.info(), to), srcRow_(reader.info().rowBytes()),
        dstRow_(size_t(reader.info().width) * size_t(channelCount(to))),
        same_(reader.info().format == to),
        batch_(rowBatch(std::max(srcRow_, dstRow_))) {
    if (!same_) dstBuf_.resize(checkedMul(dstRow_, batch_));
  }
  uint32_t batch() const { return batch_; }
  size_t rowBytes() const { return dstRow_; }
  /// Starts again from the first row; false when the reader cannot.
  bool rewind() { return reader_.rewind(); }
  /// The next @p n (at most batch()) rows.
  const uint8_t* next(uint32_t n) {
    const uint8_t* rows = reader_.lendRows(n);
    if (!rows) {
      if (srcBuf_.empty()) srcBuf_.resize(checkedMul(srcRow_, batch_));
      reader_.readRows(srcBuf_.data(), n);
      rows = srcBuf_.data();
    }
    if (same_) return rows;
    for (uint32_t i = 0; i < n; ++i) converter_.convert(rows + i * srcRow_, dstBuf_.data() + i * dstRow_);
    return dstBuf_.data();
  }

 private:
  ImageReader& reader_;
  const RowConverter converter_;
  const size_t srcRow_, dstRow_;
  const bool same_;
  const uint32_t batch_;
  std::vector<uint8_t> srcBuf_, dstBuf_;
};

/// Held rows handed to a writer as @p to (Indexed through @p remap); read
/// again from @p source when they were not stored.
void writeHeld(ImageWriter& writer, const HeldRows& held, const ImageInfo& to, const uint8_t* remap,
               RowBatches* source);

/// A held picture's layout; when it was chosen by encoding, the file's bytes.
struct Layout {
  ImageInfo info;
  std::vector<uint8_t> encoded;
};

/// The layout a whole held picture is written in by a writer taking
/// @p layouts, chosen from its pixels; @p remap takes held palette indices to
/// the written ones.
Layout chooseLayout(const WriterLayouts& layouts, const ImageInfo& work, const HeldRows& held, uint8_t* remap,
                    RowBatches* source);

}  // namespace pixmorph
