// The command-line tool: its exit codes, the message with a final period,
// and a bad argument named on the first line of stderr.
#include <sys/wait.h>

#include "TestSupport.h"

namespace pmtest {
namespace {

struct CliRun {
  int code;
  std::string out, firstErrorLine;
};

CliRun runCli(const TempDir& tmp, const std::string& args) {
  const std::string err = tmp.path("stderr.txt");
  FILE* p = popen(("cd '" + tmp.dir().string() + "' && " PIXMORPH_CLI " " + args + " 2>'" + err + "'").c_str(), "r");
  std::string printed(4096, '\0');
  printed.resize(fread(printed.data(), 1, printed.size(), p));
  const int status = pclose(p);
  std::ifstream errors(err);
  std::string first;
  std::getline(errors, first);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed, first};
}

const char kUsageHead[] = "usage: pixmorph-convert [--target N] INPUT OUTPUT [QUALITY]";

TEST(Cli, ExitCodesAndMessages) {
  TempDir tmp;
  makeSource(tmp, "in.png", 8, 8);
  // Arguments, exit code, standard output.
  for (auto [args, code, out] : {std::tuple{"in.png out.jpg 55", 0, "No Error.\n"},
                                 {"nope.png o.png", 1, "Input file not found.\n"},
                                 {"in.png o.tga", 2, "Output file format not supported.\n"},
                                 {"-- in.png o2.png", 0, "No Error.\n"}}) {
    const CliRun r = runCli(tmp, args);
    EXPECT_EQ(r.code, code) << args;
    EXPECT_EQ(r.out, out) << args;
  }
  EXPECT_TRUE(fs::exists(tmp.path("out.jpg")));
  EXPECT_TRUE(fs::exists(tmp.path("o2.png")));
  const CliRun help = runCli(tmp, "--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.substr(0, help.out.find('\n')), kUsageHead);
}

TEST(Cli, ABadArgumentIsNamedWithItsReasonBeforeTheUsage) {
  TempDir tmp;
  // Arguments, and what the first line of stderr must name.
  for (auto [args, named] : {std::pair{"", "INPUT and OUTPUT missing"}, {"onlyone", "OUTPUT missing"},
                             {"a b 9", "quality '9'"}, {"a b 101", "quality '101'"}, {"a b 80x", "quality '80x'"},
                             {"a b c d", "'d'"}, {"--frobnicate a b", "'--frobnicate'"},
                             {"a b --target 29", "--target '29'"}, {"a b --target", "--target needs"},
                             {"--target 80 a b 70", "exclude"}, {"--score a", "--score takes two files"},
                             {"--score a b --target 80", "exclude"}}) {
    const CliRun r = runCli(tmp, args);
    EXPECT_EQ(r.code, 3) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(r.firstErrorLine.rfind("pixmorph-convert: ", 0), 0u) << args << ": " << r.firstErrorLine;
    EXPECT_NE(r.firstErrorLine.find(named), std::string::npos) << args << ": " << r.firstErrorLine;
    std::ifstream errors(tmp.path("stderr.txt"));
    std::string line;
    std::getline(errors, line);
    std::getline(errors, line);
    EXPECT_EQ(line, kUsageHead) << args;
  }
  // After "--" a name that looks like an option is a file.
  const CliRun r = runCli(tmp, "-- --target x.png");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Input file not found.\n");
}

TEST(Cli, TargetAndScore) {
  TempDir tmp;
  makeSource(tmp, "in.png", 96, 64);
  const CliRun found = runCli(tmp, "in.png out.jpg --target 75");
  ASSERT_EQ(found.code, 0) << found.out;
  int quality = 0;
  double score = 0;
  char end[32] = {};
  ASSERT_EQ(std::sscanf(found.out.c_str(), "Quality %d, score %lf.\nNo Error%31s", &quality, &score, end), 3)
      << found.out;
  EXPECT_EQ(std::string(end), ".") << found.out;
  EXPECT_GE(score, 75);
  // The file written is the candidate that was scored.
  const CliRun scored = runCli(tmp, "--score in.png out.jpg");
  EXPECT_EQ(scored.code, 0);
  EXPECT_NEAR(std::stod(scored.out), score, 0.005);
  EXPECT_EQ(runCli(tmp, "--score in.png in.png").out, "100.00000000\n");

  makeSource(tmp, "other.png", 64, 64);
  const CliRun sizes = runCli(tmp, "--score in.png other.png");
  EXPECT_EQ(sizes.code, 3);
  EXPECT_EQ(sizes.out, "The pictures differ in size (96x64 and 64x64).\n");
  EXPECT_EQ(runCli(tmp, "--score nope.png in.png").code, 1);
  EXPECT_EQ(runCli(tmp, "nope.png o.jpg --target 80").code, 1);
  EXPECT_FALSE(fs::exists(tmp.path("o.jpg")));
}

}  // namespace
}  // namespace pmtest
