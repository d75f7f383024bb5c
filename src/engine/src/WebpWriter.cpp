// WebP writer on libwebp: lossy at the quality asked, or lossless at quality
// 100 when the source lost nothing yet. Settings are cwebp's defaults, so a
// file comes out as `cwebp -q Q` (or `cwebp -lossless`) would make it. The
// encoder takes whole pictures, so the rows are held until finish().
#include <webp/encode.h>
#include <webp/mux.h>

#include <exception>
#include <string>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"

namespace pixmorph {

namespace {

std::string encodeFailure(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "Not enough memory to encode the WebP image";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "Image is too large for WebP (at most 16383 pixels a side)";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "WebP encoding failed: the picture is too detailed at this quality";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "WebP encoding failed: the file would exceed 4 GB";
    default: return "WebP encoding failed (error " + std::to_string(int(error)) + ")";
  }
}

struct Picture : WebPPicture {
  Picture() {
    if (!WebPPictureInit(this)) throw WriteError("WebP library version mismatch");
  }
  ~Picture() { WebPPictureFree(this); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
};

struct MemoryWriter : WebPMemoryWriter {
  MemoryWriter() { WebPMemoryWriterInit(this); }
  ~MemoryWriter() { WebPMemoryWriterClear(this); }
  MemoryWriter(const MemoryWriter&) = delete;
  MemoryWriter& operator=(const MemoryWriter&) = delete;
};

class WebpWriter : public ImageWriter {
 public:
  WebpWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options) : out_(out), info_(info) {
    if (info.format != PixelFormat::Rgb && info.format != PixelFormat::Rgba)
      throw WriteError("The WebP writer takes RGB or RGBA rows only");
    if (info.width > WEBP_MAX_DIMENSION || info.height > WEBP_MAX_DIMENSION)
      throw WriteError(encodeFailure(VP8_ENC_ERROR_BAD_DIMENSION));
    if (!WebPConfigInit(&config_)) throw WriteError("WebP library version mismatch");
    config_.quality = float(options.quality);
    // A second thread (as cwebp -mt) gives the same bytes, sooner.
    config_.thread_level = 1;
    // Lossy WebP always halves its colour; the sharper conversion keeps
    // more of the colour's edges, for a few per cent more bytes.
    config_.use_sharp_yuv = options.fullChroma;
    // Lossless keeps its default effort (quality 75, method 4), as cwebp's.
    if (options.quality == 100 && info.losslessSource) {
      config_.lossless = 1;
      config_.quality = 75;
    }
    const uint64_t bytes = uint64_t(info.rowBytes()) * info.height;
    checkBufferSize(bytes);
    pixels_.reserve(size_t(bytes));
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    pixels_.insert(pixels_.end(), rows, rows + info_.rowBytes() * count);
  }

  void finish() override {
    Picture picture;
    picture.width = int(info_.width);
    picture.height = int(info_.height);
    // Sharp conversion happens inside the encoder, from RGB kept as it is.
    picture.use_argb = config_.lossless || config_.use_sharp_yuv;
    const int stride = int(info_.rowBytes());
    const bool imported = info_.format == PixelFormat::Rgba
                              ? WebPPictureImportRGBA(&picture, pixels_.data(), stride)
                              : WebPPictureImportRGB(&picture, pixels_.data(), stride);
    if (!imported) throw WriteError(encodeFailure(picture.error_code));
    pixels_ = {};  // the picture holds its own copy from here

    const bool metadata = !info_.icc.empty() || !info_.exif.empty();
    MemoryWriter memory;
    if (metadata) {
      picture.writer = WebPMemoryWrite;
      picture.custom_ptr = &memory;
    } else {
      picture.writer = writeToFile;
      picture.custom_ptr = this;
    }
    if (!WebPEncode(&config_, &picture)) {
      if (writeFailure_) std::rethrow_exception(writeFailure_);
      throw WriteError(encodeFailure(picture.error_code));
    }
    if (metadata) writeWithMetadata({memory.mem, memory.size});
  }

 private:
  // Streams the encoder's output to the file; a failure stops the encoder
  // and is raised once it returns.
  static int writeToFile(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* self = static_cast<WebpWriter*>(picture->custom_ptr);
    try {
      self->out_.write(data, size);
      return 1;
    } catch (...) {
      self->writeFailure_ = std::current_exception();
      return 0;
    }
  }

  // The bitstream wrapped in an extended (VP8X) file with ICCP and EXIF chunks.
  void writeWithMetadata(WebPData image) {
    struct MuxDeleter {
      void operator()(WebPMux* m) const { WebPMuxDelete(m); }
    };
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    if (!mux || WebPMuxSetImage(mux.get(), &image, 0) != WEBP_MUX_OK)
      throw WriteError("Not enough memory to encode the WebP image");
    const WebPData icc{info_.icc.data(), info_.icc.size()}, exif{info_.exif.data(), info_.exif.size()};
    if ((icc.size && WebPMuxSetChunk(mux.get(), "ICCP", &icc, 0) != WEBP_MUX_OK) ||
        (exif.size && WebPMuxSetChunk(mux.get(), "EXIF", &exif, 0) != WEBP_MUX_OK))
      throw WriteError("WebP metadata could not be added");
    WebPData assembled{};
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) throw WriteError("WebP metadata could not be added");
    struct DataClear {
      WebPData* d;
      ~DataClear() { WebPDataClear(d); }
    } clear{&assembled};
    out_.write(assembled.bytes, assembled.size);
  }

  AtomicOutputFile& out_;
  const ImageInfo info_;
  WebPConfig config_;
  std::vector<uint8_t> pixels_;
  std::exception_ptr writeFailure_;
};

}  // namespace

std::unique_ptr<ImageWriter> createWebpWriter(AtomicOutputFile& out, const ImageInfo& info,
                                              const WriteOptions& options) {
  return std::make_unique<WebpWriter>(out, info, options);
}

}  // namespace pixmorph
