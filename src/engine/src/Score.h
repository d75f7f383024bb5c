// Pictures read for scoring.
#pragma once

#include <string>

#include "FileIO.h"
#include "Image.h"
#include "Ssimulacra2.h"

namespace pixmorph {

/// Reads a whole picture as 8-bit RGBA through the engine's readers; throws
/// ReadError. @p path names the format a file that is none claims to be.
RgbaPicture readRgbaPicture(InputFile& in, const std::string& path);
/// The rest of @p reader's rows as one 8-bit RGBA picture.
RgbaPicture readRgbaPicture(ImageReader& reader);

/// @p pic composed over white and without alpha, as an output that cannot
/// hold transparency is made from it.
void composeOverWhite(RgbaPicture& pic);

}  // namespace pixmorph
