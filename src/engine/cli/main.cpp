// pixmorph-convert INPUT OUTPUT [QUALITY]: one conversion from the shell.
// Exit codes: 0 success (and --help, --version), 1 read failure, 2 write
// failure, 3 anything else, 128 + the signal's number when SIGINT, SIGTERM
// or SIGHUP ends it.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pixmorph/transcode.hpp"

namespace {

const char kUsage[] =
    "usage: pixmorph-convert INPUT OUTPUT [QUALITY]\n"
    "  INPUT   BMP, GIF, JPG or PNG file\n"
    "  OUTPUT  file ending in .bmp, .jpg, .jpeg or .png\n"
    "  QUALITY JPG quality 10..100 (default 80)\n";

// Ends at once with the target untouched and no temporary left.
void endOnSignal(int signo) {
  pixmorph::removeUnfinishedOutput();
  _exit(128 + signo);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("pixmorph-convert 1.00");
    return 0;
  }
  int quality = 80;
  bool argsOk = argc == 3 || argc == 4;
  if (argc == 4) {
    char* end = nullptr;
    long q = std::strtol(argv[3], &end, 10);
    argsOk = *argv[3] && *end == '\0' && q >= 10 && q <= 100;
    quality = int(q);
  }
  if (!argsOk) {
    std::fputs(kUsage, stderr);
    return 3;
  }
  for (int signo : {SIGINT, SIGTERM, SIGHUP})
    if (std::signal(signo, endOnSignal) == SIG_IGN) std::signal(signo, SIG_IGN);  // as nohup asked
  pixmorph::TranscodeResult r = pixmorph::transcode(argv[1], argv[2], quality);
  std::printf("%s.\n", r.message.c_str());
  if (r.ok) return 0;
  if (r.side == pixmorph::FailureSide::Read) return 1;
  if (r.side == pixmorph::FailureSide::Write) return 2;
  return 3;
}
