// GIF reader on giflib: the first frame, composed on the logical screen.
// Palette images stay palette images; the screen outside the frame is
// transparent, as browsers show it.
#include <gif_lib.h>

#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

struct GifSource {
  FILE* file;
  bool shortRead = false;
};

int readFn(GifFileType* g, GifByteType* buf, int n) {
  auto* s = static_cast<GifSource*>(g->UserData);
  size_t got = fread(buf, 1, size_t(n), s->file);
  if (got < size_t(n)) s->shortRead = true;
  return int(got);
}

struct GifCloser {
  void operator()(GifFileType* g) const {
    int err = 0;
    DGifCloseFile(g, &err);
  }
};

class GifDecoder {
 public:
  explicit GifDecoder(InputFile& in) {
    src_.file = in.get();
    if (fseeko(src_.file, 0, SEEK_SET) != 0) throw ReadError("Cannot read the input file");
    int err = 0;
    gif_.reset(DGifOpen(&src_, readFn, &err));
    if (!gif_) fail(err);
  }

  std::unique_ptr<ImageReader> decode() {
    GifFileType* g = gif_.get();
    int transparent = -1;
    std::vector<uint8_t> icc;
    for (;;) {
      GifRecordType type;
      if (DGifGetRecordType(g, &type) == GIF_ERROR) fail(g->Error);
      if (type == TERMINATE_RECORD_TYPE) throw ReadError("GIF file contains no image");
      if (type == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) fail(g->Error);
        bool iccApp = false;
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
          transparent = (ext[1] & 1) ? ext[4] : -1;
        if (code == APPLICATION_EXT_FUNC_CODE && ext && ext[0] == 11 &&
            std::memcmp(ext + 1, "ICCRGBG1012", 11) == 0)
          iccApp = true;
        for (bool first = true; ext; first = false) {
          if (iccApp && !first && icc.size() < (16u << 20)) icc.insert(icc.end(), ext + 1, ext + 1 + ext[0]);
          if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) fail(g->Error);
        }
        continue;
      }
      if (type == IMAGE_DESC_RECORD_TYPE) {
        if (DGifGetImageDesc(g) == GIF_ERROR) fail(g->Error);
        return readFrame(transparent, std::move(icc));
      }
    }
  }

 private:
  std::unique_ptr<ImageReader> readFrame(int transparent, std::vector<uint8_t> icc) {
    GifFileType* g = gif_.get();
    const GifImageDesc& d = g->Image;
    if (d.Width < 0 || d.Height < 0) throw ReadError("Not a valid GIF file (negative image size)");
    // The logical screen clips the frame; a file that leaves the screen
    // size at zero gets one just big enough for the frame.
    uint64_t cw = uint64_t(g->SWidth), ch = uint64_t(g->SHeight);
    if (cw == 0 || ch == 0) {
      cw = uint64_t(d.Left) + uint64_t(d.Width);
      ch = uint64_t(d.Top) + uint64_t(d.Height);
    }
    checkDimensions(cw, ch, "GIF");
    const size_t canvasBytes = checkedMul(size_t(cw), size_t(ch));
    checkBufferSize(canvasBytes);

    ImageInfo info;
    info.width = uint32_t(cw);
    info.height = uint32_t(ch);
    info.format = PixelFormat::Indexed;
    info.icc = std::move(icc);
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
    if (map) {
      for (int i = 0; i < map->ColorCount && i < 256; ++i)
        info.palette.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 255});
    } else {
      // No colour table at all: a grey ramp is the usual stand-in.
      for (int i = 0; i < 256; ++i) info.palette.push_back({uint8_t(i), uint8_t(i), uint8_t(i), 255});
    }
    if (transparent >= 0 && size_t(transparent) < info.palette.size())
      info.palette[size_t(transparent)].a = 0;
    else
      transparent = -1;

    const size_t fw = size_t(d.Width), fh = size_t(d.Height);
    checkDimensions(std::max<size_t>(fw, 1), std::max<size_t>(fh, 1), "GIF");
    checkBufferSize(uint64_t(fw) * fh);
    std::vector<uint8_t> frame(checkedMul(fw, fh), 0);
    // Rows in stream order (interlaced or not) and each row's rank in it.
    std::vector<size_t> rowOf(fh), rank(fh);
    if (d.Interlace) {
      static const size_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      size_t k = 0;
      for (int p = 0; p < 4; ++p)
        for (size_t y = start[p]; y < fh; y += step[p]) rowOf[k++] = y;
    } else {
      for (size_t y = 0; y < fh; ++y) rowOf[y] = y;
    }
    for (size_t k = 0; k < fh; ++k) rank[rowOf[k]] = k;
    // Pixels come in stream order, so those the data never reached are
    // exactly the ones at stream positions from `written` on.
    const size_t written = frame.empty() ? 0 : decodePixels(frame, fw, rowOf, info.palette.size());
    auto reached = [&](size_t y, size_t x) { return rank[y] * fw + x < written; };

    // The part of the frame that lands on the screen.
    const size_t left = size_t(d.Left), top = size_t(d.Top);
    const size_t visW = left < cw ? std::min<size_t>(fw, size_t(cw) - left) : 0;
    const size_t visH = top < ch && visW ? std::min<size_t>(fh, size_t(ch) - top) : 0;
    const bool complete = visW == cw && visH == ch && written == frame.size();
    if (complete && fw == cw) return std::make_unique<BufferedReader>(std::move(info), std::move(frame));

    int clear = transparent;
    if (!complete && clear < 0 && info.palette.size() < 256) {
      clear = int(info.palette.size());
      info.palette.push_back({0, 0, 0, 0});
    }
    if (complete || clear >= 0) {
      std::vector<uint8_t> canvas(canvasBytes, uint8_t(clear < 0 ? 0 : clear));
      for (size_t y = 0; y < visH; ++y) {
        uint8_t* dst = &canvas[(top + y) * cw + left];
        const uint8_t* src = &frame[y * fw];
        if (reached(y, visW ? visW - 1 : 0)) {
          std::memcpy(dst, src, visW);
        } else {
          for (size_t x = 0; x < visW && reached(y, x); ++x) dst[x] = src[x];
        }
      }
      return std::make_unique<BufferedReader>(std::move(info), std::move(canvas));
    }
    // Full 256-colour table and no spare index: fall back to RGBA.
    checkBufferSize(uint64_t(canvasBytes) * 4);
    std::vector<uint8_t> rgba(checkedMul(canvasBytes, 4), 0);
    for (size_t y = 0; y < visH; ++y)
      for (size_t x = 0; x < visW && reached(y, x); ++x)
        std::memcpy(&rgba[((top + y) * cw + left + x) * 4], &info.palette[frame[y * fw + x]], 4);
    info.palette.clear();
    info.format = PixelFormat::Rgba;
    return std::make_unique<BufferedReader>(std::move(info), std::move(rgba));
  }

  // Decodes the frame's LZW data ourselves: giflib's own line decoder
  // rejects legal streams (a full code table without a clear code). Data
  // that ends early leaves the rest of the frame unset.
  size_t decodePixels(std::vector<uint8_t>& frame, size_t fw, const std::vector<size_t>& rowOf, size_t colors) {
    GifFileType* g = gif_.get();
    int minSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(g, &minSize, &block) == GIF_ERROR) fail(g->Error);
    std::vector<uint8_t> data;
    while (block) {
      data.insert(data.end(), block + 1, block + 1 + block[0]);
      if (DGifGetCodeNext(g, &block) == GIF_ERROR) fail(g->Error);
    }
    if (minSize < 1 || minSize > 11) throw ReadError("Not a valid GIF file (bad code size)");

    const unsigned clearCode = 1u << minSize, endCode = clearCode + 1;
    uint16_t prefix[4096];
    uint8_t suffix[4096], stack[4097];
    for (unsigned i = 0; i < clearCode; ++i) prefix[i] = 0xFFFF, suffix[i] = uint8_t(i);
    unsigned codeSize = unsigned(minSize) + 1, next = clearCode + 2;
    int prev = -1;
    uint8_t first = 0;
    size_t pos = 0;  // pixels written, in stream order
    const size_t total = frame.size();
    size_t bitPos = 0;
    const size_t bits = data.size() * 8;
    size_t x = 0, row = 0;
    uint8_t* out = frame.data() + rowOf[0] * fw;
    auto emit = [&](uint8_t v) {
      if (pos >= total) return;
      if (v >= colors) throw ReadError("Not a valid GIF file (pixel colour missing from the palette)");
      out[x] = v;
      ++pos;
      if (++x == fw && pos < total) {
        x = 0;
        out = frame.data() + rowOf[++row] * fw;
      }
    };
    while (pos < total && bitPos + codeSize <= bits) {
      unsigned code = 0;
      for (unsigned i = 0; i < codeSize; ++i, ++bitPos)
        code |= unsigned((data[bitPos >> 3] >> (bitPos & 7)) & 1) << i;
      if (code == clearCode) {
        codeSize = unsigned(minSize) + 1;
        next = clearCode + 2;
        prev = -1;
        continue;
      }
      if (code == endCode) break;
      if (prev < 0) {
        if (code >= clearCode) throw ReadError("GIF file is damaged: invalid compressed data");
        first = uint8_t(code);
        emit(first);
        prev = int(code);
        continue;
      }
      unsigned cur = code;
      size_t depth = 0;
      if (code > next || (code == next && next >= 4096))
        throw ReadError("GIF file is damaged: invalid compressed data");
      if (code == next) {  // the entry being defined: previous string + its first byte
        stack[depth++] = first;
        cur = unsigned(prev);
      }
      while (cur >= clearCode) {
        stack[depth++] = suffix[cur];
        cur = prefix[cur];
      }
      stack[depth++] = uint8_t(cur);
      first = uint8_t(cur);
      while (depth) emit(stack[--depth]);
      if (next < 4096) {
        prefix[next] = uint16_t(prev);
        suffix[next] = first;
        ++next;
        if (next == (1u << codeSize) && codeSize < 12) ++codeSize;
      }
      prev = int(code);
    }
    return pos;
  }

  [[noreturn]] void fail(int err) {
    if (src_.shortRead) throw ReadError("GIF file is truncated");
    // giflib also reports out-of-range code sizes and missing image data
    // as read failures although the file itself is intact.
    if (err == D_GIF_ERR_READ_FAILED) throw ReadError("GIF file is damaged: unreadable image data");
    if (err == D_GIF_ERR_NOT_GIF_FILE) throw ReadError("Not a valid GIF file");
    const char* why = GifErrorString(err);
    throw ReadError(std::string("GIF file is damaged: ") + (why ? why : "unknown error"));
  }

  GifSource src_{};
  std::unique_ptr<GifFileType, GifCloser> gif_;
};

}  // namespace

std::unique_ptr<ImageReader> openGifReader(InputFile& in) {
  GifDecoder decoder(in);
  return decoder.decode();
}

}  // namespace pixmorph
