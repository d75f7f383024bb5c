#include "Exif.h"

#include <cstddef>

namespace pixmorph {

namespace {

// Locates the value bytes of IFD0's orientation entry (tag 0x0112, SHORT).
// Returns the offset into @p t, or 0 when absent; sets @p little.
size_t findOrientation(const std::vector<uint8_t>& t, bool& little) {
  if (t.size() < 8) return 0;
  if (t[0] == 'I' && t[1] == 'I') little = true;
  else if (t[0] == 'M' && t[1] == 'M') little = false;
  else return 0;
  auto u16 = [&](size_t o) -> unsigned {
    return little ? t[o] | (t[o + 1] << 8) : (t[o] << 8) | t[o + 1];
  };
  auto u32 = [&](size_t o) -> uint32_t {
    return little ? uint32_t(u16(o)) | (uint32_t(u16(o + 2)) << 16)
                  : (uint32_t(u16(o)) << 16) | uint32_t(u16(o + 2));
  };
  if (u16(2) != 42) return 0;
  uint32_t ifd = u32(4);
  if (ifd > t.size() || t.size() - ifd < 2) return 0;
  unsigned count = u16(ifd);
  for (unsigned i = 0; i < count; ++i) {
    size_t e = size_t(ifd) + 2 + size_t(i) * 12;
    if (e + 12 > t.size()) return 0;
    if (u16(e) == 0x0112 && u16(e + 2) == 3 && u32(e + 4) >= 1) return e + 8;
  }
  return 0;
}

}  // namespace

int exifOrientation(const std::vector<uint8_t>& tiff) {
  bool little = false;
  size_t o = findOrientation(tiff, little);
  if (!o) return 1;
  unsigned v = little ? tiff[o] | (tiff[o + 1] << 8) : (tiff[o] << 8) | tiff[o + 1];
  return (v >= 1 && v <= 8) ? int(v) : 1;
}

void exifResetOrientation(std::vector<uint8_t>& tiff) {
  bool little = false;
  size_t o = findOrientation(tiff, little);
  if (!o) return;
  tiff[o] = little ? 1 : 0;
  tiff[o + 1] = little ? 0 : 1;
}

}  // namespace pixmorph
