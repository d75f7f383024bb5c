// AVIF writer on libavif and libaom: 8-bit 4:2:0 colour or monochrome grey,
// alpha coded losslessly, ICC and EXIF carried. AV1 codes a picture whole, so
// the rows are gathered first.
#include <avif/avif.h>

#include <cstring>
#include <memory>
#include <string>

#include "Codecs.h"
#include "Errors.h"

namespace pixmorph {

namespace {

struct ImageDeleter {
  void operator()(avifImage* im) const { avifImageDestroy(im); }
};
struct EncoderDeleter {
  void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct OutputDeleter {
  void operator()(avifRWData* d) const { avifRWDataFree(d); }
};

// avifenc's own default speed: libaom's cpu-used left alone (0) is many
// times slower for a few per cent of size.
constexpr int kEncoderSpeed = 6;
constexpr int kEncoderThreads = 2;

class AvifWriter : public ImageWriter {
 public:
  AvifWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options)
      : out_(out), info_(info), quantizer_(avifQuantizerForQuality(options.quality)), fullChroma_(options.fullChroma) {
    if (info.format == PixelFormat::Indexed) throw WriteError("AVIF output needs grey or colour rows");
    pixels_.reserve(info.rowBytes() * info.height);
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    pixels_.insert(pixels_.end(), rows, rows + info_.rowBytes() * count);
  }

  void finish() override {
    if (pixels_.size() != info_.rowBytes() * info_.height) throw WriteError("AVIF output is missing rows");
    const bool gray = info_.format == PixelFormat::Gray || info_.format == PixelFormat::GrayAlpha;
    const bool alpha = info_.format == PixelFormat::GrayAlpha || info_.format == PixelFormat::Rgba;
    std::unique_ptr<avifImage, ImageDeleter> image(
        avifImageCreate(info_.width, info_.height, 8,
                        gray         ? AVIF_PIXEL_FORMAT_YUV400
                        : fullChroma_ ? AVIF_PIXEL_FORMAT_YUV444
                                      : AVIF_PIXEL_FORMAT_YUV420));
    if (!image) throw OtherError("Out of memory");
    image->yuvRange = AVIF_RANGE_FULL;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    if (!info_.icc.empty()) {
      avifImageSetProfileICC(image.get(), info_.icc.data(), info_.icc.size());
    } else {
      image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
      image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    }
    if (!info_.exif.empty()) avifImageSetMetadataExif(image.get(), info_.exif.data(), info_.exif.size());

    if (gray) {
      fillGrayPlanes(image.get(), alpha);
    } else {
      avifRGBImage rgb;
      avifRGBImageSetDefaults(&rgb, image.get());
      rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
      rgb.pixels = pixels_.data();
      rgb.rowBytes = uint32_t(info_.rowBytes());
      check(avifImageRGBToYUV(image.get(), &rgb), nullptr);
    }
    std::vector<uint8_t>().swap(pixels_);

    std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder) throw OtherError("Out of memory");
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->maxThreads = kEncoderThreads;
    encoder->speed = kEncoderSpeed;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer_;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    avifRWData data = AVIF_DATA_EMPTY;
    std::unique_ptr<avifRWData, OutputDeleter> owned(&data);
    check(avifEncoderWrite(encoder.get(), image.get(), &data), encoder.get());
    out_.write(data.data, data.size);
  }

 private:
  // Full-range luma of a grey pixel is the grey value itself, whatever the
  // matrix, so grey rows go to the planes as they are.
  void fillGrayPlanes(avifImage* image, bool alpha) {
    check(avifImageAllocatePlanes(image, alpha ? AVIF_PLANES_ALL : AVIF_PLANES_YUV), nullptr);
    const size_t c = size_t(info_.channels());
    for (uint32_t y = 0; y < info_.height; ++y) {
      const uint8_t* src = &pixels_[info_.rowBytes() * y];
      uint8_t* luma = image->yuvPlanes[AVIF_CHAN_Y] + size_t(image->yuvRowBytes[AVIF_CHAN_Y]) * y;
      uint8_t* a = alpha ? image->alphaPlane + size_t(image->alphaRowBytes) * y : nullptr;
      for (uint32_t x = 0; x < info_.width; ++x) {
        luma[x] = src[x * c];
        if (alpha) a[x] = src[x * c + 1];
      }
    }
  }

  static void check(avifResult r, const avifEncoder* encoder) {
    if (r == AVIF_RESULT_OK) return;
    if (r == AVIF_RESULT_OUT_OF_MEMORY) throw OtherError("Out of memory");
    std::string what = std::string("AVIF encoding failed: ") + avifResultToString(r);
    if (encoder && encoder->diag.error[0]) what += std::string(" (") + encoder->diag.error + ")";
    throw WriteError(what);
  }

  AtomicOutputFile& out_;
  ImageInfo info_;
  int quantizer_;
  bool fullChroma_;
  std::vector<uint8_t> pixels_;
};

}  // namespace

int avifQuantizerForQuality(int quality) {
  return ((100 - quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

std::unique_ptr<ImageWriter> createAvifWriter(AtomicOutputFile& out, const ImageInfo& info,
                                              const WriteOptions& options) {
  return std::make_unique<AvifWriter>(out, info, options);
}

}  // namespace pixmorph
