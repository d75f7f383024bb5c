// Shared body of the reader fuzz targets: decode every row and convert it to
// RGB. Fuzzing builds lower the pixel limit, so huge-but-valid headers are
// refused by the readers themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "Codecs.h"
#include "Errors.h"
#include "Pixels.h"

namespace pixmorph::fuzz {

using Opener = std::unique_ptr<ImageReader> (*)(InputFile&);

inline int run(const uint8_t* data, size_t size, Opener open) {
  try {
    InputFile in(data, size);
    std::unique_ptr<ImageReader> reader = open(in);
    const ImageInfo& info = reader->info();
    std::vector<uint8_t> row(info.rowBytes()), rgb(size_t(info.width) * 3);
    const RowConverter toRgb(info, PixelFormat::Rgb);
    for (uint32_t y = 0; y < info.height; ++y) {
      reader->readRows(row.data(), 1);
      toRgb.convert(row.data(), rgb.data());
    }
  } catch (const std::exception&) {
  }
  return 0;
}

}  // namespace pixmorph::fuzz
