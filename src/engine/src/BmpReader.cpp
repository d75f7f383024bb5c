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

// Byte sizes of the headers. The info header's size tells its version.
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;    // OS/2 1.x, Windows 2.x: 16-bit sizes, 3-byte palette
constexpr uint32_t kInfoHeaderSize = 40;    // Windows 3 (V1)
constexpr uint32_t kV2HeaderSize = 52;      // + red, green, blue masks
constexpr uint32_t kV3HeaderSize = 56;      // + alpha mask
constexpr uint32_t kV4HeaderSize = 108;     // + colour space
constexpr uint32_t kV5HeaderSize = 124;     // + rendering intent, ICC profile
constexpr uint32_t kOs2MinHeaderSize = 16;  // OS/2 2.x headers may be cut anywhere in between
constexpr uint32_t kOs2MaxHeaderSize = 64;
// Fields that shorter OS/2 2.x headers may leave out.
constexpr uint32_t kCompressionEnd = 20;
constexpr uint32_t kColorsUsedEnd = 36;

enum Compression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitfields = 3,  // OS/2 2.x: Huffman 1D
  kJpeg = 4,       // OS/2 2.x: RLE24
  kPng = 5,
  kAlphaBitfields = 6,
};

constexpr uint32_t kProfileEmbedded = 0x4D424544;  // "MBED" in a V5 header's colour space
constexpr uint32_t kMaxProfileBytes = 16u << 20;

enum class HeaderKind { Core, Windows, Os2 };

HeaderKind headerKind(uint32_t size) {
  switch (size) {
    case kCoreHeaderSize: return HeaderKind::Core;
    case kInfoHeaderSize:
    case kV2HeaderSize:
    case kV3HeaderSize:
    case kV4HeaderSize:
    case kV5HeaderSize: return HeaderKind::Windows;
  }
  if (size >= kOs2MinHeaderSize && size <= kOs2MaxHeaderSize) return HeaderKind::Os2;
  throw ReadError("Not a valid BMP file (unknown header size)");
}

class BmpReader : public ImageReader {
 public:
  explicit BmpReader(InputFile& in) : in_(in) {
    readFileHeader();
    readInfoHeader();
    checkLayout();
    uint64_t next = base_ + kFileHeaderSize + headerSize_;
    if (bpp_ == 16 || bpp_ == 32) readMasks(next);
    if (bpp_ <= 8) readPalette(next);
    info_.format = bpp_ <= 8 ? PixelFormat::Indexed : PixelFormat::Rgb;
    dataOffset_ = bitsOffset_ ? bitsOffset_ : next;
    if (dataOffset_ >= in_.size()) throw ReadError("BMP file is truncated");
    readProfile();
    readPixelsOrCheckTheirRoom();
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
  // The 14-byte file header, after the one of an OS/2 bitmap array, whose
  // first image is the one read.
  void readFileHeader() {
    uint8_t fh[kFileHeaderSize];
    if (!in_.readAt(0, fh, sizeof fh)) throw ReadError("BMP file is truncated");
    if (fh[1] == 'A') {
      base_ = kFileHeaderSize;
      if (!in_.readAt(base_, fh, sizeof fh)) throw ReadError("BMP file is truncated");
      if (fh[0] != 'B' || fh[1] != 'M') throw ReadError(kUnsupportedOption);
    }
    bitsOffset_ = le32(fh + 10);
  }

  void readInfoHeader() {
    uint8_t* h = header_;
    if (!in_.readAt(base_ + kFileHeaderSize, h, 4)) throw ReadError("BMP file is truncated");
    headerSize_ = le32(h);
    kind_ = headerKind(headerSize_);
    if (!in_.readAt(base_ + kFileHeaderSize, h, headerSize_)) throw ReadError("BMP file is truncated");
    if (kind_ == HeaderKind::Core) {
      width_ = le16(h + 4);
      height_ = int16_t(le16(h + 6));
      planes_ = le16(h + 8);
      bpp_ = le16(h + 10);
      return;
    }
    width_ = int32_t(le32(h + 4));
    height_ = int32_t(le32(h + 8));
    planes_ = le16(h + 12);
    bpp_ = le16(h + 14);
    if (headerSize_ >= kCompressionEnd) compression_ = le32(h + 16);
    if (headerSize_ >= kColorsUsedEnd) colorsUsed_ = le32(h + 32);
  }

  // Everything the header alone can tell is wrong, before any buffer it sizes.
  void checkLayout() {
    if (planes_ != 1) throw ReadError("Not a valid BMP file (plane count is not 1)");
    if (width_ <= 0) throw ReadError("Not a valid BMP file (width is not positive)");
    if (height_ < 0) {
      topDown_ = true;
      height_ = -height_;
    }
    checkDimensions(uint64_t(width_), uint64_t(height_), "BMP");
    info_.width = uint32_t(width_);
    info_.height = uint32_t(height_);

    if (kind_ == HeaderKind::Os2 && (compression_ == kBitfields || compression_ == kJpeg))
      throw ReadError(kUnsupportedOption);
    if (compression_ == kJpeg || compression_ == kPng) throw ReadError(kUnsupportedOption);
    if (compression_ > kAlphaBitfields) throw ReadError(kUnsupportedOption);
    if (bpp_ == 64) throw ReadError(kUnsupportedOption);
    if (bpp_ != 1 && bpp_ != 2 && bpp_ != 4 && bpp_ != 8 && bpp_ != 16 && bpp_ != 24 && bpp_ != 32)
      throw ReadError(kInvalidBpp);
    if ((compression_ == kRle8 && bpp_ != 8) || (compression_ == kRle4 && bpp_ != 4))
      throw ReadError(kInvalidBpp);
    if (bitfields() && bpp_ != 16 && bpp_ != 32) throw ReadError(kInvalidBpp);
    rle_ = compression_ == kRle8 || compression_ == kRle4;
    if (rle_ && topDown_) throw ReadError("Not a valid BMP file (compressed image stored top-down)");
    stride_ = checkedMul((checkedMul(info_.width, bpp_) + 31) / 32, 4);
  }

  bool bitfields() const { return compression_ == kBitfields || compression_ == kAlphaBitfields; }

  // Bit masks: inside the header from V2 on, else right after a V1 one, at
  // @p next; without bit fields, the defaults of the depth.
  void readMasks(uint64_t& next) {
    uint32_t m[4] = {0, 0, 0, 0};
    if (bitfields()) {
      if (headerSize_ >= kV2HeaderSize) {
        for (int i = 0; i < 3; ++i) m[i] = le32(header_ + kInfoHeaderSize + 4 * i);
        if (headerSize_ >= kV3HeaderSize) m[3] = le32(header_ + kInfoHeaderSize + 12);
      } else {
        int n = compression_ == kAlphaBitfields ? 4 : 3;
        uint8_t raw[16];
        if (!in_.readAt(next, raw, size_t(4 * n))) throw ReadError("BMP file is truncated");
        for (int i = 0; i < n; ++i) m[i] = le32(raw + 4 * i);
        next += uint64_t(4 * n);
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

  // The palette at @p next: as many entries as the header says, the depth
  // allows and fit before the pixels.
  void readPalette(uint64_t& next) {
    const unsigned entry = kind_ == HeaderKind::Core ? 3 : 4;
    const uint64_t maxEntries = 1u << bpp_;
    uint64_t n = colorsUsed_ ? colorsUsed_ : maxEntries;
    if (n > maxEntries) n = maxEntries;
    uint64_t room = bitsOffset_ > next ? (bitsOffset_ - next) / entry : 0;
    if (bitsOffset_ == 0) room = n;  // some writers leave the offset out
    if (n > room) n = room;
    if (n == 0) throw ReadError("Not a valid BMP file (palette missing)");
    std::vector<uint8_t> raw(size_t(n) * entry);
    if (!in_.readAt(next, raw.data(), raw.size())) throw ReadError("BMP file is truncated");
    for (size_t i = 0; i < n; ++i)
      info_.palette.push_back({raw[i * entry + 2], raw[i * entry + 1], raw[i * entry], 255});
    next += n * entry;
  }

  // A V5 header's embedded ICC profile; its offset counts from the info header.
  void readProfile() {
    if (headerSize_ != kV5HeaderSize || le32(header_ + 56) != kProfileEmbedded) return;
    const uint64_t off = base_ + kFileHeaderSize + uint64_t(le32(header_ + 112));
    const uint64_t size = le32(header_ + 116);
    if (!size || size >= kMaxProfileBytes || off + size > in_.size()) return;
    info_.icc.resize(size_t(size));
    if (!in_.readAt(off, info_.icc.data(), size_t(size))) info_.icc.clear();
  }

  // Compressed images are decoded whole; the rows of the others are read
  // as they are asked for, once the file is known to hold them all.
  void readPixelsOrCheckTheirRoom() {
    if (rle_) {
      decodeRle(in_.size());
      return;
    }
    const uint64_t need = uint64_t(stride_) * info_.height;
    if (dataOffset_ + need > in_.size()) throw ReadError("BMP file is truncated");
    if (ch_[3].mask && !alphaAllZero()) info_.format = PixelFormat::Rgba;
  }

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
    checkBufferSize(checkedMul(pixels, sizeof(uint16_t)));
    uint64_t avail = fileSize - dataOffset_;
    if (avail > (uint64_t(1) << 31)) avail = uint64_t(1) << 31;
    std::vector<uint8_t> src(static_cast<size_t>(avail));
    if (!in_.readAt(dataOffset_, src.data(), src.size())) throw ReadError("BMP file is truncated");

    // Pixels the stream skips over stay at this marker and become transparent.
    const uint16_t kSkipped = 0x100;
    std::vector<uint16_t> idx(pixels, kSkipped);
    const bool four = compression_ == kRle4;
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
  // From the headers.
  uint64_t base_ = 0, bitsOffset_ = 0;
  uint32_t headerSize_ = 0;
  HeaderKind kind_ = HeaderKind::Windows;
  uint8_t header_[kV5HeaderSize] = {};
  int64_t width_ = 0, height_ = 0;
  unsigned planes_ = 0, bpp_ = 0;
  uint32_t compression_ = kRgb, colorsUsed_ = 0;
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
