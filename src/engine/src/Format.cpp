#include <cstring>
#include <string>

#include "Codecs.h"

namespace pixmorph {

FileFormat sniffFormat(const uint8_t* h, size_t n) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 8 && std::memcmp(h, kPng, 8) == 0) return FileFormat::Png;
  if (n >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return FileFormat::Jpeg;
  if (n >= 6 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0))
    return FileFormat::Gif;
  if (sniffAvif(h, n)) return FileFormat::Avif;
  // "BA" is the OS/2 bitmap array wrapping one or more "BM" images.
  if (n >= 2 && h[0] == 'B' && (h[1] == 'M' || h[1] == 'A')) return FileFormat::Bmp;
  return FileFormat::Unknown;
}

FileFormat formatFromExtension(const std::string& path) {
  auto slash = path.rfind('/');
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return FileFormat::Unknown;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = char((c >= 'A' && c <= 'Z') ? c + 32 : c);
  if (ext == "bmp") return FileFormat::Bmp;
  if (ext == "gif") return FileFormat::Gif;
  if (ext == "jpg" || ext == "jpeg") return FileFormat::Jpeg;
  if (ext == "png") return FileFormat::Png;
  if (ext == "avif") return FileFormat::Avif;
  return FileFormat::Unknown;
}

const char* formatName(FileFormat f) {
  switch (f) {
    case FileFormat::Bmp: return "BMP";
    case FileFormat::Gif: return "GIF";
    case FileFormat::Jpeg: return "JPG";
    case FileFormat::Png: return "PNG";
    case FileFormat::Avif: return "AVIF";
    default: return "image";
  }
}

}  // namespace pixmorph
