// AVIF reader on libavif: 8, 10 and 12 bits (rounded to 8), every chroma
// layout, monochrome, alpha (premultiplied or not), grids, and the first frame
// of a sequence. libavif decodes the whole picture; its YUV becomes our rows a
// strip at a time, unless a crop, rotation or mirror needs the whole picture.
#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "Codecs.h"
#include "ColourProfile.h"
#include "Errors.h"
#include "Exif.h"
#include "Limits.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

struct DecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct ImageDeleter {
  void operator()(avifImage* im) const { avifImageDestroy(im); }
};

// Rows are converted from YUV a strip of about this many bytes at a time
// (an even number of rows, 2 to 64). A 4:2:0 strip is converted with two rows
// of its neighbours on either side, so that chroma upsampling sees what it
// would see over the whole picture and no seam shows between strips.
constexpr size_t kStripBytes = size_t(1) << 20;
constexpr uint32_t kMaxStripRows = 64;
constexpr uint32_t kChromaMargin = 2;

// The EXIF orientation that does what irot (anti-clockwise quarter turns)
// and then imir (0: top and bottom exchanged, 1: left and right) do.
int orientationOf(const avifImage* im) {
  static const int kOrientation[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
  const int turns = (im->transformFlags & AVIF_TRANSFORM_IROT) ? im->irot.angle & 3 : 0;
  const int mirror = (im->transformFlags & AVIF_TRANSFORM_IMIR) ? 1 + (im->imir.mode & 1) : 0;
  return kOrientation[turns][mirror];
}

// The TIFF structure inside an Exif item, which starts with the offset of the
// TIFF header from the end of that 4-byte field.
std::vector<uint8_t> tiffFromExifItem(const avifRWData& exif) {
  auto isTiff = [&](size_t at) {
    return exif.size >= at + 4 && (std::memcmp(exif.data + at, "II*\0", 4) == 0 ||
                                    std::memcmp(exif.data + at, "MM\0*", 4) == 0);
  };
  size_t at = 0;
  if (!isTiff(0) && exif.size >= 4) {
    const uint64_t offset = (uint64_t(exif.data[0]) << 24) | (exif.data[1] << 16) | (exif.data[2] << 8) | exif.data[3];
    at = 4 + offset;
    if (exif.size >= 10 && std::memcmp(exif.data, "Exif\0\0", 6) == 0) at = 6;
  }
  if (!isTiff(at)) return {};
  return std::vector<uint8_t>(exif.data + at, exif.data + exif.size);
}

uint32_t bigEndian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

// One ISO BMFF box: its type and contents.
struct Box {
  uint32_t type;
  const uint8_t* data;
  size_t size;
};

constexpr uint32_t fourcc(const char (&t)[5]) { return uint32_t(t[0]) << 24 | t[1] << 16 | t[2] << 8 | t[3]; }

// The boxes that follow each other in @p size bytes, up to the first that
// does not fit.
std::vector<Box> boxesIn(const uint8_t* data, size_t size) {
  std::vector<Box> boxes;
  size_t at = 0;
  while (size - at >= 8) {
    uint64_t boxSize = bigEndian(data + at, 4);
    size_t header = 8;
    if (boxSize == 1) {
      if (size - at < 16) break;
      boxSize = uint64_t(bigEndian(data + at + 8, 4)) << 32 | bigEndian(data + at + 12, 4);
      header = 16;
    } else if (boxSize == 0) {
      boxSize = size - at;
    }
    if (boxSize < header || boxSize > size - at) break;
    boxes.push_back({bigEndian(data + at + 4, 4), data + at + header, size_t(boxSize - header)});
    at += size_t(boxSize);
  }
  return boxes;
}

const Box* findBox(const std::vector<Box>& boxes, uint32_t type) {
  for (const Box& b : boxes)
    if (b.type == type) return &b;
  return nullptr;
}

// True when the primary item carries a rotation or mirror that is not marked
// essential. A reader may skip such a property, so the file does not say
// which way up it is shown; libavif 0.11 does not check this itself.
bool orientationNotEssential(const std::vector<uint8_t>& file) {
  const std::vector<Box> top = boxesIn(file.data(), file.size());
  const Box* meta = findBox(top, fourcc("meta"));
  if (!meta || meta->size < 4) return false;
  const std::vector<Box> inMeta = boxesIn(meta->data + 4, meta->size - 4);  // after version and flags
  const Box* pitm = findBox(inMeta, fourcc("pitm"));
  const Box* iprp = findBox(inMeta, fourcc("iprp"));
  if (!pitm || !iprp || pitm->size < 6) return false;
  const bool wideItem = pitm->data[0] != 0;
  if (wideItem && pitm->size < 8) return false;
  const uint32_t primary = bigEndian(pitm->data + 4, wideItem ? 4 : 2);
  const std::vector<Box> inIprp = boxesIn(iprp->data, iprp->size);
  const Box* ipco = findBox(inIprp, fourcc("ipco"));
  if (!ipco) return false;
  const std::vector<Box> properties = boxesIn(ipco->data, ipco->size);
  for (const Box& ipma : inIprp) {
    if (ipma.type != fourcc("ipma") || ipma.size < 8) continue;
    const int itemBytes = ipma.data[0] < 1 ? 2 : 4, indexBytes = (ipma.data[3] & 1) ? 2 : 1;
    const uint8_t *p = ipma.data + 8, *end = ipma.data + ipma.size;
    for (uint32_t entries = bigEndian(ipma.data + 4, 4); entries > 0; --entries) {
      if (end - p < itemBytes + 1) return false;
      const uint32_t item = bigEndian(p, itemBytes);
      const int count = p[itemBytes];
      p += itemBytes + 1;
      if (end - p < count * indexBytes) return false;
      for (int i = 0; i < count; ++i, p += indexBytes) {
        const uint32_t association = bigEndian(p, indexBytes);
        const bool essential = association >> (8 * indexBytes - 1);
        const uint32_t index = association & ((1u << (8 * indexBytes - 1)) - 1);  // from 1; 0 is none
        if (item != primary || essential || index == 0 || index > properties.size()) continue;
        const uint32_t type = properties[index - 1].type;
        if (type == fourcc("irot") || type == fourcc("imir")) return true;
      }
    }
  }
  return false;
}

class AvifReader : public ImageReader {
 public:
  explicit AvifReader(InputFile& in) {
    checkBufferSize(in.size());
    file_.resize(in.size());
    if (!in.readAt(0, file_.data(), file_.size())) throw ReadError("Cannot read the input file");

    dec_.reset(avifDecoderCreate());
    if (!dec_) throw OtherError("Out of memory");
    avifDecoder* d = dec_.get();
    // libavif refuses bigger pictures itself, before any decoder allocates
    // them (dav1d takes the same size limit). Its own limit on a side stays:
    // libavif scales a coded picture to the size the header claims, so a
    // few kilobytes could otherwise claim a row 2^28 pixels long.
    d->imageSizeLimit = uint32_t(std::min<uint64_t>(kMaxPixels, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    d->imageDimensionLimit = uint32_t(std::min<uint64_t>(kMaxPixels, AVIF_DEFAULT_IMAGE_DIMENSION_LIMIT));
    // Files that only miss a pixi or an alpha ispe, or have a clean aperture
    // libavif thinks odd, are common and otherwise sound.
    d->strictFlags = AVIF_STRICT_DISABLED;
    d->ignoreXMP = AVIF_TRUE;
    // dav1d decodes tiles and frames on two threads, as avifdec -j 2 does.
    d->maxThreads = 2;
    check(avifDecoderSetIOMemory(d, file_.data(), file_.size()));
    check(avifDecoderParse(d));
    if (orientationNotEssential(file_))
      throw ReadError("AVIF file is damaged: its rotation or mirror is not marked essential");
    // The size the header claims (ispe), before anything is decoded.
    checkDimensions(d->image->width, d->image->height, "AVIF");
    checkBufferSize(uint64_t(d->image->width) * d->image->height * (d->alphaPresent ? 4 : 3));
    check(avifDecoderNextImage(d));  // a sequence's first frame

    const avifImage* im = d->image;
    checkDimensions(im->width, im->height, "AVIF");
    if (im->depth != 8 && im->depth != 10 && im->depth != 12) throw ReadError(kUnsupportedOption);
    const bool alpha = im->alphaPlane != nullptr;
    const bool gray = im->yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
    info_.format = gray ? (alpha ? PixelFormat::GrayAlpha : PixelFormat::Gray) : (alpha ? PixelFormat::Rgba : PixelFormat::Rgb);
    info_.width = im->width;
    info_.height = im->height;
    info_.losslessSource = false;
    if (im->icc.size > 0)
      info_.icc.assign(im->icc.data, im->icc.data + im->icc.size);
    else
      info_.icc = iccFromCicp(im->colorPrimaries, im->transferCharacteristics);
    // The pixels are turned by irot and imir alone; an EXIF orientation is
    // only a note of the same and must not turn them again.
    info_.exif = tiffFromExifItem(im->exif);
    exifResetOrientation(info_.exif);

    rgbPixelBytes_ = (alpha ? 4 : 3) * (im->depth > 8 ? 2 : 1);
    const size_t rgbRowBytes = checkedMul(im->width, rgbPixelBytes_);
    stripHeight_ = uint32_t(std::clamp<size_t>(kStripBytes / rgbRowBytes, 2, kMaxStripRows)) & ~1u;
    margin_ = im->yuvFormat == AVIF_PIXEL_FORMAT_YUV420 ? kChromaMargin : 0;
    const size_t rgbRows = std::min(im->height, stripHeight_ + 2 * margin_);
    checkBufferSize(uint64_t(rgbRowBytes) * rgbRows);
    rgb_.resize(rgbRowBytes * rgbRows);
    strip_.resize(info_.rowBytes() * std::min(im->height, stripHeight_));

    avifCropRect crop{0, 0, im->width, im->height};
    avifDiagnostics diag;
    if ((im->transformFlags & AVIF_TRANSFORM_CLAP) &&
        !avifCropRectConvertCleanApertureBox(&crop, &im->clap, im->width, im->height, im->yuvFormat, &diag))
      crop = {0, 0, im->width, im->height};  // a clean aperture that names no rectangle is ignored
    const int orientation = orientationOf(im);
    if (orientation != 1 || crop.width != im->width || crop.height != im->height) {
      std::vector<uint8_t> whole(checkedMul(info_.rowBytes(), info_.height));
      for (uint32_t y = 0; y < info_.height; y += stripHeight_)
        convertStrip(y, std::min(stripHeight_, info_.height - y), whole.data() + info_.rowBytes() * y);
      if (crop.width != im->width || crop.height != im->height) whole = cropped(whole, crop);
      whole_ = orientPixels(whole, info_.width, info_.height, info_.channels(), orientation);
      if (orientation >= 5) std::swap(info_.width, info_.height);
      dec_.reset();
      std::vector<uint8_t>().swap(file_);
    }
  }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    const size_t rowBytes = info_.rowBytes();
    if (!whole_.empty()) {
      std::memcpy(dst, whole_.data() + rowBytes * next_, rowBytes * count);
      next_ += count;
      return;
    }
    while (count > 0) {
      if (next_ >= stripTop_ + stripRows_) {
        stripTop_ = next_;
        stripRows_ = std::min(stripHeight_, info_.height - next_);
        convertStrip(stripTop_, stripRows_, strip_.data());
      }
      const uint32_t n = std::min(count, stripTop_ + stripRows_ - next_);
      std::memcpy(dst, strip_.data() + rowBytes * (next_ - stripTop_), rowBytes * n);
      dst += rowBytes * n;
      next_ += n;
      count -= n;
    }
  }

 private:
  void check(avifResult r) {
    if (r == AVIF_RESULT_OK) return;
    const std::string detail = dec_->diag.error;
    if (r == AVIF_RESULT_INVALID_FTYP) throw ReadError("Not a valid AVIF file");
    if (r == AVIF_RESULT_TRUNCATED_DATA || detail.find("truncated") != std::string::npos)
      throw ReadError("AVIF file is truncated");
    if (r == AVIF_RESULT_OUT_OF_MEMORY) throw ReadError("Image is too large for the available memory");
    // The size libavif refuses from the header is the one our limits set.
    if (detail.find("dimensions are too large") != std::string::npos)
      throw ReadError("Image is too large (more than " + std::to_string(kMaxPixels) + " pixels, or a side longer than " +
                      std::to_string(dec_->imageDimensionLimit) + ")");
    throw ReadError(std::string("AVIF file is damaged: ") + avifResultToString(r) +
                    (detail.empty() ? "" : " (" + detail + ")"));
  }

  // Converts rows [top, top + count) of the decoded picture to 8-bit rows
  // of our layout in @p dst. libavif converts YUV to RGB at the coded depth,
  // leaving premultiplied colour as it is, so that the one rounding to 8
  // bits below also undoes the premultiplication.
  void convertStrip(uint32_t top, uint32_t count, uint8_t* dst) {
    const avifImage* im = dec_->image;
    const uint32_t from = top >= margin_ ? top - margin_ : 0;  // even, as 4:2:0 chroma needs
    const uint32_t to = std::min(im->height, top + count + margin_);
    const avifCropRect rows{0, from, im->width, to - from};
    if (avifResult r = avifImageSetViewRect(view_.get(), im, &rows); r != AVIF_RESULT_OK)
      throw ReadError(std::string("AVIF file is damaged: ") + avifResultToString(r));

    const bool alpha = im->alphaPlane != nullptr;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, view_.get());
    rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.alphaPremultiplied = im->alphaPremultiplied;
    rgb.rowBytes = im->width * rgbPixelBytes_;
    rgb.pixels = rgb_.data();
    if (avifResult r = avifImageYUVToRGB(view_.get(), &rgb); r != AVIF_RESULT_OK)
      throw ReadError(std::string("AVIF file is damaged: ") + avifResultToString(r));

    const unsigned maxValue = (1u << im->depth) - 1;
    const int inChannels = alpha ? 4 : 3;
    const bool gray = info_.format == PixelFormat::Gray || info_.format == PixelFormat::GrayAlpha;
    const bool premultiplied = alpha && im->alphaPremultiplied;
    const uint8_t* src8 = rgb_.data() + size_t(top - from) * rgb.rowBytes;
    const uint16_t* src16 = reinterpret_cast<const uint16_t*>(src8);
    const size_t samples = size_t(count) * im->width;
    for (size_t i = 0; i < samples; ++i) {
      unsigned s[4];
      for (int k = 0; k < inChannels; ++k) s[k] = im->depth > 8 ? src16[i * inChannels + k] : src8[i * inChannels + k];
      uint8_t out[4];
      const unsigned a = alpha ? s[3] : maxValue;
      for (int k = 0; k < 3; ++k) {
        // Colour over alpha when premultiplied, else over the largest value.
        const unsigned scale = premultiplied ? a : maxValue;
        out[k] = scale == 0 ? 0 : uint8_t(std::min(255u, (s[k] * 255 + scale / 2) / scale));
      }
      out[3] = uint8_t((a * 255 + maxValue / 2) / maxValue);
      uint8_t* d = dst + i * info_.channels();
      if (gray) {
        d[0] = out[0];
        if (alpha) d[1] = out[3];
      } else {
        std::memcpy(d, out, size_t(info_.channels()));
      }
    }
  }

  std::vector<uint8_t> cropped(const std::vector<uint8_t>& whole, const avifCropRect& crop) {
    const size_t c = size_t(info_.channels()), rowBytes = info_.rowBytes(), cropRow = crop.width * c;
    std::vector<uint8_t> out(cropRow * crop.height);
    for (uint32_t y = 0; y < crop.height; ++y)
      std::memcpy(&out[cropRow * y], &whole[rowBytes * (crop.y + y) + crop.x * c], cropRow);
    info_.width = crop.width;
    info_.height = crop.height;
    return out;
  }

  std::vector<uint8_t> file_;  // read by libavif in place, so it outlives dec_
  std::unique_ptr<avifDecoder, DecoderDeleter> dec_;
  std::unique_ptr<avifImage, ImageDeleter> view_{avifImageCreateEmpty()};  // a strip of dec_'s picture
  ImageInfo info_;
  size_t rgbPixelBytes_ = 0;
  std::vector<uint8_t> rgb_, strip_, whole_;
  uint32_t stripHeight_ = 0, margin_ = 0;
  uint32_t next_ = 0, stripTop_ = 0, stripRows_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openAvifReader(InputFile& in) {
  return std::make_unique<AvifReader>(in);
}

}  // namespace pixmorph
