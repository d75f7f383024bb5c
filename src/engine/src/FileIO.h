// Owning file handles: the input, and an output that only replaces its target
// once complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

/// The new file for a target, put in place by commit() only when complete.
/// Where the file system allows it the file has no name while it is written
/// (O_TMPFILE) and commit() links it under a temporary name beside the target
/// and renames that over the target at once; elsewhere it is a named
/// temporary from the start. If the object dies uncommitted nothing is left
/// and the target is as it was. When a file is replaced the new data reach
/// the disk before the rename, and the folder is synced after it, so a power
/// cut leaves the old file or the new one. A target that is a symbolic link
/// stands for the file it names; a replaced file's mode (and owner where
/// allowed) carries over.
class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(const std::string& target);  // throws WriteError
  /// Writes into memory instead (a candidate weighed before one is chosen):
  /// commit() puts the bytes into @p memory, and no file is made.
  explicit AtomicOutputFile(std::vector<uint8_t>& memory);  // throws WriteError
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  FILE* get() const { return f_; }
  /// Throws WriteError when anything written earlier failed.
  void write(const void* data, size_t n);
  void seek(uint64_t offset);
  void commit();

 private:
  // Removes the temporary's name unless committed; lets go of the slot.
  void discard() noexcept;

  std::string target_;
  std::string dir_, base_;  // dir_ is "" or ends with '/'
  std::string temp_;        // the temporary's name once it has one
  FILE* f_ = nullptr;
  bool replacing_ = false;
  bool inSlot_ = false;     // temp_ is what removeUnfinishedOutput() removes
  bool committed_ = false;
  std::vector<uint8_t>* memory_ = nullptr;  // the memory mode's destination
  char* memoryBuffer_ = nullptr;            // its stream's buffer until then
  size_t memorySize_ = 0;
};

/// Message for a failed write, from errno ("Disk is full", ...).
std::string writeFailureMessage(int err);

}  // namespace pixmorph
