// PNG reader on libpng. Non-interlaced images are handed out row by row;
// Adam7 images are decoded whole first.
#include <png.h>

#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

// Plain state shared with libpng's callbacks; trivially destructible so a
// longjmp across it is harmless.
struct PngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE* file = nullptr;
  uint64_t fileSize = 0, offset = 0;
  uint64_t nextChunk = 8;  // where the next chunk header starts, after the signature
  bool truncated = false;
  char message[192] = {};
  // Filled by the header step.
  png_uint_32 width = 0, height = 0;
  int colorType = 0, bitDepth = 0, interlace = 0, channels = 0;
  bool hasTrns = false;
  int passes = 1;
  size_t rowBytes = 0;
};

enum class Step { Header, Layout, Rows, Image, End };

void onError(png_structp png, png_const_charp msg) {
  auto* s = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(s->message, sizeof s->message, "%s", msg ? msg : "unknown error");
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep data, size_t n) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (fread(data, 1, n, s->file) != n) {
    s->truncated = true;
    png_error(png, "file is truncated");
  }
  // libpng reads each chunk header on its own, then makes room for the
  // length it claims: a length running past the end of the file is refused
  // first, so a few bytes cannot claim a gigabyte.
  if (s->offset == s->nextChunk && n >= 8) {
    const uint64_t length = png_get_uint_32(data);
    if (length + 12 > s->fileSize - s->offset) {
      s->truncated = true;
      png_error(png, "file is truncated");
    }
    s->nextChunk = s->offset + 12 + length;
  }
  s->offset += n;
}

// The only function libpng may longjmp into. Its locals are plain values.
// Rows are read into @p rows, one after another.
bool pngStep(PngState* s, Step step, png_bytep rows, png_uint_32 count) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  switch (step) {
    case Step::Header: {
      png_read_info(s->png, s->info);
      png_get_IHDR(s->png, s->info, &s->width, &s->height, &s->bitDepth, &s->colorType,
                   &s->interlace, nullptr, nullptr);
      s->hasTrns = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
      s->channels = png_get_channels(s->png, s->info);
      break;
    }
    case Step::Layout: {
      // libpng makes its row buffers here, as wide as the header says.
      if (s->bitDepth == 16) png_set_scale_16(s->png);  // rounds, unlike strip_16
      if (s->colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(s->png);
      } else {
        if (s->colorType == PNG_COLOR_TYPE_GRAY && s->bitDepth < 8)
          png_set_expand_gray_1_2_4_to_8(s->png);
        if (s->hasTrns) png_set_tRNS_to_alpha(s->png);
      }
      if (s->interlace != PNG_INTERLACE_NONE) s->passes = png_set_interlace_handling(s->png);
      png_read_update_info(s->png, s->info);
      s->rowBytes = png_get_rowbytes(s->png, s->info);
      break;
    }
    case Step::Rows:
      for (png_uint_32 i = 0; i < count; ++i) png_read_row(s->png, rows + i * s->rowBytes, nullptr);
      break;
    case Step::Image:  // every pass over the whole image, without a table of row pointers
      for (int pass = 0; pass < s->passes; ++pass)
        for (png_uint_32 i = 0; i < count; ++i) png_read_row(s->png, rows + i * s->rowBytes, nullptr);
      break;
    case Step::End: png_read_end(s->png, nullptr); break;
  }
  return true;
}

// Owns libpng's structures, so they are freed even when the reader's
// constructor gives up half way.
struct PngOwner {
  PngState s;
  ~PngOwner() {
    if (s.png) png_destroy_read_struct(&s.png, s.info ? &s.info : nullptr, nullptr);
  }
};

class PngReader : public ImageReader {
 public:
  explicit PngReader(InputFile& in) : owner_(std::make_unique<PngOwner>()), s_(owner_->s) {
    s_.file = in.get();
    s_.fileSize = in.size();
    if (fseeko(s_.file, 0, SEEK_SET) != 0) throw ReadError("Cannot read the input file");
    s_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s_, onError, onWarning);
    if (!s_.png) throw std::bad_alloc();
    s_.info = png_create_info_struct(s_.png);
    if (!s_.info) throw std::bad_alloc();
    png_set_read_fn(s_.png, &s_, onRead);
    png_set_user_limits(s_.png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_malloc_max(s_.png, 64u << 20);

    check(pngStep(&s_, Step::Header, nullptr, 0));
    checkDimensions(s_.width, s_.height, "PNG");
    // DEFLATE packs at most 1032 bytes into one: a file too short for the
    // pixels its header promises is cut, and is refused before libpng makes
    // its row buffers.
    const uint64_t packed = uint64_t(s_.width) * s_.height * s_.channels * s_.bitDepth / 8;
    if (packed / 1032 > in.size()) throw ReadError("PNG file is truncated");
    check(pngStep(&s_, Step::Layout, nullptr, 0));

    info_.width = s_.width;
    info_.height = s_.height;
    if (s_.colorType == PNG_COLOR_TYPE_PALETTE) {
      info_.format = PixelFormat::Indexed;
      png_colorp plte = nullptr;
      int n = 0;
      if (!png_get_PLTE(s_.png, s_.info, &plte, &n) || n <= 0) throw ReadError("PNG file has no palette");
      png_bytep alpha = nullptr;
      int nAlpha = 0;
      if (s_.hasTrns) png_get_tRNS(s_.png, s_.info, &alpha, &nAlpha, nullptr);
      for (int i = 0; i < n; ++i)
        info_.palette.push_back({plte[i].red, plte[i].green, plte[i].blue,
                                 uint8_t(alpha && i < nAlpha ? alpha[i] : 255)});
      // Indices past the palette would be undefined colours; widen the
      // palette with black so every index in the data means something.
      unsigned maxIndex = (1u << std::min(s_.bitDepth, 8)) - 1;
      while (info_.palette.size() <= maxIndex && info_.palette.size() < 256)
        info_.palette.push_back({0, 0, 0, 255});
    } else {
      bool alpha = (s_.colorType & PNG_COLOR_MASK_ALPHA) || s_.hasTrns;
      bool color = s_.colorType & PNG_COLOR_MASK_COLOR;
      info_.format = color ? (alpha ? PixelFormat::Rgba : PixelFormat::Rgb)
                           : (alpha ? PixelFormat::GrayAlpha : PixelFormat::Gray);
    }
    if (s_.rowBytes != info_.rowBytes()) throw ReadError("Unsupported PNG pixel layout");

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLen = 0;
    if (png_get_iCCP(s_.png, s_.info, &name, &compression, &profile, &profileLen) && profileLen)
      info_.icc.assign(profile, profile + profileLen);
    png_bytep exif = nullptr;
    png_uint_32 exifLen = 0;
    if (png_get_eXIf_1(s_.png, s_.info, &exifLen, &exif) && exifLen)
      info_.exif.assign(exif, exif + exifLen);

    if (s_.interlace != PNG_INTERLACE_NONE) {
      size_t bytes = checkedMul(info_.rowBytes(), info_.height);
      checkBufferSize(bytes);
      whole_.resize(bytes);
      check(pngStep(&s_, Step::Image, whole_.data(), info_.height));
    }
  }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    const size_t rb = info_.rowBytes();
    if (!whole_.empty()) {
      std::memcpy(dst, whole_.data() + done_ * rb, rb * count);
    } else {
      check(pngStep(&s_, Step::Rows, dst, count));
    }
    done_ += count;
    if (done_ == info_.height) {
      // Reads the chunks after the image data so a damaged stream end (bad
      // CRC, missing IEND) is still reported.
      check(pngStep(&s_, Step::End, nullptr, 0));
    }
  }

 private:
  void check(bool ok) {
    if (ok) return;
    if (s_.truncated) throw ReadError("PNG file is truncated");
    std::string m = s_.message;
    if (m.find("signature") != std::string::npos) throw ReadError("Not a valid PNG file");
    throw ReadError("PNG file is damaged: " + m);
  }

  std::unique_ptr<PngOwner> owner_;
  PngState& s_;
  ImageInfo info_;
  std::vector<uint8_t> whole_;
  uint32_t done_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openPngReader(InputFile& in) {
  return std::make_unique<PngReader>(in);
}

}  // namespace pixmorph
