// BMP reader: Windows V1..V5 and OS/2 v1/v2 headers, 1/2/4/8-bit palettes,
// RLE4/RLE8, 16/32-bit bit fields, 24-bit. Uncompressed files are read a
// batch of rows at a time straight from the file.
#include <unistd.h>

#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// One colour channel described by a bit mask.
struct Channel {
  uint32_t mask = 0;
  unsigned shift = 0, bits = 0;

  bool set(uint32_t m) {
    mask = m;
    if (!m) return true;
    shift = unsigned(__builtin_ctz(m));
    uint32_t v = m >> shift;
    bits = unsigned(32 - __builtin_clz(v));
    return (v & (v + 1)) == 0;  // contiguous
  }
  uint8_t get(uint32_t px, uint8_t absent) const {
    if (!mask) return absent;
    uint32_t v = (px & mask) >> shift;
    if (bits >= 8) return uint8_t(v >> (bits - 8));
    uint32_t max = (1u << bits) - 1;
    return uint8_t((v * 255 + max / 2) / max);
  }
};

class BmpReader : public ImageReader {
 public:
  explicit BmpReader(InputFile& in) : in_(in) {
    const uint64_t fileSize = in.size();
    uint64_t base = 0;
    uint8_t fh[14];
    if (!in.readAt(0, fh, 14)) throw ReadError("BMP file is truncated");
    if (fh[1] == 'A') {  // OS/2 bitmap array: the first image follows its 14-byte header
      base = 14;
      if (!in.readAt(base, fh, 14)) throw ReadError("BMP file is truncated");
      if (fh[0] != 'B' || fh[1] != 'M') throw ReadError(kUnsupportedOption);
    }
    const uint64_t bitsOffset = le32(fh + 10);

    uint8_t h[124] = {};
    if (!in.readAt(base + 14, h, 4)) throw ReadError("BMP file is truncated");
    const uint32_t hsize = le32(h);
    const bool core = hsize == 12;
    const bool windows = hsize == 40 || hsize == 52 || hsize == 56 || hsize == 108 || hsize == 124;
    const bool os2v2 = !windows && hsize >= 16 && hsize <= 64;
    if (!core && !windows && !os2v2) throw ReadError("Not a valid BMP file (unknown header size)");
    if (!in.readAt(base + 14, h, hsize)) throw ReadError("BMP file is truncated");

    int64_t width, height;
    unsigned planes;
    if (core) {
      width = le16(h + 4);
      height = int16_t(le16(h + 6));
      planes = le16(h + 8);
      bpp_ = le16(h + 10);
    } else {
      width = int32_t(le32(h + 4));
      height = int32_t(le32(h + 8));
      planes = le16(h + 12);
      bpp_ = le16(h + 14);
      compression_ = hsize >= 20 ? le32(h + 16) : 0;
    }
    const uint32_t colorsUsed = (!core && hsize >= 36) ? le32(h + 32) : 0;
    if (planes != 1) throw ReadError("Not a valid BMP file (plane count is not 1)");
    if (width <= 0) throw ReadError("Not a valid BMP file (width is not positive)");
    if (height < 0) {
      topDown_ = true;
      height = -height;
    }
    checkDimensions(uint64_t(width), uint64_t(height), "BMP");
    info_.width = uint32_t(width);
    info_.height = uint32_t(height);

    // Compression: OS/2 v2 reuses 3 and 4 for Huffman 1D and RLE24.
    enum { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kJpeg = 4, kPng = 5, kAlphaBitfields = 6 };
    if (os2v2 && (compression_ == 3 || compression_ == 4)) throw ReadError(kUnsupportedOption);
    if (compression_ == kJpeg || compression_ == kPng) throw ReadError(kUnsupportedOption);
    if (compression_ > kAlphaBitfields) throw ReadError(kUnsupportedOption);
    if (bpp_ == 64) throw ReadError(kUnsupportedOption);
    if (bpp_ != 1 && bpp_ != 2 && bpp_ != 4 && bpp_ != 8 && bpp_ != 16 && bpp_ != 24 && bpp_ != 32)
      throw ReadError(kInvalidBpp);
    if ((compression_ == kRle8 && bpp_ != 8) || (compression_ == kRle4 && bpp_ != 4))
      throw ReadError(kInvalidBpp);
    const bool fields = compression_ == kBitfields || compression_ == kAlphaBitfields;
    if (fields && bpp_ != 16 && bpp_ != 32) throw ReadError(kInvalidBpp);
    rle_ = compression_ == kRle8 || compression_ == kRle4;
    if (rle_ && topDown_) throw ReadError("Not a valid BMP file (compressed image stored top-down)");

    // Bit masks: inside the header from V2 on, else right after a 40-byte one.
    uint64_t afterHeader = base + 14 + hsize;
    if (bpp_ == 16 || bpp_ == 32) {
      uint32_t m[4] = {0, 0, 0, 0};
      if (fields) {
        if (hsize >= 52) {
          for (int i = 0; i < 4; ++i) m[i] = (i < 3 || hsize >= 56) ? le32(h + 40 + 4 * i) : 0;
        } else {
          int n = compression_ == kAlphaBitfields ? 4 : 3;
          uint8_t raw[16];
          if (!in.readAt(afterHeader, raw, size_t(4 * n))) throw ReadError("BMP file is truncated");
          for (int i = 0; i < n; ++i) m[i] = le32(raw + 4 * i);
          afterHeader += uint64_t(4 * n);
        }
      } else if (bpp_ == 16) {
        m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F;
      } else {
        m[0] = 0x00FF0000, m[1] = 0x0000FF00, m[2] = 0x000000FF;
      }
      if (bpp_ == 16)
        for (auto& v : m) v &= 0xFFFF;
      bool ok = true;
      for (int i = 0; i < 4; ++i) ok = ch_[i].set(m[i]) && ok;
      for (int i = 0; i < 4 && ok; ++i)
        for (int j = i + 1; j < 4; ++j) ok = ok && !(m[i] & m[j]);
      if (!ok || !(m[0] | m[1] | m[2])) throw ReadError("Not a valid BMP file (bad colour masks)");
    }

    // Palette.
    if (bpp_ <= 8) {
      const unsigned entry = core ? 3 : 4;
      uint64_t maxEntries = 1u << bpp_;
      uint64_t n = colorsUsed ? colorsUsed : maxEntries;
      if (n > maxEntries) n = maxEntries;
      uint64_t room = bitsOffset > afterHeader ? (bitsOffset - afterHeader) / entry : 0;
      if (bitsOffset == 0) room = n;  // some writers leave the offset out
      if (n > room) n = room;
      if (n == 0) throw ReadError("Not a valid BMP file (palette missing)");
      std::vector<uint8_t> raw(size_t(n) * entry);
      if (!in.readAt(afterHeader, raw.data(), raw.size())) throw ReadError("BMP file is truncated");
      for (size_t i = 0; i < n; ++i)
        info_.palette.push_back({raw[i * entry + 2], raw[i * entry + 1], raw[i * entry], 255});
      info_.format = PixelFormat::Indexed;
      afterHeader += n * entry;
    } else {
      info_.format = PixelFormat::Rgb;
    }
    dataOffset_ = bitsOffset ? bitsOffset : afterHeader;
    if (dataOffset_ >= fileSize) throw ReadError("BMP file is truncated");

    // Embedded ICC profile (V5, "MBED"), offset relative to the info header.
    if (hsize == 124 && le32(h + 56) == 0x4D424544) {
      uint64_t off = base + 14 + uint64_t(le32(h + 112)), size = le32(h + 116);
      if (size && size < (16u << 20) && off + size <= fileSize) {
        info_.icc.resize(size_t(size));
        if (!in.readAt(off, info_.icc.data(), size_t(size))) info_.icc.clear();
      }
    }

    stride_ = checkedMul((checkedMul(info_.width, bpp_) + 31) / 32, 4);
    if (rle_) {
      decodeRle(fileSize);
    } else {
      const uint64_t need = uint64_t(stride_) * info_.height;
      if (dataOffset_ + need > fileSize) throw ReadError("BMP file is truncated");
      if (ch_[3].mask && !alphaAllZero()) info_.format = PixelFormat::Rgba;
    }
  }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    const size_t rb = info_.rowBytes();
    if (!whole_.empty()) {
      std::memcpy(dst, whole_.data() + size_t(next_) * rb, rb * count);
      next_ += count;
      return;
    }
    // Rows next_..next_+count-1 lie contiguously in the file (reversed when
    // stored bottom-up): one read for the batch.
    uint32_t fileRow = topDown_ ? next_ : info_.height - next_ - count;
    raw_.resize(stride_ * count);
    if (!in_.readAt(dataOffset_ + uint64_t(fileRow) * stride_, raw_.data(), raw_.size()))
      throw ReadError("BMP file is truncated");
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* src = raw_.data() + stride_ * (topDown_ ? i : count - 1 - i);
      decodeRow(src, dst + i * rb);
    }
    next_ += count;
  }

 private:
  void decodeRow(const uint8_t* s, uint8_t* d) const {
    const uint32_t w = info_.width;
    switch (bpp_) {
      case 1:
      case 2:
      case 4: {
        const unsigned perByte = 8 / bpp_, mask = (1u << bpp_) - 1;
        for (uint32_t x = 0; x < w; ++x) {
          unsigned shift = 8 - bpp_ * (x % perByte + 1);
          d[x] = uint8_t((s[x / perByte] >> shift) & mask);
          checkIndex(d[x]);
        }
        break;
      }
      case 8:
        for (uint32_t x = 0; x < w; ++x) checkIndex(d[x] = s[x]);
        break;
      case 24:
        swapRedBlue(s, d, w);
        break;
      default: {
        const int c = info_.channels();
        const bool alpha = info_.format == PixelFormat::Rgba;
        for (uint32_t x = 0; x < w; ++x) {
          uint32_t px = bpp_ == 16 ? le16(s + 2 * x) : le32(s + 4 * x);
          uint8_t* o = d + size_t(c) * x;
          o[0] = ch_[0].get(px, 0);
          o[1] = ch_[1].get(px, 0);
          o[2] = ch_[2].get(px, 0);
          if (alpha) o[3] = ch_[3].get(px, 255);
        }
      }
    }
  }

  void checkIndex(uint8_t i) const {
    if (i >= info_.palette.size())
      throw ReadError("Not a valid BMP file (pixel colour missing from the palette)");
  }

  // An alpha mask whose values are all zero is a writer that never set it:
  // such images are opaque.
  bool alphaAllZero() {
    std::vector<uint8_t> row(stride_);
    for (uint32_t y = 0; y < info_.height; ++y) {
      if (!in_.readAt(dataOffset_ + uint64_t(y) * stride_, row.data(), stride_))
        throw ReadError("BMP file is truncated");
      for (uint32_t x = 0; x < info_.width; ++x) {
        uint32_t px = bpp_ == 16 ? le16(&row[2 * x]) : le32(&row[4 * x]);
        if (px & ch_[3].mask) return false;
      }
    }
    return true;
  }

  void decodeRle(uint64_t fileSize) {
    const uint32_t w = info_.width, hgt = info_.height;
    const size_t pixels = checkedMul(w, hgt);
    checkBufferSize(pixels);
    uint64_t avail = fileSize - dataOffset_;
    if (avail > (uint64_t(1) << 31)) avail = uint64_t(1) << 31;
    std::vector<uint8_t> src(static_cast<size_t>(avail));
    if (!in_.readAt(dataOffset_, src.data(), src.size())) throw ReadError("BMP file is truncated");

    // Pixels the stream skips over stay at this marker and become transparent.
    const uint16_t kSkipped = 0x100;
    std::vector<uint16_t> idx(pixels, kSkipped);
    const bool four = compression_ == 2;
    const char* damaged = "Not a valid BMP file (compressed data is damaged)";
    size_t p = 0;
    uint32_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t v) {
      if (x >= w || y >= hgt) throw ReadError(damaged);
      checkIndex(v);
      idx[size_t(hgt - 1 - y) * w + x++] = v;
    };
    bool ended = false;
    while (!ended) {
      if (p + 2 > src.size()) throw ReadError("BMP file is truncated");
      uint8_t n = src[p], c = src[p + 1];
      p += 2;
      if (n) {
        for (unsigned i = 0; i < n; ++i) put(four ? uint8_t(i & 1 ? c & 15 : c >> 4) : c);
        continue;
      }
      switch (c) {
        case 0:  // end of line
          x = 0;
          ++y;
          if (y > hgt) throw ReadError(damaged);
          break;
        case 1: ended = true; break;  // end of bitmap
        case 2: {                     // delta
          if (p + 2 > src.size()) throw ReadError("BMP file is truncated");
          x += src[p];
          y += src[p + 1];
          p += 2;
          if (x > w || y > hgt || (y == hgt && x > 0)) throw ReadError(damaged);
          break;
        }
        default: {  // absolute run of c pixels, padded to a 16-bit boundary
          size_t bytes = four ? (c + 1u) / 2 : c;
          if (p + bytes > src.size()) throw ReadError("BMP file is truncated");
          for (unsigned i = 0; i < c; ++i)
            put(four ? uint8_t(i & 1 ? src[p + i / 2] & 15 : src[p + i / 2] >> 4) : src[p + i]);
          p += (bytes + 1) & ~size_t(1);
        }
      }
      if (y == hgt) ended = true;  // a final end-of-line may replace end-of-bitmap
    }

    bool skipped = false;
    for (uint16_t v : idx) skipped = skipped || v == kSkipped;
    if (!skipped) {
      whole_.resize(pixels);
      for (size_t i = 0; i < pixels; ++i) whole_[i] = uint8_t(idx[i]);
    } else if (info_.palette.size() < 256) {
      const uint8_t clear = uint8_t(info_.palette.size());
      info_.palette.push_back({0, 0, 0, 0});
      whole_.resize(pixels);
      for (size_t i = 0; i < pixels; ++i) whole_[i] = idx[i] == kSkipped ? clear : uint8_t(idx[i]);
    } else {
      info_.format = PixelFormat::Rgba;
      whole_.resize(checkedMul(pixels, 4));
      for (size_t i = 0; i < pixels; ++i) {
        Rgba8 c = idx[i] == kSkipped ? Rgba8{0, 0, 0, 0} : info_.palette[idx[i]];
        std::memcpy(&whole_[4 * i], &c, 4);
      }
      info_.palette.clear();
    }
  }

  InputFile& in_;
  ImageInfo info_;
  unsigned bpp_ = 0;
  uint32_t compression_ = 0;
  bool topDown_ = false, rle_ = false;
  uint64_t dataOffset_ = 0;
  size_t stride_ = 0;
  Channel ch_[4];
  std::vector<uint8_t> whole_, raw_;
  uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openBmpReader(InputFile& in) {
  return std::make_unique<BmpReader>(in);
}

}  // namespace pixmorph
