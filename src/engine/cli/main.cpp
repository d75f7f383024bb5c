// pixmorph-convert [--target N] INPUT OUTPUT [QUALITY], or --score ORIGINAL
// DISTORTED: one conversion, or one comparison, from the shell.
// Exit codes: 0 success (and --help, --version), 1 read failure, 2 write
// failure, 3 anything else (a bad argument among them), 128 + the signal's
// number when SIGINT, SIGTERM or SIGHUP ends it.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pixmorph/score.hpp"
#include "pixmorph/transcode.hpp"

namespace {

const char kUsage[] =
    "usage: pixmorph-convert [--target N] INPUT OUTPUT [QUALITY]\n"
    "       pixmorph-convert --score ORIGINAL DISTORTED\n"
    "  INPUT       BMP, GIF, JPG or PNG file\n"
    "  OUTPUT      file ending in .bmp, .jpg, .jpeg or .png\n"
    "  QUALITY     JPG quality 10..100 (default 80)\n"
    "  --target N  instead of a quality, the lowest one whose output scores\n"
    "              at least N (30..99) against INPUT; prints it and the score\n"
    "  --score     prints how close DISTORTED looks to ORIGINAL: 100 identical,\n"
    "              90 very good, 70 good, 50 medium, lower worse\n"
    "  --          ends the options\n";

constexpr int kDefaultQuality = 80;
constexpr int kReadFailed = 1, kWriteFailed = 2, kOtherFailure = 3;

// Ends at once with the target untouched and no temporary left.
void endOnSignal(int signo) {
  pixmorph::removeUnfinishedOutput();
  _exit(128 + signo);
}

// Names a bad argument and why on one line, then the usage.
int usageError(const std::string& problem) {
  std::fprintf(stderr, "pixmorph-convert: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kOtherFailure;
}

// A whole number in [low, high] from @p text, or -1.
int numberIn(const char* text, int low, int high) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return *text && *end == '\0' && v >= low && v <= high ? int(v) : -1;
}

int exitCodeOf(pixmorph::FailureSide side) {
  if (side == pixmorph::FailureSide::Read) return kReadFailed;
  if (side == pixmorph::FailureSide::Write) return kWriteFailed;
  return kOtherFailure;
}

int score(const std::string& original, const std::string& distorted) {
  const pixmorph::ScoreResult r = pixmorph::scoreFiles(original, distorted);
  if (!r.ok) {
    std::printf("%s.\n", r.message.c_str());
    return exitCodeOf(r.side);
  }
  std::printf("%.8f\n", r.score);
  return 0;
}

int convertToTarget(const std::string& input, const std::string& output, int target) {
  const pixmorph::QualityChoice c = pixmorph::transcodeSmallest(input, output, target);
  pixmorph::TranscodeResult r = c.result;
  if (r.ok) {
    std::printf("Quality %d, score %.2f%s.\n", c.quality, c.score,
                c.reachedTarget ? "" : (", below the target " + std::to_string(target)).c_str());
  } else if (r.side == pixmorph::FailureSide::Read) {
    // Not decoded whole: the plain conversion at the default quality reports
    // the same failure, or converts what it can stream.
    r = pixmorph::transcode(input, output, kDefaultQuality);
    if (r.ok) std::printf("Quality %d, not searched: the input is too large to hold.\n", kDefaultQuality);
  }
  std::printf("%s.\n", r.message.c_str());
  return r.ok ? 0 : exitCodeOf(r.side);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> operands;
  int target = 0;
  bool scoring = false, options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      options = false;
    } else if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("pixmorph-convert 1.00");
      return 0;
    } else if (arg == "--score") {
      scoring = true;
    } else if (arg == "--target") {
      if (i + 1 == argc) return usageError("--target needs a number from 30 to 99");
      target = numberIn(argv[++i], 30, 99);
      if (target < 0) return usageError("--target '" + std::string(argv[i]) + "': not a whole number from 30 to 99");
    } else {
      return usageError("'" + arg + "': unknown option");
    }
  }
  if (scoring) {
    if (target) return usageError("--score and --target exclude each other");
    if (operands.size() != 2) return usageError("--score takes two files, ORIGINAL and DISTORTED");
    return score(operands[0], operands[1]);
  }
  if (operands.size() < 2) return usageError(operands.empty() ? "INPUT and OUTPUT missing" : "OUTPUT missing");
  if (operands.size() > 3) return usageError("'" + operands[3] + "': one argument too many");
  int quality = kDefaultQuality;
  if (operands.size() == 3) {
    if (target) return usageError("'" + operands[2] + "': a quality and --target exclude each other");
    quality = numberIn(operands[2].c_str(), 10, 100);
    if (quality < 0) return usageError("quality '" + operands[2] + "': not a whole number from 10 to 100");
  }
  for (int signo : {SIGINT, SIGTERM, SIGHUP})
    if (std::signal(signo, endOnSignal) == SIG_IGN) std::signal(signo, SIG_IGN);  // as nohup asked
  if (target) return convertToTarget(operands[0], operands[1], target);
  const pixmorph::TranscodeResult r = pixmorph::transcode(operands[0], operands[1], quality);
  std::printf("%s.\n", r.message.c_str());
  return r.ok ? 0 : exitCodeOf(r.side);
}
