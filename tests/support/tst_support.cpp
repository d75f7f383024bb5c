// The support helpers: string operations (one table per family, with hostile
// rows), file questions against a scratch folder, and the program texts.
#include "FileProc.h"
#include "Fixtures.h"
#include "Language.h"
#include "StrProc.h"

#include <QCoreApplication>

#include <climits>

using namespace pictoria;
using namespace pictoria::testing;

class TestSupport : public QObject {
    Q_OBJECT

private slots:
    // Ð has no small letter in the fold list: the capitals after it must not
    // take their neighbour's. A drive letter is upper-cased instead.
    void caseFolding()
    {
        const struct { QString s; QStringList lowerPathFoldedUpperDrive; } rows[] = {
            {"ŠŸÐÑÝ", {"šÿðñý", "šÿðñý", "ŠŸÐÑÝ"}}, {"c:/Été/ÀB.PNG", {"c:/été/àb.png", "C:/été/àb.png", "C:/Été/ÀB.PNG"}},
            {"é:X", {"é:x", "É:x", "É:X"}}, {"", {"", "", ""}}};
        for (const auto& r : rows)
            QCOMPARE((QStringList{FoldToLowerCase(r.s), FoldPathCase(r.s), UpperCaseDriveLetter(r.s)}), r.lowerPathFoldedUpperDrive);
    }

    void finding()
    {
        // The set index stays -7 when nothing is found.
        const struct { QString s; qint32 start; QString set; QList<qint32> inSetSetIndexNotInSet; } sets[] = {
            {"abc", 2, "xca", {3, 2, 2}}, {"abc", INT_MIN, "bc", {2, 1, 1}}, {"abc", 1, "xyz", {0, -7, 1}},
            {"aab", 1, "a", {1, 1, 3}},   {"abc", 4, "abc", {0, -7, 0}},     {"abc", 2, "", {0, -7, 1}},
            {"", 1, "", {0, -7, 0}}};
        for (const auto& r : sets) {
            qint32 index = -7;
            QCOMPARE((QList<qint32>{FindFirstInSet(r.s, r.start, r.set, &index), index, FindFirstNotInSet(r.s, r.start, r.set)}),
                     r.inSetSetIndexNotInSet);
        }
        const QStringList formats = {"BMP", "PNG", "JPG", "GIF"};
        const struct { QString name; qint32 first, last, expected; } lists[] = {
            {"JPG", 0, 3, 2}, {"BMP", 1, 3, -1}, {"GIF", 0, 2, -1}, {"GIF", -5, 100, 3}};
        for (const auto& r : lists)
            QCOMPARE(FindInStringArray(formats, r.name, r.first, r.last), r.expected);
    }

    // The same rows through the bare wildcard match and the file-specification
    // match, which splits name and extension at their last dots.
    void wildcards()
    {
        const struct { QString name, pattern; bool caseSensitive, wildcard, fileSpec; } rows[] = {
            {"abcabc", "*c", true, false, false},  // a star is tied to the first "c"
            {"img1", "img*1", true, true, true},    {"abc", "a*?", true, true, true},
            {"ab", "ab?", true, false, false},      {"", "**", true, true, true},
            {"", "*.bmp", false, false, false},     {"abc", "", true, true, true},
            {"AÀÐŸ.BMP", "aàðÿ.bmp", false, true, true}, {"readme", "*.*", false, false, true},
            {"a.txt", "a", false, false, false},    {"a.b.c", "*.c", false, false, true},
            {"name.", "*.*", false, true, true},    {"dir/x.bmp", "*.bmp", false, true, false},
            {"a.bmp", " *.bmp ", false, false, true}};
        for (const auto& r : rows) {
            QCOMPARE(MatchesWildcard(r.name, r.pattern, r.caseSensitive), r.wildcard);
            QCOMPARE(MatchesFileSpec(r.name, r.pattern, r.caseSensitive), r.fileSpec);
        }
    }

    void pathParts()
    {
        const struct { QString path; bool fold; QStringList extensionFileNameFolder; } rows[] = {
            {"c:/Été/ÀB.PNG", true, {"png", "àb.png", "C:/été/"}}, {"/D/A.b.C", false, {"C", "A.b.C", "/D/"}},
            {"/dir.d/file", false, {"", "file", "/dir.d/"}},        {"/.hidden", false, {"hidden", ".hidden", "/"}},
            {"name.TXT", true, {"txt", "", ""}}};
        for (const auto& r : rows)
            QCOMPARE((QStringList{ExtensionOf(r.path, r.fold), FileNameOf(r.path, r.fold), FolderOf(r.path, r.fold)}),
                     r.extensionFileNameFolder);
    }

    // Rewrites in place: trailing text, runs of a set, typed numbers (a sign
    // counts only before the first digit, each kind once).
    void rewrites()
    {
        const struct { QString s, suffix, stripped, withSeparator; } trailing[] = {
            {"/dir//", "/", "/dir", "/dir/"}, {"///", "/", "", "/"}, {"abcabab", "ab", "abc", "abcabab/"}, {"", "/", "", ""}};
        for (auto r : trailing) {
            QString withSeparator = r.s;
            StripTrailing(r.s, r.suffix);
            EnsureTrailingSeparator(withSeparator);
            QCOMPARE((QStringList{r.s, withSeparator}), (QStringList{r.stripped, r.withSeparator}));
        }
        const struct { QString s, set; qint32 start; QString expected; } runs[] = {
            {"  axxb yxc  ", " xy", 1, "abc"}, {"a b c", " ", 3, "a bc"}, {"axbxc", "x", INT_MIN, "abc"},
            {"axbxc", "x", 99, "axbxc"}};
        for (auto r : runs) {
            RemoveSetRuns(r.s, r.set, r.start);
            QCOMPARE(r.s, r.expected);
        }
        const struct { QString s; bool allowMinus; QString expected; } numbers[] = {
            {" 7 5%", false, "75"}, {"+-80", false, "+80"}, {"++--3", true, "+-3"}, {"1-2+", true, "12"},
            {"٣１２", false, ""}};
        for (auto r : numbers) {
            CleanNumberText(r.s, r.allowMinus);
            QCOMPARE(r.s, r.expected);
        }
    }

    void existenceAndCreatability()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("file"), "x") && QDir(dir.path()).mkdir("folder"));
        QVERIFY(QFile::link("file", dir.filePath("link")) && QFile::link("gone", dir.filePath("dangling")));
        const struct { QString name; bool exists, creatable; } rows[] = {
            {"file", true, false}, {"link", true, false}, {"folder", false, false}, {"dangling", false, false},
            {"été.htm", false, true}};
        for (const auto& r : rows) {
            QCOMPARE(FileExists(dir.filePath(r.name)), r.exists);
            QCOMPARE(FileIsCreatable(dir.filePath(r.name)) == 1, r.creatable);
        }
    }

    // The lowest free number, whatever form folder and extension take; none
    // in a folder that is not there (a run's test fills all 99).
    void numberedNames()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        auto numbered = [&](int n) { return folder + QStringLiteral("/viewer%1.htm").arg(n, 2, 10, QLatin1Char('0')); };
        QString error;
        QCOMPARE(MakeNumberedFileName(folder, "viewer", "htm", error), numbered(1));
        QVERIFY(writeBytes(numbered(1), "x") && QDir(folder).mkdir("viewer02.htm"));  // a folder takes a number too
        QCOMPARE(MakeNumberedFileName(folder + "/", "viewer", ".htm", error), numbered(3));
        for (const QString& unusable : {folder + "/missing", numbered(1), QString()})
            QCOMPARE(MakeNumberedFileName(unusable, "viewer", "htm", error), QString());
    }

    void programTextPathVersionAndLoadMessages()
    {
        QCOMPARE(ProgramTextPath("/", "pxfm.dat"), QStringLiteral("/pxfm.dat"));
        QCOMPARE(FormatVersionText(2, 5), QStringLiteral("2.50"));
        // Above the fixed codes, bands of 500 name a fault and its line.
        const struct { int status; QString text; } rows[] = {
            {0, "No program text was read."}, {1, ""}, {-500, "Error -500"}, {-501, "Missing string at line 1."},
            {-1001, "String too long at line 1."}, {-1501, "Duplicate in program text at line 1."},
            {INT_MIN, "Duplicate in program text at line 2147482148."}};
        for (const auto& r : rows)
            QCOMPARE(ProgramTextLoadMessage(r.status, "/p/x.dat"), r.text);
    }

    // Program texts load from beside the executable; a failure reaches the
    // user with the full path.
    void programTextLoadingAndLookups()
    {
        const QString folder = QCoreApplication::applicationDirPath() + '/';
        ScriptedPrompts scripted;
        scripted.expectMessage("Cannot open file containing program text.\r\n" + folder + "case-absent.dat", QString(),
                               MsgButtons::Ok, MsgIcon::Critical);
        QVERIFY(!LoadProgramText("case-absent.dat"));
        VERIFY_PROMPTS(scripted);
        const QString longest(512, QChar(0x00E9));  // 1024 bytes, the longest text
        QVERIFY(writeBytes(folder + "case-texts.dat",
                                    "1 0 Pictoria\n1 1 Bildwandler\n2 0 ~\n3 0 ~~\n4 0 Grüße, Ÿ\n5 0 " + longest.toUtf8() + "\n"));
        QVERIFY(LoadProgramText("case-texts.dat"));
        QFile::remove(folder + "case-texts.dat");
        const QStringList texts = {"Pictoria", "", "~~", "Grüße, Ÿ", longest, ""};  // 1 to 6; "~" stands for ""
        for (int number = 1; number <= 6; ++number)
            QCOMPARE(GetProgramText(number), texts[number - 1]);
        CurrentLanguage = 1;
        QCOMPARE(GetProgramText(1), QStringLiteral("Bildwandler"));
        CurrentLanguage = 0;
    }
};

QTEST_MAIN(TestSupport)
#include "tst_support.moc"
