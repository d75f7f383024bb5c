// ICC profiles for colour described by code points.
#pragma once

#include <cstdint>
#include <vector>

namespace pixmorph {

/// An ICC profile for CICP colour primaries and transfer characteristics, or
/// empty when none is needed (sRGB, unspecified) or none can say it (PQ, HLG).
std::vector<uint8_t> iccFromCicp(int colourPrimaries, int transferCharacteristics);

}  // namespace pixmorph
