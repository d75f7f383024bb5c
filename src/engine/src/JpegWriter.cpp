#include "Codecs.h"
#include "Errors.h"
namespace pixmorph {
std::unique_ptr<ImageWriter> createJpegWriter(AtomicOutputFile&, const ImageInfo&, int) { throw WriteError(kOutputNotSupported); }
}  // namespace pixmorph
