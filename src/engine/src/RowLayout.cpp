#include "RowLayout.h"

#include <algorithm>

#include "Errors.h"

namespace pixmorph {

PixelFormat targetFormat(const WriterLayouts& w, const ImageInfo& in) {
  switch (in.format) {
    case PixelFormat::Indexed:
      if (w.palette && (w.paletteAlpha || paletteOpaque(in))) return PixelFormat::Indexed;
      if (w.alpha && !paletteOpaque(in)) return PixelFormat::Rgba;
      return w.gray && paletteGray(in) ? PixelFormat::Gray : PixelFormat::Rgb;
    case PixelFormat::GrayAlpha:
      if (w.grayAlpha) return PixelFormat::GrayAlpha;
      if (w.alpha) return PixelFormat::Rgba;
      return w.gray ? PixelFormat::Gray : PixelFormat::Rgb;
    case PixelFormat::Gray: return w.gray ? PixelFormat::Gray : PixelFormat::Rgb;
    case PixelFormat::Rgba: return w.alpha ? PixelFormat::Rgba : PixelFormat::Rgb;
    case PixelFormat::Rgb: break;
  }
  return PixelFormat::Rgb;
}

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

namespace {

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

}  // namespace

// The layout a whole held picture is written in, chosen from its pixels.
// Where the writer could hold it either way, a profile decides first: a grey
// one keeps the picture grey, an RGB one keeps it in colour (a palette is
// colour).
Layout chooseLayout(const WriterLayouts& layouts, const ImageInfo& work, const HeldRows& held, uint8_t* remap,
                    RowBatches* source) {
  const bool grayWork = work.format == PixelFormat::Gray || work.format == PixelFormat::GrayAlpha;
  const bool mayGray = layouts.heldGray && held.allGray() && (held.opaque() || layouts.grayAlpha) &&
                       (work.icc.empty() || grayWork);
  const bool mayPalette = layouts.palette && held.paletted() && (held.opaque() || layouts.paletteAlpha) &&
                          (!layouts.heldGray || work.icc.empty() || !grayWork);
  ImageInfo colour = work;
  colour.palette.clear();
  colour.format = held.opaque() || !layouts.alpha ? PixelFormat::Rgb : PixelFormat::Rgba;
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
  if (!layouts.trial || (grayBits < 8 && grayFewer) || uint64_t(work.width) * work.height > kTrialPixels)
    return {grayFewer ? gray : palette, {}};
  std::vector<uint8_t> grayPng;
  if (encodePng(gray, held, nullptr, source, &grayPng) <= encodePng(palette, held, remap, source))
    return {gray, std::move(grayPng)};
  return {palette, {}};
}

}  // namespace pixmorph
