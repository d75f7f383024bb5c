// TIFF reader on libtiff: the first directory (page) only. Strips and tiles,
// contiguous or planar, of every compression libtiff was built with, are
// decoded a band (strip or row of tiles) at a time and turned into 8-bit
// samples here, so that deeper samples are rounded, never truncated:
// bilevel, grey, palette, RGB and CMYK at 1 to 32 bits, signed and
// floating-point samples, with associated or unassociated alpha. JPEG-coded
// YCbCr is upsampled to RGB by libtiff; the rarer models (subsampled YCbCr
// without JPEG, old-style JPEG, CIE L*a*b*, LogLuv) go through libtiff's
// RGBA interface. A picture the Orientation tag turns is decoded whole and
// turned upright.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Pixels.h"
#include "TiffSupport.h"

namespace pixmorph {

namespace {

// Files up to this size are read whole and handed to libtiff as a mapped
// file, which it decodes in place. Larger ones are read as libtiff asks.
constexpr uint64_t kWholeFileBytes = uint64_t(256) << 20;

// The input as libtiff's client procs see it: a position over InputFile.
struct Source {
  InputFile* in = nullptr;
  std::vector<uint8_t> whole;
  uint64_t pos = 0;
};

tmsize_t readSource(thandle_t h, void* dst, tmsize_t n) {
  auto* s = static_cast<Source*>(h);
  const uint64_t size = s->in->size();
  if (n <= 0 || s->pos >= size) return 0;
  const size_t take = size_t(std::min<uint64_t>(uint64_t(n), size - s->pos));
  if (!s->whole.empty()) std::memcpy(dst, s->whole.data() + s->pos, take);
  else if (!s->in->readAt(s->pos, dst, take)) return -1;
  s->pos += take;
  return tmsize_t(take);
}

int mapSource(thandle_t h, void** base, toff_t* size) {
  auto* s = static_cast<Source*>(h);
  if (s->whole.empty()) return 0;
  *base = s->whole.data();
  *size = s->whole.size();
  return 1;
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekSource(thandle_t h, toff_t offset, int whence) {
  auto* s = static_cast<Source*>(h);
  const uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->in->size() : 0;
  s->pos = base + offset;  // toff_t wraps, so a negative SEEK_CUR step works too
  return s->pos;
}

toff_t sourceSize(thandle_t h) { return static_cast<Source*>(h)->in->size(); }

float halfToFloat(uint16_t h) {
  const int exponent = (h >> 10) & 31, mantissa = h & 1023;
  float v = exponent == 0 ? std::ldexp(float(mantissa), -24)
            : exponent == 31 ? (mantissa ? NAN : INFINITY)
                             : std::ldexp(float(mantissa + 1024), exponent - 25);
  return (h & 0x8000) ? -v : v;
}

// How the samples of a pixel make its colour.
enum class Model { Gray, Palette, Rgb, Cmyk, RgbaImage };

class TiffReader : public ImageReader {
 public:
  explicit TiffReader(InputFile& in) {
    source_.in = &in;
    checkHeader(in);
    if (in.size() <= kWholeFileBytes) {
      source_.whole.resize(size_t(in.size()));
      if (!in.readAt(0, source_.whole.data(), source_.whole.size())) throw ReadError("Cannot read the input file");
    }
    tif_ = openTiffClient("r", &source_, readSource, refuseWrite, seekSource, sourceSize, messages_, mapSource);
    if (!tif_) fail("Not a valid TIFF file");
    TIFF* t = tif_.get();

    uint32_t width = 0, height = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    checkDimensions(width, height, "TIFF");
    width_ = width, height_ = height;

    uint16_t compression = COMPRESSION_NONE, photometric = 0, planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits_);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp_);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &sampleFormat_);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation_);
    // Without a colour model the samples can only be grey or RGB levels.
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
      photometric = spp_ >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (!TIFFIsCODECConfigured(compression))
      throw ReadError("TIFF compression " + std::to_string(compression) + " is not supported");
    if (orientation_ < 1 || orientation_ > 8) orientation_ = 1;
    planar_ = planar == PLANARCONFIG_SEPARATE && spp_ > 1;
    info_.losslessSource = !lossyCompression(compression);
    readIcc();

    chooseModel(photometric, compression);
    if (model_ != Model::RgbaImage) checkSamples();
    describeOutput();
    readExif(in);

    info_.width = width_;
    info_.height = height_;
    if (model_ == Model::RgbaImage) {
      decodeRgbaImage();
    } else {
      prepareBands();
      if (orientation_ != 1) {
        std::vector<uint8_t> stored(checkedMul(info_.rowBytes(), height_));
        checkBufferSize(stored.size());
        for (uint32_t y = 0; y < height_; ++y) decodeRow(stored.data() + size_t(y) * info_.rowBytes());
        whole_ = std::move(stored);
      }
    }
    if (orientation_ != 1) {
      checkBufferSize(whole_.size());  // and as much again for the turned copy
      whole_ = orientPixels(whole_, width_, height_, info_.channels(), orientation_);
      if (orientation_ >= 5) std::swap(info_.width, info_.height);
    }
  }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    const size_t rb = info_.rowBytes();
    if (!whole_.empty()) {
      std::memcpy(dst, whole_.data() + size_t(next_) * rb, rb * count);
      next_ += count;
      return;
    }
    for (uint32_t i = 0; i < count; ++i) decodeRow(dst + i * rb);
  }

  const uint8_t* lendRows(uint32_t count) override {
    if (whole_.empty()) return nullptr;
    const uint8_t* rows = whole_.data() + size_t(next_) * info_.rowBytes();
    next_ += count;
    return rows;
  }

  bool rewind() override {
    next_ = 0;
    return !whole_.empty();
  }

 private:
  [[noreturn]] void fail(const std::string& what) {
    // A decoder may give up having only warned.
    const std::string& why = messages_.lastError.empty() ? messages_.lastWarning : messages_.lastError;
    if (why.empty()) throw ReadError(what);
    throw ReadError("TIFF file is damaged: " + why);
  }

  // A strip or tile that would not decode: cut short by the file's end, or damaged.
  [[noreturn]] void failData(uint32_t strile) {
    TIFF* t = tif_.get();
    const uint64_t at = TIFFGetStrileOffset(t, strile), bytes = TIFFGetStrileByteCount(t, strile);
    if (at > source_.in->size() || bytes > source_.in->size() - at) throw ReadError("TIFF file is truncated");
    fail("TIFF file is damaged");
  }

  // Refuses a picture too large from the first directory's own entries,
  // before libtiff reads it (and sizes anything by it).
  void checkHeader(InputFile& in) {
    uint8_t head[16];
    if (!in.readAt(0, head, std::min<uint64_t>(16, in.size())) || in.size() < 8)
      throw ReadError("TIFF file is truncated");
    const bool little = head[0] == 'I';
    const bool big = tiffGet(head + 2, 2, little) == 43;
    if (big && in.size() < 16) throw ReadError("TIFF file is truncated");
    // Absent sizes are left to libtiff to refuse.
    uint64_t size[2] = {1, 1};
    for (const IfdEntry& e : readIfd(fileBytes(in), little, big, firstIfdOffset(head, little, big))) {
      if (e.tag != TIFFTAG_IMAGEWIDTH && e.tag != TIFFTAG_IMAGELENGTH) continue;
      size[e.tag == TIFFTAG_IMAGELENGTH] = e.type == TIFF_SHORT ? tiffGet(e.value.data(), 2, little)
                                           : e.type == TIFF_LONG ? tiffGet(e.value.data(), 4, little) : 1;
    }
    checkDimensions(size[0], size[1], "TIFF");
  }

  static ByteSource fileBytes(InputFile& in) {
    return [&in](uint64_t offset, void* dst, size_t n) { return in.readAt(offset, dst, n); };
  }

  bool lossyCompression(uint16_t compression) {
    if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) return true;
    int lossless = 1;
    return compression == COMPRESSION_WEBP && TIFFGetFieldDefaulted(tif_.get(), TIFFTAG_WEBP_LOSSLESS, &lossless) &&
           !lossless;
  }

  void readIcc() {
    uint32_t len = 0;
    void* data = nullptr;
    if (TIFFGetField(tif_.get(), TIFFTAG_ICCPROFILE, &len, &data) && data && len)
      info_.icc.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len);
  }

  void chooseModel(uint16_t photometric, uint16_t compression) {
    TIFF* t = tif_.get();
    switch (photometric) {
      case PHOTOMETRIC_MINISBLACK:
      case PHOTOMETRIC_MINISWHITE:
        model_ = Model::Gray;
        minIsWhite_ = photometric == PHOTOMETRIC_MINISWHITE;
        colours_ = 1;
        break;
      case PHOTOMETRIC_PALETTE: model_ = Model::Palette, colours_ = 1; break;
      case PHOTOMETRIC_RGB: model_ = Model::Rgb, colours_ = 3; break;
      case PHOTOMETRIC_SEPARATED: {
        uint16_t inkSet = INKSET_CMYK;
        TIFFGetFieldDefaulted(t, TIFFTAG_INKSET, &inkSet);
        if (inkSet != INKSET_CMYK) throw ReadError("TIFF file uses inks other than CMYK, which is not supported");
        model_ = Model::Cmyk, colours_ = 4;
        break;
      }
      case PHOTOMETRIC_YCBCR:
        if (compression == COMPRESSION_JPEG && bits_ == 8) {
          // libtiff's JPEG codec converts to RGB itself, upsampling the chroma.
          TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
          model_ = Model::Rgb, colours_ = 3;
          break;
        }
        model_ = Model::RgbaImage;
        return;
      default: model_ = Model::RgbaImage; return;
    }
    if (spp_ < colours_) throw ReadError("TIFF file has too few samples per pixel for its colour model");
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    for (uint16_t i = 0; i < extraCount && extra; ++i) {
      if (extra[i] != EXTRASAMPLE_ASSOCALPHA && extra[i] != EXTRASAMPLE_UNASSALPHA) continue;
      const int sample = int(spp_) - int(extraCount) + i;
      if (sample < colours_) break;
      alpha_ = sample;
      associated_ = extra[i] == EXTRASAMPLE_ASSOCALPHA;
      break;
    }
  }

  void checkSamples() {
    bool ok = false;
    switch (sampleFormat_) {
      case SAMPLEFORMAT_UINT:
      case SAMPLEFORMAT_VOID: ok = bits_ >= 1 && bits_ <= 32; sampleFormat_ = SAMPLEFORMAT_UINT; break;
      case SAMPLEFORMAT_INT: ok = bits_ == 8 || bits_ == 16 || bits_ == 32; break;
      case SAMPLEFORMAT_IEEEFP: ok = bits_ == 16 || bits_ == 32 || bits_ == 64; break;
      default: break;
    }
    if (!ok)
      throw ReadError("TIFF samples of " + std::to_string(bits_) + " bits in format " +
                      std::to_string(sampleFormat_) + " are not supported");
    if (model_ == Model::Palette && (sampleFormat_ != SAMPLEFORMAT_UINT || bits_ > 16))
      throw ReadError("TIFF palette image with " + std::to_string(bits_) + "-bit indices is not supported");
    maxValue_ = sampleFormat_ == SAMPLEFORMAT_IEEEFP ? 65535
                : sampleFormat_ == SAMPLEFORMAT_INT  ? (uint64_t(1) << (bits_ - 1)) - 1
                                                     : (uint64_t(1) << bits_) - 1;
  }

  // The engine's layout for the model, and the palette where there is one.
  void describeOutput() {
    const bool alpha = alpha_ >= 0;
    switch (model_) {
      case Model::Gray:
        info_.format = alpha ? PixelFormat::GrayAlpha : PixelFormat::Gray;
        if (!alpha && bits_ <= 4 && sampleFormat_ == SAMPLEFORMAT_UINT && (bits_ & (bits_ - 1)) == 0)
          info_.grayBits = bits_;
        break;
      case Model::Palette: {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif_.get(), TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
          throw ReadError("TIFF palette image has no colour map");
        const size_t n = size_t(1) << bits_;
        // Some writers store 8-bit values in the 16-bit map; read those as they are.
        bool eightBit = true;
        for (size_t i = 0; i < n && eightBit; ++i) eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
        auto to8 = [eightBit](uint16_t v) { return uint8_t(eightBit ? v : (uint32_t(v) * 255 + 32767) / 65535); };
        colourMap_.resize(n);
        for (size_t i = 0; i < n; ++i) colourMap_[i] = {to8(r[i]), to8(g[i]), to8(b[i]), 255};
        if (bits_ <= 8 && !alpha) {
          info_.format = PixelFormat::Indexed;
          info_.palette = colourMap_;
        } else {
          info_.format = alpha ? PixelFormat::Rgba : PixelFormat::Rgb;
        }
        break;
      }
      case Model::Rgb:
      case Model::Cmyk: info_.format = alpha ? PixelFormat::Rgba : PixelFormat::Rgb; break;
      case Model::RgbaImage: break;  // decided by decodeRgbaImage
    }
  }

  // The EXIF and GPS directories, with the first directory's descriptive
  // text tags, as a TIFF-structured EXIF blob in the file's byte order.
  // The pixels are stored upright, so the blob carries no orientation.
  void readExif(InputFile& in) {
    TIFF* t = tif_.get();
    uint64_t exifAt = 0, gpsAt = 0;
    TIFFGetField(t, TIFFTAG_EXIFIFD, &exifAt);
    TIFFGetField(t, TIFFTAG_GPSIFD, &gpsAt);
    if (!exifAt && !gpsAt) return;
    const bool little = !TIFFIsBigEndian(t), big = TIFFIsBigTIFF(t);
    const ByteSource src = fileBytes(in);
    std::vector<IfdEntry> exif, gps, first;
    if (exifAt) exif = readIfd(src, little, big, exifAt);
    std::erase_if(exif, [](const IfdEntry& e) { return e.tag == 0xA005; });  // interoperability directory
    if (gpsAt) gps = readIfd(src, little, big, gpsAt);
    if (exif.empty() && gps.empty()) return;
    uint8_t head[16] = {};
    in.readAt(0, head, big ? 16 : 8);
    for (IfdEntry& e : readIfd(src, little, big, firstIfdOffset(head, little, big)))
      if (isDescriptiveTag(e.tag) && e.type == TIFF_ASCII) first.push_back(std::move(e));
    auto pointer = [little](uint16_t tag, uint32_t at) {
      IfdEntry e{tag, TIFF_LONG, 1, std::vector<uint8_t>(4)};
      tiffPut(e.value.data(), at, 4, little);
      return e;
    };
    // Pointers are inline values, so the first directory's size is known
    // before they are.
    const size_t pointers = !exif.empty() + !gps.empty();
    std::vector<IfdEntry> sized = first;
    for (size_t i = 0; i < pointers; ++i) sized.push_back(pointer(uint16_t(kTagExifIfd + i), 0));
    const uint32_t exifBase = uint32_t(8 + serializeIfd(sized, little, 8).size());
    std::vector<uint8_t> exifBytes = exif.empty() ? std::vector<uint8_t>() : serializeIfd(exif, little, exifBase);
    const uint32_t gpsBase = exifBase + uint32_t(exifBytes.size());
    if (!exif.empty()) first.push_back(pointer(kTagExifIfd, exifBase));
    if (!gps.empty()) first.push_back(pointer(kTagGpsIfd, gpsBase));

    std::vector<uint8_t>& blob = info_.exif;
    blob = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M'), 0, 0, 0, 0, 0, 0};
    tiffPut(&blob[2], 42, 2, little);
    tiffPut(&blob[4], 8, 4, little);
    const std::vector<uint8_t> ifd0Bytes = serializeIfd(first, little, 8);
    blob.insert(blob.end(), ifd0Bytes.begin(), ifd0Bytes.end());
    blob.insert(blob.end(), exifBytes.begin(), exifBytes.end());
    if (!gps.empty()) {
      const std::vector<uint8_t> gpsBytes = serializeIfd(gps, little, gpsBase);
      blob.insert(blob.end(), gpsBytes.begin(), gpsBytes.end());
    }
  }

  // --- Strips and tiles -------------------------------------------------

  void prepareBands() {
    TIFF* t = tif_.get();
    tiled_ = TIFFIsTiled(t);
    if (tiled_) {
      TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth_);
      TIFFGetField(t, TIFFTAG_TILELENGTH, &bandRows_);
      if (tileWidth_ == 0 || bandRows_ == 0) throw ReadError("TIFF file has tiles of no size");
      const uint64_t pixelBits = uint64_t(bits_) * (planar_ ? 1 : spp_);
      if (uint64_t(tileWidth_) * pixelBits % 8) throw ReadError("TIFF tiles of this width are not supported");
      const uint64_t tileBytes = uint64_t(TIFFTileSize64(t));
      tileRowBytes_ = size_t(TIFFTileRowSize64(t));
      if (tileBytes == 0 || tileRowBytes_ == 0) fail("TIFF file has an invalid tile size");
      checkBufferSize(tileBytes);
      tile_.resize(size_t(tileBytes));
    } else {
      uint32_t rowsPerStrip = height_;
      TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
      bandRows_ = std::clamp<uint32_t>(rowsPerStrip, 1, height_);
    }
    bandRows_ = std::min(bandRows_, height_);
    planeRowBytes_ = size_t(TIFFScanlineSize64(t));
    if (planeRowBytes_ == 0) fail("TIFF file has an invalid row size");
    const size_t planes = planar_ ? spp_ : 1;
    checkBufferSize(uint64_t(planeRowBytes_) * bandRows_ * planes);
    band_.resize(planes);
    samples_.resize(size_t(width_) * spp_);
    // Rows of 8-bit samples already in the engine's layout are copied as they are.
    direct_ = !planar_ && bits_ == 8 && sampleFormat_ == SAMPLEFORMAT_UINT && !associated_ && !minIsWhite_ &&
              (model_ == Model::Gray || model_ == Model::Rgb || (model_ == Model::Palette && bits_ <= 8 && alpha_ < 0)) &&
              int(spp_) == info_.channels();
  }

  // Whether plane @p p holds a sample the picture uses (a planar file's
  // unused extra samples may be missing altogether).
  bool planeUsed(size_t p) const { return !planar_ || int(p) < colours_ || int(p) == alpha_; }

  void readBand(uint32_t band) {
    TIFF* t = tif_.get();
    const uint32_t y0 = band * bandRows_, rows = std::min(bandRows_, height_ - y0);
    const size_t bandBytes = planeRowBytes_ * rows;
    for (size_t p = 0; p < band_.size(); ++p) {
      if (!planeUsed(p)) continue;
      std::vector<uint8_t>& buf = band_[p];
      buf.resize(planeRowBytes_ * bandRows_);
      if (!tiled_) {
        const tmsize_t got = TIFFReadEncodedStrip(t, TIFFComputeStrip(t, y0, uint16_t(p)), buf.data(), tmsize_t(bandBytes));
        if (got < 0 || size_t(got) < bandBytes) failData(TIFFComputeStrip(t, y0, uint16_t(p)));
        continue;
      }
      const uint64_t pixelBits = uint64_t(bits_) * (planar_ ? 1 : spp_);
      for (uint32_t x0 = 0; x0 < width_; x0 += tileWidth_) {
        const uint32_t tile = TIFFComputeTile(t, x0, y0, 0, uint16_t(p));
        const tmsize_t got = TIFFReadEncodedTile(t, tile, tile_.data(), tmsize_t(tile_.size()));
        if (got < 0 || size_t(got) < tileRowBytes_ * rows) failData(tile);
        const size_t at = size_t(x0 * pixelBits / 8), n = std::min(tileRowBytes_, planeRowBytes_ - at);
        for (uint32_t r = 0; r < rows; ++r)
          std::memcpy(buf.data() + r * planeRowBytes_ + at, tile_.data() + r * tileRowBytes_, n);
      }
    }
    band_0_ = y0;
    bandLoaded_ = rows;
  }

  // Decodes the next stored row into @p dst in the output layout.
  void decodeRow(uint8_t* dst) {
    const uint32_t y = row_++;
    if (y >= height_) throw ReadError("TIFF image data ended early");
    if (y >= band_0_ + bandLoaded_ || bandLoaded_ == 0) readBand(y / bandRows_);
    const size_t offset = size_t(y - band_0_) * planeRowBytes_;
    if (direct_) {
      std::memcpy(dst, band_[0].data() + offset, info_.rowBytes());
      return;
    }
    if (planar_) {
      for (size_t p = 0; p < spp_; ++p)
        if (planeUsed(p)) unpack(band_[p].data() + offset, width_, samples_.data() + p, spp_);
    } else {
      unpack(band_[0].data() + offset, size_t(width_) * spp_, samples_.data(), 1);
    }
    convertRow(samples_.data(), dst);
  }

  // Raw sample values of a row, every @p stride-th entry of @p dst. Samples
  // of 16 bits and more are in the machine's byte order (libtiff swaps
  // them); narrower ones are packed from the most significant bit.
  void unpack(const uint8_t* src, size_t count, uint32_t* dst, size_t stride) const {
    if (sampleFormat_ == SAMPLEFORMAT_IEEEFP) {
      for (size_t i = 0; i < count; ++i) {
        double v;
        if (bits_ == 16) {
          uint16_t h;
          std::memcpy(&h, src + 2 * i, 2);
          v = halfToFloat(h);
        } else if (bits_ == 32) {
          float f;
          std::memcpy(&f, src + 4 * i, 4);
          v = f;
        } else {
          std::memcpy(&v, src + 8 * i, 8);
        }
        // Floating-point pictures hold 0..1; NaN counts as 0.
        dst[i * stride] = v > 0 ? uint32_t(std::lround(std::min(v, 1.0) * 65535)) : 0;
      }
      return;
    }
    const bool isSigned = sampleFormat_ == SAMPLEFORMAT_INT;
    switch (bits_) {
      case 8:
        for (size_t i = 0; i < count; ++i)
          dst[i * stride] = isSigned ? uint32_t(std::max<int>(0, int8_t(src[i]))) : src[i];
        return;
      case 16:
        for (size_t i = 0; i < count; ++i) {
          uint16_t v;
          std::memcpy(&v, src + 2 * i, 2);
          dst[i * stride] = isSigned ? uint32_t(std::max<int>(0, int16_t(v))) : v;
        }
        return;
      case 32:
        for (size_t i = 0; i < count; ++i) {
          uint32_t v;
          std::memcpy(&v, src + 4 * i, 4);
          dst[i * stride] = isSigned ? uint32_t(std::max<int32_t>(0, int32_t(v))) : v;
        }
        return;
      case 24:
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* p = src + 3 * i;
          dst[i * stride] = tiffGet(p, 3, std::endian::native == std::endian::little);
        }
        return;
      default: {
        uint64_t bit = 0;
        for (size_t i = 0; i < count; ++i, bit += bits_) {
          uint32_t v = 0;
          for (unsigned b = 0; b < bits_; ++b) {
            const uint64_t at = bit + b;
            v = (v << 1) | ((src[at >> 3] >> (7 - (at & 7))) & 1);
          }
          dst[i * stride] = v;
        }
      }
    }
  }

  uint8_t scale(uint64_t v) const { return uint8_t((v * 255 + maxValue_ / 2) / maxValue_); }

  // A colour sample stored multiplied by its alpha, divided back out.
  uint64_t unassociate(uint64_t v, uint64_t a) const {
    if (a == 0) return 0;
    return std::min<uint64_t>(maxValue_, uint64_t(double(v) * double(maxValue_) / double(a) + 0.5));
  }

  void convertRow(const uint32_t* s, uint8_t* d) const {
    const int outC = info_.channels();
    const bool alpha = alpha_ >= 0;
    for (uint32_t x = 0; x < width_; ++x, s += spp_, d += outC) {
      const uint64_t a = alpha ? s[alpha_] : maxValue_;
      auto colour = [&](int i) -> uint64_t {
        uint64_t v = std::min<uint64_t>(s[i], maxValue_);
        return associated_ ? unassociate(v, a) : v;
      };
      switch (model_) {
        case Model::Gray: {
          const uint64_t g = colour(0);
          d[0] = scale(minIsWhite_ ? maxValue_ - g : g);
          break;
        }
        case Model::Palette:
          if (info_.format == PixelFormat::Indexed) {
            d[0] = uint8_t(s[0]);
          } else {
            const Rgba8& c = colourMap_[std::min<size_t>(s[0], colourMap_.size() - 1)];
            d[0] = c.r, d[1] = c.g, d[2] = c.b;
          }
          break;
        case Model::Rgb: d[0] = scale(colour(0)), d[1] = scale(colour(1)), d[2] = scale(colour(2)); break;
        case Model::Cmyk: {
          // TIFF stores ink amounts (0 = no ink); each colour is what its
          // ink and the black leave of the paper.
          const unsigned k = 255 - scale(colour(3));
          for (int i = 0; i < 3; ++i) d[i] = uint8_t(((255 - scale(colour(i))) * k + 127) / 255);
          break;
        }
        case Model::RgbaImage: break;
      }
      if (alpha) d[outC - 1] = scale(std::min<uint64_t>(a, maxValue_));
    }
  }

  // --- libtiff's RGBA interface, for the rarer colour models ---------------

  void decodeRgbaImage() {
    TIFF* t = tif_.get();
    char message[1024] = {};
    if (!TIFFRGBAImageOK(t, message))
      throw ReadError(std::string("TIFF image of this kind is not supported: ") + message);
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, t, 1, message)) fail(std::string("TIFF file is damaged: ") + message);
    std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> end(&img, TIFFRGBAImageEnd);
    const bool alpha = img.alpha != 0;
    info_.format = alpha ? PixelFormat::Rgba : PixelFormat::Rgb;
    const size_t pixels = size_t(width_) * height_;
    checkBufferSize(uint64_t(pixels) * 4);
    std::vector<uint32_t> raster(pixels);
    img.req_orientation = img.orientation;  // rows as stored; turned upright below
    if (!TIFFRGBAImageGet(&img, raster.data(), width_, height_)) fail("TIFF file is truncated");
    whole_.resize(pixels * info_.channels());
    uint8_t* d = whole_.data();
    for (uint32_t p : raster) {
      const uint8_t a = uint8_t(TIFFGetA(p));
      uint8_t c[3] = {uint8_t(TIFFGetR(p)), uint8_t(TIFFGetG(p)), uint8_t(TIFFGetB(p))};
      // libtiff hands alpha out associated, whatever the file holds.
      for (uint8_t& v : c) *d++ = !alpha ? v : a == 0 ? 0 : uint8_t(std::min(255, (v * 255 + a / 2) / a));
      if (alpha) *d++ = a;
    }
  }

  Source source_;
  TiffMessages messages_;
  TiffHandle tif_;
  ImageInfo info_;
  uint32_t width_ = 0, height_ = 0;
  uint16_t bits_ = 1, spp_ = 1, sampleFormat_ = SAMPLEFORMAT_UINT, orientation_ = 1;
  bool planar_ = false, minIsWhite_ = false, associated_ = false, tiled_ = false, direct_ = false;
  Model model_ = Model::Gray;
  int colours_ = 1, alpha_ = -1;
  uint64_t maxValue_ = 255;
  std::vector<Rgba8> colourMap_;

  uint32_t tileWidth_ = 0, bandRows_ = 1, band_0_ = 0, bandLoaded_ = 0, row_ = 0, next_ = 0;
  size_t planeRowBytes_ = 0, tileRowBytes_ = 0;
  std::vector<std::vector<uint8_t>> band_;
  std::vector<uint8_t> tile_, whole_;
  std::vector<uint32_t> samples_;
};

}  // namespace

std::unique_ptr<ImageReader> openTiffReader(InputFile& in) {
  return std::make_unique<TiffReader>(in);
}

}  // namespace pixmorph
