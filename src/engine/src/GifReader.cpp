// GIF reader on giflib: the first frame, composed on the logical screen.
// Palette images stay palette images; the screen outside the frame is
// transparent, as browsers show it.
#include <gif_lib.h>

#include <cstring>

#include "Codecs.h"
#include "Errors.h"
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
        auto r = readFrame(transparent);
        // A profile is only meaningful for the colours, so carry it over.
        const_cast<ImageInfo&>(r->info()).icc = std::move(icc);
        return r;
      }
    }
  }

 private:
  std::unique_ptr<ImageReader> readFrame(int transparent) {
    GifFileType* g = gif_.get();
    const GifImageDesc& d = g->Image;
    if (d.Width <= 0 || d.Height <= 0) throw ReadError("Not a valid GIF file (empty image)");
    // The screen grows to hold a frame that sticks out of it.
    uint64_t cw = std::max<uint64_t>(uint64_t(g->SWidth), uint64_t(d.Left) + uint64_t(d.Width));
    uint64_t ch = std::max<uint64_t>(uint64_t(g->SHeight), uint64_t(d.Top) + uint64_t(d.Height));
    checkDimensions(cw, ch, "GIF");
    checkDimensions(uint64_t(d.Width), uint64_t(d.Height), "GIF");
    const size_t canvasBytes = checkedMul(size_t(cw), size_t(ch));
    checkBufferFits(canvasBytes);

    ImageInfo info;
    info.width = uint32_t(cw);
    info.height = uint32_t(ch);
    info.format = PixelFormat::Indexed;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
    if (map) {
      for (int i = 0; i < map->ColorCount && i < 256; ++i)
        info.palette.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 255});
    } else {
      // No colour table at all: a grey ramp is the usual stand-in.
      for (int i = 0; i < 256; ++i) info.palette.push_back({uint8_t(i), uint8_t(i), uint8_t(i), 255});
    }

    std::vector<uint8_t> frame(checkedMul(size_t(d.Width), size_t(d.Height)));
    std::vector<int> order(size_t(d.Height));
    if (d.Interlace) {
      static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      size_t k = 0;
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < d.Height; y += step[p]) order[k++] = y;
    } else {
      for (int y = 0; y < d.Height; ++y) order[size_t(y)] = y;
    }
    for (int i = 0; i < d.Height; ++i)
      if (DGifGetLine(g, frame.data() + size_t(order[size_t(i)]) * size_t(d.Width), d.Width) == GIF_ERROR)
        fail(g->Error);

    unsigned maxIndex = 0;
    for (uint8_t v : frame) maxIndex = std::max<unsigned>(maxIndex, v);
    // Indices past the table: opaque black, so each index means one colour.
    while (info.palette.size() <= maxIndex) info.palette.push_back({0, 0, 0, 255});
    if (transparent >= 0 && size_t(transparent) < info.palette.size())
      info.palette[size_t(transparent)].a = 0;

    const bool covers = d.Left == 0 && d.Top == 0 && uint64_t(d.Width) == cw && uint64_t(d.Height) == ch;
    if (covers) return std::make_unique<BufferedReader>(std::move(info), std::move(frame));

    int clear = transparent >= 0 && size_t(transparent) < info.palette.size() ? transparent : -1;
    if (clear < 0 && info.palette.size() < 256) {
      clear = int(info.palette.size());
      info.palette.push_back({0, 0, 0, 0});
    }
    if (clear >= 0) {
      std::vector<uint8_t> canvas(canvasBytes, uint8_t(clear));
      for (int y = 0; y < d.Height; ++y)
        std::memcpy(&canvas[(size_t(d.Top) + size_t(y)) * cw + size_t(d.Left)], &frame[size_t(y) * size_t(d.Width)],
                    size_t(d.Width));
      return std::make_unique<BufferedReader>(std::move(info), std::move(canvas));
    }
    // Full 256-colour table and no spare index: fall back to RGBA.
    checkBufferFits(uint64_t(canvasBytes) * 4);
    std::vector<uint8_t> rgba(checkedMul(canvasBytes, 4), 0);
    for (int y = 0; y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x) {
        Rgba8 c = info.palette[frame[size_t(y) * size_t(d.Width) + size_t(x)]];
        std::memcpy(&rgba[((size_t(d.Top) + size_t(y)) * cw + size_t(d.Left) + size_t(x)) * 4], &c, 4);
      }
    info.palette.clear();
    info.format = PixelFormat::Rgba;
    return std::make_unique<BufferedReader>(std::move(info), std::move(rgba));
  }

  [[noreturn]] void fail(int err) {
    if (src_.shortRead || err == D_GIF_ERR_READ_FAILED) throw ReadError("GIF file is truncated");
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
