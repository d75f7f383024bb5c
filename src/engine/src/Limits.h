// The fixed limits on the images the engine accepts. Readers check them from
// the header, before making any buffer the header sizes, so a tiny file
// cannot claim gigabytes, and a file converts or fails the same way whatever
// else the machine is doing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pixmorph {

/// Largest image accepted, in pixels (and the longest side). Fuzzing builds
/// lower it so that valid-but-huge headers do not drown real findings.
#ifndef PIXMORPH_MAX_PIXELS
#define PIXMORPH_MAX_PIXELS (uint64_t(1) << 28)
#endif
inline constexpr uint64_t kMaxPixels = PIXMORPH_MAX_PIXELS;

/// Largest single buffer a reader or the conversion makes for an image:
/// room for an RGBA image at the pixel limit (1 GiB).
inline constexpr uint64_t kMaxBufferBytes = kMaxPixels * 4;

/// Refuses dimensions that are zero or above kMaxPixels. Throws ReadError
/// with @p what naming the format.
void checkDimensions(uint64_t width, uint64_t height, const char* what);

/// Refuses a buffer of more than kMaxBufferBytes. Throws ReadError.
void checkBufferSize(uint64_t bytes);

/// a * b, throwing ReadError on overflow of size_t.
size_t checkedMul(size_t a, size_t b);

}  // namespace pixmorph
