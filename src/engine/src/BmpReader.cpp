#include "Codecs.h"
#include "Errors.h"
namespace pixmorph {
std::unique_ptr<ImageReader> openBmpReader(InputFile&) { throw ReadError(kUnsupportedOption); }
}  // namespace pixmorph
