// Program texts on the Qt side: load messages, loading beside the executable, lookups, caption.
#include "Fixtures.h"
#include "Language.h"
#include "ScriptedPrompts.h"

#include <QCoreApplication>

#include <climits>

using namespace pictoria;
using namespace pictoria::testing;

namespace {

// Files the tests put beside the executable, where LoadProgramText looks;
// their names start with "case-" so cleanup finds them.
QString besideExecutable(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        CurrentLanguage = 0;
        const QDir dir(QCoreApplication::applicationDirPath());
        for (const QString& name : dir.entryList({QStringLiteral("case-*")}, QDir::Files | QDir::Dirs))
            QDir(dir.filePath(name)).removeRecursively() || QFile::remove(dir.filePath(name));
    }

    void pathAndVersion()
    {
        QCOMPARE(ProgramTextPath(QStringLiteral("/"), QStringLiteral("pxfm.dat")), QStringLiteral("/pxfm.dat"));
        QCOMPARE(ProgramTextPath(QStringLiteral("/opt/p/"), QStringLiteral("pxfm.dat")), QStringLiteral("/opt/p/pxfm.dat"));
        QCOMPARE(FormatVersionText(2, 5), QStringLiteral("2.50"));
    }

    void loadMessage_data()
    {
        columns<int, QString>({"status", "expected"});
        QTest::newRow("0") << 0 << "No program text was read.";
        QTest::newRow("-1") << -1 << "Cannot open file containing program text.\r\n/opt/p/pxfm.dat";
        QTest::newRow("-2") << -2 << "Particular memory allocation error.";
        QTest::newRow("-4") << -4 << "Text not recovered.";
        QTest::newRow("-5") << -5 << "Error -5";
        QTest::newRow("-6") << -6 << "File is empty.";
        QTest::newRow("-7") << -7 << "Error reading file.";
        QTest::newRow("-8") << -8 << "General memory allocation error.";
        QTest::newRow("-500") << -500 << "Error -500";
        QTest::newRow("-501") << -501 << "Missing string at line 1.";
        QTest::newRow("-1001") << -1001 << "String too long at line 1.";
        QTest::newRow("-1501") << -1501 << "Duplicate in program text at line 1.";
        QTest::newRow("far below") << INT_MIN << "Duplicate in program text at line 2147482148.";
        QTest::newRow("loaded") << 1 << "";
    }
    void loadMessage()
    {
        QFETCH(int, status); QFETCH(QString, expected);
        QCOMPARE(ProgramTextLoadMessage(status, QStringLiteral("/opt/p/pxfm.dat")), expected);
    }

    void failedLoadShowsTheReason_data()
    {
        // The status of each fault is checked in the text library's tests and its
        // message above; here the message reaches the user with the real path.
        columns<QString, QByteArray, QString>(
            {"name", "content", "expected"});  // null: no file; "<folder>": a folder; PATH stands for the full path
        QTest::newRow("missing") << "case-absent.dat" << QByteArray()
                                 << "Cannot open file containing program text.\r\nPATH";
        QTest::newRow("duplicate") << "case-dup.dat" << QByteArray("1 0 a\n\n1 0 b\n")
                                   << "Duplicate in program text at line 3.";
    }
    void failedLoadShowsTheReason()
    {
        QFETCH(QString, name); QFETCH(QByteArray, content); QFETCH(QString, expected);
        if (content == "<folder>")
            QVERIFY(QDir().mkpath(besideExecutable(name)));
        else if (!content.isNull())
            QVERIFY(writeBytes(besideExecutable(name), content));
        expected.replace(QStringLiteral("PATH"), besideExecutable(name));

        ScriptedPrompts scripted;
        scripted.expectMessage(expected, QString(), MsgButtons::Ok, MsgIcon::Critical);
        QVERIFY(!LoadProgramText(name));
        VERIFY_PROMPTS(scripted);
    }

    void lookups()
    {
        const QString longest(512, QChar(0x00E9));  // 1024 bytes, 512 characters
        QVERIFY(writeBytes(besideExecutable("case-texts.dat"),
                           "1 0 Pictoria\n1 1 Bildwandler\n2 0 ~\n3 0 ~~\n4 0 Grüße, Ÿ\n5 0 " + longest.toUtf8() + "\n"));
        ScriptedPrompts scripted;
        QVERIFY(LoadProgramText(QStringLiteral("case-texts.dat")));
        QCOMPARE(GetProgramText(1), QStringLiteral("Pictoria"));
        QCOMPARE(GetProgramText(2), QString());  // "~" is the empty text
        QCOMPARE(GetProgramText(3), QStringLiteral("~~"));
        QCOMPARE(GetProgramText(4), QStringLiteral("Grüße, Ÿ"));
        QCOMPARE(GetProgramText(5), longest);
        QCOMPARE(GetProgramText(6), QString());
        QCOMPARE(GetProgramText(-1), QString());
        CurrentLanguage = 1;
        QCOMPARE(GetProgramText(1), QStringLiteral("Bildwandler"));
        QCOMPARE(GetProgramText(2), QString());
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
