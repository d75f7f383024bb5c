// What the TIFF reader and writer share: libtiff opened quietly with the
// engine's memory limit, and a small reader and writer of raw TIFF
// directories (IFDs), which carry EXIF between TIFF files and the engine's
// EXIF blobs.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pixmorph {

/// The last error and warning libtiff reported on one TIFF; each open TIFF
/// has its own, so conversions on several threads never share one.
struct TiffMessages {
  std::string lastError, lastWarning;
};

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

/// TIFFClientOpenExt with messages collected in @p messages (never printed)
/// and single allocations capped at kMaxBufferBytes. @p map, when given,
/// hands libtiff the whole file in memory (it never unmaps it).
TiffHandle openTiffClient(const char* mode, thandle_t handle, TIFFReadWriteProc read, TIFFReadWriteProc write,
                          TIFFSeekProc seek, TIFFSizeProc size, TiffMessages& messages,
                          TIFFMapFileProc map = nullptr);

/// Bytes at an offset of some TIFF structure; false where it is shorter.
using ByteSource = std::function<bool(uint64_t offset, void* dst, size_t n)>;

/// One directory entry with its value bytes, in the byte order they came in.
struct IfdEntry {
  uint16_t tag = 0, type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> value;
};

/// The entries of the directory at @p offset (BigTIFF's layout when
/// @p bigTiff). Entries of unknown types, 64-bit types or with implausible
/// sizes are left out; an unreadable directory gives none.
std::vector<IfdEntry> readIfd(const ByteSource& src, bool little, bool bigTiff, uint64_t offset);

/// A classic directory holding @p entries, to be placed at @p base: its
/// values longer than four bytes follow it. Entries are sorted by tag.
std::vector<uint8_t> serializeIfd(std::vector<IfdEntry> entries, bool little, uint32_t base);

/// Reads a 16/24/32-bit integer in the given byte order.
uint32_t tiffGet(const uint8_t* p, int bytes, bool little);
uint64_t tiffGet64(const uint8_t* p, bool little);
/// Where the first directory starts, from a file's first 8 (16 for BigTIFF) bytes.
uint64_t firstIfdOffset(const uint8_t* head, bool little, bool bigTiff);
/// Writes a 16/32-bit integer in the given byte order.
void tiffPut(uint8_t* p, uint32_t v, int bytes, bool little);

// Tags of the EXIF blob's first directory.
inline constexpr uint16_t kTagExifIfd = 0x8769;
inline constexpr uint16_t kTagGpsIfd = 0x8825;
inline constexpr uint16_t kTagOrientation = 0x0112;

/// Whether @p tag is one of the descriptive text tags (camera, date,
/// author...) that an EXIF blob's first directory shares with a TIFF's.
bool isDescriptiveTag(uint16_t tag);

}  // namespace pixmorph
