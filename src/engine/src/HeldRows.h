// The rows of a picture held in the most compact layout its pixels allow, so
// the writers can choose colour type and bit depth from the whole picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Image.h"

namespace pixmorph {

/// Takes rows of any layout and keeps them as palette indices while there
/// are at most 256 colours, then as grey and alpha while every pixel is
/// grey: never more than 2 bytes a pixel. A picture that fits neither is
/// refused, and what was held is handed back in its own layout. Without
/// @p store only the colours are taken, for a source that can give its rows
/// again (convert()).
class HeldRows {
 public:
  HeldRows(const ImageInfo& info, bool store);

  /// Takes @p count rows in the layout given at creation. False when their
  /// pixels fit no held layout; the rows taken before this call stay held.
  bool add(const uint8_t* rows, uint32_t count);
  uint32_t rowCount() const { return rows_; }

  bool paletted() const { return !grayAlpha_; }
  /// The colours as they were first met (paletted() only).
  const std::vector<Rgba8>& colors() const { return colors_; }
  /// Where colour @p i stood in the source: its first palette index, or
  /// its order of appearance.
  unsigned rank(size_t i) const;
  bool allGray() const;
  bool opaque() const;
  /// The fewest bits (1, 2, 4, 8) that hold every grey level exactly
  /// (allGray() only).
  unsigned grayBits() const;

  /// Held row @p y (stored only).
  const uint8_t* row(uint32_t y) const { return data_.data() + size_t(y) * width_ * (grayAlpha_ ? 2 : 1); }
  /// A held row as @p to: Indexed gives the held index through @p remap
  /// (paletted() only), Gray ignores alpha, the others expand.
  void expand(const uint8_t* held, PixelFormat to, uint8_t* dst, const uint8_t* remap = nullptr) const;
  /// A row in the layout given at creation, of a picture add() took whole,
  /// as expand() gives it; @p scratch holds 2 bytes a pixel.
  void convert(const uint8_t* src, PixelFormat to, uint8_t* dst, const uint8_t* remap, uint8_t* scratch) const;

 private:
  // A source row as it would be held.
  void compact(const uint8_t* src, uint8_t* dst) const;
  uint32_t key(const uint8_t* p) const;
  size_t slotOf(uint32_t key) const;
  /// The index of colour @p key, added if new; -1 when 256 are taken.
  int insert(uint32_t key);
  void toGrayAlpha();
  void taken(uint32_t count);

  uint32_t width_;
  size_t pixels_;
  PixelFormat from_;
  std::vector<uint32_t> sourcePalette_;  // Indexed input: each entry as a colour key
  int16_t indexMap_[256];                // Indexed input: held index of each, -1 until seen
  std::vector<Rgba8> colors_;
  // Open-addressing table from colour key to index + 1 (0: empty).
  std::vector<uint32_t> keys_;
  std::vector<uint16_t> slots_;
  std::vector<uint8_t> data_;
  const bool store_;
  uint32_t rows_ = 0;
  bool grayAlpha_ = false;
  bool opaque_ = true;
};

}  // namespace pixmorph
