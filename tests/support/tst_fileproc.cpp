// File questions against a real scratch folder: existence, and the numbered
// names of the viewer pages.
#include "FileProc.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace pictoria;

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1;
}

QString numbered(const QString& folder, int n)
{
    return folder + QStringLiteral("/viewer%1.htm").arg(n, 2, 10, QLatin1Char('0'));
}

}  // namespace

class TestFileProc : public QObject {
    Q_OBJECT

private slots:
    void init();
    void fileExists_data();
    void fileExists();
    void folderFormsGiveTheSameCandidates_data();
    void folderFormsGiveTheSameCandidates();
    void lowestFreeNumberIsTakenAndFreedOnesReused();
    void allNinetyNineTaken();
    void missingFolder_data();
    void missingFolder();
    void separatorInStemIsRefused();
    void fileIsCreatable();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestFileProc::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(touch(dir_->filePath(QStringLiteral("file.txt"))));
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("sub")));
    QVERIFY(QFile::link(dir_->filePath(QStringLiteral("file.txt")), dir_->filePath(QStringLiteral("link"))));
    QVERIFY(QFile::link(dir_->filePath(QStringLiteral("gone")), dir_->filePath(QStringLiteral("dangling"))));
}

void TestFileProc::fileExists_data()
{
    QTest::addColumn<QString>("relative");  // "" stands for the empty path itself
    QTest::addColumn<bool>("expected");
    QTest::newRow("regular file") << "file.txt" << true;
    QTest::newRow("link to a file") << "link" << true;
    QTest::newRow("folder") << "sub" << false;
    QTest::newRow("folder with separator") << "sub/" << false;
    QTest::newRow("missing") << "absent.txt" << false;
    QTest::newRow("dangling link") << "dangling" << false;
    QTest::newRow("file used as folder") << "file.txt/x" << false;
    QTest::newRow("empty path") << "" << false;
}

void TestFileProc::fileExists()
{
    QFETCH(QString, relative);
    QFETCH(bool, expected);
    const QString path = relative.isEmpty() ? QString() : dir_->path() + QLatin1Char('/') + relative;
    QCOMPARE(FileExists(path), expected);
}

void TestFileProc::folderFormsGiveTheSameCandidates_data()
{
    QTest::addColumn<QString>("folderSuffix");
    QTest::addColumn<QString>("extension");
    QTest::newRow("no separator, bare extension") << "" << "htm";
    QTest::newRow("separator, dotted extension") << "/" << ".htm";
    QTest::newRow("doubled separator") << "//" << "htm";
}

void TestFileProc::folderFormsGiveTheSameCandidates()
{
    QFETCH(QString, folderSuffix);
    QFETCH(QString, extension);
    QString error = QStringLiteral("untouched");
    const QString name = MakeNumberedFileName(dir_->path() + folderSuffix, QStringLiteral("viewer"), extension, error);
    QCOMPARE(name, numbered(dir_->path(), 1));
    QCOMPARE(error, QStringLiteral("untouched"));
    QVERIFY(!QFile::exists(name));
}

void TestFileProc::lowestFreeNumberIsTakenAndFreedOnesReused()
{
    const QString folder = dir_->path();
    QString error;
    QVERIFY(touch(numbered(folder, 1)));
    QVERIFY(touch(numbered(folder, 2)));
    QVERIFY(QDir(folder).mkdir(QStringLiteral("viewer04.htm")));  // a folder takes a number too
    QCOMPARE(MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), error), numbered(folder, 3));
    QVERIFY(touch(numbered(folder, 3)));
    QCOMPARE(MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), error), numbered(folder, 5));
    QVERIFY(QFile::remove(numbered(folder, 1)));
    QCOMPARE(MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), error), numbered(folder, 1));
    QVERIFY(error.isEmpty());
}

void TestFileProc::allNinetyNineTaken()
{
    const QString folder = dir_->path();
    for (int n = 1; n <= 99; ++n)
        QVERIFY(touch(numbered(folder, n)));
    QString error;
    QCOMPARE(MakeNumberedFileName(folder + QLatin1Char('/'), QStringLiteral("viewer"), QStringLiteral(".htm"), error),
             QString());
    QCOMPARE(error, QStringLiteral("On 99th attempt, ") + numbered(folder, 99) + QStringLiteral(" was not creatable."));
}

void TestFileProc::missingFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("missing") << "MISSING/deeper" << "MISSING/deeper/ does not exist.";
    QTest::newRow("a file, not a folder") << "FILE" << "FILE/ does not exist.";
    QTest::newRow("empty") << "" << " does not exist.";
}

void TestFileProc::missingFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, expectedError);
    const QString root = dir_->path() + QLatin1Char('/');
    folder.replace(QStringLiteral("MISSING"), root + QStringLiteral("missing"));
    folder.replace(QStringLiteral("FILE"), root + QStringLiteral("file.txt"));
    expectedError.replace(QStringLiteral("MISSING"), root + QStringLiteral("missing"));
    expectedError.replace(QStringLiteral("FILE"), root + QStringLiteral("file.txt"));
    QString error;
    QCOMPARE(MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), error), QString());
    QCOMPARE(error, expectedError);
}

void TestFileProc::separatorInStemIsRefused()
{
    QString error;
    QCOMPARE(MakeNumberedFileName(dir_->path(), QStringLiteral("sub/viewer"), QStringLiteral("htm"), error), QString());
    QVERIFY(error.contains(QStringLiteral("sub/viewer")));
    error.clear();
    QCOMPARE(MakeNumberedFileName(dir_->path(), QStringLiteral("viewer"), QStringLiteral("/htm"), error), QString());
    QVERIFY(!error.isEmpty());
    QVERIFY(QDir(dir_->filePath(QStringLiteral("sub"))).isEmpty());
}

void TestFileProc::fileIsCreatable()
{
    const QString free = dir_->filePath(QStringLiteral("free.htm"));
    QCOMPARE(FileIsCreatable(free), 1);
    QVERIFY(!QFile::exists(free));
    QVERIFY(FileIsCreatable(dir_->filePath(QStringLiteral("file.txt"))) != 1);
    QVERIFY(FileIsCreatable(dir_->filePath(QStringLiteral("sub"))) != 1);
    QVERIFY(FileIsCreatable(dir_->filePath(QStringLiteral("dangling"))) != 1);
    QVERIFY(FileIsCreatable(dir_->filePath(QStringLiteral("missing/x.htm"))) != 1);
    QVERIFY(FileIsCreatable(QString()) != 1);
    const QString accented = dir_->filePath(QStringLiteral("été.htm"));
    QVERIFY(touch(accented));
    QVERIFY(FileIsCreatable(accented) != 1);  // the name reaches the file system as it is
}

QTEST_GUILESS_MAIN(TestFileProc)
#include "tst_fileproc.moc"
