// libFuzzer target: the decoding that pixmorph-heif runs, called in this
// process (the engine's reader only passes its result through a pipe), and
// every row taken from it. A crash whose stack is all inside libheif or
// libde265 is the library's: the helper process exists for those.
#include <vector>

#include "HeifDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const pixmorph::heif::DecodedHeif picture = pixmorph::heif::decodeHeif(data, size);
    std::vector<uint8_t> row(picture.info().rowBytes());
    for (uint32_t y = 0; y < picture.info().height; ++y) picture.row(y, row.data());
  } catch (const std::exception&) {
  }
  return 0;
}
