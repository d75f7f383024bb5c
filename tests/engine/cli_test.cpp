// The command-line tool: its exit codes and the message with a final period.
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "TestSupport.h"

namespace pmtest {
namespace {

struct CliRun {
  int code = -1;
  std::string out;
};

CliRun cli(const std::string& args) {
  CliRun r;
  FILE* p = popen((std::string(PIXMORPH_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  std::array<char, 256> buf{};
  while (fgets(buf.data(), int(buf.size()), p)) r.out += buf.data();
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(Cli, ExitCodesAndMessages) {
  TempDir tmp;
  ImageInfo info;
  info.width = 8, info.height = 8, info.format = PixelFormat::Rgb;
  writeImage(tmp.path("in.png"), info, makePattern(info));
  const std::string in = "'" + tmp.path("in.png") + "' ";

  CliRun ok = cli(in + "'" + tmp.path("out.jpg") + "' 55");
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out, "No Error.\n");
  EXPECT_TRUE(fs::exists(tmp.path("out.jpg")));

  CliRun missing = cli("'" + tmp.path("nope.png") + "' '" + tmp.path("o.png") + "'");
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "Input file not found.\n");

  CliRun badOut = cli(in + "'" + tmp.path("o.tga") + "'");
  EXPECT_EQ(badOut.code, 2);
  EXPECT_EQ(badOut.out, "Output file format not supported.\n");

  for (const char* args : {"", "onlyone", "a b 9", "a b 101", "a b 80x", "a b c d"}) {
    CliRun usage = cli(args);
    EXPECT_EQ(usage.code, 3) << args;
    EXPECT_TRUE(usage.out.empty()) << args;  // usage goes to stderr
  }
}

}  // namespace
}  // namespace pmtest
