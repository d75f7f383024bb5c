// pixmorph-heif: decodes the HEIC file on its standard input and sends the
// picture, or why there is none, to its standard output (HeifProtocol.h).
// The engine runs it as a separate process because libheif can crash on
// valid files; here a crash only ends this process.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "Errors.h"
#include "HeifDecode.h"
#include "HeifProtocol.h"
#include "Limits.h"

namespace {

using namespace pixmorph;

// The whole input: mapped when it is a file, read to the end otherwise.
class Input {
 public:
  explicit Input(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) throw ReadError("Cannot read the input file");
    if (S_ISREG(st.st_mode)) {
      if (st.st_size <= 0) throw ReadError("Input file is empty");
      checkBufferSize(uint64_t(st.st_size));
      size_ = size_t(st.st_size);
      void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (p == MAP_FAILED) throw ReadError("Cannot read the input file");
      map_ = p;
      return;
    }
    uint8_t chunk[1 << 16];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw ReadError("Cannot read the input file");
      bytes_.insert(bytes_.end(), chunk, chunk + n);
      checkBufferSize(bytes_.size());
    }
    if (bytes_.empty()) throw ReadError("Input file is empty");
    size_ = bytes_.size();
  }
  ~Input() {
    if (map_) munmap(map_, size_);
  }
  const uint8_t* data() const { return map_ ? static_cast<const uint8_t*>(map_) : bytes_.data(); }
  size_t size() const { return size_; }

 private:
  void* map_ = nullptr;
  std::vector<uint8_t> bytes_;
  size_t size_ = 0;
};

// The engine stops reading (and kills us) when it has what it wants, so a
// failed write just ends the process.
void send(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const ssize_t k = write(STDOUT_FILENO, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) _exit(heif::kFailureExit);
    p += k;
    n -= size_t(k);
  }
}

void sendWords(std::initializer_list<uint32_t> words) {
  for (uint32_t w : words) send(&w, sizeof w);
}

int sendFailure(pixmorph_status status, std::string message) {
  message.resize(std::min<size_t>(message.size(), heif::kMaxMessageBytes));
  sendWords({heif::kMagic, uint32_t(heif::Kind::Failure), uint32_t(status), uint32_t(message.size())});
  send(message.data(), message.size());
  return heif::kFailureExit;
}

void sendPicture(const heif::DecodedHeif& picture) {
  const ImageInfo& info = picture.info();
  sendWords({heif::kMagic, uint32_t(heif::Kind::Picture), info.width, info.height, uint32_t(info.format),
             uint32_t(info.icc.size()), uint32_t(info.exif.size())});
  send(info.icc.data(), info.icc.size());
  send(info.exif.data(), info.exif.size());
  // About 1 MB a write keeps the pipe busy without a second copy of the picture.
  const size_t rowBytes = info.rowBytes();
  const uint32_t batch = uint32_t(std::max<size_t>(1, (size_t(1) << 20) / rowBytes));
  std::vector<uint8_t> rows(rowBytes * std::min(batch, info.height));
  for (uint32_t y = 0; y < info.height;) {
    const uint32_t n = std::min(batch, info.height - y);
    for (uint32_t k = 0; k < n; ++k) picture.row(y + k, rows.data() + rowBytes * k);
    send(rows.data(), rowBytes * n);
    y += n;
  }
}

}  // namespace

int main() {
  try {
    const Input input(STDIN_FILENO);
    const heif::DecodedHeif picture = heif::decodeHeif(input.data(), input.size());
    sendPicture(picture);
    return 0;
  } catch (const EngineError& e) {
    return sendFailure(e.status(), e.what());
  } catch (const std::bad_alloc&) {
    return sendFailure(PIXMORPH_READ_FAILED, "Not enough memory to decode the HEIC file");
  } catch (const std::exception& e) {
    return sendFailure(PIXMORPH_READ_FAILED, std::string("HEIC file could not be decoded: ") + e.what());
  }
}
