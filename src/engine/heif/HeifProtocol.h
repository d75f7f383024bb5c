// What pixmorph-heif sends back to the engine through its standard output.
// Both ends are built together for one machine, so numbers are 32-bit words
// in the machine's own byte order:
//   kMagic, then a Kind;
//   Kind::Failure: status (pixmorph_status), length, that many bytes of text;
//   Kind::Picture: width, height, format (PixelFormat, never Indexed),
//     ICC length, EXIF length, the ICC profile, the EXIF, then height rows of
//     width * channels bytes.
// The helper exits 0 after a picture and kFailureExit after a failure; any
// other end (a signal, a short stream) is the decoder's crash.
#pragma once

#include <cstdint>

namespace pixmorph::heif {

inline constexpr uint32_t kMagic = 0x31465850;  // "PXF1"
inline constexpr int kFailureExit = 1;

enum class Kind : uint32_t { Picture = 1, Failure = 2 };

// The reader refuses anything longer, so a damaged stream cannot make it
// allocate by what it claims.
inline constexpr uint32_t kMaxMessageBytes = 1024;
inline constexpr uint32_t kMaxMetadataBytes = 16u << 20;

struct PictureHeader {
  uint32_t width, height, format, iccLength, exifLength;
};

}  // namespace pixmorph::heif
