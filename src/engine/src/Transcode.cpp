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
#include "Errors.h"
#include "HeldRows.h"
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
    case FileFormat::Avif:
      if (in.format != PixelFormat::Indexed) return in.format;
      if (paletteGray(in)) return paletteOpaque(in) ? PixelFormat::Gray : PixelFormat::GrayAlpha;
      return paletteOpaque(in) ? PixelFormat::Rgb : PixelFormat::Rgba;
    default: return in.format;
  }
}

}  // namespace

std::unique_ptr<ImageReader> openReader(InputFile& in, const std::string& path) {
  uint8_t head[64] = {};  // room for an ftyp box's compatible brands
  size_t n = in.size() < sizeof head ? size_t(in.size()) : sizeof head;
  if (n && !in.readAt(0, head, n)) throw ReadError("Cannot read the input file");
  FileFormat claimed = formatFromExtension(path);
  switch (sniffFormat(head, n)) {
    case FileFormat::Bmp: return openBmpReader(in);
    case FileFormat::Png: return openPngReader(in);
    case FileFormat::Gif: return openGifReader(in);
    case FileFormat::Jpeg: return openJpegReader(in);
    case FileFormat::Avif: return openAvifReader(in);
    default: break;
  }
  if (claimed == FileFormat::Unknown) throw ReadError(kInputNotSupported);
  if (in.size() == 0) throw ReadError("Input file is empty");
  throw ReadError(std::string("Not a valid ") + formatName(claimed) + " file");
}

std::unique_ptr<ImageWriter> createWriter(AtomicOutputFile& out, const ImageInfo& info, FileFormat format,
                                          int quality, CoefficientMemory* memory) {
  switch (format) {
    case FileFormat::Bmp: return createBmpWriter(out, info);
    case FileFormat::Png: return createPngWriter(out, info);
    case FileFormat::Avif: return createAvifWriter(out, info, quality);
    default: return createJpegWriter(out, info, quality, memory);
  }
}

struct DecodedSource {
  std::exception_ptr openFailure;  // the source could not be opened: every write fails with this
  ImageInfo info;
  std::shared_ptr<const std::vector<uint8_t>> rows;  // decoded rows, top to bottom
  std::exception_ptr rowFailure;                     // what cut the rows short
  std::string streamFrom;  // too large to hold here: each write reads this file as transcode() does
  mutable CoefficientMemory coefficients;  // shared by its JPG writes
};

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

// Small batches keep memory flat while amortising the virtual calls; very
// wide rows (a 2^28 x 1 image is legal) go one at a time.
uint32_t rowBatch(size_t widestRow) {
  return uint32_t(std::clamp<size_t>((size_t(4) << 20) / widestRow, 1, 16));
}

// The source's rows in batches, converted to one layout.
class RowBatches {
 public:
  RowBatches(ImageReader& reader, PixelFormat to)
      : reader_(reader), converter_(reader.info(), to), srcRow_(reader.info().rowBytes()),
        dstRow_(size_t(reader.info().width) * size_t(channelCount(to))),
        same_(reader.info().format == to),
        batch_(rowBatch(std::max(srcRow_, dstRow_))) {
    if (!same_) dstBuf_.resize(checkedMul(dstRow_, batch_));
  }
  uint32_t batch() const { return batch_; }
  size_t rowBytes() const { return dstRow_; }
  /// Starts again from the first row; false when the reader cannot.
  bool rewind() { return reader_.rewind(); }
  /// The next @p n (at most batch()) rows.
  const uint8_t* next(uint32_t n) {
    const uint8_t* rows = reader_.lendRows(n);
    if (!rows) {
      if (srcBuf_.empty()) srcBuf_.resize(checkedMul(srcRow_, batch_));
      reader_.readRows(srcBuf_.data(), n);
      rows = srcBuf_.data();
    }
    if (same_) return rows;
    for (uint32_t i = 0; i < n; ++i) converter_.convert(rows + i * srcRow_, dstBuf_.data() + i * dstRow_);
    return dstBuf_.data();
  }

 private:
  ImageReader& reader_;
  const RowConverter converter_;
  const size_t srcRow_, dstRow_;
  const bool same_;
  const uint32_t batch_;
  std::vector<uint8_t> srcBuf_, dstBuf_;
};

// Held rows handed to a writer as @p to (Indexed through @p remap); read
// again from @p source when they were not stored.
void writeHeld(ImageWriter& writer, const HeldRows& held, const ImageInfo& to, const uint8_t* remap,
               RowBatches* source) {
  if (!held.rowCount()) return;
  if (source && !source->rewind()) throw ReadError("Cannot read the input file");
  const uint32_t batch = source ? source->batch() : 16;
  const size_t rowBytes = to.rowBytes();
  std::vector<uint8_t> buf(checkedMul(rowBytes, batch)), compacted(source ? size_t(to.width) * 2 : 0);
  for (uint32_t y = 0; y < held.rowCount(); y += batch) {
    const uint32_t n = std::min(batch, held.rowCount() - y);
    const uint8_t* rows = source ? source->next(n) : nullptr;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* dst = buf.data() + i * rowBytes;
      if (source)
        held.convert(rows + i * source->rowBytes(), to.format, dst, remap, compacted.data());
      else
        held.expand(held.row(y + i), to.format, dst, remap);
    }
    writer.writeRows(buf.data(), n);
  }
}

// A palette in the source's order (a source palette's, or of first
// appearance), transparent entries first so tRNS stays short; @p remap takes
// the held indices to it.
ImageInfo paletteLayout(const ImageInfo& work, const HeldRows& held, uint8_t* remap) {
  ImageInfo info = work;
  info.format = PixelFormat::Indexed;
  info.palette.clear();
  const std::vector<Rgba8>& colors = held.colors();
  std::vector<size_t> order(colors.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return std::pair(colors[a].a == 255, held.rank(a)) < std::pair(colors[b].a == 255, held.rank(b));
  });
  for (size_t i : order) {
    remap[i] = uint8_t(info.palette.size());
    info.palette.push_back(colors[i]);
  }
  return info;
}

ImageInfo grayLayout(const ImageInfo& work, const HeldRows& held) {
  ImageInfo info = work;
  info.palette.clear();
  info.format = held.opaque() ? PixelFormat::Gray : PixelFormat::GrayAlpha;
  if (held.opaque()) info.grayBits = held.grayBits();
  return info;
}

// The PNG of a held picture, into @p bytes when given, else only counted.
uint64_t encodePng(const ImageInfo& info, const HeldRows& held, const uint8_t* remap, RowBatches* source,
                   std::vector<uint8_t>* bytes = nullptr) {
  uint64_t n = 0;
  auto writer = createPngWriter(
      [&](const void* p, size_t size) {
        n += size;
        if (bytes) bytes->insert(bytes->end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
      },
      info);
  writeHeld(*writer, held, info, remap, source);
  writer->finish();
  return n;
}

// A held picture's layout; when it was chosen by encoding, the file's bytes.
struct Layout {
  ImageInfo info;
  std::vector<uint8_t> encoded;
};

// The layout a whole held picture is written in, chosen from its pixels. A
// profile decides first: a grey one keeps the picture grey, an RGB one keeps
// it in colour (a palette is colour).
Layout chooseLayout(FileFormat outFormat, const ImageInfo& work, const HeldRows& held, uint8_t* remap,
                    RowBatches* source) {
  const bool grayWork = work.format == PixelFormat::Gray || work.format == PixelFormat::GrayAlpha;
  const bool mayGray = held.allGray() && (work.icc.empty() || grayWork);
  const bool mayPalette = held.paletted() && (work.icc.empty() || !grayWork);
  ImageInfo colour = work;
  colour.palette.clear();
  colour.format = held.opaque() ? PixelFormat::Rgb : PixelFormat::Rgba;
  switch (outFormat) {
    case FileFormat::Jpeg:
    case FileFormat::Avif: return {mayGray ? grayLayout(work, held) : colour, {}};
    case FileFormat::Bmp:
      // A BMP palette holds no alpha.
      return {held.paletted() && held.opaque() ? paletteLayout(work, held, remap) : colour, {}};
    default: break;
  }
  if (!mayPalette) return {mayGray ? grayLayout(work, held) : colour, {}};
  ImageInfo palette = paletteLayout(work, held, remap);
  if (!mayGray) return {palette, {}};
  ImageInfo gray = grayLayout(work, held);
  // Grey at no more bits than the indices needs no palette; otherwise the
  // smaller wins, tried on pictures small enough to encode twice. The grey
  // one is kept, so a grey photo is encoded only twice.
  const unsigned grayBits = gray.format == PixelFormat::Gray ? gray.grayBits : 16;
  const bool grayFewer = grayBits <= pngPaletteBits(palette.palette.size());
  constexpr uint64_t kTrialPixels = uint64_t(4) << 20;
  if ((grayBits < 8 && grayFewer) || uint64_t(work.width) * work.height > kTrialPixels)
    return {grayFewer ? gray : palette, {}};
  std::vector<uint8_t> grayPng;
  if (encodePng(gray, held, nullptr, source, &grayPng) <= encodePng(palette, held, remap, source))
    return {gray, std::move(grayPng)};
  return {palette, {}};
}

// One attempt at the conversion. A picture with many colours streams; with
// @p mayDropAlpha its alpha is left out while every pixel is opaque, and a
// later translucent pixel returns false to start again keeping it.
bool convert(const OpenSource& open, const std::string& outputPath, FileFormat outFormat, int quality,
             bool mayDropAlpha, CoefficientMemory* memory) {
  Source source = open();
  const ImageInfo& src = source.reader->info();

  ImageInfo work = src;
  work.format = targetFormat(outFormat, src);
  if (work.format != PixelFormat::Indexed) work.palette.clear();
  // A profile for other pixels (a CMYK one on RGB output) would mislead
  // colour-managed viewers.
  if (!iccProfileFits(work.icc, work.format)) work.icc.clear();

  RowBatches batches(*source.reader, work.format);
  uint32_t y = 0, n = 0;
  const uint8_t* rows = nullptr;
  // A JPG is only ever made smaller by losing its colour channels; a
  // palette's own say on that is taken above.
  const bool hold =
      outFormat != FileFormat::Jpeg || (work.format == PixelFormat::Rgb && src.format != PixelFormat::Indexed);
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
      Layout layout = chooseLayout(outFormat, work, *held, remap, again);
      if (!iccProfileFits(layout.info.icc, layout.info.format)) layout.info.icc.clear();
      AtomicOutputFile file(outputPath);
      if (layout.encoded.empty()) {
        std::unique_ptr<ImageWriter> writer = createWriter(file, layout.info, outFormat, quality, memory);
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

  AtomicOutputFile file(outputPath);
  std::unique_ptr<ImageWriter> writer = createWriter(file, out, outFormat, quality, memory);
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

// The output format @p outputPath names, once the output and @p quality are
// known to be writable: checked before the input is opened.
FileFormat outputFormatFor(const std::string& outputPath, int quality) {
  FileFormat outFormat = formatFromExtension(outputPath);
  if (outFormat == FileFormat::Unknown || outFormat == FileFormat::Gif)
    throw WriteError(kOutputNotSupported);
  // The quality means something only to JPG and AVIF outputs.
  if ((outFormat == FileFormat::Jpeg || outFormat == FileFormat::Avif) && (quality < 10 || quality > 100))
    throw OtherError("Quality must be between 10 and 100");
  return outFormat;
}

void run(const OpenSource& open, const std::string& outputPath, int quality, CoefficientMemory* memory = nullptr) {
  const FileFormat outFormat = outputFormatFor(outputPath, quality);
  if (!convert(open, outputPath, outFormat, quality, true, memory))
    convert(open, outputPath, outFormat, quality, false, memory);
}

template <typename Work>
TranscodeResult resultOf(Work&& work) {
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

}  // namespace

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
  return resultOf([&] {
    run(
        [&] {
          if (source.openFailure) std::rethrow_exception(source.openFailure);
          return Source{nullptr, std::make_unique<BufferedReader>(source.info, source.rows, source.rowFailure)};
        },
        outputPath, quality, &source.coefficients);
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
