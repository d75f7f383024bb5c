#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>

#include "Codecs.h"
#include "Errors.h"
#include "Pixels.h"

namespace pmtest {

using namespace pixmorph;

static std::unique_ptr<ImageReader> openAny(InputFile& in) {
  uint8_t head[16] = {};
  size_t n = std::min<uint64_t>(in.size(), 16);
  in.readAt(0, head, n);
  switch (sniffFormat(head, n)) {
    case FileFormat::Bmp: return openBmpReader(in);
    case FileFormat::Png: return openPngReader(in);
    case FileFormat::Gif: return openGifReader(in);
    case FileFormat::Jpeg: return openJpegReader(in);
    default: throw ReadError("unknown format");
  }
}

ImageInfo probe(const std::string& path) {
  InputFile in(path);
  return openAny(in)->info();
}

RgbaImage loadRgba(const std::string& path) {
  InputFile in(path);
  auto r = openAny(in);
  const ImageInfo& info = r->info();
  RgbaImage out;
  out.width = info.width;
  out.height = info.height;
  out.px.resize(size_t(info.width) * info.height);
  std::vector<uint8_t> row(info.rowBytes());
  const RowConverter toRgba(info, PixelFormat::Rgba);
  for (uint32_t y = 0; y < info.height; ++y) {
    r->readRows(row.data(), 1);
    toRgba.convert(row.data(), reinterpret_cast<uint8_t*>(&out.px[size_t(y) * info.width]));
  }
  return out;
}

std::vector<uint8_t> makePattern(const ImageInfo& info, uint32_t seed) {
  std::mt19937 rng(seed);
  const int c = info.channels();
  std::vector<uint8_t> px(info.rowBytes() * info.height);
  for (uint32_t y = 0; y < info.height; ++y)
    for (uint32_t x = 0; x < info.width; ++x)
      for (int k = 0; k < c; ++k) {
        uint8_t& v = px[(size_t(y) * info.width + x) * c + k];
        if (info.format == PixelFormat::Indexed) {
          v = uint8_t((x / 3 + y / 5 + rng() % 2) % info.palette.size());
        } else {
          int smooth = int((x * (k + 1) * 7 + y * (3 - k % 3) * 5) & 255);
          v = uint8_t(std::clamp(smooth + int(rng() % 9) - 4, 0, 255));
        }
      }
  return px;
}

void writeImage(const std::string& path, const ImageInfo& info, const std::vector<uint8_t>& pixels,
                int quality) {
  AtomicOutputFile out(path);
  std::unique_ptr<ImageWriter> w;
  switch (formatFromExtension(path)) {
    case FileFormat::Bmp: w = createBmpWriter(out, info); break;
    case FileFormat::Png: w = createPngWriter(out, info); break;
    case FileFormat::Jpeg: w = createJpegWriter(out, info, quality); break;
    default: throw std::runtime_error("bad extension");
  }
  const size_t rb = info.rowBytes();
  for (uint32_t y = 0; y < info.height; y += 7) {
    uint32_t n = std::min<uint32_t>(7, info.height - y);
    w->writeRows(pixels.data() + rb * y, n);
  }
  w->finish();
  w.reset();
  out.commit();
}

int maxDifference(const RgbaImage& a, const RgbaImage& b) {
  if (a.width != b.width || a.height != b.height) return 1000;
  int worst = 0;
  for (size_t i = 0; i < a.px.size(); ++i) {
    const Rgba8 &p = a.px[i], &q = b.px[i];
    worst = std::max(worst, std::abs(int(p.a) - int(q.a)));
    if (p.a == 0 || q.a == 0) continue;  // hidden colour does not matter
    worst = std::max({worst, std::abs(int(p.r) - int(q.r)), std::abs(int(p.g) - int(q.g)),
                      std::abs(int(p.b) - int(q.b))});
  }
  return worst;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string corpusDir() {
  std::error_code ec;
  return fs::is_directory(PIXMORPH_CORPUS_DIR, ec) ? std::string(PIXMORPH_CORPUS_DIR) : std::string();
}

std::vector<std::string> corpusFiles(const std::string& sub, const std::string& ext) {
  std::vector<std::string> out;
  std::error_code ec;
  fs::path root = fs::path(corpusDir()) / sub;
  if (!fs::is_directory(root, ec)) return out;
  for (auto& e : fs::recursive_directory_iterator(root, ec)) {
    if (!e.is_regular_file()) continue;
    std::string p = e.path().string();
    std::string lower = p;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower.size() >= ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0)
      out.push_back(p);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TempDir::TempDir() {
  static std::atomic<int> n{0};
  dir_ = fs::temp_directory_path() /
         ("pixmorph-test-" + std::to_string(getpid()) + "-" + std::to_string(n++));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

}  // namespace pmtest
