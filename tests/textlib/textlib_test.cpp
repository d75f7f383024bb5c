// Loading, lookup and the creatability check of the text library, against
// real files in a scratch folder.
#include "textlib/textlib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ScratchDir {
public:
    ScratchDir() : path_(::mkdtemp((fs::temp_directory_path() / "textlib-XXXXXX").string().data())) {}
    ~ScratchDir() { fs::remove_all(path_); }
    std::string file(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
        return (path_ / name).string();
    }
    const fs::path path_;
} dir;  // shared by the tests, which run one after another

std::string text(int number, int language = 0) {
    char buffer[TEXTLIB_MAX_TEXT_BYTES];
    const int32_t n = gt(number, language, buffer, sizeof buffer, 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("<none>");
}

TEST(Load, ReportsTheCountOrTheFaultAndItsLine) {
    const struct {
        std::string content;
        int32_t status;
    } cases[] = {
        {"1 0 a\n1 1 b\n2 0 ~\n", 3},
        {"\xEF\xBB\xBF" "1 0 a\n", 1},
        {"1 0 " + std::string(TEXTLIB_MAX_TEXT_BYTES, 'y') + "\n", 1},
        {"# nothing yet\n\n   # indented\n", 0},
        {"", -6},
        {std::string(5u * 1024u * 1024u, '#'), -3},
        {"1 0 caf\xE9\n", -7},
        {std::string("1 0 a\0b\n", 8), -7},
        {"1 0 a\n2\n", -502},
        {"1 0 a\n2x 0 text\n", -502},
        {"32768 0 text\n", -501},
        {std::string(700, '\n') + "5\n", -1000},
        {"1 0 a\n\n2 0 " + std::string(TEXTLIB_MAX_TEXT_BYTES + 1, 'x') + "\n", -1003},
        {"1 0 a\n1 1 b\n# c\n1 0 c\n", -1504},
        {"1 0 a\n" + std::string(800, '\n') + "1 0 b\n", -2000},
        {"1 0 a\n2\n1 0 b\n", -502},  // the first fault wins
    };
    for (const auto& c : cases) EXPECT_EQ(lt(dir.file("pxfm.dat", c.content).c_str(), 0), c.status) << c.content.substr(0, 40);
    for (const std::string& path : {(dir.path_ / "absent.dat").string(), std::string()}) EXPECT_EQ(lt(path.c_str(), 0), -1);
    EXPECT_EQ(lt(nullptr, 0), -1);
    EXPECT_EQ(lt(dir.path_.c_str(), 0), -7);
}

TEST(Lookup, FindsTrimmedTextByNumberAndLanguageInTheLastTableLoaded) {
    ASSERT_EQ(lt(dir.file("t.dat", "1 0 Pictoria\n1 1   Bildwandler  \n2 0 ~\n3 0 Grüße # not a comment\n").c_str(), 0), 4);
    EXPECT_EQ(text(1, 0) + "|" + text(1, 1) + "|" + text(2, 0) + "|" + text(3, 0), "Pictoria|Bildwandler|~|Grüße # not a comment");
    EXPECT_EQ(text(2, 1) + text(4, 0) + text(-1, 0), "<none><none><none>");
    // Loading again replaces the table; a failed load leaves it empty.
    ASSERT_EQ(lt(dir.file("b.dat", "1 0 c\n").c_str(), 0), 1);
    EXPECT_EQ(text(1) + text(2), "c<none>");
    EXPECT_EQ(lt(dir.file("bad.dat", "1 0 b\n1 0 c\n").c_str(), 0), -1502);
    EXPECT_EQ(text(1), "<none>");
}

TEST(Lookup, WritesOnlyTheTextAndOnlyWhenItFits) {
    ASSERT_EQ(lt(dir.file("t.dat", "1 0 abc\n").c_str(), 0), 1);
    char buffer[5] = {'!', '!', '!', '!', '!'};
    EXPECT_EQ(gt(1, 0, buffer, 2, 1), -3);
    EXPECT_EQ(std::string(buffer, 5), "!!!!!");
    EXPECT_EQ(gt(1, 0, buffer, 5, 1), 3);
    EXPECT_EQ(std::string(buffer, 5), "abc!!");
    EXPECT_EQ(gt(1, 0, buffer, 0, 1), 0);
    EXPECT_EQ(gt(1, 0, nullptr, 1024, 1), 0);
}

TEST(ShippedFile, HoldsEveryTextTheProgramAsksFor) {
    ASSERT_GE(lt(PICTORIA_SHIPPED_TEXT_FILE, 0), 6);
    EXPECT_EQ(text(1), "Pictoria");
    for (int number : {3, 4, 5, 6, 15}) EXPECT_EQ(text(number).find_first_of("<~"), std::string::npos) << number;
}

}  // namespace
