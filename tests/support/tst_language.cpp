// Program texts on the Qt side: the load message of every status, loading
// from the executable's folder, lookups and the caption.
#include "Language.h"
#include "ScriptedPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <climits>

using namespace pictoria;
using pictoria::testing::ScriptedPrompts;

namespace {

// Files the tests put beside the executable, where LoadProgramText looks.
QString besideExecutable(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

bool writeBesideExecutable(const QString& name, const QByteArray& bytes)
{
    QFile file(besideExecutable(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void programTextPath_data();
    void programTextPath();
    void loadMessage_data();
    void loadMessage();
    void formatVersionText_data();
    void formatVersionText();
    void shippedFileLoadsAndNamesTheProgram();
    void failedLoadShowsTheReason_data();
    void failedLoadShowsTheReason();
    void lookups_data();
    void lookups();
    void lookupFollowsTheCurrentLanguage();
};

void TestLanguage::cleanup()
{
    CurrentLanguage = 0;
    for (const QString& name : QDir(QCoreApplication::applicationDirPath())
                                   .entryList({QStringLiteral("case-*")}, QDir::Files | QDir::Dirs))
        QDir(besideExecutable(name)).removeRecursively() || QFile::remove(besideExecutable(name));
}

void TestLanguage::programTextPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("root, no doubled separator") << "/" << "/pxfm.dat";
    QTest::newRow("folder") << "/opt/pictoria" << "/opt/pictoria/pxfm.dat";
    QTest::newRow("folder with separator") << "/opt/pictoria/" << "/opt/pictoria/pxfm.dat";
    QTest::newRow("no folder") << "" << "pxfm.dat";
}

void TestLanguage::programTextPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(ProgramTextPath(folder, QStringLiteral("pxfm.dat")), expected);
}

void TestLanguage::loadMessage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "No program text was read.";
    QTest::newRow("-1") << -1 << "Cannot open file containing program text.\r\n/opt/p/pxfm.dat";
    QTest::newRow("-2") << -2 << "Particular memory allocation error.";
    QTest::newRow("-3") << -3 << "Too much program text.";
    QTest::newRow("-4") << -4 << "Text not recovered.";
    QTest::newRow("-5") << -5 << "Error -5";
    QTest::newRow("-6") << -6 << "File is empty.";
    QTest::newRow("-7") << -7 << "Error reading file.";
    QTest::newRow("-8") << -8 << "General memory allocation error.";
    QTest::newRow("-9") << -9 << "Error -9";
    QTest::newRow("-500") << -500 << "Error -500";
    QTest::newRow("-501") << -501 << "Missing string at line 1.";
    QTest::newRow("-1000") << -1000 << "Missing string at line 500.";
    QTest::newRow("-1001") << -1001 << "String too long at line 1.";
    QTest::newRow("-1500") << -1500 << "String too long at line 500.";
    QTest::newRow("-1501") << -1501 << "Duplicate in program text at line 1.";
    QTest::newRow("-2000") << -2000 << "Duplicate in program text at line 500.";
    QTest::newRow("far below") << INT_MIN << "Duplicate in program text at line 2147482148.";
    QTest::newRow("loaded") << 1 << "";
    QTest::newRow("largest") << INT_MAX << "";
}

void TestLanguage::loadMessage()
{
    QFETCH(int, status);
    QFETCH(QString, expected);
    QCOMPARE(ProgramTextLoadMessage(status, QStringLiteral("/opt/p/pxfm.dat")), expected);
}

void TestLanguage::formatVersionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.0") << 1 << 0 << "1.00";
    QTest::newRow("10.0") << 10 << 0 << "10.00";
    QTest::newRow("2.5") << 2 << 5 << "2.50";
}

void TestLanguage::formatVersionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, expected);
    QCOMPARE(FormatVersionText(major, minor), expected);
}

void TestLanguage::shippedFileLoadsAndNamesTheProgram()
{
    ScriptedPrompts scripted;
    QVERIFY(LoadProgramText(QStringLiteral("pxfm.dat")));
    VERIFY_PROMPTS(scripted);
    SetSoftwareIdentity();
    QCOMPARE(ProductName, QStringLiteral("Pictoria"));
    QCOMPARE(VersionText, QStringLiteral(PICTORIA_EXPECTED_VERSION_TEXT));
    QWidget window;
    SetMainWindowCaption(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Pictoria ") + QStringLiteral(PICTORIA_EXPECTED_VERSION_TEXT));
    QCOMPARE(GetProgramText(15), QStringLiteral("https://quorvane-systems.example/pictoria/manual/"));
    for (int number : {3, 4, 5, 6})
        QVERIFY2(!GetProgramText(number).isEmpty(), qPrintable(QString::number(number)));
}

void TestLanguage::failedLoadShowsTheReason_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // null: no file; "<folder>": a folder
    QTest::addColumn<QString>("expected");    // "PATH" stands for the full path
    QTest::newRow("missing") << "case-absent.dat" << QByteArray()
                             << "Cannot open file containing program text.\r\nPATH";
    QTest::newRow("empty") << "case-empty.dat" << QByteArray("") << "File is empty.";
    QTest::newRow("folder") << "case-folder.dat" << QByteArray("<folder>") << "Error reading file.";
    QTest::newRow("only comments") << "case-comments.dat" << QByteArray("# none\n") << "No program text was read.";
    QTest::newRow("missing text") << "case-missing.dat" << QByteArray("1 0 a\n2 0\n")
                                  << "Missing string at line 2.";
    QTest::newRow("too long") << "case-long.dat" << QByteArray("1 0 ") + QByteArray(1025, 'x')
                              << "String too long at line 1.";
    QTest::newRow("duplicate") << "case-dup.dat" << QByteArray("1 0 a\n\n1 0 b\n")
                               << "Duplicate in program text at line 3.";
}

void TestLanguage::failedLoadShowsTheReason()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    if (content == "<folder>")
        QVERIFY(QDir().mkpath(besideExecutable(name)));
    else if (!content.isNull())
        QVERIFY(writeBesideExecutable(name, content));
    expected.replace(QStringLiteral("PATH"), besideExecutable(name));

    ScriptedPrompts scripted;
    scripted.expectMessage(expected, QString(), MsgButtons::Ok, MsgIcon::Critical);
    QVERIFY(!LoadProgramText(name));
    VERIFY_PROMPTS(scripted);
}

void TestLanguage::lookups_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << 1 << "Pictoria";
    QTest::newRow("tilde is empty") << 2 << "";
    QTest::newRow("tilde inside a text") << 3 << "~~";
    QTest::newRow("bytes are not characters") << 4 << "Grüße, Ÿ";
    QTest::newRow("longest text") << 5 << QString(512, QChar(0x00E9));
    QTest::newRow("no such number") << 6 << "";
    QTest::newRow("negative number") << -1 << "";
}

void TestLanguage::lookups()
{
    QFETCH(int, number);
    QFETCH(QString, expected);
    const QByteArray file = "1 0 Pictoria\n2 0 ~\n3 0 ~~\n4 0 Grüße, Ÿ\n5 0 " + QString(512, QChar(0x00E9)).toUtf8() + "\n";
    QVERIFY(writeBesideExecutable(QStringLiteral("case-texts.dat"), file));
    ScriptedPrompts scripted;
    QVERIFY(LoadProgramText(QStringLiteral("case-texts.dat")));
    QCOMPARE(GetProgramText(number), expected);
}

void TestLanguage::lookupFollowsTheCurrentLanguage()
{
    QVERIFY(writeBesideExecutable(QStringLiteral("case-languages.dat"), "1 0 Pictoria\n1 1 Bildwandler\n"));
    ScriptedPrompts scripted;
    QVERIFY(LoadProgramText(QStringLiteral("case-languages.dat")));
    CurrentLanguage = 1;
    QCOMPARE(GetProgramText(1), QStringLiteral("Bildwandler"));
    CurrentLanguage = 2;
    QCOMPARE(GetProgramText(1), QString());
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
