#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
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
  RgbaImage out{info.width, info.height, std::vector<Rgba8>(size_t(info.width) * info.height)};
  std::vector<uint8_t> row(info.rowBytes());
  const RowConverter toRgba(info, PixelFormat::Rgba);
  for (uint32_t y = 0; y < info.height; ++y) {
    r->readRows(row.data(), 1);
    toRgba.convert(row.data(), reinterpret_cast<uint8_t*>(&out.px[size_t(y) * info.width]));
  }
  return out;
}

ImageInfo makeInfo(PixelFormat format, uint32_t width, uint32_t height) {
  ImageInfo info;
  info.width = width, info.height = height, info.format = format;
  return info;
}

Bytes makePattern(const ImageInfo& info) {
  std::mt19937 rng(1);
  const int c = info.channels();
  Bytes px(info.rowBytes() * info.height);
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

void writeImage(const std::string& path, const ImageInfo& info, const Bytes& pixels, int quality) {
  AtomicOutputFile out(path);
  std::unique_ptr<ImageWriter> w;
  switch (formatFromExtension(path)) {
    case FileFormat::Bmp: w = createBmpWriter(out, info); break;
    case FileFormat::Png: w = createPngWriter(out, info); break;
    case FileFormat::Jpeg: w = createJpegWriter(out, info, quality); break;
    default: throw std::runtime_error("bad extension");
  }
  const size_t rb = info.rowBytes();
  for (uint32_t y = 0; y < info.height; y += 7) w->writeRows(pixels.data() + rb * y, std::min<uint32_t>(7, info.height - y));
  w->finish();
  w.reset();
  out.commit();
}

std::string makeSource(const TempDir& tmp, const char* name, uint32_t w, uint32_t h) {
  const ImageInfo info = makeInfo(PixelFormat::Rgb, w, h);
  writeImage(tmp.path(name), info, makePattern(info));
  return tmp.path(name);
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

Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

size_t entries(const fs::path& dir) {
  return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

pixmorph::TranscodeResult convertAlone(const std::string& input) {
  TempDir tmp;
  auto r = transcode(input, tmp.path("out.png"));
  EXPECT_FALSE(r.message.empty()) << input;
  if (!r.ok) {
    EXPECT_EQ(r.side, FailureSide::Read) << input << ": " << r.message;
    EXPECT_EQ(entries(tmp.dir()), 0u) << input << ": " << r.message;
  }
  return r;
}

std::string corpusDir() {
  std::error_code ec;
  return fs::is_directory(PIXMORPH_CORPUS_DIR, ec) ? std::string(PIXMORPH_CORPUS_DIR) : std::string();
}

std::string corpusMissing() {
  return "corpus folder " + fs::path(PIXMORPH_CORPUS_DIR).lexically_normal().string() + " not found";
}

bool corpusRequired() {
  const char* v = std::getenv("PICTORIA_REQUIRE_CORPUS");
  return v && std::string(v) == "1";
}

std::vector<std::string> corpusFiles(const std::string& sub, const std::string& ext) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(fs::path(corpusDir()) / sub, ec)) {
    std::string lower = e.path().extension().string();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (e.is_regular_file() && lower == ext) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TempDir::TempDir() {
  static std::atomic<int> n{0};
  dir_ = fs::temp_directory_path() / ("pixmorph-test-" + std::to_string(getpid()) + "-" + std::to_string(n++));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

}  // namespace pmtest
