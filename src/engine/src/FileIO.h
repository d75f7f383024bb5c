// Owning file handles: the input, and an output that only replaces its target
// once complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace pixmorph {

class InputFile {
 public:
  explicit InputFile(const std::string& path);  // throws ReadError
  /// Reads from memory instead (fuzzing); @p data must outlive the object.
  InputFile(const void* data, size_t size);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  FILE* get() const { return f_; }
  uint64_t size() const { return size_; }
  /// Reads exactly @p n bytes at @p offset; false when the file is shorter.
  bool readAt(uint64_t offset, void* dst, size_t n);

 private:
  FILE* f_ = nullptr;
  uint64_t size_ = 0;
};

/// A temporary file next to the target, renamed over it by commit(). If the
/// object dies uncommitted the temporary file is removed and the target is
/// left as it was. A target that is a symbolic link stands for the file it
/// names; a replaced file's mode (and owner where allowed) carries over.
class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(const std::string& target);  // throws WriteError
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  FILE* get() const { return f_; }
  /// Throws WriteError when anything written earlier failed.
  void write(const void* data, size_t n);
  void seek(uint64_t offset);
  void commit();

 private:
  std::string target_;
  std::string temp_;
  FILE* f_ = nullptr;
  bool committed_ = false;
};

/// Message for a failed write, from errno ("Disk is full", ...).
std::string writeFailureMessage(int err);

}  // namespace pixmorph
