// The command-line tool: its exit codes and the message with a final period.
#include <sys/wait.h>

#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(Cli, ExitCodesAndMessages) {
  TempDir tmp;
  makeSource(tmp, "in.png", 8, 8);
  // Arguments, exit code, standard output (usage goes to stderr).
  for (auto [args, code, out] : {std::tuple{"in.png out.jpg 55", 0, "No Error.\n"},
                                 {"nope.png o.png", 1, "Input file not found.\n"},
                                 {"in.png o.tga", 2, "Output file format not supported.\n"},
                                 {"", 3, ""}, {"onlyone", 3, ""}, {"a b 9", 3, ""}, {"a b 101", 3, ""}, {"a b 80x", 3, ""},
                                 {"a b c d", 3, ""}, {"--help", 0, "usage: pixmorph-convert INPUT OUTPUT [QUALITY]\n"
                                                                    "  INPUT   BMP, GIF, JPG or PNG file\n"
                                                                    "  OUTPUT  file ending in .bmp, .jpg, .jpeg or .png\n"
                                                                    "  QUALITY JPG quality 10..100 (default 80)\n"}}) {
    FILE* p = popen(("cd '" + tmp.dir().string() + "' && " PIXMORPH_CLI " " + args + " 2>/dev/null").c_str(), "r");
    std::string printed(256, '\0');
    printed.resize(fread(printed.data(), 1, printed.size(), p));
    const int status = pclose(p);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, code) << args;
    EXPECT_EQ(printed, out) << args;
  }
  EXPECT_TRUE(fs::exists(tmp.path("out.jpg")));
}

}  // namespace
}  // namespace pmtest
