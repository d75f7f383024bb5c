// libFuzzer target: the WebP reader on arbitrary bytes, followed by the
// writers that its output would reach.
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return pixmorph::fuzz::run(data, size, pixmorph::openWebpReader);
}
