// String operations as tables with hostile rows (empty input, positions beyond either end, dots, signs).
#include "Fixtures.h"
#include "StrProc.h"

#include <climits>

using namespace pictoria;
using namespace pictoria::testing;

namespace {
const QStringList kFormats = {QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("JPG"),
                              QStringLiteral("GIF")};
}

class TestStrProc : public QObject {
    Q_OBJECT

private slots:
    void foldToLowerCase_data()
    {
        columns<QString, QString>({"s", "expected"});
        QTest::newRow("accented capitals") << "ÀÉÑ" << "àéñ";
        QTest::newRow("S and Y with marks") << "ŠŸ" << "šÿ";
        // Ð has no entry among the small letters: the letters after it must
        // not take their neighbour's small letter.
        QTest::newRow("eth and the letters after it") << "ÐÑÒÝ" << "ðñòý";
        QTest::newRow("plain letters around") << "A.ÀB-Ç_z" << "a.àb-ç_z";
        QTest::newRow("empty") << "" << "";
    }
    void foldToLowerCase()
    {
        QFETCH(QString, s); QFETCH(QString, expected);
        QCOMPARE(FoldToLowerCase(s), expected);
    }

    void findInSets_data()
    {
        columns<QString, qint32, QString, qint32, qint32, qint32>(
            {"s", "start", "set", "inSet", "setIndex", "notInSet"});  // -7: left untouched
        QTest::newRow("index within the set") << "abc" << 1 << "xcb" << 2 << 3 << 1;
        QTest::newRow("start zero counts as one") << "abc" << 0 << "ab" << 1 << 1 << 3;
        QTest::newRow("most negative start") << "abc" << INT_MIN << "bc" << 2 << 1 << 1;
        QTest::newRow("none in set") << "abc" << 1 << "xyz" << 0 << -7 << 1;
        QTest::newRow("start beyond the end") << "abc" << 4 << "abc" << 0 << -7 << 0;
        QTest::newRow("exact case") << "ABC" << 1 << "abc" << 0 << -7 << 1;
        QTest::newRow("empty s") << "" << 1 << "a" << 0 << -7 << 0;
        QTest::newRow("empty set") << "abc" << 2 << "" << 0 << -7 << 1;
        QTest::newRow("both empty") << "" << 1 << "" << 0 << -7 << 0;
    }
    void findInSets()
    {
        QFETCH(QString, s); QFETCH(qint32, start); QFETCH(QString, set); QFETCH(qint32, inSet);
        QFETCH(qint32, setIndex); QFETCH(qint32, notInSet);
        qint32 index = -7;
        QCOMPARE(FindFirstInSet(s, start, set, &index), inSet);
        QCOMPARE(index, setIndex);
        QCOMPARE(FindFirstNotInSet(s, start, set), notInSet);
    }

    void findInStringArray_data()
    {
        columns<QString, qint32, qint32, qint32>({"name", "first", "last", "expected"});
        QTest::newRow("found") << "JPG" << 0 << 3 << 2;
        QTest::newRow("exact case only") << "jpg" << 0 << 3 << -1;
        QTest::newRow("after last") << "GIF" << 0 << 2 << -1;
        QTest::newRow("empty range") << "PNG" << 2 << 1 << -1;
        QTest::newRow("bounds outside the list") << "GIF" << -5 << 100 << 3;
    }
    void findInStringArray()
    {
        QFETCH(QString, name); QFETCH(qint32, first); QFETCH(qint32, last); QFETCH(qint32, expected);
        QCOMPARE(FindInStringArray(kFormats, name, first, last), expected);
        const QString array[] = {kFormats[0], kFormats[1], kFormats[2], kFormats[3]};
        QCOMPARE(FindInStringArray(array, name, first, last), expected);
    }

    void matchesWildcard_data()
    {
        columns<QString, QString, bool, bool>({"text", "pattern", "caseSensitive", "expected"});
        // A "*" is tied to the first occurrence of the next literal character.
        QTest::newRow("star tied to first c") << "abcabc" << "*c" << true << false;
        QTest::newRow("question after star") << "ax" << "*?x" << true << false;
        QTest::newRow("star meets the only occurrence") << "img1" << "img*1" << true << true;
        QTest::newRow("empty text, stars") << "" << "**" << true << true;
        QTest::newRow("empty pattern fits any text") << "abc" << "" << true << true;
        QTest::newRow("case folded") << "ABC" << "abc" << false << true;
        QTest::newRow("accents folded") << "ÀÐŸ" << "àðÿ" << false << true;
        QTest::newRow("question past the end") << "ab" << "ab?" << true << false;
        QTest::newRow("text left over") << "abc" << "a?" << true << false;
        QTest::newRow("trailing star and question") << "abc" << "a*?" << true << true;
        QTest::newRow("star, letter missing") << "abc" << "*d" << true << false;
    }
    void matchesWildcard()
    {
        QFETCH(QString, text); QFETCH(QString, pattern); QFETCH(bool, caseSensitive); QFETCH(bool, expected);
        QCOMPARE(MatchesWildcard(text, pattern, caseSensitive), expected);
    }

    void matchesFileSpec_data()
    {
        columns<QString, QString, bool, bool>({"name", "spec", "caseSensitive", "expected"});
        QTest::newRow("extension, case folded") << "photo.BMP" << "*.bmp" << false << true;
        QTest::newRow("no dot against *.*") << "readme" << "*.*" << false << true;
        QTest::newRow("dot against no dot") << "a.txt" << "a" << false << false;
        QTest::newRow("several dots") << "a.b.c" << "*.c" << false << true;
        QTest::newRow("separator in name") << "dir/x.bmp" << "*.bmp" << false << false;
        QTest::newRow("star in name") << "x*.bmp" << "*.bmp" << false << false;
        QTest::newRow("colon is a name character here") << "a:b.bmp" << "*.bmp" << false << true;
        QTest::newRow("trailing dot in name, *.*") << "name." << "*.*" << false << true;
        QTest::newRow("empty name") << "" << "*.bmp" << false << false;
    }
    void matchesFileSpec()
    {
        QFETCH(QString, name); QFETCH(QString, spec); QFETCH(bool, caseSensitive); QFETCH(bool, expected);
        QCOMPARE(MatchesFileSpec(name, spec, caseSensitive), expected);
    }

    void pathParts_data()
    {
        columns<QString, bool, QString, QString, QString>(
            {"path", "fold", "extension", "fileName", "folder"});  // lower-cases the extension, folds name and folder
        QTest::newRow("folded") << "/Été/ÀB.PNG" << true << "png" << "àb.png" << "/été/";
        QTest::newRow("folded drive form") << "c:/Photos/A.PNG" << true << "png" << "a.png" << "C:/photos/";
        QTest::newRow("several dots") << "/d/a.b.c" << false << "c" << "a.b.c" << "/d/";
        QTest::newRow("trailing dot") << "/d/trail." << false << "" << "trail." << "/d/";
        QTest::newRow("dot only in folder") << "/dir.d/file" << false << "" << "file" << "/dir.d/";
        QTest::newRow("dot first") << "/.hidden" << false << "hidden" << ".hidden" << "/";
        QTest::newRow("doubled separator") << "a//b" << false << "" << "b" << "a//";
        QTest::newRow("empty") << "" << true << "" << "" << "";
    }
    void pathParts()
    {
        QFETCH(QString, path); QFETCH(bool, fold); QFETCH(QString, extension); QFETCH(QString, fileName);
        QFETCH(QString, folder);
        QCOMPARE(ExtensionOf(path, fold), extension);
        QCOMPARE(FileNameOf(path, fold), fileName);
        QCOMPARE(FolderOf(path, fold), folder);
    }

    void driveLetterRules_data()
    {
        columns<QString, QString, QString>({"path", "folded", "upperDrive"});
        QTest::newRow("drive form") << "c:/Photos/A.PNG" << "C:/photos/a.png" << "C:/Photos/A.PNG";
        QTest::newRow("plain path") << "/Photos/À.PNG" << "/photos/à.png" << "/Photos/À.PNG";
        QTest::newRow("colon later") << "ab:C" << "ab:c" << "ab:C";
        QTest::newRow("accented drive letter") << "é:X" << "É:x" << "É:X";
        QTest::newRow("empty") << "" << "" << "";
    }
    void driveLetterRules()
    {
        QFETCH(QString, path); QFETCH(QString, folded); QFETCH(QString, upperDrive);
        QCOMPARE(FoldPathCase(path), folded);
        QCOMPARE(UpperCaseDriveLetter(path), upperDrive);
    }

    void trailingText_data()
    {
        columns<QString, QString, QString, QString>({"s", "suffix", "stripped", "withSeparator"});
        QTest::newRow("doubled separator") << "/dir//" << "/" << "/dir" << "/dir/";
        QTest::newRow("only separators") << "///" << "/" << "" << "/";
        QTest::newRow("longer suffix repeated") << "abcabab" << "ab" << "abc" << "abcabab/";
        QTest::newRow("suffix longer than s") << "abc" << "abcd" << "abc" << "abc/";
        QTest::newRow("blank") << " " << " " << "" << " /";
        QTest::newRow("empty stays empty") << "" << "/" << "" << "";
    }
    void trailingText()
    {
        QFETCH(QString, s); QFETCH(QString, suffix); QFETCH(QString, stripped); QFETCH(QString, withSeparator);
        QString a = s;
        StripTrailing(a, suffix);
        QCOMPARE(a, stripped);
        QString b = s;
        EnsureTrailingSeparator(b);
        QCOMPARE(b, withSeparator);
    }

    void removeSetRuns_data()
    {
        columns<QString, QString, qint32, QString>({"s", "set", "start", "expected"});
        QTest::newRow("runs inside and at both ends") << "  a b  c  " << " " << 1 << "abc";
        QTest::newRow("two-character set") << "axxbyxc" << "xy" << 1 << "abc";
        QTest::newRow("from start") << "a b c" << " " << 3 << "a bc";
        QTest::newRow("start negative") << "axbxc" << "x" << INT_MIN << "abc";
        QTest::newRow("start beyond the end") << "axbxc" << "x" << 99 << "axbxc";
        QTest::newRow("empty s") << "" << "x" << 1 << "";
    }
    void removeSetRuns()
    {
        QFETCH(QString, s); QFETCH(QString, set); QFETCH(qint32, start); QFETCH(QString, expected);
        QString runs = s;
        RemoveSetRuns(runs, set, start);
        QCOMPARE(runs, expected);
        if (start == 1) {
            RemoveChars(s, set);
            QCOMPARE(s, expected);
        }
    }

    void cleanNumberText_data()
    {
        columns<QString, bool, QString>({"s", "allowMinus", "expected"});
        QTest::newRow("blanks and percent") << " 7 5%" << false << "75";
        QTest::newRow("plus then minus") << "+-80" << false << "+80";
        QTest::newRow("signs tracked separately") << "+-12" << true << "+-12";
        QTest::newRow("minus refused") << "-5" << false << "5";
        QTest::newRow("sign after digit") << "1-2+" << true << "12";
        QTest::newRow("other scripts' digits") << "٣１２" << false << "";
        QTest::newRow("empty") << "" << true << "";
    }
    void cleanNumberText()
    {
        QFETCH(QString, s); QFETCH(bool, allowMinus); QFETCH(QString, expected);
        CleanNumberText(s, allowMinus);
        QCOMPARE(s, expected);
    }
};

QTEST_GUILESS_MAIN(TestStrProc)
#include "tst_strproc.moc"
