// The table of formats: how each is recognised, which reader and writer
// serve it, and which row layouts its writer takes. Adding a format means
// adding a row in Format.cpp and its codec files.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "FileIO.h"
#include "Image.h"

namespace pixmorph {

class CoefficientMemory;

enum class FileFormat { Unknown, Bmp, Gif, Jpeg, Png, Webp, Avif, Heif, Tiff };

/// What a writer is given besides the rows.
struct WriteOptions {
  int quality = 80;                       // 10..100, for the lossy formats
  CoefficientMemory* memory = nullptr;    // lends a JPG write its coefficient buffer
  bool fullChroma = false;                // colour at full resolution whatever the quality; lossy WebP,
                                          // which always halves it, converts it as sharply as it can
};

/// The row layouts a writer takes; the engine converts the others to the
/// nearest it takes, composing alpha over white where it has none.
struct WriterLayouts {
  bool palette = false;       // Indexed rows
  bool paletteAlpha = false;  // ... with translucent entries
  bool gray = false;          // Gray rows
  bool heldGray = false;      // a picture found all grey may be written as grey
  bool grayAlpha = false;     // GrayAlpha rows
  bool alpha = false;         // Rgba rows
  bool trial = false;         // palette against grey decided by encoding both
};

using ReaderFactory = std::unique_ptr<ImageReader> (*)(InputFile&);
using WriterFactory = std::unique_ptr<ImageWriter> (*)(AtomicOutputFile&, const ImageInfo&, const WriteOptions&);

struct FormatRow {
  FileFormat format;
  const char* name;                        // "JPG"
  std::span<const char* const> extensions; // lower case, without the dot
  bool (*sniff)(const uint8_t* head, size_t n);  // the file's first 32 bytes, or fewer
  ReaderFactory openReader;                // null: not read
  WriterFactory createWriter;              // null: not written
  bool lossy;                              // takes a quality
  WriterLayouts layouts;
};

/// Every format, in the order the engine tries their signatures.
std::span<const FormatRow> formatTable();
/// The row of @p f; null for FileFormat::Unknown.
const FormatRow* formatRow(FileFormat f);

/// Format named by the file content's first bytes.
FileFormat sniffFormat(const uint8_t* head, size_t n);
/// An ISO BMFF file whose brands name HEIF (and not AVIF).
bool sniffHeif(const uint8_t* head, size_t n);
/// The extension of @p path as written, without the dot; "" when it has none.
std::string extensionOf(const std::string& path);
/// Format claimed by a path's extension (case-insensitive).
FileFormat formatFromExtension(const std::string& path);
const char* formatName(FileFormat f);  // "BMP", "GIF", "JPG", "PNG", ...

// Readers take the file positioned anywhere; they throw ReadError.
/// The reader for the file's content; @p path's extension names the format a
/// file that is none claims to be.
std::unique_ptr<ImageReader> openReader(InputFile& in, const std::string& path);
std::unique_ptr<ImageReader> openBmpReader(InputFile& in);
std::unique_ptr<ImageReader> openPngReader(InputFile& in);
std::unique_ptr<ImageReader> openGifReader(InputFile& in);
std::unique_ptr<ImageReader> openJpegReader(InputFile& in);
std::unique_ptr<ImageReader> openWebpReader(InputFile& in);
std::unique_ptr<ImageReader> openTiffReader(InputFile& in);
/// Decodes in the helper process pixmorph-heif; its crash is a ReadError.
std::unique_ptr<ImageReader> openHeifReader(InputFile& in);
std::unique_ptr<ImageReader> openAvifReader(InputFile& in);

// Writers receive rows in the layout of @p info; they throw WriteError.
/// The writer of @p format, which must be written.
std::unique_ptr<ImageWriter> createWriter(AtomicOutputFile& out, const ImageInfo& info, FileFormat format,
                                          const WriteOptions& options);
std::unique_ptr<ImageWriter> createBmpWriter(AtomicOutputFile& out, const ImageInfo& info);
std::unique_ptr<ImageWriter> createPngWriter(AtomicOutputFile& out, const ImageInfo& info);
/// Lossless whatever @p quality.
std::unique_ptr<ImageWriter> createTiffWriter(AtomicOutputFile& out, const ImageInfo& info, int quality);
/// Where a writer's bytes go other than a file (measuring a candidate layout).
using ByteSink = std::function<void(const void*, size_t)>;
std::unique_ptr<ImageWriter> createPngWriter(ByteSink out, const ImageInfo& info);
/// The bits (1, 2, 4 or 8) a PNG palette index takes for @p colors entries.
unsigned pngPaletteBits(size_t colors);
/// options.memory, when given, lends the whole-picture coefficient buffer
/// (see CoefficientMemory); otherwise libjpeg allocates it.
std::unique_ptr<ImageWriter> createJpegWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options);
/// Takes RGB or RGBA rows; lossless at quality 100 when info.losslessSource.
std::unique_ptr<ImageWriter> createWebpWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options);
/// Takes Gray and GrayAlpha (coded monochrome), Rgb and Rgba (coded 4:2:0, or 4:4:4 with fullChroma).
std::unique_ptr<ImageWriter> createAvifWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options);
/// The AV1 quantiser (0 best .. 63 worst) that quality 10..100 stands for.
int avifQuantizerForQuality(int quality);

}  // namespace pixmorph
