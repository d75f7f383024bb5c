// ICC profiles for colour described by code points (ITU-T H.273 / CICP), as
// HEIF and AVIF files do with an "nclx" box instead of a profile.
#pragma once

#include <cstdint>
#include <vector>

namespace pixmorph {

/// An ICC profile equivalent to @p colourPrimaries and
/// @p transferCharacteristics, so a colour-managed viewer shows the output's
/// colours as the source meant them. Empty where none is needed (sRGB, or
/// unspecified, which viewers take as sRGB) and where a profile cannot say it
/// (the HDR transfers PQ and HLG, and code points we do not know): the
/// pixels then pass as they are.
std::vector<uint8_t> iccFromCicp(int colourPrimaries, int transferCharacteristics);

}  // namespace pixmorph
