// Minimal EXIF (TIFF structure) access: the orientation tag only.
#pragma once

#include <cstdint>
#include <vector>

namespace pixmorph {

/// Orientation 1..8 from IFD0, or 1 when absent or unreadable.
int exifOrientation(const std::vector<uint8_t>& tiff);
/// Rewrites the orientation tag, when present, to 1 (pixels already upright).
void exifResetOrientation(std::vector<uint8_t>& tiff);

}  // namespace pixmorph
