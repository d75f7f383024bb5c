#include "Limits.h"

#include <string>

#include "Errors.h"

namespace pixmorph {

void checkDimensions(uint64_t width, uint64_t height, const char* what) {
  if (width == 0 || height == 0)
    throw ReadError(std::string("Invalid ") + what + " image size (zero width or height)");
  if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels)
    throw ReadError("Image is too large (more than " + std::to_string(kMaxPixels) + " pixels)");
}

void checkBufferSize(uint64_t bytes) {
  if (bytes > kMaxBufferBytes) throw ReadError("Image is too large for the available memory");
}

size_t checkedMul(size_t a, size_t b) {
  size_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw ReadError("Image is too large");
  return r;
}

}  // namespace pixmorph
