// BMP writer: 1, 4 or 8-bit palette as the palette's size allows, 8-bit for
// grey, 24-bit for opaque colour, 32-bit with an alpha mask (V4 header) for
// transparency; an RGB profile goes after the pixels (V5 header). Rows are
// stored bottom-up, so each incoming batch is placed by seeking.
#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

class BmpWriter : public ImageWriter {
 public:
  BmpWriter(AtomicOutputFile& out, const ImageInfo& info) : out_(out), info_(info) {
    switch (info.format) {
      case PixelFormat::Indexed: {
        const size_t n = info.palette.size();
        bpp_ = n <= 2 ? 1 : n <= 16 ? 4 : 8;
        break;
      }
      case PixelFormat::Gray: bpp_ = 8; break;
      case PixelFormat::Rgb: bpp_ = 24; break;
      case PixelFormat::Rgba: bpp_ = 32; break;
      default: throw WriteError(kInvalidBpp);
    }
    const bool alpha = bpp_ == 32;
    // A grey picture's palette is colour, so only an RGB profile fits.
    const bool profile = info.format != PixelFormat::Gray && iccProfileFits(info.icc, info.format);
    const uint32_t headerSize = profile ? 124 : alpha ? 108 : 40;
    const uint32_t colors = bpp_ <= 8 ? (info.format == PixelFormat::Gray ? 256 : uint32_t(info.palette.size())) : 0;
    for (unsigned i = 0; i < 256; ++i) remap_[i] = uint8_t(i);
    // Pillow takes a palette of the greys 0, 1, 2... for grey samples of
    // 8 bits, whatever the depth: reversed, it reads as a palette.
    bool ramp = info.format == PixelFormat::Indexed && bpp_ < 8 && colors > 2;
    for (uint32_t i = 0; ramp && i < colors; ++i)
      ramp = info.palette[i] == Rgba8{uint8_t(i), uint8_t(i), uint8_t(i), 255};
    if (ramp)
      for (uint32_t i = 0; i < colors; ++i) remap_[i] = uint8_t(colors - 1 - i);
    stride_ = ((uint64_t(info.width) * bpp_ + 31) / 32) * 4;
    dataOffset_ = 14 + headerSize + colors * 4;
    const uint64_t imageBytes = stride_ * info.height;
    const uint64_t fileSize = dataOffset_ + imageBytes + (profile ? info.icc.size() : 0);
    if (fileSize > 0xFFFFFFFFull || info.width > 0x7FFFFFFF || info.height > 0x7FFFFFFF)
      throw WriteError("Image is too large for a BMP file");

    std::vector<uint8_t> head(dataOffset_, 0);
    head[0] = 'B';
    head[1] = 'M';
    put32(&head[2], uint32_t(fileSize));
    put32(&head[10], uint32_t(dataOffset_));
    uint8_t* h = &head[14];
    put32(h, headerSize);
    put32(h + 4, info.width);
    put32(h + 8, info.height);  // positive: bottom-up, the most widely read layout
    put16(h + 12, 1);
    put16(h + 14, bpp_);
    put32(h + 16, alpha ? 3 : 0);  // BI_BITFIELDS : BI_RGB
    put32(h + 20, uint32_t(imageBytes));
    put32(h + 24, 2835);  // 72 dpi
    put32(h + 28, 2835);
    put32(h + 32, colors);
    if (alpha) {
      put32(h + 40, 0x00FF0000);
      put32(h + 44, 0x0000FF00);
      put32(h + 48, 0x000000FF);
      put32(h + 52, 0xFF000000);
      std::memcpy(h + 56, "BGRs", 4);  // LCS_sRGB, stored little-endian
    }
    if (profile) {
      std::memcpy(h + 56, "DEBM", 4);  // PROFILE_EMBEDDED, stored little-endian
      put32(h + 108, 4);               // LCS_GM_IMAGES
      put32(h + 112, uint32_t(dataOffset_ - 14 + imageBytes));
      put32(h + 116, uint32_t(info.icc.size()));
    }
    uint8_t* pal = h + headerSize;
    for (uint32_t i = 0; i < colors; ++i) {
      Rgba8 c = info.format == PixelFormat::Gray ? Rgba8{uint8_t(i), uint8_t(i), uint8_t(i), 255}
                                                 : info.palette[i];
      uint8_t* e = pal + 4 * remap_[i];
      e[0] = c.b;
      e[1] = c.g;
      e[2] = c.r;
    }
    out_.write(head.data(), head.size());
    if (profile) {
      out_.seek(dataOffset_ + imageBytes);
      out_.write(info.icc.data(), info.icc.size());
    }
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    const size_t rb = info_.rowBytes();
    buf_.assign(stride_ * count, 0);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* s = rows + rb * i;
      uint8_t* d = buf_.data() + stride_ * (count - 1 - i);  // reversed: bottom-up
      const uint32_t w = info_.width;
      switch (bpp_) {
        case 1:
        case 4:
          for (uint32_t x = 0; x < w; ++x) {
            const unsigned perByte = 8 / bpp_, shift = 8 - bpp_ * (x % perByte + 1);
            d[x / perByte] |= uint8_t((remap_[s[x]] & ((1u << bpp_) - 1)) << shift);
          }
          break;
        case 8: std::memcpy(d, s, w); break;
        case 24:
          swapRedBlue(s, d, w);
          break;
        default:
          for (uint32_t x = 0; x < w; ++x) {
            d[4 * x] = s[4 * x + 2];
            d[4 * x + 1] = s[4 * x + 1];
            d[4 * x + 2] = s[4 * x];
            d[4 * x + 3] = s[4 * x + 3];
          }
      }
    }
    const uint64_t firstFileRow = uint64_t(info_.height) - next_ - count;
    out_.seek(dataOffset_ + firstFileRow * stride_);
    out_.write(buf_.data(), buf_.size());
    next_ += count;
  }

  void finish() override {
    if (next_ != info_.height) throw WriteError("BMP image is incomplete");
  }

 private:
  AtomicOutputFile& out_;
  ImageInfo info_;
  unsigned bpp_ = 24;
  uint8_t remap_[256];
  uint64_t stride_ = 0, dataOffset_ = 0;
  std::vector<uint8_t> buf_;
  uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<ImageWriter> createBmpWriter(AtomicOutputFile& out, const ImageInfo& info) {
  return std::make_unique<BmpWriter>(out, info);
}

}  // namespace pixmorph
