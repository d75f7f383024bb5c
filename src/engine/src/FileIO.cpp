#include "FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "Errors.h"

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
// and group where the process may (otherwise the new file stays ours).
void keepModeOf(const std::string& replaced, int fd) {
  struct stat st {};
  if (::stat(replaced.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
  // After fchown, which clears set-user-ID bits.
  if (fchmod(fd, st.st_mode & 07777) != 0) errno = 0;
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
  // The temporary sits in the target's folder so the final rename stays on
  // one file system and is atomic.
  std::string dir, base = target_;
  if (auto slash = target_.rfind('/'); slash != std::string::npos) {
    dir = target_.substr(0, slash + 1);
    base = target_.substr(slash + 1);
  }
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  int err = 0;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%llx.tmp", int(getpid()), counter++,
                  static_cast<unsigned long long>(tick) & 0xffffffULL);
    temp_ = dir + "." + base + suffix;
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    err = errno;
    if (fd < 0 && err != EEXIST) break;
  }
  if (fd < 0) {
    temp_.clear();
    throw WriteError(writeFailureMessage(err));
  }
  keepModeOf(target_, fd);
  f_ = fdopen(fd, "wb");
  if (!f_) {
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
    throw WriteError(writeFailureMessage(errno));
  }
  static_cast<void>(setvbuf(f_, nullptr, _IOFBF, 1 << 18));
}

AtomicOutputFile::~AtomicOutputFile() {
  if (f_) fclose(f_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicOutputFile::write(const void* data, size_t n) {
  if (n && fwrite(data, 1, n, f_) != n) throw WriteError(writeFailureMessage(errno));
}

void AtomicOutputFile::seek(uint64_t offset) {
  if (fseeko(f_, off_t(offset), SEEK_SET) != 0) throw WriteError(writeFailureMessage(errno));
}

void AtomicOutputFile::commit() {
  int err = 0;
  if (fflush(f_) != 0 || ferror(f_)) err = errno ? errno : EIO;
  if (fclose(f_) != 0 && !err) err = errno ? errno : EIO;
  f_ = nullptr;
  if (err) throw WriteError(writeFailureMessage(err));
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) throw WriteError(writeFailureMessage(errno));
  committed_ = true;
}

}  // namespace pixmorph
