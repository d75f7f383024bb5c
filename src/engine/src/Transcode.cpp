// Entry points: picks the reader by content and the writer by extension,
// then streams rows from one to the other.
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <vector>

#include "Codecs.h"
#include "CoefficientMemory.h"
#include "DecodedSource.h"
#include "Errors.h"
#include "HeldRows.h"
#include "Limits.h"
#include "Pixels.h"
#include "RowLayout.h"
#include "pixmorph/transcode.h"
#include "pixmorph/transcode.hpp"

namespace pixmorph {

namespace {

// A reader and the input file it reads, if any: a source held decoded has none.
struct Source {
  std::unique_ptr<InputFile> in;
  std::unique_ptr<ImageReader> reader;
};
using OpenSource = std::function<Source()>;

Source openFile(const std::string& path) {
  Source source;
  source.in = std::make_unique<InputFile>(path);
  source.reader = openReader(*source.in, path);
  return source;
}

// One attempt at the conversion. A picture with many colours streams; with
// @p mayDropAlpha its alpha is left out while every pixel is opaque, and a
// later translucent pixel returns false to start again keeping it.
// The output file, or memory when @p memory is given.
AtomicOutputFile openOutput(const std::string& outputPath, std::vector<uint8_t>* memory) {
  if (memory) return AtomicOutputFile(*memory);
  return AtomicOutputFile(outputPath);
}

bool convert(const OpenSource& open, const std::string& outputPath, std::vector<uint8_t>* memory,
             const FormatRow& outFormat, const WriteOptions& options, bool mayDropAlpha) {
  Source source = open();
  const ImageInfo& src = source.reader->info();

  ImageInfo work = src;
  work.format = targetFormat(outFormat.layouts, src);
  if (work.format != PixelFormat::Indexed) work.palette.clear();
  // A profile for other pixels (a CMYK one on RGB output) would mislead
  // colour-managed viewers.
  if (!iccProfileFits(work.icc, work.format)) work.icc.clear();

  RowBatches batches(*source.reader, work.format);
  uint32_t y = 0, n = 0;
  const uint8_t* rows = nullptr;
  // A writer without palettes gains from holding only by finding a colour
  // picture all grey; a palette's own say on that is taken above.
  const bool hold = outFormat.layouts.palette ||
                    (outFormat.layouts.heldGray && src.format != PixelFormat::Indexed &&
                     (work.format == PixelFormat::Rgb || work.format == PixelFormat::Rgba));
  ImageInfo out = work;
  std::unique_ptr<HeldRows> held;
  // A source held whole by its reader is only looked at, then read again.
  RowBatches* again = source.reader->rewind() ? &batches : nullptr;
  if (hold) {
    held = std::make_unique<HeldRows>(work, !again);
    for (; y < src.height; y += n) {
      n = std::min(batches.batch(), src.height - y);
      rows = batches.next(n);
      if (!held->add(rows, n)) break;
    }
    if (y == src.height) {
      uint8_t remap[256] = {};
      Layout layout = chooseLayout(outFormat.layouts, work, *held, remap, again);
      if (!iccProfileFits(layout.info.icc, layout.info.format)) layout.info.icc.clear();
      AtomicOutputFile file = openOutput(outputPath, memory);
      if (layout.encoded.empty()) {
        std::unique_ptr<ImageWriter> writer = createWriter(file, layout.info, outFormat.format, options);
        writeHeld(*writer, *held, layout.info, remap, again);
        writer->finish();
      } else {
        file.write(layout.encoded.data(), layout.encoded.size());
      }
      file.commit();
      return true;
    }
    if (mayDropAlpha && work.format == PixelFormat::Rgba && held->opaque()) out.format = PixelFormat::Rgb;
    if (again) {
      // Nothing was held: all of it again.
      if (!again->rewind()) throw ReadError("Cannot read the input file");
      y = 0, rows = nullptr, held.reset();
    }
  }

  AtomicOutputFile file = openOutput(outputPath, memory);
  std::unique_ptr<ImageWriter> writer = createWriter(file, out, outFormat.format, options);
  if (held) {
    writeHeld(*writer, *held, out, nullptr, nullptr);
    held.reset();
  }
  const bool dropAlpha = out.format != work.format;
  const RowConverter withoutAlpha(work, out.format);
  std::vector<uint8_t> opaqueRows;
  if (dropAlpha) opaqueRows.resize(checkedMul(out.rowBytes(), batches.batch()));
  // The batch that ended the holding is written first, then the rest.
  for (bool first = rows != nullptr; y < src.height; y += n, first = false) {
    if (!first) {
      n = std::min(batches.batch(), src.height - y);
      rows = batches.next(n);
    }
    if (dropAlpha) {
      const size_t bytes = size_t(n) * work.rowBytes();
      for (size_t i = 3; i < bytes; i += 4)
        if (rows[i] != 255) return false;
      for (uint32_t i = 0; i < n; ++i)
        withoutAlpha.convert(rows + i * work.rowBytes(), opaqueRows.data() + i * out.rowBytes());
      rows = opaqueRows.data();
    }
    writer->writeRows(rows, n);
  }
  writer->finish();
  writer.reset();
  file.commit();
  return true;
}

// The row of the format @p outputPath names, once the output and @p quality
// are known to be writable: checked before the input is opened.
const FormatRow& outputFormatFor(const std::string& outputPath, int quality) {
  const FormatRow* row = formatRow(formatFromExtension(outputPath));
  if (!row || !row->createWriter) throw WriteError(kOutputNotSupported);
  // The quality means something only to a lossy output.
  if (row->lossy && (quality < 10 || quality > 100)) throw OtherError("Quality must be between 10 and 100");
  return *row;
}

// @p bytes, when given, receives the output instead of the file @p outputPath names.
void run(const OpenSource& open, const std::string& outputPath, int quality, CoefficientMemory* memory = nullptr,
         std::vector<uint8_t>* bytes = nullptr, bool fullChroma = false) {
  const FormatRow& outFormat = outputFormatFor(outputPath, quality);
  const WriteOptions options{quality, memory, fullChroma};
  if (!convert(open, outputPath, bytes, outFormat, options, true))
    convert(open, outputPath, bytes, outFormat, options, false);
}

// The rows of a source held decoded, each write reading them through a reader of its own.
Source heldRows(const DecodedSource& source) {
  if (source.openFailure) std::rethrow_exception(source.openFailure);
  return Source{nullptr, std::make_unique<BufferedReader>(source.info, source.rows, source.rowFailure)};
}

}  // namespace

TranscodeResult resultOf(const std::function<void()>& work) {
  TranscodeResult r;
  try {
    work();
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

TranscodeResult transcode(const std::string& inputPath, const std::string& outputPath,
                          int quality) {
  return resultOf([&] { run([&] { return openFile(inputPath); }, outputPath, quality); });
}

std::shared_ptr<const DecodedSource> decodeSource(const std::string& inputPath) {
  auto source = std::make_shared<DecodedSource>();
  Source opened;
  try {
    opened = openFile(inputPath);
  } catch (...) {
    source->openFailure = std::current_exception();
    return source;
  }
  source->info = opened.reader->info();
  auto rows = std::make_shared<std::vector<uint8_t>>();
  const size_t rowBytes = source->info.rowBytes();
  uint32_t decoded = 0;
  try {
    rows->resize(checkedMul(rowBytes, source->info.height));
  } catch (const std::bad_alloc&) {
    source->streamFrom = inputPath;
    return source;
  }
  try {
    const uint32_t batch = rowBatch(rowBytes);
    for (uint32_t y = 0; y < source->info.height; y += batch) {
      const uint32_t n = std::min(batch, source->info.height - y);
      opened.reader->readRows(rows->data() + y * rowBytes, n);
      decoded = y + n;
    }
  } catch (...) {
    // The writes meet this failure where the one-target call would: once
    // the rows read so far are used.
    source->rowFailure = std::current_exception();
    rows->resize(size_t(decoded) * rowBytes);
    rows->shrink_to_fit();
  }
  source->rows = std::move(rows);
  return source;
}

bool decodedWhole(const DecodedSource& source) {
  return !source.openFailure && !source.rowFailure && source.streamFrom.empty();
}

TranscodeResult writeTarget(const DecodedSource& source, const std::string& outputPath, int quality) {
  if (!source.streamFrom.empty()) return transcode(source.streamFrom, outputPath, quality);
  return resultOf([&] { run([&] { return heldRows(source); }, outputPath, quality, &source.coefficients); });
}

TranscodeResult encodeTarget(const DecodedSource& source, const std::string& outputName, int quality,
                             std::vector<uint8_t>& bytes, bool fullChroma) {
  return resultOf([&] {
    if (!source.streamFrom.empty()) throw ReadError("Image is too large to hold for several encodings");
    run([&] { return heldRows(source); }, outputName, quality, &source.coefficients, &bytes, fullChroma);
  });
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
