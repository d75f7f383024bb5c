// Counting a folder's files and the sentences of the folder summary, without
// a window.
#include "FolderSummary.h"
#include "FolderText.h"
#include "ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace pictoria;
using pictoria::testing::ScriptedPrompts;

namespace {

const QString kFormats[4] = {QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("JPG"),
                             QStringLiteral("GIF")};

void makeFile(const QString& path, int length)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(QByteArray(length, 'x'));
}

}  // namespace

class TestFolderSummary : public QObject {
    Q_OBJECT

    QTemporaryDir fixture_;

    // Counts in the fixture folder; -2 in errorText's place marks a failure.
    qint32 count(const QString& spec, bool stopAtFirst = false, double* size = nullptr)
    {
        QString errorText;
        double totalSize = size ? *size : 0;
        bool denied = true;
        const qint32 n = CountFiles(fixture_.path(), spec, stopAtFirst, false, errorText, totalSize, denied);
        if (size)
            *size = totalSize;
        return !denied && errorText.isEmpty() ? n : -2;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(fixture_.isValid());
        const QDir dir(fixture_.path());
        makeFile(dir.filePath("PHOTO.JPG"), 100);
        makeFile(dir.filePath("a.jpg"), 20);
        makeFile(dir.filePath("photo.jpeg"), 1);
        makeFile(dir.filePath("b.Bmp"), 3000);
        makeFile(dir.filePath("notes.txt"), 5);
        makeFile(dir.filePath(".hidden.gif"), 7);
        QVERIFY(dir.mkdir("folder.png"));  // a folder is no file, whatever its name
        makeFile(dir.filePath("folder.png/inner.png"), 9);
        QVERIFY(QFile::link(dir.filePath("a.jpg"), dir.filePath("link.jpg")));  // a link to a file counts
        QVERIFY(QFile::link(dir.filePath("gone.gif"), dir.filePath("dangling.gif")));
    }

    void countPhrase_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("none") << qint64(0) << "no GIF files";
        QTest::newRow("one") << qint64(1) << "1 GIF file";
        QTest::newRow("two") << qint64(2) << "2 GIF files";
        QTest::newRow("beyond 16 bits, no grouping") << qint64(40000) << "40000 GIF files";
    }
    void countPhrase()
    {
        QFETCH(qint64, count);
        QFETCH(QString, phrase);
        QCOMPARE(CountPhrase(count, QStringLiteral("GIF")), phrase);
    }

    void summarySentence_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<qint64>>("counts");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("input, none") << 0 << QList<qint64>{0, 0, 0, 0}
                                     << "The input images folder presently contains no graphics files (BMP, PNG, "
                                        "JPG, GIF).\r\nPlease check that you selected the intended folder.";
        QTest::newRow("output, none") << 1 << QList<qint64>{0, 0, 0, 0}
                                      << "The output images folder presently contains no graphics files (BMP, PNG, "
                                         "JPG, GIF).";
        QTest::newRow("one JPG") << 0 << QList<qint64>{0, 0, 1, 0}
                                 << "The input images folder presently contains one JPG file.";
        QTest::newRow("one GIF, the last format") << 1 << QList<qint64>{0, 0, 0, 1}
                                                  << "The output images folder presently contains one GIF file.";
        QTest::newRow("mixed") << 1 << QList<qint64>{2, 0, 1, 12}
                               << "The output images folder presently contains 15 graphics files as follows: 2 BMP "
                                  "files, no PNG files, 1 JPG file and 12 GIF files.";
        QTest::newRow("first and last") << 0 << QList<qint64>{1, 0, 0, 1}
                                        << "The input images folder presently contains 2 graphics files as follows: "
                                           "1 BMP file, no PNG files, no JPG files and 1 GIF file.";
        QTest::newRow("total beyond 16 bits") << 0 << QList<qint64>{32767, 1, 0, 0}
                                              << "The input images folder presently contains 32768 graphics files as "
                                                 "follows: 32767 BMP files, 1 PNG file, no JPG files and no GIF "
                                                 "files.";
        QTest::newRow("one format beyond 16 bits") << 1 << QList<qint64>{0, 0, 70000, 0}
                                                   << "The output images folder presently contains 70000 graphics "
                                                      "files as follows: no BMP files, no PNG files, 70000 JPG files "
                                                      "and no GIF files.";
    }
    void summarySentence()
    {
        QFETCH(int, index);
        QFETCH(QList<qint64>, counts);
        QFETCH(QString, sentence);
        QCOMPARE(FolderSummarySentence(index, kFormats, counts), sentence);
    }

    void failureSentences()
    {
        QCOMPARE(FolderUnreadableSentence(0, QStringLiteral("No such file or directory")),
                 QStringLiteral("The input images folder cannot be read: No such file or directory."));
        QCOMPARE(FolderAccessDeniedSentence(1), QStringLiteral("Access to the output images folder was denied."));
    }

    void countsRegularFilesBySpec_data()
    {
        QTest::addColumn<QString>("spec");
        QTest::addColumn<int>("expected");
        QTest::newRow("jpg, case ignored, link counted") << "*.jpg" << 3;
        QTest::newRow("jpeg is not jpg") << "*.jpeg" << 1;
        QTest::newRow("bmp in mixed case") << "*.bmp" << 1;
        QTest::newRow("folder named like an image") << "*.png" << 0;
        QTest::newRow("hidden file counted, dangling link not") << "*.gif" << 1;
        QTest::newRow("every file") << "*.*" << 7;
        QTest::newRow("wildcard name") << "?.jpg" << 1;
        QTest::newRow("upper-case spec") << "*.JPG" << 3;
    }
    void countsRegularFilesBySpec()
    {
        QFETCH(QString, spec);
        QFETCH(int, expected);
        QCOMPARE(count(spec), expected);
    }

    void totalSizeOnlyWhenAskedFor()
    {
        double size = -1;
        QCOMPARE(count(QStringLiteral("*.jpg"), false, &size), 3);
        QCOMPARE(size, 140.0);  // PHOTO.JPG, a.jpg and the link to a.jpg
        size = -1;
        QCOMPARE(count(QStringLiteral("*.*"), false, &size), 7);
        QCOMPARE(size, 3153.0);
    }

    void stopsAtTheFirstMatch()
    {
        QCOMPARE(count(QStringLiteral("*.jpg"), true), 1);
        QCOMPARE(count(QStringLiteral("*.tif"), true), 0);
    }

    void folderWithOrWithoutTrailingSlash()
    {
        QString error;
        double size = 0;
        bool denied = false;
        QCOMPARE(CountFiles(fixture_.path() + "/", QStringLiteral("*.jpg"), false, false, error, size, denied), 3);
    }

    void unreadableFolderFails_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << "no such folder";
        QTest::newRow("a file, not a folder") << "notes.txt";
    }
    void unreadableFolderFails()
    {
        QFETCH(QString, folder);
        const QString path = QDir(fixture_.path()).filePath(folder);
        QString error;
        double size = -1;
        bool denied = true;
        {
            ScriptedPrompts scripted;  // silent without showErrors
            QCOMPARE(CountFiles(path, QStringLiteral("*.jpg"), false, false, error, size, denied), -1);
            VERIFY_PROMPTS(scripted);
        }
        QVERIFY(!denied);
        QVERIFY(!error.isEmpty());

        ScriptedPrompts scripted;
        scripted.expectMessage(error, QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation);
        QString again;
        QCOMPARE(CountFiles(path, QStringLiteral("*.jpg"), false, true, again, size, denied), -1);
        QCOMPARE(again, error);
        VERIFY_PROMPTS(scripted);
    }

    void refusedListingIsAccessDenied()
    {
        if (geteuid() == 0)
            QSKIP("the superuser may read any folder");
        QTemporaryDir locked;
        makeFile(QDir(locked.path()).filePath("a.jpg"), 1);
        QVERIFY(QFile::setPermissions(locked.path(), QFileDevice::WriteOwner));
        QString error;
        double size = 0;
        bool denied = false;
        ScriptedPrompts scripted;  // refused listings are never shown here, even with showErrors
        const qint32 n = CountFiles(locked.path(), QStringLiteral("*.jpg"), false, true, error, size, denied);
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(n, 0);
        QVERIFY(denied);
        VERIFY_PROMPTS(scripted);
    }

    void windowStaysAliveWhileCounting()
    {
        bool ran = false;
        QMetaObject::invokeMethod(this, [&ran] { ran = true; }, Qt::QueuedConnection);
        QCOMPARE(count(QStringLiteral("*.bmp")), 1);
        QVERIFY(ran);
    }

    void folderTextResolution_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("absolute") << "/srv/pictures" << "/srv/pictures/";
        QTest::newRow("root") << "/" << "/";
        QTest::newRow("relative with blanks") << "  photos  " << "/work/here/photos/";
        QTest::newRow("relative, slash kept single") << "photos//" << "/work/here/photos/";
        QTest::newRow("dot-relative") << "./photos" << "/work/here/./photos/";
        QTest::newRow("home") << "~" << "/home/me/";
        QTest::newRow("home with slash") << "~/" << "/home/me/";
        QTest::newRow("inside home") << "~/Pictures" << "/home/me/Pictures/";
        QTest::newRow("tilde name is relative") << "~other" << "/work/here/~other/";
        QTest::newRow("colon is an ordinary character") << "Photos:old" << "/work/here/Photos:old/";
        QTest::newRow("backslash is an ordinary character") << "\\Photos" << "/work/here/\\Photos/";
        QTest::newRow("blanks only") << "   " << "";
        QTest::newRow("empty") << "" << "";
    }
    void folderTextResolution()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QCOMPARE(NormaliseFolderText(typed, QStringLiteral("/work/here"), QStringLiteral("/home/me")), shown);
        // The current directory may be given with its trailing slash.
        QCOMPARE(NormaliseFolderText(typed, QStringLiteral("/work/here/"), QStringLiteral("/home/me/")), shown);
    }
};

QTEST_MAIN(TestFolderSummary)
#include "tst_foldersummary.moc"
