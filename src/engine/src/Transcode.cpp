// Entry points: picks the reader by content and the writer by extension,
// then streams rows from one to the other.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Pixels.h"
#include "pixmorph/transcode.h"
#include "pixmorph/transcode.hpp"

namespace pixmorph {

namespace {

// Layout in which the writer for @p out receives the rows.
PixelFormat targetFormat(FileFormat out, const ImageInfo& in) {
  switch (out) {
    case FileFormat::Png: return in.format;
    case FileFormat::Bmp:
      switch (in.format) {
        case PixelFormat::Indexed:
          return paletteOpaque(in) ? PixelFormat::Indexed : PixelFormat::Rgba;
        case PixelFormat::GrayAlpha: return PixelFormat::Rgba;
        default: return in.format;
      }
    case FileFormat::Jpeg:
      switch (in.format) {
        case PixelFormat::Gray:
        case PixelFormat::GrayAlpha: return PixelFormat::Gray;
        case PixelFormat::Indexed: return paletteGray(in) ? PixelFormat::Gray : PixelFormat::Rgb;
        default: return PixelFormat::Rgb;
      }
    default: return in.format;
  }
}

}  // namespace

std::unique_ptr<ImageReader> openReader(InputFile& in, const std::string& path) {
  uint8_t head[16] = {};
  size_t n = in.size() < sizeof head ? size_t(in.size()) : sizeof head;
  if (n && !in.readAt(0, head, n)) throw ReadError("Cannot read the input file");
  FileFormat claimed = formatFromExtension(path);
  switch (sniffFormat(head, n)) {
    case FileFormat::Bmp: return openBmpReader(in);
    case FileFormat::Png: return openPngReader(in);
    case FileFormat::Gif: return openGifReader(in);
    case FileFormat::Jpeg: return openJpegReader(in);
    default: break;
  }
  if (claimed == FileFormat::Unknown) throw ReadError(kInputNotSupported);
  if (in.size() == 0) throw ReadError("Input file is empty");
  throw ReadError(std::string("Not a valid ") + formatName(claimed) + " file");
}

std::unique_ptr<ImageWriter> createWriter(AtomicOutputFile& out, const ImageInfo& info, FileFormat format,
                                          int quality) {
  switch (format) {
    case FileFormat::Bmp: return createBmpWriter(out, info);
    case FileFormat::Png: return createPngWriter(out, info);
    default: return createJpegWriter(out, info, quality);
  }
}

namespace {

void run(const std::string& inputPath, const std::string& outputPath, int quality) {
  FileFormat outFormat = formatFromExtension(outputPath);
  if (outFormat == FileFormat::Unknown || outFormat == FileFormat::Gif)
    throw WriteError(kOutputNotSupported);
  // The quality means something only to a JPG output.
  if (outFormat == FileFormat::Jpeg && (quality < 10 || quality > 100))
    throw OtherError("Quality must be between 10 and 100");

  InputFile in(inputPath);
  std::unique_ptr<ImageReader> reader = openReader(in, inputPath);
  const ImageInfo& src = reader->info();

  ImageInfo dst = src;
  dst.format = targetFormat(outFormat, src);
  if (dst.format != PixelFormat::Indexed) dst.palette.clear();
  // A profile for other pixels (a CMYK one on RGB output) would mislead
  // colour-managed viewers.
  if (!iccProfileFits(dst.icc, dst.format)) dst.icc.clear();

  AtomicOutputFile out(outputPath);
  std::unique_ptr<ImageWriter> writer = createWriter(out, dst, outFormat, quality);

  // Small batches keep memory flat while amortising the virtual calls; very
  // wide rows (a 2^28 x 1 image is legal) go one at a time.
  const size_t srcRow = src.rowBytes(), dstRow = dst.rowBytes();
  const size_t widest = std::max(srcRow, dstRow);
  const uint32_t batch = uint32_t(std::clamp<size_t>((size_t(4) << 20) / widest, 1, 16));
  std::vector<uint8_t> srcBuf(checkedMul(srcRow, batch));
  std::vector<uint8_t> dstBuf;
  const bool same = src.format == dst.format;
  if (!same) dstBuf.resize(checkedMul(dstRow, batch));
  const RowConverter converter(src, dst.format);
  for (uint32_t y = 0; y < src.height; y += batch) {
    uint32_t n = std::min(batch, src.height - y);
    reader->readRows(srcBuf.data(), n);
    if (same) {
      writer->writeRows(srcBuf.data(), n);
    } else {
      for (uint32_t i = 0; i < n; ++i)
        converter.convert(srcBuf.data() + i * srcRow, dstBuf.data() + i * dstRow);
      writer->writeRows(dstBuf.data(), n);
    }
  }
  writer->finish();
  writer.reset();
  out.commit();
}

}  // namespace

TranscodeResult transcode(const std::string& inputPath, const std::string& outputPath,
                          int quality) {
  TranscodeResult r;
  try {
    run(inputPath, outputPath, quality);
    r.ok = true;
    r.status = PIXMORPH_OK;
    r.message = pixmorph_message(PIXMORPH_OK);
  } catch (const ReadError& e) {
    r.status = e.status();
    r.side = FailureSide::Read;
    r.message = e.what();
  } catch (const WriteError& e) {
    r.status = e.status();
    r.side = FailureSide::Write;
    r.message = e.what();
  } catch (const EngineError& e) {
    r.status = e.status();
    r.message = e.what();
  } catch (const std::bad_alloc&) {
    r.message = "Not enough memory for this image";
  } catch (const std::exception& e) {
    r.message = e.what();
  }
  return r;
}

}  // namespace pixmorph

extern "C" const char* pixmorph_message(pixmorph_status status) {
  switch (status) {
    case PIXMORPH_OK: return "No Error";
    case PIXMORPH_UNSUPPORTED_OPTION: return "Unsupported file format option";
    case PIXMORPH_INVALID_BITS_PER_PIXEL: return "Invalid bits per pixel for this file format";
    case PIXMORPH_INPUT_NOT_SUPPORTED: return "Input file format not supported";
    case PIXMORPH_OUTPUT_NOT_SUPPORTED: return "Output file format not supported";
    case PIXMORPH_READ_FAILED:
    case PIXMORPH_WRITE_FAILED:
    case PIXMORPH_FAILED: break;
  }
  return nullptr;
}

extern "C" int32_t transcode_picture_file_2(const char*, const char* inputPath, const char*,
                                            const char* outputPath, int32_t, int32_t quality,
                                            int32_t, int32_t, char* message,
                                            int32_t* failureSide) {
  pixmorph::TranscodeResult r;
  if (!inputPath || !outputPath) {
    r.message = "Missing input or output path";
  } else {
    r = pixmorph::transcode(inputPath, outputPath, quality);
  }
  if (failureSide) *failureSide = static_cast<int32_t>(r.side);
  if (!message) return 0;
  size_t n = std::min<size_t>(r.message.size(), PIXMORPH_MESSAGE_CAPACITY);
  std::memcpy(message, r.message.data(), n);
  if (n < PIXMORPH_MESSAGE_CAPACITY) message[n] = '\0';
  return static_cast<int32_t>(n);
}
