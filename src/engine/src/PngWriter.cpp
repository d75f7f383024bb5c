// PNG writer. Chunks are written by hand so the image data can be deflated
// in pieces on two threads (ParallelDeflate).
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Codecs.h"
#include "Errors.h"
#include "ParallelDeflate.h"
#include "PngFilter.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

constexpr size_t kPiece = size_t(1) << 19;  // uncompressed bytes per piece
constexpr size_t kIdatBytes = size_t(1) << 18;

void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// How the image data is deflated. Palette and low-depth grey images (at most
// 8 bits a pixel, left unfiltered) go to zlib with a deep search; filtered
// images go to our long-match encoder, which takes matches from 6 bytes: on
// photographs that gives about a third of zlib level 7's time and output a
// little smaller than common tools make. Longer shortest matches are faster
// still but lose 5-8 % on camera photos, whose noise leaves few long matches.
DeflatePolicy deflatePolicyFor(bool filtered) {
  constexpr int kPaletteLevel = 7;  // measured: smallest level that beats common tools on GIFs
  DeflatePolicy p;
  if (!filtered) {
    p.encoder = DeflatePolicy::Encoder::Zlib;
    p.zlibLevel = kPaletteLevel;
    p.zlibStrategy = Z_DEFAULT_STRATEGY;
    return p;
  }
  p.encoder = DeflatePolicy::Encoder::LongMatch;
  p.minMatch = 6;
  p.chain = 16;
  p.niceLength = 258;
  // For a piece too large for the long-match encoder.
  p.zlibLevel = 6;
  p.zlibStrategy = Z_FILTERED;
  return p;
}

unsigned bitDepthFor(const ImageInfo& info) {
  if (info.format == PixelFormat::Gray) return info.grayBits;
  return info.format == PixelFormat::Indexed ? pngPaletteBits(info.palette.size()) : 8;
}

class PngWriter : public ImageWriter {
 public:
  PngWriter(ByteSink out, const ImageInfo& info)
      : out_(std::move(out)),
        info_(info),
        bitDepth_(bitDepthFor(info)),
        rowBytes_((size_t(info.width) * info.channels() * bitDepth_ + 7) / 8),
        // Palette and low-depth data compress best unfiltered; the others
        // get a filter chosen per piece.
        filterRows_(info.format != PixelFormat::Indexed && bitDepth_ == 8),
        filters_(rowBytes_, size_t(info.channels()), filterRows_ ? Z_FILTERED : Z_DEFAULT_STRATEGY),
        deflate_(deflatePolicyFor(filterRows_),
                 kPiece + kPiece / rowBytes_ + rowBytes_ + 2) {
    prev_.assign(rowBytes_, 0);  // the row above the first is zeros
    raw_.reserve(kPiece + rowBytes_);
    int colorType = 3;
    switch (info.format) {
      case PixelFormat::Gray: colorType = 0; break;
      case PixelFormat::GrayAlpha: colorType = 4; break;
      case PixelFormat::Rgb: colorType = 2; break;
      case PixelFormat::Rgba: colorType = 6; break;
      case PixelFormat::Indexed: break;
    }

    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    out_(sig, 8);
    uint8_t ihdr[13];
    put32(ihdr, info.width);
    put32(ihdr + 4, info.height);
    ihdr[8] = uint8_t(bitDepth_);
    ihdr[9] = uint8_t(colorType);
    ihdr[10] = ihdr[11] = ihdr[12] = 0;
    chunk("IHDR", ihdr, 13);
    if (iccFits()) writeIcc();
    if (info.format == PixelFormat::Indexed) {
      std::vector<uint8_t> plte, trns;
      for (const Rgba8& c : info.palette) {
        plte.insert(plte.end(), {c.r, c.g, c.b});
        trns.push_back(c.a);
      }
      chunk("PLTE", plte.data(), plte.size());
      while (!trns.empty() && trns.back() == 255) trns.pop_back();
      if (!trns.empty()) chunk("tRNS", trns.data(), trns.size());
    }
    if (!info.exif.empty()) chunk("eXIf", info.exif.data(), info.exif.size());
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    const size_t srcRow = info_.rowBytes();
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* src = rows + i * srcRow;
      if (bitDepth_ < 8) {
        pack(src);
        src = packed_.data();
      }
      raw_.insert(raw_.end(), src, src + rowBytes_);
      if (raw_.size() >= kPiece) flushPiece(false);
    }
  }

  void finish() override {
    flushPiece(true);
    flushIdat();
    chunk("IEND", nullptr, 0);
  }

 private:
  void chunk(const char* type, const uint8_t* data, size_t n) {
    if (n > 0x7fffffffu) throw WriteError("PNG chunk too large");
    uint8_t head[8];
    put32(head, uint32_t(n));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n) crc = crc32(crc, data, uInt(n));
    uint8_t tail[4];
    put32(tail, uint32_t(crc));
    out_(head, 8);
    if (n) out_(data, n);
    out_(tail, 4);
  }

  // PNG only allows a whole profile (header and tag count) whose colour
  // space matches the pixels; anything else is left out.
  bool iccFits() const { return info_.icc.size() >= 132 && iccProfileFits(info_.icc, info_.format); }

  void writeIcc() {
    uLongf bound = compressBound(uLong(info_.icc.size()));
    std::vector<uint8_t> body(13 + bound);
    std::memcpy(body.data(), "ICC profile\0\0", 13);  // name, NUL, method 0
    if (compress2(body.data() + 13, &bound, info_.icc.data(), uLong(info_.icc.size()), 9) != Z_OK)
      throw WriteError("Cannot compress the ICC profile");
    body.resize(13 + bound);
    chunk("iCCP", body.data(), body.size());
  }

  void pack(const uint8_t* src) {
    packed_.assign(rowBytes_, 0);
    const unsigned perByte = 8 / bitDepth_;
    // Grey levels are stored as steps of 255 / (2^depth - 1).
    const unsigned step = info_.format == PixelFormat::Gray ? 255 / ((1u << bitDepth_) - 1) : 1;
    for (uint32_t x = 0; x < info_.width; ++x) {
      unsigned shift = 8 - bitDepth_ * (x % perByte + 1);
      packed_[x / perByte] |= uint8_t(((src[x] / step) & ((1u << bitDepth_) - 1)) << shift);
    }
  }

  void flushPiece(bool last) {
    const size_t rows = raw_.size() / rowBytes_;
    const RowFilter filter = filterRows_ && rows ? filters_.choose(raw_.data(), rows, prev_.data()) : RowFilter::None;
    std::vector<uint8_t>& piece = deflate_.piece();
    const size_t line = rowBytes_ + 1, start = piece.size();
    piece.resize(start + rows * line);
    for (size_t r = 0; r < rows; ++r) {
      const uint8_t* cur = raw_.data() + r * rowBytes_;
      filters_.apply(filter, cur, r ? cur - rowBytes_ : prev_.data(), piece.data() + start + r * line);
    }
    if (rows) std::memcpy(prev_.data(), raw_.data() + (rows - 1) * rowBytes_, rowBytes_);
    raw_.clear();
    deflate_.submit(last);
    if (deflate_.output().size() >= kIdatBytes) flushIdat();
  }

  void flushIdat() {
    std::vector<uint8_t>& z = deflate_.output();
    if (z.empty()) return;
    chunk("IDAT", z.data(), z.size());
    z.clear();
  }

  ByteSink out_;
  ImageInfo info_;
  const unsigned bitDepth_;
  const size_t rowBytes_;
  const bool filterRows_;
  RowFilters filters_;
  ParallelDeflate deflate_;
  std::vector<uint8_t> prev_, raw_, packed_;
};

}  // namespace

std::unique_ptr<ImageWriter> createPngWriter(AtomicOutputFile& out, const ImageInfo& info) {
  return createPngWriter([&out](const void* p, size_t n) { out.write(p, n); }, info);
}

std::unique_ptr<ImageWriter> createPngWriter(ByteSink out, const ImageInfo& info) {
  return std::make_unique<PngWriter>(std::move(out), info);
}

unsigned pngPaletteBits(size_t colors) { return colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8; }

}  // namespace pixmorph
