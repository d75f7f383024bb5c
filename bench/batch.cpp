// pixmorph-batch OUTDIR FILE...: converts every FILE to OUTDIR/NAME.png with
// two conversions in flight, as the window's batch calls the engine.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pixmorph/transcode.hpp"

int main(int argc, char** argv) {
  if (argc < 3) return 3;
  const std::filesystem::path outDir = argv[1];
  std::atomic<int> next{2}, failed{0};
  auto worker = [&] {
    for (int i = next++; i < argc; i = next++) {
      const std::filesystem::path in = argv[i];
      const auto out = outDir / in.filename().replace_extension(".png");
      if (!pixmorph::transcode(in.string(), out.string(), 80).ok) ++failed;
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  if (failed) std::fprintf(stderr, "%d conversions failed\n", failed.load());
  return failed ? 1 : 0;
}
