// Factories of the format readers and writers.
#pragma once

#include <functional>
#include <memory>

#include "FileIO.h"
#include "Image.h"

namespace pixmorph {

class CoefficientMemory;

enum class FileFormat { Unknown, Bmp, Gif, Jpeg, Png, Avif };

/// Format named by the file content's first bytes.
FileFormat sniffFormat(const uint8_t* head, size_t n);
/// Format claimed by a path's extension (case-insensitive).
FileFormat formatFromExtension(const std::string& path);
const char* formatName(FileFormat f);  // "BMP", "GIF", "JPG", "PNG"

// Readers take the file positioned anywhere; they throw ReadError.
/// The reader for the file's content; @p path's extension names the format a
/// file that is none claims to be.
std::unique_ptr<ImageReader> openReader(InputFile& in, const std::string& path);
std::unique_ptr<ImageReader> openBmpReader(InputFile& in);
std::unique_ptr<ImageReader> openPngReader(InputFile& in);
std::unique_ptr<ImageReader> openGifReader(InputFile& in);
std::unique_ptr<ImageReader> openJpegReader(InputFile& in);
/// True for an ISO BMFF file whose ftyp box names the avif or avis brand.
bool sniffAvif(const uint8_t* head, size_t n);
std::unique_ptr<ImageReader> openAvifReader(InputFile& in);

// Writers receive rows in the layout of @p info; they throw WriteError.
/// The writer for @p format (BMP, PNG, or else JPG at @p quality).
std::unique_ptr<ImageWriter> createWriter(AtomicOutputFile& out, const ImageInfo& info, FileFormat format,
                                          int quality, CoefficientMemory* memory = nullptr);
std::unique_ptr<ImageWriter> createBmpWriter(AtomicOutputFile& out, const ImageInfo& info);
std::unique_ptr<ImageWriter> createPngWriter(AtomicOutputFile& out, const ImageInfo& info);
/// Where a writer's bytes go other than a file (measuring a candidate layout).
using ByteSink = std::function<void(const void*, size_t)>;
std::unique_ptr<ImageWriter> createPngWriter(ByteSink out, const ImageInfo& info);
/// The bits (1, 2, 4 or 8) a PNG palette index takes for @p colors entries.
unsigned pngPaletteBits(size_t colors);
/// @p memory, when given, lends the whole-picture coefficient buffer (see
/// CoefficientMemory); otherwise libjpeg allocates it.
std::unique_ptr<ImageWriter> createJpegWriter(AtomicOutputFile& out, const ImageInfo& info, int quality,
                                              CoefficientMemory* memory = nullptr);
/// Takes Gray, GrayAlpha (coded monochrome), Rgb and Rgba (coded 4:2:0).
std::unique_ptr<ImageWriter> createAvifWriter(AtomicOutputFile& out, const ImageInfo& info, int quality);
/// The AV1 quantiser (0 best .. 63 worst) that quality 10..100 stands for.
int avifQuantizerForQuality(int quality);

}  // namespace pixmorph
