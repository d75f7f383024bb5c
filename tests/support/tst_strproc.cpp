// String operations: every rule of each operation as a table, with hostile
// rows (empty strings and sets, positions beyond either end, several dots,
// separators inside names, the accent fold's odd letters, signs).
#include "StrProc.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <climits>

using namespace pictoria;

class TestStrProc : public QObject {
    Q_OBJECT

private slots:
    void leftPart_data();
    void leftPart();
    void foldToLowerCase_data();
    void foldToLowerCase();
    void foldMapsEveryListedCapitalToItsOwnSmallLetter();
    void foldYieldsOnlyInsideARunningEventLoop();
    void findFirstInSet_data();
    void findFirstInSet();
    void findFirstNotInSet_data();
    void findFirstNotInSet();
    void findInStringArray_data();
    void findInStringArray();
    void findFormatIndex_data();
    void findFormatIndex();
    void matchesWildcard_data();
    void matchesWildcard();
    void matchesFileSpec_data();
    void matchesFileSpec();
    void extensionOf_data();
    void extensionOf();
    void fileNameOf_data();
    void fileNameOf();
    void folderOf_data();
    void folderOf();
    void driveLetterRules_data();
    void driveLetterRules();
    void stripTrailing_data();
    void stripTrailing();
    void ensureTrailingSeparator_data();
    void ensureTrailingSeparator();
    void removeSetRuns_data();
    void removeSetRuns();
    void cleanNumberText_data();
    void cleanNumberText();
};

void TestStrProc::leftPart_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<qint32>("n");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << "abc" << 0 << "";
    QTest::newRow("negative") << "abc" << -5 << "";
    QTest::newRow("most negative") << "abc" << INT_MIN << "";
    QTest::newRow("shorter") << "abc" << 2 << "ab";
    QTest::newRow("exact length") << "abc" << 3 << "abc";
    QTest::newRow("beyond the end") << "abc" << INT_MAX << "abc";
    QTest::newRow("empty") << "" << 3 << "";
}

void TestStrProc::leftPart()
{
    QFETCH(QString, s);
    QFETCH(qint32, n);
    QFETCH(QString, expected);
    QCOMPARE(LeftPart(s, n), expected);
}

void TestStrProc::foldToLowerCase_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("expected");
    QTest::newRow("accented capitals") << "ÀÉÑ" << "àéñ";
    QTest::newRow("last capital") << "Ý" << "ý";
    QTest::newRow("S and Y with marks") << "ŠŸ" << "šÿ";
    QTest::newRow("eth alone") << "Ð" << "ð";
    // Ð has no entry among the small letters: the letters after it must not
    // take their neighbour's small letter.
    QTest::newRow("letters after eth") << "ÐÑÒÝ" << "ðñòý";
    QTest::newRow("plain letters around") << "A.ÀB-Ç_z" << "a.àb-ç_z";
    QTest::newRow("capitals outside the list") << "ÞÆŒ" << "þæœ";
    QTest::newRow("already small") << "àéñ abc" << "àéñ abc";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("path") << "/Photos/ÉTÉ.JPG" << "/photos/été.jpg";
}

void TestStrProc::foldToLowerCase()
{
    QFETCH(QString, s);
    QFETCH(QString, expected);
    QCOMPARE(FoldToLowerCase(s), expected);
}

void TestStrProc::foldMapsEveryListedCapitalToItsOwnSmallLetter()
{
    const QString capitals = QStringLiteral("ŠŸÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝ");
    QCOMPARE(capitals.size(), 30);
    for (const QChar c : capitals)
        QCOMPARE(FoldToLowerCase(QString(c) + QStringLiteral("X")), QString(c.toLower()) + QStringLiteral("x"));
}

void TestStrProc::foldYieldsOnlyInsideARunningEventLoop()
{
    // Outside an event loop nothing pending may run in the middle of a fold.
    bool ranOutside = false;
    QMetaObject::invokeMethod(this, [&] { ranOutside = true; }, Qt::QueuedConnection);
    FoldToLowerCase(QStringLiteral("À"));
    QVERIFY(!ranOutside);

    // Inside one, a pending call runs after an accented capital, and only then.
    bool ranAfterPlain = true;
    bool ranAfterAccent = false;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        bool ran = false;
        QMetaObject::invokeMethod(&loop, [&] { ran = true; }, Qt::QueuedConnection);
        FoldToLowerCase(QStringLiteral("ABC"));
        ranAfterPlain = ran;
        FoldToLowerCase(QStringLiteral("ÀBC"));
        ranAfterAccent = ran;
        loop.quit();
    });
    loop.exec();
    QVERIFY(!ranAfterPlain);
    QVERIFY(ranAfterAccent);
}

void TestStrProc::findFirstInSet_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<qint32>("start");
    QTest::addColumn<QString>("set");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("index");  // -7: left untouched
    QTest::newRow("first") << "abc" << 1 << "a" << 1 << 1;
    QTest::newRow("index within the set") << "abc" << 1 << "xcb" << 2 << 3;
    QTest::newRow("from start") << "aXa" << 2 << "a" << 3 << 1;
    QTest::newRow("start zero counts as one") << "abc" << 0 << "a" << 1 << 1;
    QTest::newRow("negative start") << "abc" << INT_MIN << "a" << 1 << 1;
    QTest::newRow("start on the last") << "abc" << 3 << "c" << 3 << 1;
    QTest::newRow("start beyond the end") << "abc" << 4 << "abc" << 0 << -7;
    QTest::newRow("start far beyond") << "abc" << INT_MAX << "abc" << 0 << -7;
    QTest::newRow("not in set") << "abc" << 1 << "xyz" << 0 << -7;
    QTest::newRow("empty string") << "" << 1 << "a" << 0 << -7;
    QTest::newRow("empty set") << "abc" << 1 << "" << 0 << -7;
    QTest::newRow("exact case") << "ABC" << 1 << "abc" << 0 << -7;
    QTest::newRow("accented") << "xÉ" << 1 << "ÀÉ" << 2 << 2;
}

void TestStrProc::findFirstInSet()
{
    QFETCH(QString, s);
    QFETCH(qint32, start);
    QFETCH(QString, set);
    QFETCH(qint32, position);
    QFETCH(qint32, index);
    qint32 found = -7;
    QCOMPARE(FindFirstInSet(s, start, set, &found), position);
    QCOMPARE(found, index);
    QCOMPARE(FindFirstInSet(s, start, set), position);
}

void TestStrProc::findFirstNotInSet_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<qint32>("start");
    QTest::addColumn<QString>("set");
    QTest::addColumn<qint32>("position");
    QTest::newRow("second") << "abc" << 1 << "a" << 2;
    QTest::newRow("all in set") << "aaa" << 1 << "a" << 0;
    QTest::newRow("from start") << "abab" << 3 << "b" << 3;
    QTest::newRow("negative start") << "abc" << -3 << "ab" << 3;
    QTest::newRow("start beyond the end") << "abc" << 4 << "x" << 0;
    QTest::newRow("empty string") << "" << 1 << "a" << 0;
    QTest::newRow("empty string and set") << "" << 1 << "" << 0;
    QTest::newRow("empty set") << "abc" << 2 << "" << 1;
    QTest::newRow("empty set, start beyond") << "abc" << 99 << "" << 1;
}

void TestStrProc::findFirstNotInSet()
{
    QFETCH(QString, s);
    QFETCH(qint32, start);
    QFETCH(QString, set);
    QFETCH(qint32, position);
    QCOMPARE(FindFirstNotInSet(s, start, set), position);
}

namespace {
const QStringList kFormats = {QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("JPG"),
                              QStringLiteral("GIF")};
}

void TestStrProc::findInStringArray_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("last");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("found") << "JPG" << 0 << 3 << 2;
    QTest::newRow("exact case only") << "jpg" << 0 << 3 << -1;
    QTest::newRow("after last") << "GIF" << 0 << 2 << -1;
    QTest::newRow("before first") << "BMP" << 1 << 3 << -1;
    QTest::newRow("single entry range") << "GIF" << 3 << 3 << 3;
    QTest::newRow("empty range") << "PNG" << 2 << 1 << -1;
    QTest::newRow("empty name") << "" << 0 << 3 << -1;
    QTest::newRow("bounds outside the list") << "GIF" << -5 << 100 << 3;
    QTest::newRow("range wholly outside") << "BMP" << 10 << 20 << -1;
}

void TestStrProc::findInStringArray()
{
    QFETCH(QString, name);
    QFETCH(qint32, first);
    QFETCH(qint32, last);
    QFETCH(qint32, expected);
    QCOMPARE(FindInStringArray(kFormats, name, first, last), expected);
    const QString array[] = {kFormats[0], kFormats[1], kFormats[2], kFormats[3]};
    QCOMPARE(FindInStringArray(array, name, first, last), expected);
}

void TestStrProc::findFormatIndex_data()
{
    QTest::addColumn<qint16>("count");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint16>("expected");
    QTest::newRow("input formats") << qint16(4) << "GIF" << qint16(3);
    QTest::newRow("output formats leave GIF out") << qint16(3) << "GIF" << qint16(-1);
    QTest::newRow("first") << qint16(3) << "BMP" << qint16(0);
    QTest::newRow("lower case") << qint16(4) << "png" << qint16(-1);
    QTest::newRow("Select entry") << qint16(4) << "Select" << qint16(-1);
    QTest::newRow("count zero") << qint16(0) << "BMP" << qint16(-1);
    QTest::newRow("count negative") << qint16(-3) << "BMP" << qint16(-1);
    QTest::newRow("count above the list") << qint16(32767) << "GIF" << qint16(3);
}

void TestStrProc::findFormatIndex()
{
    QFETCH(qint16, count);
    QFETCH(QString, name);
    QFETCH(qint16, expected);
    QCOMPARE(FindFormatIndex(kFormats, count, name), expected);
}

void TestStrProc::matchesWildcard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("expected");
    // A "*" is tied to the first occurrence of the next literal character.
    QTest::newRow("star tied to first c") << "abcabc" << "*c" << true << false;
    QTest::newRow("star tied to first 1") << "img11" << "img*1" << true << false;
    QTest::newRow("question after star") << "ax" << "*?x" << true << false;
    QTest::newRow("star tied to first o") << "photo" << "p*o" << true << false;
    QTest::newRow("star meets the only occurrence") << "img1" << "img*1" << true << true;
    QTest::newRow("empty text, stars") << "" << "**" << true << true;
    QTest::newRow("empty text, star and letter") << "" << "a*" << true << false;
    QTest::newRow("empty text, question") << "" << "?" << true << false;
    QTest::newRow("both empty") << "" << "" << true << true;
    QTest::newRow("empty pattern fits any text") << "abc" << "" << true << true;
    QTest::newRow("equal") << "abc" << "abc" << true << true;
    QTest::newRow("text longer") << "abcd" << "abc" << true << false;
    QTest::newRow("pattern longer") << "ab" << "abc" << true << false;
    QTest::newRow("case differs") << "ABC" << "abc" << true << false;
    QTest::newRow("case folded") << "ABC" << "abc" << false << true;
    QTest::newRow("accents folded") << "ÀÐŸ" << "àðÿ" << false << true;
    QTest::newRow("accents kept") << "ÀB" << "àb" << true << false;
    QTest::newRow("question") << "abc" << "a?c" << true << true;
    QTest::newRow("question past the end") << "ab" << "ab?" << true << false;
    QTest::newRow("questions too many") << "a" << "??" << true << false;
    QTest::newRow("text left over after question") << "abc" << "a?" << true << false;
    QTest::newRow("lone star") << "abc" << "*" << true << true;
    QTest::newRow("trailing star") << "abc" << "abc*" << true << true;
    QTest::newRow("trailing star and question") << "abc" << "a*?" << true << true;
    QTest::newRow("star inside") << "abc" << "*b*" << true << true;
    QTest::newRow("star, letter missing") << "abc" << "*d" << true << false;
    QTest::newRow("stars in a row") << "abc" << "a**c" << true << true;
}

void TestStrProc::matchesWildcard()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, expected);
    QCOMPARE(MatchesWildcard(text, pattern, caseSensitive), expected);
}

void TestStrProc::matchesFileSpec_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("spec");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("expected");
    QTest::newRow("extension, case folded") << "photo.BMP" << "*.bmp" << false << true;
    QTest::newRow("extension, case kept") << "photo.BMP" << "*.bmp" << true << false;
    QTest::newRow("no dot against *.*") << "readme" << "*.*" << false << true;
    QTest::newRow("no dot against *.txt") << "readme" << "*.txt" << false << false;
    QTest::newRow("dot against no dot") << "a.txt" << "a" << false << false;
    QTest::newRow("several dots") << "a.b.c" << "*.c" << false << true;
    QTest::newRow("several dots, inner one") << "a.b.c" << "*.b" << false << false;
    QTest::newRow("empty spec extension") << "x.bmp" << "x." << false << true;
    QTest::newRow("no dot against trailing dot") << "readme" << "readme." << false << true;
    QTest::newRow("separator in name") << "dir/x.bmp" << "*.bmp" << false << false;
    QTest::newRow("question in name") << "x?.bmp" << "*.bmp" << false << false;
    QTest::newRow("star in name") << "x*.bmp" << "*.bmp" << false << false;
    QTest::newRow("colon is a name character here") << "a:b.bmp" << "*.bmp" << false << true;
    QTest::newRow("empty spec") << "any.bmp" << "" << false << true;
    QTest::newRow("blank spec") << "any.bmp" << "   " << false << true;
    QTest::newRow("blanks around spec") << "a.bmp" << "  *.bmp  " << false << true;
    QTest::newRow("trailing dot in name") << "name." << "*.bmp" << false << false;
    QTest::newRow("trailing dot in name, *.*") << "name." << "*.*" << false << true;
    QTest::newRow("dot first") << ".hidden" << "*.hidden" << false << true;
    QTest::newRow("no dot, spec extension letters") << "readme" << "r*.t*" << false << false;
    QTest::newRow("questions") << "IMG01.JPG" << "img??.jpg" << false << true;
    QTest::newRow("questions, too short") << "IMG1.JPG" << "img??.jpg" << false << false;
    QTest::newRow("accented name") << "ÉTÉ.BMP" << "été.bmp" << false << true;
    QTest::newRow("empty name") << "" << "*.*" << false << true;
    QTest::newRow("empty name, *.bmp") << "" << "*.bmp" << false << false;
}

void TestStrProc::matchesFileSpec()
{
    QFETCH(QString, name);
    QFETCH(QString, spec);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, expected);
    QCOMPARE(MatchesFileSpec(name, spec, caseSensitive), expected);
}

void TestStrProc::extensionOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare name") << "x.bmp" << true << "bmp";
    QTest::newRow("case kept") << "x.BMP" << false << "BMP";
    QTest::newRow("lower-cased") << "/d/x.BMP" << true << "bmp";
    QTest::newRow("several dots") << "a.b.c" << false << "c";
    QTest::newRow("no dot") << "noext" << false << "";
    QTest::newRow("trailing dot") << "trail." << false << "";
    QTest::newRow("dot only in folder") << "/dir.d/file" << false << "";
    QTest::newRow("dot in folder and name") << "/dir.d/file.PNG" << true << "png";
    QTest::newRow("dot first") << ".hidden" << false << "hidden";
    QTest::newRow("folder only") << "/dir.d/" << false << "";
    QTest::newRow("empty") << "" << false << "";
}

void TestStrProc::extensionOf()
{
    QFETCH(QString, path);
    QFETCH(bool, lowerCase);
    QFETCH(QString, expected);
    QCOMPARE(ExtensionOf(path, lowerCase), expected);
}

void TestStrProc::fileNameOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fold");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no separator") << "x.bmp" << false << "";
    QTest::newRow("name") << "/a/b.png" << false << "b.png";
    QTest::newRow("folded") << "/A/ÉTÉ.PNG" << true << "été.png";
    QTest::newRow("relative") << "a/b/c" << false << "c";
    QTest::newRow("folder only") << "/a/" << false << "";
    QTest::newRow("root") << "/" << false << "";
    QTest::newRow("empty") << "" << false << "";
}

void TestStrProc::fileNameOf()
{
    QFETCH(QString, path);
    QFETCH(bool, fold);
    QFETCH(QString, expected);
    QCOMPARE(FileNameOf(path, fold), expected);
}

void TestStrProc::folderOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fold");
    QTest::addColumn<QString>("expected");
    QTest::newRow("file in folder") << "/a/b.png" << false << "/a/";
    QTest::newRow("drive form") << "C:/a/b.png" << false << "C:/a/";
    QTest::newRow("no separator") << "x.bmp" << false << "";
    QTest::newRow("root") << "/" << false << "/";
    QTest::newRow("doubled separator kept") << "a//b" << false << "a//";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("folded") << "/Photos/A.PNG" << true << "/photos/";
    QTest::newRow("folded drive form") << "c:/Photos/A.PNG" << true << "C:/photos/";
}

void TestStrProc::folderOf()
{
    QFETCH(QString, path);
    QFETCH(bool, fold);
    QFETCH(QString, expected);
    QCOMPARE(FolderOf(path, fold), expected);
}

void TestStrProc::driveLetterRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folded");
    QTest::addColumn<QString>("upperDrive");
    QTest::newRow("drive form") << "c:/Photos/A.PNG" << "C:/photos/a.png" << "C:/Photos/A.PNG";
    QTest::newRow("plain path") << "/Photos/À.PNG" << "/photos/à.png" << "/Photos/À.PNG";
    QTest::newRow("colon later") << "ab:C" << "ab:c" << "ab:C";
    QTest::newRow("colon first") << ":A" << ":a" << ":A";
    QTest::newRow("letter and colon only") << "c:" << "C:" << "C:";
    QTest::newRow("accented drive letter") << "é:X" << "É:x" << "É:X";
    QTest::newRow("one letter") << "C" << "c" << "C";
    QTest::newRow("empty") << "" << "" << "";
}

void TestStrProc::driveLetterRules()
{
    QFETCH(QString, path);
    QFETCH(QString, folded);
    QFETCH(QString, upperDrive);
    QCOMPARE(FoldPathCase(path), folded);
    QCOMPARE(UpperCaseDriveLetter(path), upperDrive);
}

void TestStrProc::stripTrailing_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");
    QTest::newRow("repeated") << "abc//" << "/" << "abc";
    QTest::newRow("longer suffix repeated") << "abcabab" << "ab" << "abc";
    QTest::newRow("everything") << "////" << "/" << "";
    QTest::newRow("whole string") << "abab" << "abab" << "";
    QTest::newRow("not at the end") << "a/bc" << "/" << "a/bc";
    QTest::newRow("suffix longer than s") << "abc" << "abcd" << "abc";
    QTest::newRow("empty suffix") << "abc" << "" << "abc";
    QTest::newRow("empty s") << "" << "/" << "";
}

void TestStrProc::stripTrailing()
{
    QFETCH(QString, s);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    StripTrailing(s, suffix);
    QCOMPARE(s, expected);
}

void TestStrProc::ensureTrailingSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("doubled") << "/dir//" << "/dir/";
    QTest::newRow("missing") << "/dir" << "/dir/";
    QTest::newRow("drive form doubled") << "C:/dir//" << "C:/dir/";
    QTest::newRow("drive form bare") << "C:" << "C:/";
    QTest::newRow("root") << "/" << "/";
    QTest::newRow("only separators") << "///" << "/";
    QTest::newRow("blank") << " " << " /";
    QTest::newRow("empty stays empty") << "" << "";
}

void TestStrProc::ensureTrailingSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    EnsureTrailingSeparator(path);
    QCOMPARE(path, expected);
}

void TestStrProc::removeSetRuns_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("set");
    QTest::addColumn<qint32>("start");
    QTest::addColumn<QString>("expected");
    QTest::newRow("runs inside") << "a b  c" << " " << 1 << "abc";
    QTest::newRow("run at the front") << "  ab" << " " << 1 << "ab";
    QTest::newRow("run at the end") << "ab  " << " " << 1 << "ab";
    QTest::newRow("everything") << "xxx" << "x" << 1 << "";
    QTest::newRow("two-character set") << "axxbyxc" << "xy" << 1 << "abc";
    QTest::newRow("from start") << "a b c" << " " << 3 << "a bc";
    QTest::newRow("start after a run") << "xay" << "xy" << 2 << "xa";
    QTest::newRow("start zero") << "axbxc" << "x" << 0 << "abc";
    QTest::newRow("start negative") << "axbxc" << "x" << INT_MIN << "abc";
    QTest::newRow("start beyond the end") << "axbxc" << "x" << 99 << "axbxc";
    QTest::newRow("empty set") << "abc" << "" << 1 << "abc";
    QTest::newRow("empty s") << "" << "x" << 1 << "";
}

void TestStrProc::removeSetRuns()
{
    QFETCH(QString, s);
    QFETCH(QString, set);
    QFETCH(qint32, start);
    QFETCH(QString, expected);
    QString runs = s;
    RemoveSetRuns(runs, set, start);
    QCOMPARE(runs, expected);
    if (start == 1) {
        QString chars = s;
        RemoveChars(chars, set);
        QCOMPARE(chars, expected);
    }
}

void TestStrProc::cleanNumberText_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<bool>("allowMinus");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blanks and percent") << " 7 5%" << false << "75";
    QTest::newRow("plus then minus") << "+-80" << false << "+80";
    QTest::newRow("signs tracked separately") << "+-12" << true << "+-12";
    QTest::newRow("minus refused") << "-5" << false << "5";
    QTest::newRow("minus allowed") << "-5" << true << "-5";
    QTest::newRow("second minus") << "--5" << true << "-5";
    QTest::newRow("second plus") << "++5" << false << "+5";
    QTest::newRow("alternating signs") << "-+-+3" << true << "-+3";
    QTest::newRow("plus after digit") << "5+" << false << "5";
    QTest::newRow("minus after digit") << "1-2" << true << "12";
    QTest::newRow("only a sign") << "+" << false << "+";
    QTest::newRow("no digits") << "abc" << false << "";
    QTest::newRow("other scripts' digits") << "٣１２" << false << "";
    QTest::newRow("decimal point") << "1.5" << false << "15";
    QTest::newRow("empty") << "" << true << "";
}

void TestStrProc::cleanNumberText()
{
    QFETCH(QString, s);
    QFETCH(bool, allowMinus);
    QFETCH(QString, expected);
    CleanNumberText(s, allowMinus);
    QCOMPARE(s, expected);
}

QTEST_GUILESS_MAIN(TestStrProc)
#include "tst_strproc.moc"
