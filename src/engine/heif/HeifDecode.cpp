#include "HeifDecode.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "ColourProfile.h"
#include "Errors.h"
#include "Exif.h"
#include "HeifProtocol.h"
#include "Limits.h"

namespace pixmorph::heif {
namespace {

// libheif's own default for the longest side; fuzzing builds, whose pixel
// limit is lower, tighten it further.
constexpr int kMaxSide = int(std::min<uint64_t>(32768, kMaxPixels));

// libheif's text starts with the names of its error code and subcode
// ("Invalid input: Unspecified: ..."), which our own words replace.
std::string detailOf(const heif_error& e) {
  std::string s = e.message ? e.message : "";
  for (bool again = true; again;) {
    again = false;
    for (const char* name : {"Invalid input: ", "Unsupported feature: ", "Unsupported file-type: ",
                             "Decoder plugin generated an error: ", "Memory allocation error: ", "Unspecified: "})
      if (s.starts_with(name)) s.erase(0, std::strlen(name)), again = true;
  }
  while (!s.empty() && (std::isspace(uint8_t(s.back())) || s.back() == '.')) s.pop_back();
  return s == "Unspecified" ? std::string() : s;
}

[[noreturn]] void fail(const heif_error& e) {
  const std::string detail = detailOf(e);
  const auto with = [&](const char* what) { return detail.empty() ? std::string(what) : what + (": " + detail); };
  switch (e.code) {
    case heif_error_Invalid_input:
      if (e.subcode == heif_suberror_End_of_data) throw ReadError("HEIC file is truncated");
      throw ReadError(with("HEIC file is damaged"));
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature:
      throw ReadError(kUnsupportedOption, with("HEIC file uses a feature that is not supported"));
    case heif_error_Memory_allocation_error:
      if (e.subcode == heif_suberror_Security_limit_exceeded) throw ReadError(with("HEIC file is too large"));
      throw ReadError("Not enough memory to decode the HEIC file");
    default: throw ReadError(with("HEIC file is damaged"));
  }
}

void check(const heif_error& e) {
  if (e.code != heif_error_Ok) fail(e);
}

template <class T, void (*Free)(T*)>
struct Releaser {
  void operator()(T* p) const { Free(p); }
};
void releaseHandle(heif_image_handle* h) { heif_image_handle_release(h); }
void freeNclx(heif_color_profile_nclx* p) { heif_nclx_color_profile_free(p); }
using Context = std::unique_ptr<heif_context, Releaser<heif_context, heif_context_free>>;
using Handle = std::unique_ptr<heif_image_handle, Releaser<heif_image_handle, releaseHandle>>;
using Options = std::unique_ptr<heif_decoding_options, Releaser<heif_decoding_options, heif_decoding_options_free>>;
using Nclx = std::unique_ptr<heif_color_profile_nclx, Releaser<heif_color_profile_nclx, freeNclx>>;

// The Exif item starts with the offset of the TIFF header from the end of
// that offset field; some writers put "Exif\0\0" there.
std::vector<uint8_t> readExif(const heif_image_handle* handle) {
  heif_item_id id;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1) return {};
  const size_t size = heif_image_handle_get_metadata_size(handle, id);
  if (size < 4 + 8 || size > kMaxMetadataBytes) return {};
  std::vector<uint8_t> block(size);
  if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) return {};
  const uint64_t offset = uint64_t(block[0]) << 24 | block[1] << 16 | block[2] << 8 | block[3];
  if (offset > size - 4) return {};
  auto tiff = block.begin() + 4 + ptrdiff_t(offset);
  if (block.end() - tiff >= 6 && std::memcmp(&*tiff, "Exif\0\0", 6) == 0) tiff += 6;
  if (block.end() - tiff < 8 || !(std::memcmp(&*tiff, "II*\0", 4) == 0 || std::memcmp(&*tiff, "MM\0*", 4) == 0))
    return {};
  std::vector<uint8_t> exif(tiff, block.end());
  // libheif has turned the pixels by the file's own irot/imir; an EXIF
  // orientation kept as it was would turn a phone photo a second time.
  exifResetOrientation(exif);
  return exif;
}

// An ICC profile wins; otherwise the colour is named by code points, in a
// colr box or in the coded stream (found on the decoded image).
std::vector<uint8_t> readColour(const heif_image_handle* handle, const heif_image* image) {
  const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
  if (iccSize > 0 && iccSize <= kMaxMetadataBytes) {
    std::vector<uint8_t> icc(iccSize);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) return icc;
  }
  // libheif hands out a profile along with an error where a code point is
  // one it does not know; it is ours to free either way.
  heif_color_profile_nclx* raw = nullptr;
  heif_error e = heif_image_handle_get_nclx_color_profile(handle, &raw);
  Nclx nclx(raw);
  if (e.code != heif_error_Ok) {
    raw = nullptr;
    e = heif_image_get_nclx_color_profile(image, &raw);
    nclx.reset(raw);
  }
  if (e.code != heif_error_Ok || !nclx) return {};
  return iccFromCicp(int(nclx->color_primaries), int(nclx->transfer_characteristics));
}

// Reads sample @p i of a row in either layout.
inline uint32_t sampleAt(const uint8_t* row, size_t i, bool wide) {
  return wide ? uint32_t(row[2 * i]) | uint32_t(row[2 * i + 1]) << 8 : row[i];
}

// libheif 1.15 does not tell before decoding whether a coded image is
// monochrome; decoded to RGB such an image has R = G = B everywhere, which
// is also exactly when grey rows lose nothing.
bool everyPixelGrey(const uint8_t* plane, size_t stride, uint32_t width, uint32_t height, int channels, bool wide) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = plane + stride * y;
    for (uint32_t x = 0; x < width; ++x) {
      const size_t i = size_t(x) * size_t(channels);
      const uint32_t r = sampleAt(row, i, wide);
      if (sampleAt(row, i + 1, wide) != r || sampleAt(row, i + 2, wide) != r) return false;
    }
  }
  return true;
}

void initialiseOnce() {
  static const bool done = [] {
    heif_init(nullptr);
    return true;
  }();
  static_cast<void>(done);
}

}  // namespace

DecodedHeif decodeHeif(const uint8_t* data, size_t size) {
  initialiseOnce();
  const Context ctx(heif_context_alloc());
  if (!ctx) throw ReadError("Not enough memory to decode the HEIC file");
  heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
  check(heif_context_read_from_memory_without_copy(ctx.get(), data, size, nullptr));

  heif_image_handle* rawHandle = nullptr;
  check(heif_context_get_primary_image_handle(ctx.get(), &rawHandle));
  const Handle handle(rawHandle);
  // Both the coded size and the size after rotation and cropping, before
  // libheif allocates anything for the pixels.
  checkDimensions(uint64_t(std::max(0, heif_image_handle_get_ispe_width(handle.get()))),
                  uint64_t(std::max(0, heif_image_handle_get_ispe_height(handle.get()))), "HEIC");
  checkDimensions(uint64_t(std::max(0, heif_image_handle_get_width(handle.get()))),
                  uint64_t(std::max(0, heif_image_handle_get_height(handle.get()))), "HEIC");

  DecodedHeif out;
  out.alpha_ = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  out.premultiplied_ = out.alpha_ && heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
  const bool wide = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
  const heif_chroma chroma = wide ? (out.alpha_ ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (out.alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);

  const Options options(heif_decoding_options_alloc());
  if (!options) throw ReadError("Not enough memory to decode the HEIC file");
  options->ignore_transformations = 0;  // irot, imir and clap are applied to the pixels
  options->convert_hdr_to_8bit = 0;     // we round to 8 bits ourselves
  heif_image* rawImage = nullptr;
  check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get()));
  out.image_.reset(rawImage, heif_image_release);

  int stride = 0;
  out.plane_ = heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
  const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
  const int bits = heif_image_get_bits_per_pixel_range(rawImage, heif_channel_interleaved);
  if (!out.plane_ || width <= 0 || height <= 0 || bits < 1 || bits > 16 || (bits > 8) != wide)
    throw ReadError("HEIC file is damaged: the decoder returned no usable picture");
  checkDimensions(uint64_t(width), uint64_t(height), "HEIC");
  const int channels = out.alpha_ ? 4 : 3;
  if (size_t(stride) < size_t(width) * size_t(channels) * (wide ? 2 : 1))
    throw ReadError("HEIC file is damaged: the decoder returned no usable picture");
  out.stride_ = size_t(stride);
  out.bits_ = unsigned(bits);

  ImageInfo& info = out.info_;
  info.width = uint32_t(width);
  info.height = uint32_t(height);
  const bool grey = everyPixelGrey(out.plane_, out.stride_, info.width, info.height, channels, wide);
  info.format = grey ? (out.alpha_ ? PixelFormat::GrayAlpha : PixelFormat::Gray)
                     : (out.alpha_ ? PixelFormat::Rgba : PixelFormat::Rgb);
  info.icc = readColour(handle.get(), rawImage);
  info.exif = readExif(handle.get());
  info.losslessSource = false;
  return out;
}

void DecodedHeif::row(uint32_t y, uint8_t* dst) const {
  const bool wide = bits_ > 8;
  const uint8_t* src = plane_ + stride_ * y;
  const uint32_t max = (1u << bits_) - 1;
  const int inChannels = alpha_ ? 4 : 3;
  const bool grey = info_.format == PixelFormat::Gray || info_.format == PixelFormat::GrayAlpha;
  // Rounded to 8 bits, never cut: (v * 255 + max / 2) / max.
  const auto to8 = [&](uint32_t v) { return uint8_t((std::min(v, max) * 255 + max / 2) / max); };
  for (uint32_t x = 0; x < info_.width; ++x) {
    const size_t i = size_t(x) * size_t(inChannels);
    uint32_t c[4] = {sampleAt(src, i, wide), sampleAt(src, i + 1, wide), sampleAt(src, i + 2, wide), max};
    if (alpha_) c[3] = std::min(sampleAt(src, i + 3, wide), max);
    if (premultiplied_) {
      for (int k = 0; k < 3; ++k) c[k] = c[3] ? std::min(max, (c[k] * max + c[3] / 2) / c[3]) : 0;
    }
    if (grey) {
      *dst++ = to8(c[0]);
    } else {
      *dst++ = to8(c[0]), *dst++ = to8(c[1]), *dst++ = to8(c[2]);
    }
    if (alpha_) *dst++ = to8(c[3]);
  }
}

}  // namespace pixmorph::heif
