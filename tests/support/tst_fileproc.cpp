// File questions against a scratch folder: existence and the numbered viewer page names.
#include "Fixtures.h"
#include "FileProc.h"

#include <memory>

using namespace pictoria;
using namespace pictoria::testing;

namespace {

QString numbered(const QString& folder, int n)
{
    return folder + QStringLiteral("/viewer%1.htm").arg(n, 2, 10, QLatin1Char('0'));
}

}  // namespace

class TestFileProc : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(writeBytes(dir_->filePath(QStringLiteral("file.txt")), "x"));
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(dir_->filePath(QStringLiteral("file.txt")), dir_->filePath(QStringLiteral("link"))));
        QVERIFY(QFile::link(dir_->filePath(QStringLiteral("gone")), dir_->filePath(QStringLiteral("dangling"))));
    }

    void existenceAndCreatability_data()
    {
        columns<QString, bool, bool>({"relative", "exists", "creatable"});  // "" stands for the empty path itself
        QTest::newRow("regular file") << "file.txt" << true << false;
        QTest::newRow("link to a file") << "link" << true << false;
        QTest::newRow("folder") << "sub" << false << false;
        QTest::newRow("dangling link") << "dangling" << false << false;
        QTest::newRow("file used as folder") << "file.txt/x" << false << false;
        QTest::newRow("missing folder") << "missing/x.htm" << false << false;
        QTest::newRow("free name") << "été.htm" << false << true;
        QTest::newRow("empty path") << "" << false << false;
    }
    void existenceAndCreatability()
    {
        QFETCH(QString, relative); QFETCH(bool, exists); QFETCH(bool, creatable);
        const QString path = relative.isEmpty() ? QString() : dir_->path() + QLatin1Char('/') + relative;
        QCOMPARE(FileExists(path), exists);
        QCOMPARE(FileIsCreatable(path) == 1, creatable);
        QCOMPARE(FileExists(path), exists);  // the check leaves nothing behind
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("gone"))));
    }

    void folderAndExtensionForms_data()
    {
        columns<QString, QString>({"folderSuffix", "extension"});
        QTest::newRow("no separator, bare extension") << "" << "htm";
        QTest::newRow("separator, dotted extension") << "/" << ".htm";
    }
    void folderAndExtensionForms()
    {
        QFETCH(QString, folderSuffix); QFETCH(QString, extension);
        QString error = QStringLiteral("untouched");
        QCOMPARE(MakeNumberedFileName(dir_->path() + folderSuffix, QStringLiteral("viewer"), extension, error), numbered(dir_->path(), 1));
        QCOMPARE(error, QStringLiteral("untouched"));
        QVERIFY(!QFile::exists(numbered(dir_->path(), 1)));
    }

    void lowestFreeNumberIsTakenAndFreedOnesReused()
    {
        const QString folder = dir_->path();
        const QString stem = QStringLiteral("viewer");
        QString error;
        QVERIFY(writeBytes(numbered(folder, 1), "x"));
        QVERIFY(writeBytes(numbered(folder, 2), "x"));
        QVERIFY(QDir(folder).mkdir(QStringLiteral("viewer04.htm")));  // a folder takes a number too
        QCOMPARE(MakeNumberedFileName(folder, stem, QStringLiteral("htm"), error), numbered(folder, 3));
        QVERIFY(writeBytes(numbered(folder, 3), "x"));
        QCOMPARE(MakeNumberedFileName(folder, stem, QStringLiteral("htm"), error), numbered(folder, 5));
        QVERIFY(QFile::remove(numbered(folder, 1)));
        QCOMPARE(MakeNumberedFileName(folder, stem, QStringLiteral("htm"), error), numbered(folder, 1));
        QVERIFY(error.isEmpty());
    }

    void allNinetyNineTaken()
    {
        for (int n = 1; n <= 99; ++n)
            QVERIFY(writeBytes(numbered(dir_->path(), n), "x"));
        QString error;
        QCOMPARE(MakeNumberedFileName(dir_->path() + QLatin1Char('/'), QStringLiteral("viewer"), QStringLiteral(".htm"), error), QString());
        QCOMPARE(error, QStringLiteral("On 99th attempt, %1 was not creatable.").arg(numbered(dir_->path(), 99)));
    }

    void unusableFolderOrName_data()
    {
        columns<QString, QString, QString, QString>(
            {"folder", "stem", "extension", "error"});  // ROOT stands for the scratch folder
        QTest::newRow("missing folder") << "ROOT/missing" << "viewer" << "htm" << "ROOT/missing/ does not exist.";
        QTest::newRow("a file, not a folder") << "ROOT/file.txt" << "viewer" << "htm" << "ROOT/file.txt/ does not exist.";
        QTest::newRow("empty folder") << "" << "viewer" << "htm" << " does not exist.";
        QTest::newRow("separator in stem") << "ROOT" << "sub/viewer" << "htm" << "The file name sub/viewerhtm contains \"/\".";
        QTest::newRow("separator in extension") << "ROOT" << "viewer" << "/htm" << "The file name viewer/htm contains \"/\".";
    }
    void unusableFolderOrName()
    {
        QFETCH(QString, folder); QFETCH(QString, stem); QFETCH(QString, extension); QFETCH(QString, error);
        folder.replace(QStringLiteral("ROOT"), dir_->path());
        error.replace(QStringLiteral("ROOT"), dir_->path());
        QString actual;
        QCOMPARE(MakeNumberedFileName(folder, stem, extension, actual), QString());
        QCOMPARE(actual, error);
        QVERIFY(QDir(dir_->filePath(QStringLiteral("sub"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileProc)
#include "tst_fileproc.moc"
