// Counting a folder's files, summaries beyond 16 bits and typed folder texts, without a window.
#include "Fixtures.h"
#include "FolderSummary.h"
#include "FolderText.h"

using namespace pictoria;
using namespace pictoria::testing;

class TestFolderSummary : public QObject {
    Q_OBJECT

    QTemporaryDir fixture_;

private slots:
    void initTestCase()
    {
        const QDir dir(fixture_.path());
        // A folder is no file, whatever its name.
        QVERIFY(makeFiles(dir.path(), {"PHOTO.JPG=" + QString(100, 'x'), "a.jpg=" + QString(20, 'x'), "photo.jpeg=x",
                                       "b.Bmp=" + QString(3000, 'x'), "notes.txt=xxxxx", ".hidden.gif=xxxxxxx",
                                       "folder.png/", "folder.png/inner.png=xxxxxxxxx"}));
        QVERIFY(QFile::link(dir.filePath("a.jpg"), dir.filePath("link.jpg")));  // a link to a file counts
        QVERIFY(QFile::link(dir.filePath("gone.gif"), dir.filePath("dangling.gif")));
    }

    void countsRegularFilesBySpec_data()
    {
        columns<QString, bool, int, double>(
            {"spec", "stopAtFirst", "count", "size"});  // total length, or -2 when none is asked for
        QTest::newRow("jpg, case ignored, link counted") << "*.jpg" << false << 3 << 140.0;
        QTest::newRow("jpeg is not jpg") << "*.jpeg" << false << 1 << -2.0;
        QTest::newRow("upper-case spec, mixed-case name") << "*.BMP" << false << 1 << 3000.0;
        QTest::newRow("folder named like an image") << "*.png" << false << 0 << -2.0;
        QTest::newRow("hidden file counted, dangling link not") << "*.gif" << false << 1 << 7.0;
        QTest::newRow("every file") << "*.*" << false << 7 << 3153.0;
        QTest::newRow("stop at first") << "*.jpg" << true << 1 << -2.0;
    }
    void countsRegularFilesBySpec()
    {
        QFETCH(QString, spec); QFETCH(bool, stopAtFirst); QFETCH(int, count); QFETCH(double, size);
        for (const QString& folder : {fixture_.path(), fixture_.path() + '/'}) {
            QString error;
            double totalSize = size == -2 ? -2 : -1;
            bool denied = true;
            QCOMPARE(CountFiles(folder, spec, stopAtFirst, error, totalSize, denied), count);
            QVERIFY(error.isEmpty());
            QVERIFY(!denied);
            if (size != -2)
                QCOMPARE(totalSize, size);
        }
    }

    void summaryBeyondSixteenBits_data()
    {
        columns<QList<qint64>, QString>({"counts", "sentence"});
        QTest::newRow("total") << QList<qint64>{32767, 1, 0, 0}
                               << "The input images folder presently contains 32768 graphics files as follows: 32767 "
                                  "BMP files, 1 PNG file, no JPG files and no GIF files.";
    }
    void summaryBeyondSixteenBits()
    {
        QFETCH(QList<qint64>, counts); QFETCH(QString, sentence);
        const QString formats[] = {"BMP", "PNG", "JPG", "GIF"};
        QCOMPARE(FolderSummarySentence(0, formats, counts), sentence);
    }

    void folderTextResolution_data()
    {
        columns<QString, QString>({"typed", "shown"});
        QTest::newRow("absolute") << "/srv/pictures" << "/srv/pictures/";
        QTest::newRow("root") << "/" << "/";
        QTest::newRow("relative with blanks") << "  photos  " << "/work/here/photos/";
        QTest::newRow("home") << "~" << "/home/me/";
        QTest::newRow("tilde name is relative") << "~other" << "/work/here/~other/";
        QTest::newRow("colon is an ordinary character") << "Photos:old" << "/work/here/Photos:old/";
        QTest::newRow("backslash is an ordinary character") << "\\Photos" << "/work/here/\\Photos/";
        QTest::newRow("blanks only") << " \t " << "";
    }
    void folderTextResolution()
    {
        QFETCH(QString, typed); QFETCH(QString, shown);
        QCOMPARE(NormaliseFolderText(typed, QStringLiteral("/work/here"), QStringLiteral("/home/me")), shown);
        // The current directory may be given with its trailing slash.
        QCOMPARE(NormaliseFolderText(typed, QStringLiteral("/work/here/"), QStringLiteral("/home/me/")), shown);
    }
};

QTEST_MAIN(TestFolderSummary)
#include "tst_foldersummary.moc"
