// Loading, lookup and the creatability check of the text library, against
// real files in a scratch folder.
#include "textlib/textlib.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "textlib-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    fs::path file(const std::string& name, const std::string& bytes) const {
        const fs::path p = path_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string text(int number, int language = 0) {
    char buffer[TEXTLIB_MAX_TEXT_BYTES];
    const int32_t n = gt(number, language, buffer, sizeof buffer, 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("<none>");
}

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

std::string numberedLines(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "# filler\n";
    return s;
}

struct LoadCase {
    const char* name;
    std::string content;
    int32_t status;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadStatus : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadStatus, ReportsTheFaultAndItsLine) {
    ScratchDir dir;
    const fs::path file = dir.file("pxfm.dat", GetParam().content);
    EXPECT_EQ(lt(file.c_str(), 0), GetParam().status);
}

const std::string kLongText = repeat('x', TEXTLIB_MAX_TEXT_BYTES + 1);
const std::string kLongestText = repeat('y', TEXTLIB_MAX_TEXT_BYTES);

INSTANTIATE_TEST_SUITE_P(
    Files, LoadStatus,
    ::testing::Values(
        LoadCase{"OneText", "1 0 Pictoria\n", 1},
        LoadCase{"CountsEveryLanguage", "1 0 a\n1 1 b\n2 0 ~\n", 3},
        LoadCase{"ByteOrderMark", "\xEF\xBB\xBF" "1 0 a\n", 1},
        LoadCase{"LongestText", "1 0 " + kLongestText + "\n", 1},
        LoadCase{"OnlyComments", "# nothing yet\n\n   # indented\n", 0},
        LoadCase{"EmptyFile", "", -6},
        LoadCase{"InvalidUtf8", "1 0 caf\xE9\n", -7},
        LoadCase{"NulByte", std::string("1 0 a\0b\n", 8), -7},
        LoadCase{"NumberWithoutText", "1 0 a\n2\n", -502},
        LoadCase{"NumberGluedToText", "1 0 a\n2x 0 text\n", -502},
        LoadCase{"NumberOutOfRange", "32768 0 text\n", -501},
        LoadCase{"MissingCappedAtLine500", numberedLines(700) + "5\n", -1000},
        LoadCase{"TooLong", "1 0 a\n\n2 0 " + kLongText + "\n", -1003},
        LoadCase{"Duplicate", "1 0 a\n1 1 b\n# c\n1 0 c\n", -1504},
        LoadCase{"DuplicateCappedAtLine500", "1 0 a\n" + numberedLines(800) + "1 0 b\n", -2000},
        LoadCase{"FirstFaultWins", "1 0 a\n2\n1 0 b\n", -502}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(Load, MissingFolderOrHugeFile) {
    ScratchDir dir;
    EXPECT_EQ(lt((dir.path() / "absent.dat").c_str(), 0), -1);
    EXPECT_EQ(lt("", 0), -1);
    EXPECT_EQ(lt(nullptr, 0), -1);
    EXPECT_EQ(lt(dir.path().c_str(), 0), -7);
    EXPECT_EQ(lt(dir.file("big.dat", std::string(5u * 1024u * 1024u, '#')).c_str(), 0), -3);
}

TEST(Load, UnreadableFileCannotBeOpened) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    ScratchDir dir;
    const fs::path file = dir.file("locked.dat", "1 0 a\n");
    fs::permissions(file, fs::perms::none);
    EXPECT_EQ(lt(file.c_str(), 0), -1);
}

TEST(Lookup, FindsTextByNumberAndLanguage) {
    ScratchDir dir;
    const fs::path file =
        dir.file("t.dat", "1 0 Pictoria\n1 1   Bildwandler  \n2 0 ~\n3 0 Grüße # not a comment\n");
    ASSERT_EQ(lt(file.c_str(), 0), 4);
    EXPECT_EQ(text(1, 0), "Pictoria");
    EXPECT_EQ(text(1, 1), "Bildwandler");
    EXPECT_EQ(text(2, 0), "~");
    EXPECT_EQ(text(3, 0), "Grüße # not a comment");
    EXPECT_EQ(text(2, 1), "<none>");
    EXPECT_EQ(text(4, 0), "<none>");
    EXPECT_EQ(text(-1, 0), "<none>");
}

TEST(Lookup, WritesOnlyTheTextAndOnlyWhenItFits) {
    ScratchDir dir;
    ASSERT_EQ(lt(dir.file("t.dat", "1 0 abc\n").c_str(), 0), 1);
    char buffer[5] = {'!', '!', '!', '!', '!'};
    EXPECT_EQ(gt(1, 0, buffer, 2, 1), -3);
    EXPECT_EQ(std::string(buffer, 5), "!!!!!");
    EXPECT_EQ(gt(1, 0, buffer, 5, 1), 3);
    EXPECT_EQ(std::string(buffer, 5), "abc!!");
    EXPECT_EQ(gt(1, 0, buffer, 0, 1), 0);
    EXPECT_EQ(gt(1, 0, nullptr, 1024, 1), 0);
}

TEST(Lookup, ReloadReplacesTheTableAndAFailedOneEmptiesIt) {
    ScratchDir dir;
    ASSERT_EQ(lt(dir.file("a.dat", "1 0 a\n2 0 b\n").c_str(), 0), 2);
    ASSERT_EQ(lt(dir.file("b.dat", "1 0 c\n").c_str(), 0), 1);
    EXPECT_EQ(text(1), "c");
    EXPECT_EQ(text(2), "<none>");
    EXPECT_EQ(lt(dir.file("bad.dat", "1 0 b\n1 0 c\n").c_str(), 0), -1502);
    EXPECT_EQ(text(1), "<none>");
}

TEST(ShippedFile, HoldsEveryTextTheProgramAsksFor) {
    ASSERT_GE(lt(PICTORIA_SHIPPED_TEXT_FILE, 0), 6);
    EXPECT_EQ(text(1), "Pictoria");
    EXPECT_EQ(text(15), "https://quorvane.example/pictoria/manual/");
    for (int number : {3, 4, 5, 6}) {
        const std::string t = text(number);
        EXPECT_NE(t, "<none>") << "text " << number;
        EXPECT_NE(t, "~") << "text " << number;
    }
}

// The other names are checked through FileIsCreatable in tests/support/tst_fileproc.cpp.
TEST(Creatable, OverlongOrNullNameIsNot) {
    ScratchDir dir;
    EXPECT_NE(new_file_creatable((dir.path() / std::string(300, 'n')).string().c_str()), 1);
    EXPECT_NE(new_file_creatable(nullptr), 1);
}

TEST(Creatable, ReadOnlyFolderIsNot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    ScratchDir dir;
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_LT(new_file_creatable((dir.path() / "x.htm").c_str()), 0);
}

}  // namespace
