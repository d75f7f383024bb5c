// pixmorph-score-bench SOURCE [THREADS] [CANDIDATES]: the score's cost for
// ten JPG candidates of one 12 MP picture, SOURCE stretched to 4243x2829.
// Prints the time to prepare the original and, per candidate, the seconds
// per megapixel of the comparison alone (decoding apart). Run it under
// /usr/bin/time -v for the peak memory.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Codecs.h"
#include "Score.h"

using namespace pixmorph;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of the whole process, all threads: on a shared machine
// the wall clock also counts other jobs.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// @p small stretched bilinearly to w x h, opaque.
RgbaPicture stretched(const RgbaPicture& small, uint32_t w, uint32_t h) {
  RgbaPicture out{w, h, std::vector<uint8_t>(size_t(w) * h * 4, 255), false};
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const double fx = (x + 0.5) * small.width / w - 0.5, fy = (y + 0.5) * small.height / h - 0.5;
      const uint32_t x0 = uint32_t(std::max(fx, 0.0)), y0 = uint32_t(std::max(fy, 0.0));
      const uint32_t x1 = std::min(x0 + 1, small.width - 1), y1 = std::min(y0 + 1, small.height - 1);
      const double ax = std::clamp(fx - x0, 0.0, 1.0), ay = std::clamp(fy - y0, 0.0, 1.0);
      for (int c = 0; c < 3; ++c) {
        auto at = [&](uint32_t xx, uint32_t yy) { return small.rgba[(size_t(yy) * small.width + xx) * 4 + c]; };
        const double v = (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) + (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
        out.rgba[(size_t(y) * w + x) * 4 + c] = uint8_t(v + 0.5);
      }
    }
  return out;
}

RgbaPicture readPicture(const std::string& path) {
  InputFile in(path);
  return readRgbaPicture(in, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: pixmorph-score-bench SOURCE [THREADS] [CANDIDATES]\n", stderr);
    return 3;
  }
  const unsigned threads = argc > 2 ? unsigned(std::atoi(argv[2])) : 2;
  const int candidates = argc > 3 ? std::atoi(argv[3]) : 10;
  const uint32_t w = 4243, h = 2829;
  const double mp = w * double(h) / 1e6;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pixmorph-score-bench";
  std::filesystem::create_directories(dir);
  std::vector<std::string> files;
  {
    RgbaPicture source = stretched(readPicture(argv[1]), w, h);
    ImageInfo info;
    info.width = w;
    info.height = h;
    info.format = PixelFormat::Rgb;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < size_t(w) * h; ++i) std::copy_n(&source.rgba[4 * i], 3, &rgb[3 * i]);
    for (int i = 0; i < candidates; ++i) {
      files.push_back((dir / ("q" + std::to_string(10 + 10 * i) + ".jpg")).string());
      if (std::filesystem::exists(files.back())) continue;
      AtomicOutputFile out(files.back());
      auto writer = createWriter(out, info, FileFormat::Jpeg, WriteOptions{10 + 10 * i});
      writer->writeRows(rgb.data(), h);
      writer->finish();
      writer.reset();
      out.commit();
    }
    std::filesystem::path sourceFile = dir / "source.png";
    if (!std::filesystem::exists(sourceFile)) {
      AtomicOutputFile out(sourceFile.string());
      auto writer = createWriter(out, info, FileFormat::Png, WriteOptions{});
      writer->writeRows(rgb.data(), h);
      writer->finish();
      writer.reset();
      out.commit();
    }
  }
  auto start = std::chrono::steady_clock::now();
  RgbaPicture original = readPicture((dir / "source.png").string());
  const double decodeOriginal = seconds(start);
  start = std::chrono::steady_clock::now();
  const Ssimulacra2Reference reference(std::move(original), threads);
  const double prepare = seconds(start);
  double decode = 0, compare = 0, compareCpu = 0;
  for (const std::string& file : files) {
    start = std::chrono::steady_clock::now();
    const RgbaPicture candidate = readPicture(file);
    decode += seconds(start);
    start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    const double score = reference.score(candidate);
    const double took = seconds(start), cpu = cpuSeconds() - cpuStart;
    compare += took;
    compareCpu += cpu;
    std::printf("%s: score %.3f, %.3f s (%.4f s/MP), processor %.3f s\n",
                std::filesystem::path(file).filename().c_str(), score, took, took / mp, cpu);
  }
  std::printf("threads %u: original decoded %.2f s, prepared %.3f s (%.4f s/MP); %d candidates decoded %.2f s, "
              "compared %.2f s: %.4f s/MP each (processor time %.4f s/MP)\n",
              threads, decodeOriginal, prepare, prepare / mp, candidates, decode, compare, compare / candidates / mp,
              compareCpu / candidates / mp);
  return 0;
}
