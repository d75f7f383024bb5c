// WebP reader on libwebp: lossy, lossless and alpha pictures, and an
// animation's first frame as it shows on the animation's canvas (the rest of
// the canvas transparent, as with GIF). libwebp decodes whole pictures from a
// buffer, so the file is read into memory and the picture decoded at once.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"

namespace pixmorph {

namespace {

std::string statusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA: return "WebP file is truncated";
    case VP8_STATUS_BITSTREAM_ERROR: return "WebP file is damaged: bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "WebP file uses a feature that is not supported";
    case VP8_STATUS_OUT_OF_MEMORY: return "Image is too large for the available memory";
    default: return "Not a valid WebP file";
  }
}

struct DemuxCloser {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

std::vector<uint8_t> chunkBytes(const WebPDemuxer* demux, const char* fourcc) {
  WebPChunkIterator it;
  std::vector<uint8_t> bytes;
  if (WebPDemuxGetChunk(demux, fourcc, 1, &it)) bytes.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
  WebPDemuxReleaseChunkIterator(&it);
  return bytes;
}

// True when every pixel of RGBA @p px is opaque.
bool allOpaque(const uint8_t* px, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i)
    if (px[4 * i + 3] != 255) return false;
  return true;
}

// Packs RGBA pixels to RGB where they are.
void dropAlpha(uint8_t* px, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) std::memmove(px + 3 * i, px + 4 * i, 3);
}

// The decoded picture where libwebp put it. Its memory is touched only as
// the decoder writes it, so a small file that claims a large picture and
// then fails costs little.
class WebpPicture : public ImageReader {
 public:
  WebpPicture(ImageInfo info, std::shared_ptr<void> owner, const uint8_t* pixels)
      : info_(std::move(info)), owner_(std::move(owner)), pixels_(pixels) {}
  const ImageInfo& info() const override { return info_; }
  void readRows(uint8_t* dst, uint32_t count) override {
    std::memcpy(dst, lendRows(count), info_.rowBytes() * count);
  }
  const uint8_t* lendRows(uint32_t count) override {
    const uint8_t* rows = pixels_ + info_.rowBytes() * next_;
    next_ += count;
    return rows;
  }
  bool rewind() override {
    next_ = 0;
    return true;
  }

 private:
  ImageInfo info_;
  std::shared_ptr<void> owner_;
  const uint8_t* pixels_;
  size_t next_ = 0;  // rows handed out
};

class WebpDecoder {
 public:
  explicit WebpDecoder(InputFile& in) {
    const uint64_t size = in.size();
    if (size < 12) throw ReadError(size == 0 ? "Input file is empty" : "Not a valid WebP file");
    checkBufferSize(size);
    file_.resize(size_t(size));
    if (!in.readAt(0, file_.data(), file_.size())) throw ReadError("Cannot read the input file");
    data_ = {file_.data(), file_.size()};
  }

  std::unique_ptr<ImageReader> decode() {
    // The headers alone first: the picture's size is checked before
    // anything it sizes is made.
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(data_.bytes, data_.size, &features);
    if (status != VP8_STATUS_OK) throw ReadError(statusText(status));
    checkDimensions(uint64_t(features.width), uint64_t(features.height), "WebP");
    checkBufferSize(uint64_t(features.width) * uint64_t(features.height) * 4);

    // Parsed as a possibly partial file, to tell a cut file from a damaged one.
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    demux_.reset(WebPDemuxPartial(&data_, &state));
    if (state != WEBP_DEMUX_DONE)
      throw ReadError(demux_ ? "WebP file is truncated" : "Not a valid WebP file");
    info_.width = uint32_t(features.width);
    info_.height = uint32_t(features.height);
    info_.icc = chunkBytes(demux_.get(), "ICCP");
    info_.exif = chunkBytes(demux_.get(), "EXIF");
    if (info_.exif.size() >= 6 && std::memcmp(info_.exif.data(), "Exif\0\0", 6) == 0)
      info_.exif.erase(info_.exif.begin(), info_.exif.begin() + 6);

    uint8_t* pixels = features.has_animation ? firstFrame() : still(features.has_alpha);
    const size_t count = size_t(info_.width) * info_.height;
    if (info_.format == PixelFormat::Rgba && !features.has_alpha && allOpaque(pixels, count)) {
      dropAlpha(pixels, count);
      info_.format = PixelFormat::Rgb;
    }
    return std::make_unique<WebpPicture>(std::move(info_), std::move(owner_), pixels);
  }

 private:
  uint8_t* still(bool alpha) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw ReadError("Not a valid WebP file");
    VP8StatusCode status = WebPGetFeatures(data_.bytes, data_.size, &config.input);
    if (status != VP8_STATUS_OK) throw ReadError(statusText(status));
    info_.losslessSource = config.input.format == 2;
    info_.format = alpha ? PixelFormat::Rgba : PixelFormat::Rgb;
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    status = WebPDecode(data_.bytes, data_.size, &config);
    auto output = std::shared_ptr<WebPDecBuffer>(new WebPDecBuffer(config.output), [](WebPDecBuffer* b) {
      WebPFreeDecBuffer(b);
      delete b;
    });
    if (status != VP8_STATUS_OK) throw ReadError(statusText(status));
    if (size_t(output->u.RGBA.stride) != info_.rowBytes()) throw ReadError("Not a valid WebP file");
    owner_ = output;
    return output->u.RGBA.rgba;
  }

  // The first frame on a transparent canvas. Nothing comes before it to
  // blend with, so it is decoded straight into its place on the canvas, as
  // libwebp's animation decoder does; the canvas is calloc'ed, so the part
  // the frame leaves clear costs no memory until it is read.
  uint8_t* firstFrame() {
    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux_.get(), 1, &frame)) throw ReadError("WebP animation has no frames");
    std::unique_ptr<WebPIterator, void (*)(WebPIterator*)> release(&frame, WebPDemuxReleaseIterator);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw ReadError("Not a valid WebP file");
    VP8StatusCode status = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &config.input);
    if (status != VP8_STATUS_OK) throw ReadError(statusText(status));
    info_.losslessSource = config.input.format == 2;
    info_.format = PixelFormat::Rgba;
    // The decoder writes the bitstream's size at the frame's place.
    if (config.input.width != frame.width || config.input.height != frame.height ||
        uint64_t(frame.x_offset) + uint64_t(frame.width) > info_.width ||
        uint64_t(frame.y_offset) + uint64_t(frame.height) > info_.height)
      throw ReadError("Not a valid WebP file (the first frame lies outside the canvas)");
    const size_t stride = info_.rowBytes(), bytes = stride * info_.height;
    std::shared_ptr<uint8_t> canvas(static_cast<uint8_t*>(std::calloc(bytes, 1)), std::free);
    if (!canvas) throw ReadError("Image is too large for the available memory");
    const size_t at = size_t(frame.y_offset) * stride + size_t(frame.x_offset) * 4;
    WebPDecBuffer& out = config.output;
    out.colorspace = MODE_RGBA;
    out.is_external_memory = 1;
    out.u.RGBA.rgba = canvas.get() + at;
    out.u.RGBA.stride = int(stride);
    out.u.RGBA.size = bytes - at;
    status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&out);
    if (status != VP8_STATUS_OK) throw ReadError(statusText(status));
    owner_ = canvas;
    return canvas.get();
  }

  std::vector<uint8_t> file_;
  WebPData data_{};
  std::unique_ptr<WebPDemuxer, DemuxCloser> demux_;
  ImageInfo info_;
  std::shared_ptr<void> owner_;  // what holds the decoded pixels
};

}  // namespace

std::unique_ptr<ImageReader> openWebpReader(InputFile& in) { return WebpDecoder(in).decode(); }

}  // namespace pixmorph
