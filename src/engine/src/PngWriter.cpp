#include "Codecs.h"
#include "Errors.h"
namespace pixmorph {
std::unique_ptr<ImageWriter> createPngWriter(AtomicOutputFile&, const ImageInfo&) { throw WriteError(kOutputNotSupported); }
}  // namespace pixmorph
