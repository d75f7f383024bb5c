// Ends from outside: an output killed or interrupted mid-write leaves the
// folder as it was, and the order of syncs and renames that lets a replace
// survive a power cut.
#include <sys/statfs.h>
#include <sys/wait.h>

#include <csignal>

#include "TestSupport.h"

namespace pmtest {
namespace {

// The tool is signalled once its output, seen among its open files, holds data. PIXMORPH_NO_TMPFILE=1 takes the
// path where O_TMPFILE is refused: the output is named ".t.png.<...>.tmp", not "#<inode> (deleted)".
TEST(Interrupted, MidWriteLeavesTheFolderAsItWas) {
  TempDir src;
  const std::string slow = makeSource(src, "slow.bmp", 4000, 3000);
  struct statfs shm {};
  const bool tmpfs = statfs("/dev/shm", &shm) == 0 && shm.f_type == 0x01021994;  // TMPFS_MAGIC
  for (auto [parent, signo, named] : {std::tuple{"/dev/shm", SIGKILL, false}, {".", SIGKILL, false},
                                      {".", SIGINT, false}, {".", SIGINT, true}, {".", SIGTERM, true}, {".", SIGHUP, true}}) {
    if (!tmpfs && parent[0] == '/') continue;
    TempDir tmp(parent[0] == '/' ? fs::path(parent) : fs::current_path());
    writeFile(tmp.path("t.png"), {'o', 'l', 'd'});
    char* envp[] = {const_cast<char*>(named ? "PIXMORPH_NO_TMPFILE=1" : "PIXMORPH_NO_TMPFILE=0"), nullptr};
    const pid_t pid = fork();
    if (pid == 0) execle(PIXMORPH_CLI, PIXMORPH_CLI, slow.c_str(), tmp.path("t.png").c_str(), nullptr, envp), _exit(9);
    std::string to;
    for (int tries = 0; tries < 25000 && to.empty(); ++tries, usleep(200))
      for (std::error_code ec; const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        if (fs::read_symlink(fd, ec).string().starts_with(tmp.dir().string()) && fs::file_size(fd, ec) > 0 && !ec)
          to = fs::read_symlink(fd, ec).string();
    EXPECT_EQ(to.ends_with(" (deleted)"), !named) << to;
    kill(pid, signo);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), 128 + signo) << parent << named;
    EXPECT_EQ(entries(tmp.dir()), 1u) << parent << signo << named;
    EXPECT_EQ(readFile(tmp.path("t.png")), Bytes({'o', 'l', 'd'})) << parent << signo << named;
  }
}

TEST(Interrupted, DataSyncedThenRenamedThenFolderSynced) {
  TempDir tmp(fs::current_path());
  const std::string src = makeSource(tmp, "src.bmp"), target = tmp.path("t.png"), trace = tmp.path("trace");
  writeFile(target, {'o', 'l', 'd'});  // a replacement: a new file is not synced
  for (const std::string named : {"0", "1"}) {
    if (std::system(("PIXMORPH_NO_TMPFILE=" + named + " strace -f -o " + trace + " -e trace=openat,fdatasync,fsync," +
                     "linkat,rename,renameat,renameat2 " PIXMORPH_CLI " " + src + " " + target + " >/dev/null 2>&1")
                        .c_str()) != 0)
      GTEST_SKIP() << "strace is missing (scripts/setup.sh installs it) or may not trace here";
    const Bytes bytes = readFile(trace);
    const std::string calls(bytes.begin(), bytes.end());
    const size_t data = calls.find("fdatasync("), name = calls.find("rename", data), folder = calls.find("fsync(", name);
    EXPECT_TRUE(data < name && name < folder && folder != std::string::npos) << calls;
    EXPECT_EQ(calls.find("O_TMPFILE") == std::string::npos, named == "1") << calls;
  }
}

}  // namespace
}  // namespace pmtest
