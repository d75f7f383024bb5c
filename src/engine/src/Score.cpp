#include "Score.h"

#include <exception>
#include <new>

#include "Codecs.h"
#include "Errors.h"
#include "Pixels.h"
#include "pixmorph/score.hpp"

namespace pixmorph {

RgbaPicture readRgbaPicture(ImageReader& reader) {
  const ImageInfo& info = reader.info();
  RgbaPicture pic;
  pic.width = info.width;
  pic.height = info.height;
  pic.hasAlpha = info.format == PixelFormat::Rgba || info.format == PixelFormat::GrayAlpha ||
                 (info.format == PixelFormat::Indexed && !paletteOpaque(info));
  const size_t rowBytes = size_t(info.width) * 4;
  pic.rgba.resize(rowBytes * info.height);
  const RowConverter converter(info, PixelFormat::Rgba);
  std::vector<uint8_t> row(info.rowBytes());
  for (uint32_t y = 0; y < info.height; ++y) {
    const uint8_t* src = reader.lendRows(1);
    if (!src) {
      reader.readRows(row.data(), 1);
      src = row.data();
    }
    converter.convert(src, pic.rgba.data() + y * rowBytes);
  }
  return pic;
}

RgbaPicture readRgbaPicture(InputFile& in, const std::string& path) { return readRgbaPicture(*openReader(in, path)); }

void composeOverWhite(RgbaPicture& pic) {
  for (size_t i = 0; i < pic.rgba.size(); i += 4) {
    uint8_t* px = &pic.rgba[i];
    for (int c = 0; c < 3; ++c) px[c] = overWhite(px[c], px[3]);
    px[3] = 255;
  }
  pic.hasAlpha = false;
}

namespace {

constexpr char kNoMemory[] = "Not enough memory for these images";

RgbaPicture readFile(const std::string& path) {
  InputFile in(path);
  return readRgbaPicture(in, path);
}

}  // namespace

ScoreResult scoreFiles(const std::string& originalPath, const std::string& distortedPath) {
  ScoreResult r;
  RgbaPicture original, distorted;
  for (auto [path, pic] : {std::pair{&originalPath, &original}, {&distortedPath, &distorted}}) {
    try {
      *pic = readFile(*path);
    } catch (const std::bad_alloc&) {
      r.message = kNoMemory;
      return r;
    } catch (const std::exception& e) {
      r.side = FailureSide::Read;
      r.message = *path + ": " + e.what();
      return r;
    }
  }
  if (original.hasAlpha && !distorted.hasAlpha) composeOverWhite(original);
  try {
    const Ssimulacra2Reference reference(std::move(original));
    r.score = reference.score(distorted);
  } catch (const std::bad_alloc&) {
    r.message = kNoMemory;
    return r;
  } catch (const std::exception& e) {  // sizes that differ
    r.message = e.what();
    return r;
  }
  r.ok = true;
  r.message = "No Error";
  return r;
}

}  // namespace pixmorph
