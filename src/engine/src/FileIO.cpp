#include "FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "Errors.h"
#include "pixmorph/transcode.hpp"

namespace pixmorph {

namespace {

std::string openFailureMessage(int err) {
  switch (err) {
    case ENOENT: return "Input file not found";
    case EACCES:
    case EPERM: return "No permission to read the input file";
    case EISDIR: return "Input path is a folder, not a file";
    default: return std::string("Cannot open the input file: ") + std::strerror(err);
  }
}

// The file @p path names once symbolic links are followed, so that a link
// given as the target stays a link and the file it names is replaced.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n < 0) return path;  // not a link (or not there yet): the path itself
    if (size_t(n) == sizeof buf) break;
    std::string next(buf, size_t(n));
    // A relative link is relative to the folder holding it.
    if (next[0] != '/')
      if (auto slash = path.rfind('/'); slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = std::move(next);
  }
  throw WriteError(writeFailureMessage(ELOOP));
}

// Gives the new file @p fd the mode of the file it replaces, and its owner
// and group where the process may (otherwise the new file stays ours). True
// when there is such a file.
bool keepModeOf(const std::string& replaced, int fd) {
  struct stat st {};
  if (::stat(replaced.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
  // After fchown, which clears set-user-ID bits.
  if (fchmod(fd, st.st_mode & 07777) != 0) errno = 0;
  return true;
}

// Tests stand in for a file system that refuses O_TMPFILE with this variable.
bool unnamedFilesRefused() {
  const char* value = std::getenv("PIXMORPH_NO_TMPFILE");
  return value && *value && std::strcmp(value, "0") != 0;
}

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Calls @p make (open or link) with fresh temporary names beside the target
// until one is not taken; returns its result and leaves the name in @p name,
// or the failure in @p err.
template <class Make>
int underFreshName(const std::string& dir, const std::string& base, std::string& name, int& err, Make make) {
  static std::atomic<unsigned> counter{0};
  int result = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%llx.tmp", int(getpid()), counter++,
                  static_cast<unsigned long long>(tick) & 0xffffffULL);
    name = dir + "." + base + suffix;
    if ((result = make(name.c_str())) >= 0) return result;
    if ((err = errno) != EEXIST) break;
  }
  name.clear();
  return result;
}

// The one named temporary a signal handler may remove. It is claimed by one
// output at a time, so its text never changes while it is set.
enum : int { kSlotFree, kSlotWriting, kSlotSet };
std::atomic<int> slotState{kSlotFree};
static_assert(std::atomic<int>::is_always_lock_free);
char slotPath[PATH_MAX];

bool takeSlot(const std::string& path) {
  int expected = kSlotFree;
  if (path.size() >= sizeof slotPath || !slotState.compare_exchange_strong(expected, kSlotWriting)) return false;
  std::memcpy(slotPath, path.c_str(), path.size() + 1);
  slotState.store(kSlotSet);
  return true;
}

// Makes a rename in @p dir last through a power cut.
void syncFolder(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The new name is in place either way; some file systems cannot sync a folder.
  static_cast<void>(::fsync(fd));
  ::close(fd);
}

}  // namespace

std::string writeFailureMessage(int err) {
  switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return "Disk is full";
    case EACCES:
    case EPERM:
    case EROFS: return "No permission to write the output file";
    case ENOENT:
    case ENOTDIR: return "Output folder does not exist";
    case EISDIR: return "Output path is a folder";
    case ENAMETOOLONG: return "Output path is too long";
    default: return std::string("Cannot write the output file: ") + std::strerror(err);
  }
}

InputFile::InputFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ReadError(openFailureMessage(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    if (err == EISDIR) throw ReadError(openFailureMessage(EISDIR));
    throw ReadError("Input is not a regular file");
  }
  f_ = fdopen(fd, "rb");
  if (!f_) {
    ::close(fd);
    throw ReadError(openFailureMessage(errno));
  }
  size_ = uint64_t(st.st_size);
  static_cast<void>(setvbuf(f_, nullptr, _IOFBF, 1 << 16));
}

InputFile::InputFile(const void* data, size_t size) : size_(size) {
  if (size == 0) throw ReadError("Input file is empty");
  f_ = fmemopen(const_cast<void*>(data), size, "rb");
  if (!f_) throw ReadError("Cannot read the input");
}

InputFile::~InputFile() {
  if (f_) fclose(f_);
}

bool InputFile::readAt(uint64_t offset, void* dst, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (fseeko(f_, off_t(offset), SEEK_SET) != 0) return false;
  return fread(dst, 1, n, f_) == n;
}

AtomicOutputFile::AtomicOutputFile(const std::string& target) : target_(followLinks(target)) {
  // Any name the file gets is in the target's folder, so the final rename
  // stays on one file system and is atomic.
  base_ = target_;
  if (auto slash = target_.rfind('/'); slash != std::string::npos) {
    dir_ = target_.substr(0, slash + 1);
    base_ = target_.substr(slash + 1);
  }
  int fd = -1;
  if (!unnamedFilesRefused()) {
    fd = ::open(dir_.empty() ? "." : dir_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Without /proc an unnamed file could never be given a name.
    if (fd >= 0 && ::access(procPath(fd).c_str(), F_OK) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    int err = 0;
    fd = underFreshName(dir_, base_, temp_, err, [](const char* name) {
      return ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    });
    if (fd < 0) throw WriteError(writeFailureMessage(err));
    inSlot_ = takeSlot(temp_);
  }
  replacing_ = keepModeOf(target_, fd);
  f_ = fdopen(fd, "wb");
  if (!f_) {
    const int err = errno;
    ::close(fd);
    discard();
    throw WriteError(writeFailureMessage(err));
  }
  static_cast<void>(setvbuf(f_, nullptr, _IOFBF, 1 << 18));
}

AtomicOutputFile::AtomicOutputFile(std::vector<uint8_t>& memory) : memory_(&memory) {
  f_ = open_memstream(&memoryBuffer_, &memorySize_);
  if (!f_) throw WriteError(writeFailureMessage(errno));
}

AtomicOutputFile::~AtomicOutputFile() {
  if (f_) fclose(f_);
  std::free(memoryBuffer_);
  discard();
}

void AtomicOutputFile::discard() noexcept {
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  if (inSlot_) slotState.store(kSlotFree);
  inSlot_ = false;
}

void AtomicOutputFile::write(const void* data, size_t n) {
  if (n && fwrite(data, 1, n, f_) != n) throw WriteError(writeFailureMessage(errno));
}

void AtomicOutputFile::seek(uint64_t offset) {
  if (fseeko(f_, off_t(offset), SEEK_SET) != 0) throw WriteError(writeFailureMessage(errno));
}

void AtomicOutputFile::commit() {
  if (memory_) {
    int err = fflush(f_) != 0 || ferror(f_) ? (errno ? errno : ENOMEM) : 0;
    if (fclose(f_) != 0 && !err) err = errno ? errno : ENOMEM;
    f_ = nullptr;
    if (err) throw WriteError(writeFailureMessage(err));
    memory_->assign(memoryBuffer_, memoryBuffer_ + memorySize_);
    committed_ = true;
    return;
  }
  int err = 0;
  if (fflush(f_) != 0 || ferror(f_)) err = errno ? errno : EIO;
  const int fd = fileno(f_);
  // A replacement's data reach the disk before it takes the target's name, so
  // a power cut cannot turn an overwrite into an empty or garbled file. A new
  // file risks nothing of the user's, and syncing each made the window's
  // batch of small files far dearer (bench/RESULTS.md).
  if (!err && replacing_ && ::fdatasync(fd) != 0) err = errno;
  // AT_EMPTY_PATH would need CAP_DAC_READ_SEARCH; the /proc link does not.
  if (!err && temp_.empty()) {
    const std::string self = procPath(fd);
    if (underFreshName(dir_, base_, temp_, err, [&self](const char* name) {
          return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW);
        }) == 0)
      inSlot_ = takeSlot(temp_);
  }
  if (fclose(f_) != 0 && !err) err = errno ? errno : EIO;
  f_ = nullptr;
  if (err) throw WriteError(writeFailureMessage(err));
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) throw WriteError(writeFailureMessage(errno));
  committed_ = true;
  if (replacing_) syncFolder(dir_);
}

void removeUnfinishedOutput() noexcept {
  if (slotState.load() == kSlotSet) ::unlink(slotPath);
}

}  // namespace pixmorph
