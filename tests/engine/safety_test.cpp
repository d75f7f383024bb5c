// Failure handling: messages and sides, the atomic replacement of the
// target (also when the program is killed or interrupted mid-write, and the
// order of syncs that lets a replace survive a power cut), the C entry
// point's buffer contract, truncated input.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>

#include <csignal>

#include "TestSupport.h"

namespace pmtest {
namespace {

TEST(Messages, ReaderByContentWriterByExtensionAndEachFailuresText) {
  TempDir tmp;
  const std::string src = makeSource(tmp, "really-png.jpg"), missing = tmp.path("missing.png");
  EXPECT_TRUE(transcode(src, tmp.path("a.bmp")).ok);
  EXPECT_TRUE(transcode(src, tmp.path("a.JPEG")).ok);
  for (const char* out : {"a.gif", "a.pcx"}) EXPECT_EQ(transcode(src, tmp.path(out)).status, PIXMORPH_OUTPUT_NOT_SUPPORTED);
  EXPECT_EQ(transcode(src, tmp.path("gone/out.png")).message, "Output folder does not exist");
  writeFile(tmp.path("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
  EXPECT_EQ(convertAlone(tmp.path("notes.txt")).status, PIXMORPH_INPUT_NOT_SUPPORTED);
  // Same bytes under a name that claims a format: a damaged file of that kind.
  for (const char* name : {"notes.png", "notes.jpg", "notes.JPEG", "notes.gif", "notes.bmp", "notes.tif"}) {
    fs::copy_file(tmp.path("notes.txt"), tmp.path(name));
    EXPECT_TRUE(convertAlone(tmp.path(name)).message.starts_with("Not a valid ")) << name;
  }
  // The C entry point copies the message into the caller's buffer and gives the side.
  char msg[PIXMORPH_MESSAGE_CAPACITY];
  int32_t side = 99;
  EXPECT_EQ(transcode_picture_file_2("", src.c_str(), "", tmp.path("o.bmp").c_str(), 0, 80, 0, 0, msg, &side), 8);
  EXPECT_EQ(std::string(msg) + std::to_string(side), "No Error0");
  EXPECT_EQ(transcode_picture_file_2(nullptr, src.c_str(), nullptr, tmp.path("o.xyz").c_str(), 0, 80, 1, 0, msg, &side), 32);
  EXPECT_EQ(std::string(msg) + std::to_string(side), "Output file format not supported-1");
  EXPECT_EQ(transcode_picture_file_2("", missing.c_str(), "", "o.png", 0, 80, 0, 0, msg, &side), 20);
  EXPECT_EQ(std::string(msg) + std::to_string(side), "Input file not found1");
}

// A file-size limit makes writes fail part way, as a full disk does, and
// works even for root.
TEST(AtomicOutput, TheTargetIsReplacedWholeOrNotAtAll) {
  TempDir tmp;
  const std::string src = makeSource(tmp, "big.png", 600, 400);
  const Bytes old = {'o', 'l', 'd'};
  for (const char* name : {"t.bmp", "t.png", "t.jpg"}) {
    writeFile(tmp.path(name), old);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = {4096, saved.rlim_max};
    auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    auto r = transcode(src, tmp.path(name), 100);
    setrlimit(RLIMIT_FSIZE, &saved), signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(std::pair(r.side, r.message), std::pair(FailureSide::Write, std::string("Disk is full"))) << name;
    EXPECT_EQ(readFile(tmp.path(name)), old) << name;
    EXPECT_EQ(entries(tmp.dir()), 2u) << name;
    fs::remove(tmp.path(name));
  }
  // A damaged input replaces nothing either.
  const Bytes whole = readFile(src);
  writeFile(tmp.path("cut.png"), Bytes(whole.begin(), whole.begin() + long(whole.size() / 2)));
  writeFile(tmp.path("t.bmp"), old);
  EXPECT_FALSE(transcode(tmp.path("cut.png"), tmp.path("t.bmp")).ok);
  EXPECT_EQ(readFile(tmp.path("t.bmp")), old);
  EXPECT_EQ(entries(tmp.dir()), 3u);
  // Onto itself, and through a link, which stays one while the file it names keeps its mode.
  const RgbaImage before = loadRgba(src);
  for (const std::string& name : {src, tmp.path("t.bmp")}) {
    ASSERT_TRUE(transcode(src, name).ok && transcode(name, name).ok) << name;
    EXPECT_EQ(maxDifference(loadRgba(name), before), 0) << name;
  }
  fs::create_directory(tmp.path("real"));
  writeFile(tmp.path("real/t.png"), old);
  chmod(tmp.path("real/t.png").c_str(), 0604);
  fs::create_symlink("real/t.png", tmp.path("link.png"));
  ASSERT_TRUE(transcode(src, tmp.path("link.png")).ok);
  EXPECT_TRUE(fs::is_symlink(tmp.path("link.png")));
  EXPECT_EQ(maxDifference(loadRgba(tmp.path("real/t.png")), before), 0);
  struct stat st {};
  ASSERT_EQ(stat(tmp.path("real/t.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(entries(tmp.path("real")), 1u);
  EXPECT_EQ(entries(tmp.dir()), 5u);
}

// Cuts each file every few bytes: nearly every cut must fail cleanly on the
// read side (cuts only in trailing metadata may convert).
void truncationSweep(const std::string& file, size_t step) {
  TempDir tmp;
  const Bytes bytes = readFile(file);
  const std::string cut = tmp.path("cut" + fs::path(file).extension().string());
  size_t failures = 0;
  for (size_t len = 0; len < bytes.size(); len += step) {
    writeFile(cut, Bytes(bytes.begin(), bytes.begin() + long(len)));
    failures += !convertAlone(cut).ok;
  }
  EXPECT_GT(failures, bytes.size() / step * 8 / 10) << file;
}

TEST(Truncation, FilesOfEveryWriterAndReader) {
  TempDir tmp;
  const std::string png = makeSource(tmp, "s.png", 40, 30);
  for (const char* f : {"s.png", "s.bmp", "s.jpg"}) {
    ASSERT_TRUE(transcode(png, tmp.path(f)).ok);
    truncationSweep(tmp.path(f), 7);
  }
  PM_REQUIRE_CORPUS();
  for (const char* f : {"pngsuite/basi2c08.png", "pngsuite/tbbn3p08.png", "bmpsuite/g/pal8rle.bmp", "bmpsuite/g/pal4rle.bmp",
                        "gif/giflib/pic/treescap-interlaced.gif", "jpeg/libjpeg-turbo/testimgp.jpg", "jpeg/libjpeg-turbo/testimgari.jpg"})
    truncationSweep(corpusDir() + "/" + f, 97);
}

// The tool is signalled once its output, seen among its open files, holds
// data. PIXMORPH_NO_TMPFILE=1 takes the path where O_TMPFILE is refused: the
// output is named ".t.png.<...>.tmp" there, not "#<inode> (deleted)".
TEST(Interrupted, MidWriteLeavesTheFolderAsItWas) {
  TempDir src;
  const std::string slow = makeSource(src, "slow.bmp", 4000, 3000);
  struct statfs shm {};
  for (auto [parent, signo, named] : {std::tuple{"/dev/shm", SIGKILL, false}, {".", SIGKILL, false},
                                      {".", SIGINT, false}, {".", SIGINT, true}, {".", SIGTERM, true}, {".", SIGHUP, true}}) {
    if (parent[0] == '/' && (statfs(parent, &shm) != 0 || shm.f_type != 0x01021994)) continue;  // TMPFS_MAGIC
    TempDir tmp(parent[0] == '/' ? fs::path(parent) : fs::current_path());
    writeFile(tmp.path("t.png"), {'o', 'l', 'd'});
    char* envp[] = {const_cast<char*>(named ? "PIXMORPH_NO_TMPFILE=1" : "PIXMORPH_NO_TMPFILE=0"), nullptr};
    const pid_t pid = fork();
    if (pid == 0) execle(PIXMORPH_CLI, PIXMORPH_CLI, slow.c_str(), tmp.path("t.png").c_str(), nullptr, envp), _exit(1);
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
    const std::string command = "PIXMORPH_NO_TMPFILE=" + named + " strace -f -o " + trace +
                                " -e trace=openat,fdatasync,fsync,linkat,rename,renameat,renameat2 " PIXMORPH_CLI " " +
                                src + " " + target + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const Bytes bytes = readFile(trace);
    if (status != 0 && bytes.empty()) GTEST_SKIP() << "strace is missing (scripts/setup.sh installs it) or may not trace";
    const std::string calls(bytes.begin(), bytes.end());
    const size_t data = calls.find("fdatasync("), name = calls.find("rename", data), folder = calls.find("fsync(", name);
    EXPECT_TRUE(data < name && name < folder && folder != std::string::npos) << calls;
    EXPECT_EQ(calls.find("O_TMPFILE") == std::string::npos, named == "1") << calls;
  }
}

}  // namespace
}  // namespace pmtest
