#include <algorithm>
#include <algorithm>
#include <cstring>
#include <string>

#include "Codecs.h"
#include "Errors.h"
#include "pixmorph/transcode.hpp"

namespace pixmorph {

namespace {

bool isPng(const uint8_t* h, size_t n) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return n >= 8 && std::memcmp(h, kPng, 8) == 0;
}
bool isJpeg(const uint8_t* h, size_t n) { return n >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF; }
bool isGif(const uint8_t* h, size_t n) {
  return n >= 6 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0);
}
// "BA" is the OS/2 bitmap array wrapping one or more "BM" images.
bool isBmp(const uint8_t* h, size_t n) { return n >= 2 && h[0] == 'B' && (h[1] == 'M' || h[1] == 'A'); }
bool isWebp(const uint8_t* h, size_t n) {
  return n >= 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WEBP", 4) == 0;
}
// Classic TIFF (42) and BigTIFF (43), in either byte order.
bool isTiff(const uint8_t* h, size_t n) {
  return n >= 4 && ((h[0] == 'I' && h[1] == 'I' && (h[2] == 42 || h[2] == 43) && h[3] == 0) ||
                    (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && (h[3] == 42 || h[3] == 43)));
}

// An ISO BMFF ftyp box naming the avif (picture) or avis (sequence) brand,
// as its major brand or among the compatible ones that fit in @p n bytes.
bool isAvif(const uint8_t* h, size_t n) {
  if (n < 12 || std::memcmp(h + 4, "ftyp", 4) != 0) return false;
  const size_t boxEnd = std::min<size_t>(n, (size_t(h[0]) << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
  auto avifBrand = [&](size_t at) { return std::memcmp(h + at, "avif", 4) == 0 || std::memcmp(h + at, "avis", 4) == 0; };
  if (avifBrand(8)) return true;
  for (size_t at = 16; at + 4 <= boxEnd; at += 4)
    if (avifBrand(at)) return true;
  return false;
}

std::unique_ptr<ImageWriter> bmpWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions&) {
  return createBmpWriter(out, info);
}
std::unique_ptr<ImageWriter> pngWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions&) {
  return createPngWriter(out, info);
}
std::unique_ptr<ImageWriter> tiffWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& o) {
  return createTiffWriter(out, info, o.quality);
}

constexpr const char* kBmpExt[] = {"bmp"};
constexpr const char* kGifExt[] = {"gif"};
constexpr const char* kJpegExt[] = {"jpg", "jpeg"};
constexpr const char* kPngExt[] = {"png"};
constexpr const char* kWebpExt[] = {"webp"};
constexpr const char* kTiffExt[] = {"tif", "tiff"};
constexpr const char* kHeifExt[] = {"heic", "heif", "hif"};
constexpr const char* kAvifExt[] = {"avif"};

// PNG keeps every layout; a BMP palette holds no alpha and BMP has no grey
// of its own; JPG holds neither palette nor alpha.
constexpr WriterLayouts kPngLayouts{.palette = true, .paletteAlpha = true, .gray = true, .heldGray = true,
                                    .grayAlpha = true, .alpha = true, .trial = true};
constexpr WriterLayouts kBmpLayouts{.palette = true, .gray = true, .alpha = true};
constexpr WriterLayouts kJpegLayouts{.gray = true, .heldGray = true};
// WebP is RGB or RGBA; its lossless encoder finds palettes and grey itself.
constexpr WriterLayouts kWebpLayouts{.alpha = true};
// TIFF keeps every layout but a palette with transparency.
constexpr WriterLayouts kTiffLayouts{.palette = true, .gray = true, .heldGray = true, .grayAlpha = true,
                                     .alpha = true, .trial = true};
// AVIF codes grey as monochrome AV1, and alpha as a second picture.
constexpr WriterLayouts kAvifLayouts{.gray = true, .heldGray = true, .grayAlpha = true, .alpha = true};

const FormatRow kFormats[] = {
    {FileFormat::Png, "PNG", kPngExt, isPng, openPngReader, pngWriter, false, kPngLayouts},
    {FileFormat::Jpeg, "JPG", kJpegExt, isJpeg, openJpegReader, createJpegWriter, true, kJpegLayouts},
    {FileFormat::Gif, "GIF", kGifExt, isGif, openGifReader, nullptr, false, {}},
    {FileFormat::Bmp, "BMP", kBmpExt, isBmp, openBmpReader, bmpWriter, false, kBmpLayouts},
    {FileFormat::Webp, "WebP", kWebpExt, isWebp, openWebpReader, createWebpWriter, true, kWebpLayouts},
    {FileFormat::Tiff, "TIFF", kTiffExt, isTiff, openTiffReader, tiffWriter, false, kTiffLayouts},
    {FileFormat::Avif, "AVIF", kAvifExt, isAvif, openAvifReader, createAvifWriter, true, kAvifLayouts},
    {FileFormat::Heif, "HEIC", kHeifExt, sniffHeif, openHeifReader, nullptr, false, {}},
};

}  // namespace

std::span<const FormatRow> formatTable() { return kFormats; }

const FormatRow* formatRow(FileFormat f) {
  for (const FormatRow& row : kFormats)
    if (row.format == f) return &row;
  return nullptr;
}

FileFormat sniffFormat(const uint8_t* h, size_t n) {
  for (const FormatRow& row : kFormats)
    if (row.sniff(h, n)) return row.format;
  return FileFormat::Unknown;
}

std::string extensionOf(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

FileFormat formatFromExtension(const std::string& path) {
  std::string ext = extensionOf(path);
  for (char& c : ext) c = char((c >= 'A' && c <= 'Z') ? c + 32 : c);
  for (const FormatRow& row : kFormats)
    for (const char* e : row.extensions)
      if (ext == e) return row.format;
  return FileFormat::Unknown;
}

const char* formatName(FileFormat f) {
  const FormatRow* row = formatRow(f);
  return row ? row->name : "image";
}

std::unique_ptr<ImageReader> openReader(InputFile& in, const std::string& path) {
  uint8_t head[32] = {};
  size_t n = in.size() < sizeof head ? size_t(in.size()) : sizeof head;
  if (n && !in.readAt(0, head, n)) throw ReadError("Cannot read the input file");
  const FormatRow* row = formatRow(sniffFormat(head, n));
  if (row && row->openReader) return row->openReader(in);
  FileFormat claimed = formatFromExtension(path);
  if (claimed == FileFormat::Unknown) throw ReadError(kInputNotSupported);
  if (in.size() == 0) throw ReadError("Input file is empty");
  throw ReadError(std::string("Not a valid ") + formatName(claimed) + " file");
}

std::unique_ptr<ImageWriter> createWriter(AtomicOutputFile& out, const ImageInfo& info, FileFormat format,
                                          const WriteOptions& options) {
  return formatRow(format)->createWriter(out, info, options);
}

namespace {

template <typename Take>
std::vector<std::string> sortedFromTable(Take take) {
  std::vector<std::string> out;
  for (const FormatRow& row : kFormats) take(row, out);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

std::vector<std::string> formatsRead() {
  return sortedFromTable([](const FormatRow& row, std::vector<std::string>& out) {
    if (row.openReader) out.push_back(row.name);
  });
}

std::vector<std::string> extensionsWritten() {
  return sortedFromTable([](const FormatRow& row, std::vector<std::string>& out) {
    if (row.createWriter) out.insert(out.end(), row.extensions.begin(), row.extensions.end());
  });
}

std::vector<std::string> formatsWithQuality() {
  return sortedFromTable([](const FormatRow& row, std::vector<std::string>& out) {
    if (row.lossy) out.push_back(row.name);
  });
}

}  // namespace pixmorph
