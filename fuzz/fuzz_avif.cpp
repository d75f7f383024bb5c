// libFuzzer target: the AVIF reader (libavif, dav1d) on arbitrary bytes.
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return pixmorph::fuzz::run(data, size, pixmorph::openAvifReader);
}
