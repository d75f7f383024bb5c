// HEIF reader. libheif (1.15 as Debian ships it) can crash on valid files,
// so the decoding runs in a helper process, pixmorph-heif (src/engine/heif),
// and a crash there becomes a read error here. The helper gets the input as
// its standard input and sends the picture back through a pipe
// (HeifProtocol.h); rows stream from the pipe as the writer asks for them.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Codecs.h"
#include "Errors.h"
#include "HeifProtocol.h"
#include "Limits.h"

extern char** environ;

namespace pixmorph {

bool sniffHeif(const uint8_t* h, size_t n) {
  if (n < 16 || std::memcmp(h + 4, "ftyp", 4) != 0) return false;
  const auto brandIs = [](const uint8_t* b, const char* name) { return std::memcmp(b, name, 4) == 0; };
  const uint8_t* major = h + 8;
  for (const char* b : {"heic", "heix", "hevc", "heim", "heis", "hevm", "hevs"})
    if (brandIs(major, b)) return true;
  if (!brandIs(major, "mif1") && !brandIs(major, "msf1")) return false;
  // The structural brands also start AVIF files, which name avif or avis
  // among their compatible brands.
  const size_t boxSize = size_t(h[0]) << 24 | size_t(h[1]) << 16 | size_t(h[2]) << 8 | h[3];
  const size_t end = std::min(n, boxSize);
  for (size_t i = 16; i + 4 <= end; i += 4)
    if (brandIs(h + i, "avif") || brandIs(h + i, "avis")) return false;
  return true;
}

namespace {

namespace wire = heif;

constexpr const char* kHelperName = "pixmorph-heif";
// Silence this long means the decoder hangs: nothing a file can hold takes it
// that long between two writes on a loaded machine.
constexpr int kSilenceLimitMs = 300 * 1000;

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Installed, the helper is at a fixed place relative to the programs
// (/usr/bin -> /usr/libexec/pictoria); a program may also have it beside
// itself; and programs run from the build tree (tests live in folders of
// their own) find the one that was built.
std::string findHelper() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string candidates[3];
  if (n > 0) {
    const std::string here = folderOf(std::string(self, size_t(n)));
    candidates[0] = here + "/" PIXMORPH_HEIF_INSTALLED_RELATIVE "/" + kHelperName;
    candidates[1] = here + "/" + kHelperName;
  }
  candidates[2] = PIXMORPH_HEIF_BUILT;
  for (const std::string& c : candidates)
    if (!c.empty() && access(c.c_str(), X_OK) == 0) return c;
  return {};
}

const std::string& helperPath() {
  static const std::string path = findHelper();
  return path;
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The input as a descriptor the helper can read from the start: the file's
// own when it is a regular file (the helper maps it and never moves its
// offset), else a copy in memory (fuzzing reads from memory).
int inputDescriptor(InputFile& in, Fd& copy) {
  const int fd = fileno(in.get());
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
  copy.reset(memfd_create("pixmorph-heif-input", MFD_CLOEXEC));
  if (copy.get() < 0) throw ReadError("Cannot pass the input to the HEIC decoder");
  uint8_t chunk[1 << 16];
  for (uint64_t at = 0; at < in.size();) {
    const size_t k = size_t(std::min<uint64_t>(sizeof chunk, in.size() - at));
    if (!in.readAt(at, chunk, k)) throw ReadError("Cannot read the input file");
    for (size_t done = 0; done < k;) {
      const ssize_t w = write(copy.get(), chunk + done, k - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw ReadError("Cannot pass the input to the HEIC decoder");
      done += size_t(w);
    }
    at += k;
  }
  return copy.get();
}

class HeifReader : public ImageReader {
 public:
  explicit HeifReader(InputFile& in) {
    if (helperPath().empty())
      throw ReadError(std::string("The HEIC decoder (") + kHelperName + ") is missing from this installation");
    try {
      start(in);
      readHeader();
    } catch (...) {
      stop();
      throw;
    }
  }

  ~HeifReader() override { stop(); }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    if (count > rowsLeft_) throw ReadError("HEIC file has no more rows");
    receive(dst, checkedMul(info_.rowBytes(), count));
    rowsLeft_ -= count;
    // Everything is here; the helper has nothing more to say.
    if (rowsLeft_ == 0) stop();
  }

 private:
  void start(InputFile& in) {
    Fd copy;
    const int input = inputDescriptor(in, copy);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw ReadError("Cannot start the HEIC decoder: " + std::string(strerror(errno)));
    pipe_.reset(fds[0]);
    Fd writeEnd(fds[1]);
    // Fewer, larger reads for big pictures; the default size works too.
    static_cast<void>(fcntl(pipe_.get(), F_SETPIPE_SZ, 1 << 20));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The helper starts with default signal handling whatever the caller
    // blocks or ignores, so a write to a pipe we closed ends it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>(kHelperName), nullptr};
    const int err = posix_spawn(&pid_, helperPath().c_str(), &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
      pid_ = -1;
      throw ReadError("Cannot start the HEIC decoder: " + std::string(strerror(err)));
    }
  }

  void readHeader() {
    uint32_t head[2];
    receive(head, sizeof head);
    if (head[0] != wire::kMagic) garbled();
    if (head[1] == uint32_t(wire::Kind::Failure)) {
      uint32_t failure[2];
      receive(failure, sizeof failure);
      if (failure[1] > wire::kMaxMessageBytes || failure[0] == PIXMORPH_OK || failure[0] > PIXMORPH_FAILED) garbled();
      std::string message(failure[1], '\0');
      receive(message.data(), message.size());
      throw ReadError(pixmorph_status(failure[0]), message);
    }
    if (head[1] != uint32_t(wire::Kind::Picture)) garbled();
    wire::PictureHeader p;
    receive(&p, sizeof p);
    if (p.format > uint32_t(PixelFormat::Rgba) || p.iccLength > wire::kMaxMetadataBytes ||
        p.exifLength > wire::kMaxMetadataBytes)
      garbled();
    checkDimensions(p.width, p.height, "HEIC");
    info_.width = p.width;
    info_.height = p.height;
    info_.format = PixelFormat(p.format);
    info_.losslessSource = false;
    info_.icc.resize(p.iccLength);
    receive(info_.icc.data(), info_.icc.size());
    info_.exif.resize(p.exifLength);
    receive(info_.exif.data(), info_.exif.size());
    rowsLeft_ = p.height;
  }

  [[noreturn]] void garbled() {
    stop();
    throw ReadError("The HEIC decoder failed on this file (its answer was not understood)");
  }

  // Exactly @p n bytes from the helper; when they do not come, the helper's
  // fate is the error.
  void receive(void* dst, size_t n) {
    auto* p = static_cast<uint8_t*>(dst);
    while (n > 0) {
      pollfd pfd{pipe_.get(), POLLIN, 0};
      const int ready = poll(&pfd, 1, kSilenceLimitMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        stop();
        throw ReadError("The HEIC decoder failed on this file (it stopped responding)");
      }
      const ssize_t k = ready < 0 ? -1 : read(pipe_.get(), p, n);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) ended();
      p += k;
      n -= size_t(k);
    }
  }

  [[noreturn]] void ended() {
    pipe_.reset();
    const int status = reap();
    if (status >= 0 && WIFSIGNALED(status))
      throw ReadError("The HEIC decoder failed on this file (it crashed)");
    if (status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
      throw ReadError("The HEIC decoder failed on this file (it stopped with exit code " +
                      std::to_string(WEXITSTATUS(status)) + ")");
    throw ReadError("The HEIC decoder failed on this file (its answer was cut short)");
  }

  // The helper's wait status, or -1 when it was already collected elsewhere
  // (a caller that ignores SIGCHLD).
  int reap() {
    int status = -1;
    while (pid_ > 0 && waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) {
        status = -1;
        break;
      }
    }
    pid_ = -1;
    return status;
  }

  // Safe to run twice: the helper is killed when still running and always
  // collected, so none is left behind.
  void stop() noexcept {
    pipe_.reset();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      reap();
    }
  }

  ImageInfo info_;
  Fd pipe_;
  pid_t pid_ = -1;
  uint32_t rowsLeft_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openHeifReader(InputFile& in) { return std::make_unique<HeifReader>(in); }

}  // namespace pixmorph
