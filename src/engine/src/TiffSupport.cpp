#include "TiffSupport.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "Limits.h"

namespace pixmorph {

namespace {

void keep(std::string& to, const char* fmt, va_list ap) {
  char text[256];
  std::vsnprintf(text, sizeof text, fmt, ap);
  try {
    to = text;
  } catch (...) {  // nothing may leave through libtiff's C frames
  }
}

// Both return 1: handled, libtiff's global handlers are not called.
int keepError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  keep(static_cast<TiffMessages*>(user)->lastError, fmt, ap);
  return 1;
}

int keepWarning(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  keep(static_cast<TiffMessages*>(user)->lastWarning, fmt, ap);
  return 1;
}

int closeNothing(thandle_t) { return 0; }
int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

// Bytes each element of a directory entry's type takes; 0 for types left out.
int typeSize(uint16_t type) {
  switch (type) {
    case TIFF_BYTE: case TIFF_ASCII: case TIFF_SBYTE: case TIFF_UNDEFINED: return 1;
    case TIFF_SHORT: case TIFF_SSHORT: return 2;
    case TIFF_LONG: case TIFF_SLONG: case TIFF_FLOAT: return 4;
    case TIFF_RATIONAL: case TIFF_SRATIONAL: case TIFF_DOUBLE: return 8;
    default: return 0;  // IFD pointers cannot be moved blindly; 64-bit types have no classic form
  }
}

constexpr size_t kMaxEntries = 1000;
constexpr uint64_t kMaxValueBytes = 1 << 20;  // a maker note can be large; nothing sane is larger

}  // namespace

TiffHandle openTiffClient(const char* mode, thandle_t handle, TIFFReadWriteProc read, TIFFReadWriteProc write,
                          TIFFSeekProc seek, TIFFSizeProc size, TiffMessages& messages, TIFFMapFileProc map) {
  // Messages about no TIFF in particular (before one is set up) go to the
  // global handlers, which would print them: they are switched off once.
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxBufferBytes));
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), keepWarning, &messages);
  return TiffHandle(TIFFClientOpenExt("TIFF", mode, handle, read, write, seek, closeNothing, size, map ? map : mapNothing,
                                      unmapNothing, options.get()));
}

uint32_t tiffGet(const uint8_t* p, int bytes, bool little) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(p[little ? i : bytes - 1 - i]) << (8 * i);
  return v;
}

uint64_t tiffGet64(const uint8_t* p, bool little) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t(p[little ? i : 7 - i]) << (8 * i);
  return v;
}

uint64_t firstIfdOffset(const uint8_t* head, bool little, bool bigTiff) {
  return bigTiff ? tiffGet64(head + 8, little) : tiffGet(head + 4, 4, little);
}

void tiffPut(uint8_t* p, uint32_t v, int bytes, bool little) {
  for (int i = 0; i < bytes; ++i) p[little ? i : bytes - 1 - i] = uint8_t(v >> (8 * i));
}

std::vector<IfdEntry> readIfd(const ByteSource& src, bool little, bool bigTiff, uint64_t offset) {
  std::vector<IfdEntry> out;
  uint8_t head[8];
  if (!src(offset, head, bigTiff ? 8 : 2)) return out;
  const uint64_t count = bigTiff ? tiffGet64(head, little) : tiffGet(head, 2, little);
  if (count > kMaxEntries) return out;
  const size_t entrySize = bigTiff ? 20 : 12, inlineBytes = bigTiff ? 8 : 4;
  std::vector<uint8_t> table(size_t(count) * entrySize);
  if (!src(offset + (bigTiff ? 8 : 2), table.data(), table.size())) return out;
  uint64_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = &table[i * entrySize];
    IfdEntry entry;
    entry.tag = uint16_t(tiffGet(e, 2, little));
    entry.type = uint16_t(tiffGet(e + 2, 2, little));
    const uint64_t n = bigTiff ? tiffGet64(e + 4, little) : tiffGet(e + 4, 4, little);
    const int size = typeSize(entry.type);
    if (size == 0 || n == 0 || n > kMaxValueBytes / size) continue;
    const uint64_t bytes = n * size;
    if ((total += bytes) > 4 * kMaxValueBytes) break;
    entry.count = uint32_t(n);
    entry.value.resize(bytes);
    const uint8_t* field = e + (bigTiff ? 12 : 8);
    if (bytes <= inlineBytes) {
      std::copy(field, field + bytes, entry.value.begin());
    } else {
      const uint64_t at = bigTiff ? tiffGet64(field, little) : tiffGet(field, 4, little);
      if (!src(at, entry.value.data(), bytes)) continue;
    }
    out.push_back(std::move(entry));
  }
  return out;
}

std::vector<uint8_t> serializeIfd(std::vector<IfdEntry> entries, bool little, uint32_t base) {
  std::sort(entries.begin(), entries.end(), [](const IfdEntry& a, const IfdEntry& b) { return a.tag < b.tag; });
  const size_t tableBytes = 2 + 12 * entries.size() + 4;
  std::vector<uint8_t> out(tableBytes, 0);
  tiffPut(out.data(), uint32_t(entries.size()), 2, little);
  for (size_t i = 0; i < entries.size(); ++i) {
    const IfdEntry& e = entries[i];
    uint8_t* p = &out[2 + 12 * i];
    tiffPut(p, e.tag, 2, little);
    tiffPut(p + 2, e.type, 2, little);
    tiffPut(p + 4, e.count, 4, little);
    if (e.value.size() <= 4) {
      std::copy(e.value.begin(), e.value.end(), p + 8);
    } else {
      if (out.size() % 2) out.push_back(0);  // values start on a word boundary
      tiffPut(&out[2 + 12 * i + 8], uint32_t(base + out.size()), 4, little);
      out.insert(out.end(), e.value.begin(), e.value.end());
    }
  }
  if (out.size() % 2) out.push_back(0);
  return out;
}

bool isDescriptiveTag(uint16_t tag) {
  switch (tag) {
    case TIFFTAG_IMAGEDESCRIPTION: case TIFFTAG_MAKE: case TIFFTAG_MODEL: case TIFFTAG_SOFTWARE:
    case TIFFTAG_DATETIME: case TIFFTAG_ARTIST: case TIFFTAG_COPYRIGHT: return true;
    default: return false;
  }
}

}  // namespace pixmorph
