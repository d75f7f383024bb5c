// Ends from outside: an output killed or interrupted mid-write leaves the
// folder as it was, and the order of syncs and renames that makes a replace
// survive a power cut.
#include <spawn.h>
#include <sys/statfs.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <set>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace pmtest {
namespace {

// Stands in for a file system without O_TMPFILE.
constexpr const char* kNoTmpfile = "PIXMORPH_NO_TMPFILE";

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A BMP whose PNG takes a while to write: noise, which deflate cannot shorten.
void writeSlowSource(const std::string& path) {
  const uint32_t w = 4000, h = 3000, row = w * 3;
  Bytes head(54);
  auto put = [&head](size_t at, uint32_t v, int n) { for (int i = 0; i < n; ++i) head[at + i] = uint8_t(v >> 8 * i); };
  head[0] = 'B', head[1] = 'M';
  put(2, 54 + row * h, 4), put(10, 54, 4), put(14, 40, 4), put(18, w, 4), put(22, h, 4), put(26, 1, 2), put(28, 24, 2);
  std::mt19937 rng(7);
  Bytes block(1 << 16);
  for (auto& b : block) b = uint8_t(rng());
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(head.data()), 54);
  for (size_t done = 0; done < size_t(row) * h; done += block.size())
    f.write(reinterpret_cast<const char*>(block.data()), std::streamsize(std::min(block.size(), size_t(row) * h - done)));
}

pid_t startCli(const std::vector<std::string>& args, bool named) {
  if (named) setenv(kNoTmpfile, "1", 1);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  unsetenv(kNoTmpfile);
  return pid;
}

// Converts a slow source onto @p target and sends @p signo once the output
// holds data (seen through the child's open files); returns the wait status.
int interruptMidWrite(const std::string& target, int signo, bool named) {
  TempDir src;
  writeSlowSource(src.path("slow.bmp"));
  const pid_t pid = startCli({PIXMORPH_CLI, src.path("slow.bmp"), target}, named);
  const std::string dir = fs::path(target).parent_path().string() + "/";
  bool sent = false;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       !sent && std::chrono::steady_clock::now() < until;) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
      const std::string to = fs::read_symlink(fd.path(), ec).string();
      struct stat st {};
      if (to.starts_with(dir) && to != target && stat(fd.path().c_str(), &st) == 0 && st.st_size > 0) {
        sent = kill(pid, signo) == 0;
        break;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(sent) << "the conversion ended before it could be interrupted";
  return status;
}

TEST(Interrupted, KilledMidWriteLeavesOnlyWhatWasThere) {
  // The test's own folder (a disk in CI) and, where there is one, a tmpfs.
  std::vector<fs::path> parents = {fs::current_path()};
  struct statfs sf {};
  if (statfs("/dev/shm", &sf) == 0 && sf.f_type == 0x01021994 /* TMPFS_MAGIC */) parents.push_back("/dev/shm");
  else std::cout << "no tmpfs at /dev/shm: checked on the test's folder only\n";
  for (const fs::path& parent : parents) {
    TempDir tmp(parent);
    writeFile(tmp.path("out.png"), {'o', 'l', 'd'});
    writeFile(tmp.path("new.png"), {'n', 'e', 'w'});
    const auto before = listing(tmp.dir());
    EXPECT_EQ(WTERMSIG(interruptMidWrite(tmp.path("out.png"), SIGKILL, false)), SIGKILL) << parent;
    EXPECT_EQ(listing(tmp.dir()), before) << parent;
    EXPECT_EQ(readFile(tmp.path("out.png")), Bytes({'o', 'l', 'd'})) << parent;
  }
}

// Where O_TMPFILE is refused the temporary has a name, and the command-line
// tool's handler removes it; either way the target keeps its old bytes.
TEST(Interrupted, CliSignalLeavesTargetAndNoTemporary) {
  TempDir tmp(fs::current_path());
  const Bytes old = {'o', 'l', 'd'};
  for (auto [signo, named] : {std::pair{SIGINT, false}, {SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}}) {
    writeFile(tmp.path("t.png"), old);
    const int status = interruptMidWrite(tmp.path("t.png"), signo, named);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + signo) << signo << named;
    EXPECT_EQ(readFile(tmp.path("t.png")), old) << signo << named;
    EXPECT_EQ(listing(tmp.dir()), std::set<std::string>{"t.png"}) << signo << named;
  }
}

// What the program asked of the kernel, as tokens: tmpfile (O_TMPFILE
// open), named (exclusive .tmp open), datasync, link, rename (onto the
// target), dirsync.
std::string fileCalls(const std::string& traceFile, const std::string& target) {
  std::ifstream in(traceFile);
  std::string line, calls;
  auto add = [&calls](const char* token) { calls += calls.empty() ? token : std::string(" ") + token; };
  while (std::getline(in, line)) {
    if (line.find("O_TMPFILE") != std::string::npos) add("tmpfile");
    else if (line.find(".tmp\", O_WRONLY|O_CREAT|O_EXCL") != std::string::npos) add("named");
    else if (line.find("fdatasync(") != std::string::npos) add("datasync");
    else if (line.find("linkat(") != std::string::npos) add("link");
    else if (line.find("rename") != std::string::npos && line.find(target + "\"") != std::string::npos) add("rename");
    else if (line.find("fsync(") != std::string::npos) add("dirsync");
  }
  return calls;
}

TEST(Interrupted, DataSyncedThenRenamedThenFolderSynced) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed (scripts/setup.sh installs it)";
  TempDir tmp(fs::current_path());
  const std::string src = makeSource(tmp, "src.bmp"), trace = tmp.path("trace"), target = tmp.path("t.png");
  for (bool named : {false, true})
    for (bool replacing : {true, false}) {
      if (!replacing) fs::remove(target);
      const pid_t pid = startCli({"/usr/bin/env", "strace", "-f", "-o", trace, "-e",
                                  "trace=openat,fdatasync,fsync,linkat,rename,renameat,renameat2", PIXMORPH_CLI, src,
                                  target},
                                 named);
      int status = 0;
      waitpid(pid, &status, 0);
      if (WEXITSTATUS(status) != 0 && fileCalls(trace, target).empty())
        GTEST_SKIP() << "strace may not trace here (ptrace not permitted)";
      ASSERT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(fileCalls(trace, target), named ? "named datasync rename dirsync" : "tmpfile datasync link rename dirsync")
          << (named ? "named" : "unnamed") << (replacing ? ", replacing" : ", new");
      EXPECT_EQ(listing(tmp.dir()), (std::set<std::string>{"src.bmp", "t.png", "trace"}));
    }
}

}  // namespace
}  // namespace pmtest
